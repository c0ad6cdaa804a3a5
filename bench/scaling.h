// Conversions on two threads against one: two streams, each thread
// converting its own 1280 x 720 pictures, and one picture in two bands of
// macroblock rows.
#pragma once

#include <string>

#include "layouts.h"

namespace kelmar::bench {

// Registers scaling/streams/<layout>/<setting> at 1 and 2 threads and
// scaling/bands/<layout>/<setting>/<bands> for 1 and 2 bands.
void RegisterScaling(int width, int height);

std::string StreamsName(Layout layout, Setting setting);
std::string BandsName(Layout layout, Setting setting, int bands);

}  // namespace kelmar::bench
