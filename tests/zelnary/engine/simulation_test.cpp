// Moving objects and chase cameras over simulated time.
#include "zelnary/simulation/simulation.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "zelnary/cameras/camera_math.h"

namespace znr {
namespace {

void expect_near(const Vec3& a, const Vec3& b, double tol = 1e-9) {
  EXPECT_NEAR(a.x, b.x, tol);
  EXPECT_NEAR(a.y, b.y, tol);
  EXPECT_NEAR(a.z, b.z, tol);
}

// A 100 x 50 rectangle driven counter-clockwise at 10 units per second: 30 s per lap.
MovingObject rectangle_car(double speed = 10.0) {
  MovingObject car;
  car.name = "car";
  car.path = {{0, 0, 5}, {100, 0, 5}, {100, 50, 5}, {0, 50, 5}};
  car.speed = speed;
  return car;
}

TEST(PathMotion, FollowsTheLoopFacingTravel) {
  const PathMotion m(rectangle_car());
  EXPECT_DOUBLE_EQ(m.loop_length(), 300.0);
  struct Case {
    double t;
    Vec3 at;
    double heading;
  };
  for (const Case& c :
       {Case{0.0, {0, 0, 5}, 0.0}, Case{5.0, {50, 0, 5}, 0.0}, Case{12.5, {100, 25, 5}, 90.0},
        Case{20.0, {50, 50, 5}, 180.0}, Case{27.5, {0, 25, 5}, -90.0}, Case{35.0, {50, 0, 5}, 0.0},
        Case{30.0 * 1000 + 5.0, {50, 0, 5}, 0.0}}) {
    const ObjectPose p = m.pose_at(c.t);
    expect_near(p.position, c.at, 1e-6);
    EXPECT_NEAR(std::remainder(p.heading_deg - c.heading, 360.0), 0.0, 1e-9) << "t=" << c.t;
  }
  // Backwards travel faces the other way.
  const ObjectPose back = PathMotion(rectangle_car(-10.0)).pose_at(2.5);
  expect_near(back.position, {0, 25, 5}, 1e-6);
  EXPECT_NEAR(std::remainder(back.heading_deg - 90.0, 360.0), 0.0, 1e-9);
}

TEST(PathMotion, DegeneratePathsStandStill) {
  MovingObject one = rectangle_car();
  one.path = {{7, 8, 9}};
  expect_near(PathMotion(one).pose_at(12.0).position, {7, 8, 9});

  MovingObject repeated = rectangle_car();
  repeated.path = {{1, 1, 0}, {1, 1, 0}, {1, 1, 0}};
  expect_near(PathMotion(repeated).pose_at(3.0).position, {1, 1, 0});

  MovingObject parked = rectangle_car(0.0);
  const ObjectPose p = PathMotion(parked).pose_at(100.0);
  expect_near(p.position, {0, 0, 5});
  EXPECT_EQ(p.heading_deg, 0.0);

  MovingObject dup = rectangle_car();  // a repeated waypoint is passed over
  dup.path.insert(dup.path.begin() + 1, Vec3{100, 0, 5});
  expect_near(PathMotion(dup).pose_at(12.5).position, {100, 25, 5}, 1e-6);

  EXPECT_TRUE(is_finite(PathMotion(rectangle_car()).pose_at(NAN).position));
}

struct ChaseWorld {
  Scene scene;
  Simulation sim;
  std::vector<Camera> cams;

  ChaseWorld() {
    scene.objects.push_back(rectangle_car());
    sim.reset(scene);
    CameraDef behind;
    behind.chase = ChaseType::Behind;
    behind.distance_from_eye = 20.0;
    behind.target = 0;
    behind.location = {500, 500, 500};
    CameraDef watch;
    watch.chase = ChaseType::Watch;
    watch.target = 0;
    watch.location = {50, 25, 40};
    CameraDef fixed;
    fixed.location = {1, 2, 3};
    fixed.direction = {0, 1, 0};
    cams = {camera_from_def(behind), camera_from_def(watch), camera_from_def(fixed)};
  }
  // Steps world time at a given frame rate.
  void run(double from, double to, double fps) {
    for (double t = from; t <= to; t += 1.0 / fps) sim.advance_to(t, cams);
  }
};

TEST(ChaseCameras, BehindSettlesAtTheDistanceBehindItsTarget) {
  ChaseWorld w;
  w.sim.advance_to(0.0, w.cams);  // the first step puts it in place at once
  const Camera& cam = w.cams[0];
  const ObjectPose car = w.sim.poses()[0];
  expect_near(cam.location, behind_eye(car, 20.0));
  EXPECT_NEAR(length(cam.location - car.position), 20.0, 1e-9);
  EXPECT_LT(cam.location.x, car.position.x);  // behind: the car heads along +x
  EXPECT_GT(cam.location.z, car.position.z);  // and raised
  expect_near(cam.forward, normalized(car.position - cam.location));

  // Along a straight side, smoothing catches up: it stays behind the car at the distance.
  w.run(0.0, 9.0, 60.0);
  const ObjectPose now = w.sim.poses()[0];
  EXPECT_NEAR(length(cam.location - now.position), 20.0, 1e-6);
  EXPECT_NEAR(cam.location.y, now.position.y, 1e-6);
  expect_near(cam.forward, normalized(now.position - cam.location), 1e-9);
}

TEST(ChaseCameras, SmoothingDoesNotDependOnTheFrameRate) {
  ChaseWorld slow, fast;
  slow.run(0.0, 12.0, 10.0);  // past the first corner
  fast.run(0.0, 12.0, 10.0 * 16);
  slow.sim.advance_to(13.0, slow.cams);
  fast.sim.advance_to(13.0, fast.cams);
  expect_near(slow.cams[0].location, fast.cams[0].location, 1e-2);
}

TEST(ChaseCameras, WatchKeepsItsPlaceAndLooksAtTheTarget) {
  ChaseWorld w;
  for (double t : {0.0, 3.0, 11.0, 19.0, 26.0, 29.9}) {
    w.sim.advance_to(t, w.cams);
    const Camera& cam = w.cams[1];
    expect_near(cam.location, {50, 25, 40});
    expect_near(cam.forward, normalized(w.sim.poses()[0].position - cam.location));
  }
  // A fixed camera is never moved; time never runs backwards.
  expect_near(w.cams[2].location, {1, 2, 3});
  expect_near(w.cams[2].forward, {0, 1, 0});
  w.sim.advance_to(5.0, w.cams);
  EXPECT_DOUBLE_EQ(w.sim.time(), 29.9);
}

TEST(ChaseCameras, ADirectSetHoldsUntilTheNextStep) {
  ChaseWorld w;
  w.sim.advance_to(0.0, w.cams);
  camera_set_location(w.cams[1], {0, 0, 100});
  w.sim.advance_to(1.0, w.cams);
  expect_near(w.cams[1].location, {0, 0, 100});  // Watch now watches from there
  expect_near(w.cams[1].forward, normalized(w.sim.poses()[0].position - Vec3{0, 0, 100}));
}

}  // namespace
}  // namespace znr

namespace znr {
namespace {

// An arm on a shoulder: the shoulder stands at (10, 0, 0) scaled by 2, the arm's rotation key
// runs 0 to 90 degrees about z over 2 s, linearly, and it is moved 3 along its parent's x.
Scene shoulder_and_arm(Interpolation how) {
  Scene s;
  MovingObject shoulder;
  shoulder.keyed = true;
  shoulder.base.m[0][3] = 10.0;
  shoulder.rest.scale = {2.0, 2.0, 2.0};
  MovingObject arm;
  arm.keyed = true;
  arm.parent = 0;
  arm.rest.translation = {3.0, 0.0, 0.0};
  s.objects = {shoulder, arm};
  const double h = std::sqrt(0.5);
  Channel turn{1, ChannelPath::Rotation, how, {0.0, 2.0}, {0, 0, 0, 1, 0, 0, h, h}};
  if (how == Interpolation::CubicSpline)  // zero tangents round each value
    turn.values = {0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, h, h, 0, 0, 0, 0};
  s.animations.push_back({"wave", 4.0, {turn}});
  return s;
}

TEST(NodeAnimation, ARotationKeyTurnsAChildInsideItsScaledParentAsComputedByHand) {
  const Scene s = shoulder_and_arm(Interpolation::Linear);
  Simulation sim;
  sim.reset(s);
  std::vector<Camera> none;
  // At 1 s the arm has turned 45 degrees: its x axis (1,0,0) is along (c, c, 0), c = cos 45,
  // then scaled 2 by the shoulder. The arm's origin: shoulder (10,0,0) + 2 * (3,0,0).
  sim.advance_to(1.0, none);
  const double c = std::sqrt(0.5);
  expect_near(to_world(sim.poses()[1], {0, 0, 0}), {16, 0, 0});
  expect_near(to_world(sim.poses()[1], {1, 0, 0}), {16 + 2 * c, 2 * c, 0});
  expect_near(to_world(sim.poses()[1], {0, 0, 1}), {16, 0, 2});
  EXPECT_NEAR(sim.poses()[1].heading_deg, 45.0, 1e-9);
  // The normal of the arm's y-facing side turns with it and keeps unit length once made so.
  expect_near(normalized(turn_normal(sim.poses()[1], {0, 1, 0})), {-c, c, 0});
  // Past the last key (2 s) the last value holds; at 5 s the 4 s loop is 1 s in again.
  sim.advance_to(3.0, none);
  expect_near(to_world(sim.poses()[1], {1, 0, 0}), {16, 2, 0});
  sim.advance_to(5.0, none);
  expect_near(to_world(sim.poses()[1], {1, 0, 0}), {16 + 2 * c, 2 * c, 0});
}

TEST(NodeAnimation, StepHoldsAndACubicSplineWithFlatTangentsEasesInAndOut) {
  std::vector<Camera> none;
  Simulation step;
  const Scene held = shoulder_and_arm(Interpolation::Step);
  step.reset(held);
  step.advance_to(1.9, none);
  expect_near(to_world(step.poses()[1], {1, 0, 0}), {18, 0, 0});

  // Hermite with zero tangents at a quarter of the span: 3t^2 - 2t^3 = 0.15625 of the way
  // from the first quaternion to the second, component by component, then made unit.
  Simulation cubic;
  const Scene eased = shoulder_and_arm(Interpolation::CubicSpline);
  cubic.reset(eased);
  cubic.advance_to(0.5, none);
  const double f = 0.15625, h = std::sqrt(0.5);
  const double qz = f * h, qw = 1 - f + f * h, n = std::hypot(qz, qw);
  const double angle = 2 * std::atan2(qz / n, qw / n);
  expect_near(to_world(cubic.poses()[1], {1, 0, 0}),
              {16 + 2 * std::cos(angle), 2 * std::sin(angle), 0});
}

TEST(NodeAnimation, BrokenKeysAndParentsGiveFinitePosesNeverACrash) {
  Scene s = shoulder_and_arm(Interpolation::Linear);
  s.animations[0].channels[0].values = {0, 0, 0, 0, 0, 0, 0, 0};  // zero length: no turn
  const Channel turn = s.animations[0].channels[0];
  s.animations[0].channels.push_back({1, ChannelPath::Scale, Interpolation::Linear, {0.0}, {1, 2}});
  s.animations[0].channels.push_back(
      {7, ChannelPath::Translation, Interpolation::Step, {0.0}, {1, 1, 1}});
  s.objects[0].parent = 1;  // a parent after its child, as a cycle would need: none taken
  s.objects[1].rest.scale = {1e200, 1e200, 1e200};  // a frame beyond any sense: its parent's
  Simulation sim;
  sim.reset(s);
  std::vector<Camera> none;
  sim.advance_to(1.0, none);
  for (const ObjectPose& p : sim.poses()) {
    EXPECT_TRUE(is_finite(p.position) && std::isfinite(p.heading_deg));
    for (const auto& row : p.linear)
      for (double v : row) EXPECT_TRUE(std::isfinite(v));
  }
  expect_near(to_world(sim.poses()[1], {1, 0, 0}), {12, 0, 0});  // the shoulder's own frame
  EXPECT_STREQ(channel_fault(turn), "a rotation key of zero length");
  Channel late = turn;
  late.times = {1.0, 1.0};
  EXPECT_STREQ(channel_fault(late), "key times out of order");
}

}  // namespace
}  // namespace znr

namespace znr {
namespace {

// The stretch bound that culls objects and picks a placement's level of detail: never below
// the longest stretch of any direction, and exact for a turn however scaled (where a loose
// bound would keep every placement at full detail).
TEST(ObjectPoses, LargestStretchBoundsEveryDirectionAndIsExactForScaledTurns) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> u(-2.0, 2.0);
  for (int trial = 0; trial < 200; ++trial) {
    ObjectPose pose;
    pose.general = true;
    for (auto& row : pose.linear)
      for (double& v : row) v = u(rng);
    const double bound = largest_stretch(pose);
    for (int d = 0; d < 500; ++d) {
      const Vec3 dir = normalized(Vec3{u(rng), u(rng), u(rng)});
      ASSERT_LE(length(turn_direction(pose, dir)), bound * (1.0 + 1e-12)) << trial;
    }
  }
  const Affine turned = [] {
    Affine a;  // 2.5 times about the axis (1, 2, 2) / 3 by 1 radian
    const double c = std::cos(1.0), s = std::sin(1.0), k[3] = {1 / 3.0, 2 / 3.0, 2 / 3.0};
    for (int r = 0; r < 3; ++r)
      for (int q = 0; q < 3; ++q) {
        const double cross = r == q ? 0.0 : ((q - r + 3) % 3 == 1 ? -1 : 1) * k[3 - r - q] * s;
        a.m[r][q] = 2.5 * ((r == q ? c : 0.0) + (1 - c) * k[r] * k[q] + cross);
      }
    return a;
  }();
  EXPECT_NEAR(largest_stretch(pose_from(turned)), 2.5, 1e-12);
}

}  // namespace
}  // namespace znr
