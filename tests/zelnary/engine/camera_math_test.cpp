// Camera steering as properties over many random poses and angles.
#include "zelnary/cameras/camera_math.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace znr {
namespace {

constexpr double kTol = 1e-9;

void expect_near(const Vec3& a, const Vec3& b, double tol = kTol) {
  EXPECT_NEAR(a.x, b.x, tol);
  EXPECT_NEAR(a.y, b.y, tol);
  EXPECT_NEAR(a.z, b.z, tol);
}

void expect_orthonormal(const Camera& c) {
  EXPECT_NEAR(length(c.forward), 1.0, kTol);
  EXPECT_NEAR(length(c.up), 1.0, kTol);
  EXPECT_NEAR(dot(c.forward, c.up), 0.0, kTol);
}

class RandomPoses : public ::testing::Test {
 protected:
  std::mt19937 rng{1234};
  double angle() { return std::uniform_real_distribution<double>(-400.0, 400.0)(rng); }
  Vec3 direction() {
    std::normal_distribution<double> n;
    for (;;) {
      const Vec3 v{n(rng), n(rng), n(rng)};
      if (length(v) > 1e-3) return v;
    }
  }
  Camera pose() {
    Camera c;
    c.location = direction() * 100.0;
    camera_set_direction(c, direction());
    camera_rotate_y(c, angle(), kWorldSpace);  // some roll as well
    return c;
  }
};

TEST_F(RandomPoses, TurnsComposeAboutTheSameAxis) {
  for (int i = 0; i < 500; ++i) {
    for (int32_t space : {kWorldSpace, kOwnSpace}) {
      const Camera start = pose();
      const double a = angle(), b = angle();
      Camera twice = start, once = start;
      camera_rotate_z(twice, a, space);
      camera_rotate_z(twice, b, space);
      camera_rotate_z(once, a + b, space);
      expect_near(twice.forward, once.forward);
      expect_near(twice.up, once.up);

      twice = once = start;
      camera_rotate_y(twice, a, space);
      camera_rotate_y(twice, b, space);
      camera_rotate_y(once, a + b, space);
      expect_near(twice.forward, once.forward);
      expect_near(twice.up, once.up);
    }
  }
}

TEST_F(RandomPoses, AxesStayUnitAndOrthogonalThroughLongSteering) {
  Camera c = pose();
  for (int i = 0; i < 20000; ++i) {
    camera_rotate_z(c, angle() * 0.01, i % 2 == 0 ? kWorldSpace : kOwnSpace);
    camera_rotate_y(c, angle() * 0.01, i % 3 == 0 ? kWorldSpace : kOwnSpace);
    camera_move(c, kOwnSpace, {1.0, -0.5, 0.25});
  }
  expect_orthonormal(c);
  EXPECT_TRUE(is_finite(c.location));
}

TEST_F(RandomPoses, SetDirectionGivesUnitForwardAndNoRoll) {
  for (int i = 0; i < 1000; ++i) {
    Camera c = pose();
    const Vec3 d = direction() * std::pow(10.0, angle() / 100.0);  // tiny to huge lengths
    camera_set_direction(c, d);
    expect_near(c.forward, normalized(d));
    expect_orthonormal(c);
    EXPECT_NEAR(c.right().z, 0.0, kTol) << "the right axis stays level";
    EXPECT_GE(c.up.z, 0.0);
  }
}

TEST(CameraSteering, TheViewersSteeringFacts) {
  Camera c;
  camera_set_direction(c, {1.0, 0.0, 0.0});
  camera_rotate_z(c, 90.0, kWorldSpace);
  expect_near(c.forward, {0.0, 1.0, 0.0});  // positive yaw in world space turns left

  camera_set_direction(c, {1.0, 0.0, 0.0});
  camera_rotate_y(c, 30.0, kOwnSpace);
  EXPECT_GT(c.forward.z, 0.4);  // positive pitch in own space looks up
  EXPECT_NEAR(c.forward.z, std::sin(30.0 * M_PI / 180.0), kTol);

  camera_set_direction(c, {1.0, 0.0, 0.0});
  c.location = {};
  camera_move(c, kOwnSpace, {0.0, -5.0, 0.0});
  expect_near(c.location, {0.0, 5.0, 0.0});  // negative y goes left (+y when facing +x)

  camera_move(c, kOwnSpace, {2.0, 0.0, 3.0});
  expect_near(c.location, {2.0, 5.0, 3.0});  // forward and up

  camera_set_direction(c, {0.0, 1.0, 0.0});
  camera_move(c, kWorldSpace, {1.0, 2.0, 3.0});
  expect_near(c.location, {3.0, 7.0, 6.0});  // world axes whatever the camera faces
  camera_move(c, 7, {1.0, 0.0, 0.0});        // an unknown space acts like the world's
  expect_near(c.location, {4.0, 7.0, 6.0});

  // Own-space yaw follows the camera's tilt; world-space yaw keeps the turn level.
  camera_set_direction(c, {1.0, 0.0, 1.0});
  Camera own = c, world = c;
  camera_rotate_z(own, 90.0, kOwnSpace);
  camera_rotate_z(world, 90.0, kWorldSpace);
  expect_near(world.forward, normalized(Vec3{0.0, 1.0, 1.0}));
  expect_near(own.forward, {0.0, 1.0, 0.0});
}

TEST(CameraSteering, NewCameraAndDirectionResets) {
  const Camera c;
  expect_near(c.forward, {-1.0, 0.0, 0.0});
  expect_near(c.location, {});
  EXPECT_EQ(c.zoom, 55.0);

  Camera d;
  camera_set_direction(d, {0.0, 0.0, 0.0});  // ignored
  camera_set_direction(d, {NAN, 1.0, 0.0});  // ignored
  expect_near(d.forward, {-1.0, 0.0, 0.0});
}

TEST(CameraSteering, StraightUpAndDownStayFinite) {
  for (const Vec3 dir : {Vec3{0, 0, 1}, Vec3{0, 0, -1}, Vec3{0, 0, 1e-300}, Vec3{1e-12, 0, -5},
                         Vec3{0, 1e300, 1e300}}) {
    Camera c;
    camera_set_direction(c, dir);
    expect_near(c.forward, normalized(dir * (1.0 / std::max(std::abs(dir.y), std::abs(dir.z)))));
    expect_orthonormal(c);
    EXPECT_TRUE(is_finite(c.right()));
  }
  // Pitching over the top keeps a consistent frame: up then points backwards.
  Camera c;
  camera_set_direction(c, {1.0, 0.0, 0.0});
  camera_rotate_y(c, 90.0, kOwnSpace);
  expect_near(c.forward, {0.0, 0.0, 1.0});
  expect_near(c.up, {-1.0, 0.0, 0.0});
  camera_set_direction(c, {0.0, 0.0, 1.0});  // the same pose again: the roll is kept
  expect_near(c.up, {-1.0, 0.0, 0.0});
}

TEST(CameraSteering, ZoomDistanceAndLocationRejectBadValues) {
  Camera c;
  EXPECT_EQ(camera_set_zoom(c, 40.5), 40.5);
  EXPECT_EQ(camera_set_zoom(c, 0.0), kMinZoom);
  EXPECT_EQ(camera_set_zoom(c, 500.0), kMaxZoom);
  EXPECT_EQ(camera_set_zoom(c, NAN), kMaxZoom);
  camera_set_distance_from_eye(c, 12.5);
  camera_set_distance_from_eye(c, INFINITY);
  EXPECT_EQ(c.distance_from_eye, 12.5);
  camera_set_distance_from_eye(c, -3.0);
  EXPECT_EQ(c.distance_from_eye, 0.0);
  camera_set_location(c, {1.0, 2.0, 3.0});
  camera_set_location(c, {1.0, NAN, 3.0});
  camera_move(c, kWorldSpace, {INFINITY, 0.0, 0.0});
  camera_rotate_z(c, NAN, kWorldSpace);
  expect_near(c.location, {1.0, 2.0, 3.0});
  expect_orthonormal(c);
}

}  // namespace
}  // namespace znr
