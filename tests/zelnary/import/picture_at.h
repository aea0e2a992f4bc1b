// The first camera's picture `seconds` into an engine's world, for the animation tests.
#pragma once

#include <gtest/gtest.h>

#include "zelnary/api/engine_core.h"

namespace znr::test {

// now: the clock the engine was made with.
inline Image picture_at(EngineCore& core, double& now, double seconds) {
  now = seconds;
  core.advance();
  Image image;
  EXPECT_TRUE(core.render_to_image(core.first_camera(), 96, 72, image));
  return image;
}

}  // namespace znr::test
