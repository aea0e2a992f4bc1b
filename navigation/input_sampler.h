// Reads one frame's inputs for a control scheme through the platform. Each key is polled once,
// in the order the scheme tests them, and only when its group still needs it.
#pragma once

#include <cstdint>

#include "navigation/motion.h"
#include "platform/platform.h"

namespace kwellor {

struct ScreenPoint {
  int32_t x = 0;
  int32_t y = 0;
};

// Mouse look also reads the pointer and puts it back at the centre. A key whose state cannot
// be read counts as up; an unreadable pointer counts as resting at the centre.
FrameInputs SampleInputs(Platform& platform, int32_t scheme, ScreenPoint centre);

}  // namespace kwellor
