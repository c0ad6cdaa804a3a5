// The kernel table: the one place that chooses what a call runs, from the
// call's plan (the code paths the processor allows) and the tables of its
// display setting.  The integer kernels come first; each wider instruction
// set then overrides what it does faster, one level per set.
#pragma once

#include "common/layout_facts.h"
#include "packed/packed.h"
#include "rgb/convert_state.h"

namespace kelmar {

// The converter of one RGB call for `layout`, at double size when `zoom`.
PictureConverter ChooseRgbConverter(RgbLayout layout, const RgbCall& call, bool zoom);

// The converter of one packed call, UYVY or (`yuy2`) YUY2.
PackedConverter ChoosePackedConverter(bool yuy2, const PackedCall& call);

}  // namespace kelmar
