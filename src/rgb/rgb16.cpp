// The per-call record shared by the 16-bit converters.
#include "rgb/rgb16.h"

namespace kelmar {

ConvertState Rgb16State;

}  // namespace kelmar
