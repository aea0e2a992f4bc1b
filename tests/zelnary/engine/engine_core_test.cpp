// The engine core with an injected clock: world time, chase cameras and the ground query
// following the moving car.
#include "zelnary/api/engine_core.h"

#include <gtest/gtest.h>

#include <cmath>

#include "tests/zelnary/engine/test_world.h"
#include "zelnary/core/vec3.h"

namespace znr {
namespace {

class EngineCoreTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(engine.load_world(world.path(), world.bitmaps()), 0); }

  Vec3 location(int32_t cam) const {
    double p[3] = {};
    engine.get_location(cam, p);
    return {p[0], p[1], p[2]};
  }
  Vec3 direction(int32_t cam) const {
    double p[3] = {};
    engine.get_direction(cam, p);
    return {p[0], p[1], p[2]};
  }
  // Where a vertical drop from high above first meets something.
  double drop(double x, double y) {
    const double top[3] = {x, y, 1e9}, bottom[3] = {x, y, -1e9};
    double at[3] = {};
    EXPECT_EQ(engine.is_movement_possible(top, bottom, at), 0);
    return at[2];
  }

  double now = 1000.0;  // the clock does not start at zero: world time does
  testing::TempWorld world;
  EngineCore engine{[this] { return now; }};
};

constexpr int32_t kFollow = 2, kWatcher = 3;

TEST_F(EngineCoreTest, WorldTimeStartsAtTheFirstAdvance) {
  now = 1500.0;
  engine.advance();  // t = 0: the car is on its first waypoint
  EXPECT_DOUBLE_EQ(drop(0.0, 0.0), 1.5);
  now += 5.0;  // 50 units along +x
  engine.advance();
  EXPECT_DOUBLE_EQ(drop(0.0, 0.0), 0.0);
  EXPECT_DOUBLE_EQ(drop(50.0, 0.0), 1.5);
  now += 10.0;  // round the corner: 50 units up the second side, turned to face +y
  engine.advance();
  EXPECT_DOUBLE_EQ(drop(100.0, 50.0), 1.5);
  EXPECT_DOUBLE_EQ(drop(101.9, 50.0), 0.0);  // 2 long along y now, 1 wide along x
  EXPECT_DOUBLE_EQ(drop(100.9, 51.9), 1.5);
}

TEST_F(EngineCoreTest, ChaseCamerasFollowTheCar) {
  for (int frame = 0; frame <= 8 * 60; ++frame) {  // 8 s at 60 frames a second
    now = 1000.0 + frame / 60.0;
    engine.advance();
  }
  const Vec3 car{80.0, 0.0, 0.0};
  const Vec3 behind = location(kFollow);
  EXPECT_NEAR(length(behind - car), 20.0, 1e-6);
  EXPECT_LT(behind.x, car.x);
  EXPECT_NEAR(behind.y, 0.0, 1e-9);
  EXPECT_GT(behind.z, 0.0);
  const Vec3 look = normalized(car - behind), d = direction(kFollow);
  EXPECT_NEAR(dot(look, d), 1.0, 1e-9);

  EXPECT_EQ(location(kWatcher), (Vec3{50, 50, 30}));
  EXPECT_NEAR(dot(direction(kWatcher), normalized(car - Vec3{50, 50, 30})), 1.0, 1e-9);
}

TEST_F(EngineCoreTest, ReloadAndCloseStartAfresh) {
  EXPECT_EQ(engine.camera_create("ViewerCam"), 4);
  now += 7.0;
  engine.advance();
  ASSERT_EQ(engine.load_world(world.path(), world.bitmaps()), 0);
  EXPECT_EQ(engine.next_camera(3), 0);  // the created camera went with the old world
  engine.advance();                     // world time is 0 again
  EXPECT_DOUBLE_EQ(drop(0.0, 0.0), 1.5);

  engine.use_accelerator(true);
  EXPECT_TRUE(engine.accelerator());
  engine.close();
  EXPECT_TRUE(engine.empty());
  EXPECT_EQ(engine.first_camera(), 0);
  Image img;
  EXPECT_FALSE(engine.render_to_image(1, 16, 16, img));
}

// The collision structure is built after the first frame, on a thread of its own: a query
// then waits for it and sees the car where it is now, and a world let go of during the build
// stops it.
TEST_F(EngineCoreTest, CollisionBuiltAfterTheFirstFrameAnswersForTheCarWhereItIsNow) {
  Image img;
  for (int round = 0; round < 2; ++round) {
    now = 2000.0;
    ASSERT_TRUE(engine.render_to_image(1, 32, 24, img));  // t = 0, the build starts
    now += 5.0;                                           // the car 50 units along +x
    engine.advance();
    EXPECT_DOUBLE_EQ(drop(50.0, 0.0), 1.5);
    EXPECT_DOUBLE_EQ(drop(0.0, 0.0), 0.0);
    ASSERT_TRUE(engine.render_to_image(1, 32, 24, img));
    engine.close();  // nothing is being built now; next round it is, when the world goes
    ASSERT_EQ(engine.load_world(world.path(), world.bitmaps()), 0);
    ASSERT_TRUE(engine.render_to_image(1, 32, 24, img));
    ASSERT_EQ(engine.load_world(world.path(), world.bitmaps()), 0);
  }
}

// The null back end draws with no display and no window: the whole engine above the back
// ends runs headless, and a read-back gives a black frame of the size asked.
TEST(EngineCoreNull, DrawsNothingAnywhereWithoutFailing) {
  testing::TempWorld world;
  EngineCore engine(monotonic_seconds, "null");
  ASSERT_EQ(engine.load_world(world.path(), world.bitmaps()), 0);
  EXPECT_EQ(engine.render(0x7fffffff, 1), 0);  // no such window, maybe no display
  EXPECT_EQ(engine.renderer_name(), "null");
  Image img;
  ASSERT_TRUE(engine.render_to_image(kFollow, 7, 5, img));
  EXPECT_EQ(img.width, 7);
  EXPECT_EQ(img.height, 5);
  EXPECT_EQ(img.texels, std::vector<uint32_t>(35, 0xFF000000u));
}

}  // namespace
}  // namespace znr
