#include "navigation/screen_center.h"

#include <cmath>
#include <stdexcept>

namespace kwellor {
namespace {

int32_t RoundToInt32(float value) {
  if (!(std::fabs(value) < 2147483648.0f)) {
    throw std::domain_error("the screen metrics are out of range");
  }
  return static_cast<int32_t>(std::nearbyint(value));
}

}  // namespace

int32_t ScreenCenter(float sizeTwips, float twipsPerPixel) {
  const int32_t size = RoundToInt32(sizeTwips);
  const int32_t doubled = RoundToInt32(twipsPerPixel * 2.0f);
  if (doubled == 0) throw std::domain_error("the screen has no pixel size");
  return size / doubled;
}

}  // namespace kwellor
