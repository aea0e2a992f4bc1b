// Rendering into a real X window through the C operations (label x11: needs DISPLAY).
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "tests/zelnary/engine/c_api_binding.h"
#include "tests/zelnary/engine/test_world.h"
#include "tests/zelnary/engine/x_window.h"

namespace {

using znr::testing::api;

class CApiWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(api().handle, nullptr) << dlerror();
    ASSERT_EQ(api().resolved, 24);
    ASSERT_TRUE(window.open(160, 120)) << "no X display (DISPLAY not set?)";
    ASSERT_EQ(z.ZNR_engine_load_world(world.path().c_str(), "", world.bitmaps().c_str(), 0), 0);
  }
  void TearDown() override { z.ZNR_engine_close(); }

  // Height of the first surface met dropping straight down through (x, y).
  double drop(double x, double y) {
    const double top[3] = {x, y, 1e9}, bottom[3] = {x, y, -1e9};
    double at[3] = {};
    EXPECT_EQ(z.ZNR_engine_is_movement_possible(top, bottom, nullptr, at, nullptr), 0);
    return at[2];
  }

  const znr::testing::Api& z = api();
  znr::testing::TempWorld world;
  znr::testing::XWindow window;
};

TEST_F(CApiWindow, RendersEveryCameraAndReportsAWindowThatIsGone) {
  for (int32_t cam = z.ZNR_camera_get_first_camera(); cam != 0;
       cam = z.ZNR_camera_get_next_camera(cam)) {
    EXPECT_EQ(z.ZNR_engine_render(static_cast<int32_t>(window.id()), cam), 0) << "camera " << cam;
  }
  EXPECT_GT(window.colour_count(), 1) << "the ground and the sky at least";

  // The accelerator flag and every accuracy the viewer offers still draw.
  z.ZNR_engine_use_3D_accelerator_card(1);
  for (double accuracy : {0.0, 3.0, 1000.0}) {
    z.ZNR_engine_set_perspective_correction_accuracy(accuracy);
    EXPECT_EQ(z.ZNR_engine_render(static_cast<int32_t>(window.id()), 1), 0);
  }

  window.destroy();
  EXPECT_EQ(z.ZNR_engine_render(static_cast<int32_t>(window.id()), 1), -1);
  EXPECT_EQ(z.ZNR_engine_render(0x7ffffff0, 1), -1);
}

TEST_F(CApiWindow, RenderingDrivesWorldTime) {
  const int32_t id = static_cast<int32_t>(window.id());
  ASSERT_EQ(z.ZNR_engine_render(id, 1), 0);  // world time 0: the car on its first waypoint
  EXPECT_DOUBLE_EQ(drop(0.0, 0.0), 1.5);
  std::this_thread::sleep_for(std::chrono::milliseconds(600));
  ASSERT_EQ(z.ZNR_engine_render(id, 2), 0);  // at 10 units a second it has left the origin
  EXPECT_DOUBLE_EQ(drop(0.0, 0.0), 0.0);

  // Closing lets go of the display; a new world draws again.
  z.ZNR_engine_close();
  EXPECT_EQ(z.ZNR_engine_render(id, 1), -1);
  ASSERT_EQ(z.ZNR_engine_load_world(world.path().c_str(), "", world.bitmaps().c_str(), 0), 0);
  EXPECT_EQ(z.ZNR_engine_render(id, 1), 0);
}

}  // namespace
