// The screen centre in pixels, worked out from the screen's size in twips.
#pragma once

#include <cstdint>

namespace kwellor {

// sizeTwips rounded to a whole number, integer-divided (truncating) by twice twipsPerPixel
// rounded to a whole number; roundings go to nearest, halves to even, in single precision.
// Throws std::domain_error when the values give no whole-number centre.
int32_t ScreenCenter(float sizeTwips, float twipsPerPixel);

}  // namespace kwellor
