#include "navigation/input_sampler.h"

#include <exception>

#include "platform/error_modes.h"
#include "platform/virtual_keys.h"

namespace kwellor {
namespace {

bool IsKeyDown(Platform& platform, int32_t virtualKey) {
  try {
    return platform.GetAsyncKeyState(virtualKey) < 0;
  } catch (const std::exception&) {
    return false;
  }
}

}  // namespace

FrameInputs SampleInputs(Platform& platform, int32_t scheme, ScreenPoint centre) {
  FrameInputs in;
  auto down = [&](int32_t key) { return IsKeyDown(platform, key); };
  if (scheme == kMouseLookScheme) {
    int32_t x = centre.x;
    int32_t y = centre.y;
    ResumeNext([&] { platform.GetCursorPos(x, y); });
    in.mouseDx = int64_t{centre.x} - x;
    in.mouseDy = int64_t{centre.y} - y;
    ResumeNext([&] { platform.SetCursorPos(centre.x, centre.y); });
  } else if (scheme != kKeyboardScheme) {
    return in;
  }

  in.throttle = down(kVkUp) ? Throttle::kUp : down(kVkDown) ? Throttle::kDown : Throttle::kNone;
  if (scheme == kMouseLookScheme && in.throttle == Throttle::kNone) in.shift = down(kVkShift);
  in.sideways = down(kVkLeft)    ? Sideways::kLeft
                : down(kVkRight) ? Sideways::kRight
                                 : Sideways::kNone;
  if (scheme == kKeyboardScheme) {
    if (in.sideways != Sideways::kNone) in.shift = down(kVkShift);
    in.pitch = down(kVkA) ? Pitch::kUp : down(kVkZ) ? Pitch::kDown : Pitch::kNone;
  }
  return in;
}

}  // namespace kwellor
