// What the player's keys do, their help text, and key scripts: the same
// actions written as words, for running the player without a person.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kplay {

enum class Action {
  kLayout1,  // kLayout1 + n selects the layout n + 1 (1 to 6)
  kLayout2,
  kLayout3,
  kLayout4,
  kLayout5,
  kLayout6,
  kZoom,
  kBrightnessDown,
  kBrightnessUp,
  kContrastDown,
  kContrastUp,
  kSaturationDown,
  kSaturationUp,
  kBalanceDown,
  kBalanceUp,
  kResetAdjustments,
  kPause,
  kStepBack,
  kStepForward,
  kOverlay,
  kScreenshot,
  kHelp,
  kQuit,
};

// The layout a kLayout action selects, counted from 0 in kconvert's
// kAllLayouts order; nothing for other actions.
std::optional<int> LayoutIndex(Action action);

// The action of a key press: `key` is an SDL key code, `shift` whether a
// shift key was held.  Nothing for keys without an action.
std::optional<Action> ActionForKey(int32_t key, bool shift);

// One key of a script as the player receives it from SDL.
struct KeyPress {
  int32_t key = 0;  // SDL key code
  bool shift = false;
};

// A key script: words separated by spaces or commas, run one frame tick
// after another.  Key words ("b", "B", "space", "right", "esc", ...) of one
// tick are pressed in order; "+N" ends the tick and lets N - 1 more pass
// without keys.  The script's last tick is followed by a quit.
struct ScriptTick {
  std::vector<KeyPress> keys;
};

// Throws kconvert::UsageError for an unknown word or a bad count.
std::vector<ScriptTick> ParseKeyScript(const std::string& script);

// The key list, one "keys  what they do" line each, for --help and the
// window's help box.
std::vector<std::string> KeyHelpLines();

}  // namespace kplay
