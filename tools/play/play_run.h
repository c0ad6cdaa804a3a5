// A whole run of the player: in a window at the clip's rate, or without one.
#pragma once

#include "play_options.h"

namespace kplay {

// Plays until the user quits, the key script ends, or (with --frames or
// without a window) the clip ends.  Throws kconvert::ToolError on bad input
// and when there is no display.
void RunPlayer(const PlayOptions& options);

}  // namespace kplay
