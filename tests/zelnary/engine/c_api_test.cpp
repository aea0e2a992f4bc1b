// The C operations through dlopen of the built library, as the viewer binds them.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "tests/zelnary/engine/c_api_binding.h"
#include "tests/zelnary/engine/test_world.h"

namespace {

using znr::testing::Api;
using znr::testing::api;

class CApi : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(api().handle, nullptr) << dlerror();
    ASSERT_EQ(api().resolved, 24);
    api().ZNR_engine_close();
  }
  void TearDown() override {
    if (api().handle) api().ZNR_engine_close();
  }
  const Api& z = api();
};

TEST_F(CApi, EveryCallIsSafeWithoutAWorld) {
  EXPECT_EQ(z.ZNR_engine_is_engine_empty(), 1);
  EXPECT_EQ(z.ZNR_camera_get_first_camera(), 0);
  EXPECT_EQ(z.ZNR_camera_create("ViewerCam"), 0);
  EXPECT_EQ(z.ZNR_camera_get_next_camera(1), 0);
  EXPECT_EQ(z.ZNR_camera_get_chase_type(1), 0);
  double p[3] = {7, 8, 9};
  z.ZNR_camera_get_location1(1, p);
  z.ZNR_camera_get_direction1(1, p);
  EXPECT_EQ(p[0], 7);  // untouched
  z.ZNR_camera_set_location1(1, p);
  z.ZNR_camera_set_direction1(1, p);
  z.ZNR_camera_set_location(1, 0, 0, 0);
  z.ZNR_camera_set_direction(1, -1, 0, 0);
  EXPECT_EQ(z.ZNR_camera_get_zoom(1), 0.0);
  EXPECT_EQ(z.ZNR_camera_set_zoom(1, 55.0), 0.0);
  EXPECT_EQ(z.ZNR_camera_get_distance_from_eye(1), 0.0);
  z.ZNR_camera_set_distance_from_eye(1, 3.0);
  z.ZNR_camera_rotate_z(1, 10.0, 0);
  z.ZNR_camera_rotate_y(1, 10.0, 2);
  z.ZNR_camera_move(1, 2, 0, 1, 0);
  z.ZNR_engine_set_perspective_correction_accuracy(3.0);
  z.ZNR_engine_use_3D_accelerator_card(1);
  EXPECT_EQ(z.ZNR_engine_render(0, 1), -1);
  const double lo[3] = {0, 0, -1e9}, hi[3] = {0, 0, 1e9};
  int32_t o1 = 5, o2 = 5;
  double at[3] = {1, 2, 3};
  EXPECT_EQ(z.ZNR_engine_is_movement_possible(lo, hi, &o1, at, &o2), 1);
  EXPECT_EQ(o1, 0);
  EXPECT_EQ(o2, 0);
  z.ZNR_engine_close();
  EXPECT_EQ(z.ZNR_engine_is_engine_empty(), 1);
}

TEST_F(CApi, NullPointersAndBadLoadsFailCleanly) {
  EXPECT_EQ(z.ZNR_engine_load_world(nullptr, nullptr, nullptr, 0), -1);
  {
    znr::testing::TempWorld good;
    EXPECT_EQ(z.ZNR_engine_load_world(good.path().c_str(), "", good.bitmaps().c_str(), 1), -1);
  }
  EXPECT_EQ(z.ZNR_engine_load_world("/nonexistent/world.wld", "", "", 0), -1);
  EXPECT_EQ(z.ZNR_engine_is_engine_empty(), 1);

  znr::testing::TempWorld world;
  ASSERT_EQ(z.ZNR_engine_load_world(world.path().c_str(), "", world.bitmaps().c_str(), 0), 0);
  const int32_t cam = z.ZNR_camera_create(nullptr);
  EXPECT_GT(cam, 0);
  z.ZNR_camera_get_location1(cam, nullptr);
  z.ZNR_camera_set_location1(cam, nullptr);
  z.ZNR_camera_get_direction1(cam, nullptr);
  z.ZNR_camera_set_direction1(cam, nullptr);
  EXPECT_NE(z.ZNR_engine_is_movement_possible(nullptr, nullptr, nullptr, nullptr, nullptr), 0);
  const double lo[3] = {0, 0, -1e9}, hi[3] = {0, 0, 1e9};
  EXPECT_EQ(z.ZNR_engine_is_movement_possible(lo, hi, nullptr, nullptr, nullptr), 0);

  // A broken world replaces the good one with nothing.
  znr::testing::TempWorld broken("zelnary-world 1\nbogus line\n");
  EXPECT_EQ(z.ZNR_engine_load_world(broken.path().c_str(), "", broken.bitmaps().c_str(), 0), -1);
  EXPECT_EQ(z.ZNR_engine_is_engine_empty(), 1);
  EXPECT_EQ(z.ZNR_camera_get_first_camera(), 0);
}

TEST_F(CApi, LoadsAWorldAndEnumeratesItsCameras) {
  znr::testing::TempWorld world;
  ASSERT_EQ(z.ZNR_engine_load_world(world.path().c_str(), "", world.bitmaps().c_str(), 0), 0);
  EXPECT_EQ(z.ZNR_engine_is_engine_empty(), 0);

  // File order, then cameras the viewer creates.
  EXPECT_EQ(z.ZNR_camera_get_first_camera(), 1);
  EXPECT_EQ(z.ZNR_camera_get_next_camera(1), 2);
  EXPECT_EQ(z.ZNR_camera_get_next_camera(2), 3);
  EXPECT_EQ(z.ZNR_camera_get_next_camera(3), 0);
  EXPECT_EQ(z.ZNR_camera_get_chase_type(1), 0);
  EXPECT_EQ(z.ZNR_camera_get_chase_type(2), 1);
  EXPECT_EQ(z.ZNR_camera_get_chase_type(3), 2);
  EXPECT_EQ(z.ZNR_camera_get_zoom(2), 54.5);
  EXPECT_EQ(z.ZNR_camera_get_distance_from_eye(2), 20.0);
  double d[3];
  z.ZNR_camera_get_direction1(1, d);
  EXPECT_NEAR(d[0], 1.0 / std::sqrt(3.0), 1e-12);
  EXPECT_NEAR(d[2], -1.0 / std::sqrt(3.0), 1e-12);

  const int32_t viewer = z.ZNR_camera_create("ViewerCam");
  EXPECT_EQ(viewer, 4);
  EXPECT_EQ(z.ZNR_camera_get_next_camera(3), 4);
  EXPECT_EQ(z.ZNR_camera_get_next_camera(4), 0);
  EXPECT_EQ(z.ZNR_camera_get_chase_type(viewer), 0);
  double p[3];
  z.ZNR_camera_get_location1(viewer, p);
  z.ZNR_camera_get_direction1(viewer, d);
  EXPECT_EQ(p[0], 0.0);
  EXPECT_EQ(p[1], 0.0);
  EXPECT_EQ(p[2], 0.0);
  EXPECT_EQ(d[0], -1.0);
  EXPECT_EQ(z.ZNR_camera_get_zoom(viewer), 55.0);
  EXPECT_EQ(z.ZNR_camera_set_zoom(viewer, 500.0), 170.0);

  // Unknown handles are ignored.
  for (int32_t bad : {0, -1, 5, 1 << 30}) {
    EXPECT_EQ(z.ZNR_camera_get_next_camera(bad), 0);
    EXPECT_EQ(z.ZNR_camera_get_chase_type(bad), 0);
    z.ZNR_camera_move(bad, 0, 1, 1, 1);
    EXPECT_EQ(z.ZNR_engine_render(0, bad), -1);
  }
}

// The C layer passes each argument to its place: angle and space, space and offset.
TEST_F(CApi, SteeringArgumentsReachTheCamera) {
  znr::testing::TempWorld world;
  ASSERT_EQ(z.ZNR_engine_load_world(world.path().c_str(), "", world.bitmaps().c_str(), 0), 0);
  const int32_t cam = z.ZNR_camera_create("ViewerCam");
  z.ZNR_camera_set_direction(cam, 1, 0, 0);
  z.ZNR_camera_rotate_z(cam, 90.0, 0);        // left: now along +y
  z.ZNR_camera_move(cam, 2, 1.0, -3.0, 2.0);  // 1 forward, 3 left, 2 up
  z.ZNR_camera_rotate_y(cam, 30.0, 2);        // pitch up
  double d[3], p[3];
  z.ZNR_camera_get_location1(cam, p);
  z.ZNR_camera_get_direction1(cam, d);
  EXPECT_NEAR(p[0], -3.0, 1e-12);
  EXPECT_NEAR(p[1], 1.0, 1e-12);
  EXPECT_NEAR(p[2], 2.0, 1e-12);
  EXPECT_NEAR(d[1], std::sqrt(0.75), 1e-12);
  EXPECT_NEAR(d[2], 0.5, 1e-12);
}

TEST_F(CApi, GroundQueryFindsTheGroundAndTheCar) {
  znr::testing::TempWorld world;
  ASSERT_EQ(z.ZNR_engine_load_world(world.path().c_str(), "", world.bitmaps().c_str(), 0), 0);
  auto ground = [&](double x, double y, double* at) {
    const double lo[3] = {x, y, -1e9}, hi[3] = {x, y, 1e9};
    int32_t o1 = 1, o2 = 1;
    return z.ZNR_engine_is_movement_possible(lo, hi, &o1, at, &o2);
  };
  double at[3] = {};
  ASSERT_EQ(ground(250.25, -100.5, at), 0);
  EXPECT_EQ(at[0], 250.25);
  EXPECT_EQ(at[1], -100.5);
  EXPECT_EQ(at[2], 0.0);
  EXPECT_EQ(ground(600, 0, at), 1);  // off the world
  // From above, the car's roof blocks first; the car has not moved before a render.
  const double top[3] = {1, 0.5, 100}, bottom[3] = {1, 0.5, -100};
  ASSERT_EQ(z.ZNR_engine_is_movement_possible(top, bottom, nullptr, at, nullptr), 0);
  EXPECT_DOUBLE_EQ(at[2], 1.5);
}

}  // namespace

// The optional export beside the 24: why the last load failed, until a load succeeds.
TEST_F(CApi, LastErrorGivesTheReasonOfTheFailedLoad) {
  auto lastError = reinterpret_cast<decltype(&::ZNR_engine_get_last_error)>(
      dlsym(api().handle, "ZNR_engine_get_last_error"));
  ASSERT_NE(lastError, nullptr);
  znr::testing::TempWorld broken("zelnary-world 1\nbogus line\n");
  ASSERT_EQ(z.ZNR_engine_load_world(broken.path().c_str(), "", broken.bitmaps().c_str(), 0), -1);
  const int32_t length = lastError(nullptr, 0);
  std::string reason(static_cast<size_t>(length) + 1, '?');
  EXPECT_EQ(lastError(reason.data(), length + 1), length);
  EXPECT_EQ(reason.back(), '\0');
  EXPECT_EQ(reason.rfind(broken.path() + ":2: ", 0), 0u) << reason;
  char shortBuffer[6] = "?????";
  lastError(shortBuffer, 4);
  EXPECT_EQ(std::string(shortBuffer), reason.substr(0, 3));

  EXPECT_EQ(z.ZNR_engine_load_world(broken.path().c_str(), "", "", 1), -1);
  char flags[128];
  lastError(flags, sizeof flags);
  EXPECT_NE(std::string(flags).find("unsupported load flags"), std::string::npos) << flags;

  znr::testing::TempWorld world;
  ASSERT_EQ(z.ZNR_engine_load_world(world.path().c_str(), "", world.bitmaps().c_str(), 0), 0);
  EXPECT_EQ(lastError(flags, sizeof flags), 0);
  EXPECT_EQ(flags[0], '\0');
}
