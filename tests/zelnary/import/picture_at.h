// The first camera's picture `seconds` into an engine's world, for the animation tests.
#pragma once

#include <gtest/gtest.h>

#include <string>

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

// A world written without its animation: loaded, it stands still (the same picture at 0 s and
// at 1 s) and looks, within 1% of its pixels, like start.
inline void expect_still_and_like(const std::string& world, const Image& start) {
  double now = 0.0;
  EngineCore core([&now] { return now; });
  ASSERT_EQ(core.load_world(world, ""), 0);
  const Image written = picture_at(core, now, 0.0);
  EXPECT_EQ(picture_at(core, now, 1.0).texels, written.texels);
  size_t differ = 0;
  for (size_t i = 0; i < written.texels.size(); ++i) differ += written.texels[i] != start.texels[i];
  EXPECT_LT(differ, written.texels.size() / 100);
}

}  // namespace znr::test
