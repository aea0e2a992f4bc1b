// Navigation: the pure motion steps with their worked numbers, the input sampler's reads, the
// ground clamp, and switching schemes with their help.
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "navigation/control_schemes.h"
#include "navigation/ground_clamp.h"
#include "navigation/input_sampler.h"
#include "navigation/motion.h"
#include "navigation/screen_center.h"
#include "platform/virtual_keys.h"
#include "tests/viewer/fake_engine.h"
#include "tests/viewer/fake_platform.h"

namespace kwellor::fakes {
namespace {

using Lines = std::vector<std::string>;

MotionState Keyboard(MotionState m, FrameInputs in, int32_t frameMs = 16) {
  return Step(m, in, kKeyboardScheme, frameMs);
}
MotionState MouseLook(MotionState m, FrameInputs in, int32_t frameMs = 16) {
  return Step(m, in, kMouseLookScheme, frameMs);
}
FrameInputs Throttling(Throttle t) {
  FrameInputs in;
  in.throttle = t;
  return in;
}
MotionState Speed(double speed) {
  MotionState m;
  m.speed = speed;
  return m;
}

TEST(Motion, KeyboardThrottleCruisesAtHalfAndAboveAndDecaysBelow) {
  MotionState m;
  m = Keyboard(m, Throttling(Throttle::kUp));
  EXPECT_DOUBLE_EQ(m.speed, 0.32);
  m = Keyboard(m, Throttling(Throttle::kUp));
  EXPECT_DOUBLE_EQ(m.speed, 0.65024);
  m = Keyboard(m, Throttling(Throttle::kUp));
  EXPECT_NEAR(m.speed, 0.99105, 1e-5);

  EXPECT_EQ(Keyboard(Speed(0.65024), {}).speed, 0.65024);
  EXPECT_EQ(Keyboard(Speed(0.5), {}).speed, 0.5);
  EXPECT_NEAR(Keyboard(Speed(0.32), {}).speed, 0.28571, 1e-5);

  // Down brakes three times as hard, into reverse, which then decays.
  m = Keyboard({}, Throttling(Throttle::kDown));
  EXPECT_DOUBLE_EQ(m.speed, -0.96);
  EXPECT_NEAR(Keyboard(m, {}).speed, -0.96 / 1.12, 1e-4);
}

TEST(Motion, MouseLookThrottleBrakesGentlyAndShiftHoldsAnySpeed) {
  EXPECT_DOUBLE_EQ(MouseLook({}, Throttling(Throttle::kDown)).speed, -0.32);
  FrameInputs shift;
  shift.shift = true;
  EXPECT_EQ(MouseLook(Speed(-3.0), shift).speed, -3.0);
  EXPECT_NEAR(MouseLook(Speed(5.0), {}).speed, 5.0 / 1.12, 1e-4);
}

TEST(Motion, ThrottleUsesTheMagnitudeAndCapsOnlyAbove) {
  EXPECT_DOUBLE_EQ(Keyboard(Speed(-20.0), Throttling(Throttle::kUp)).speed, -19.04);
  EXPECT_DOUBLE_EQ(MouseLook(Speed(-20.0), Throttling(Throttle::kUp)).speed, -19.04);
  EXPECT_EQ(Keyboard(Speed(9999.0), Throttling(Throttle::kUp)).speed, 10000.0);
  EXPECT_EQ(MouseLook(Speed(9999.0), Throttling(Throttle::kUp)).speed, 10000.0);
  EXPECT_LT(Keyboard(Speed(-20000.0), Throttling(Throttle::kDown)).speed, -20000.0);
}

TEST(Motion, KeyboardTurnPanPitchAndDeadZones) {
  FrameInputs in;
  in.sideways = Sideways::kLeft;
  in.pitch = Pitch::kUp;
  MotionState m = Keyboard({}, in);
  EXPECT_DOUBLE_EQ(m.turnRate, 0.048);
  EXPECT_DOUBLE_EQ(m.pitchRate, 0.048);
  // Shift pans instead, and the held key keeps the turn from decaying.
  in.sideways = Sideways::kRight;
  in.shift = true;
  in.pitch = Pitch::kDown;
  m = Keyboard(m, in);
  EXPECT_DOUBLE_EQ(m.strafeRate, 0.048);
  EXPECT_DOUBLE_EQ(m.turnRate, 0.048);
  EXPECT_DOUBLE_EQ(m.pitchRate, 0.0);

  m = MotionState{0.0, 0.011, -0.011, 0.02};
  m = Keyboard(m, {});
  EXPECT_EQ(m.turnRate, 0.0);
  EXPECT_EQ(m.pitchRate, 0.0);
  EXPECT_NEAR(m.strafeRate, 0.02 / 1.12, 1e-5);
  EXPECT_EQ(MouseLook(MotionState{0.0, 0.0, 0.0, -0.011}, {}).strafeRate, 0.0);
}

TEST(Motion, MouseOffsetTurnsAndPitchesWithoutCoastingAndArrowsStrafe) {
  FrameInputs in;
  in.mouseDx = 25;
  in.mouseDy = 5;
  in.sideways = Sideways::kLeft;
  MotionState m = MouseLook(MotionState{0.0, 7.0, 7.0, 0.0}, in);
  EXPECT_EQ(m.turnRate, 2.5);
  EXPECT_EQ(m.pitchRate, 0.5);
  EXPECT_DOUBLE_EQ(m.strafeRate, -4.8);
  m = MouseLook(m, {});
  EXPECT_EQ(m.turnRate, 0.0);
  EXPECT_EQ(m.pitchRate, 0.0);
}

TEST(Motion, ZeroHugeAndNegativeFrameTimesAndUnknownSchemes) {
  const MotionState moving{0.32, 1.5, -0.5, 0.25};
  FrameInputs keys;
  keys.throttle = Throttle::kUp;
  keys.sideways = Sideways::kLeft;
  keys.pitch = Pitch::kUp;
  for (const FrameInputs& in : {keys, FrameInputs{}}) {
    const MotionState m = Keyboard(moving, in, 0);
    EXPECT_EQ(m.speed, 0.32);
    EXPECT_EQ(m.turnRate, 1.5);
    EXPECT_EQ(m.pitchRate, -0.5);
    EXPECT_EQ(m.strafeRate, 0.25);
  }
  FrameInputs left;
  left.sideways = Sideways::kLeft;
  EXPECT_DOUBLE_EQ(MouseLook({}, left, INT32_MAX).strafeRate, -300.0 * INT32_MAX / 1000.0);
  EXPECT_EQ(Keyboard(Speed(0.25), {}, -5).speed, 0.25);
  EXPECT_EQ(Step(moving, keys, 3, 16).speed, 0.32);
}

TEST(Motion, OnlySteeringInputsHandOverTheView) {
  FrameInputs in;
  in.pitch = Pitch::kUp;
  in.shift = true;
  EXPECT_EQ(SteeringInputs(in, kKeyboardScheme), 0);
  in.sideways = Sideways::kLeft;  // with Shift: a pan
  EXPECT_EQ(SteeringInputs(in, kKeyboardScheme), 0);
  EXPECT_EQ(SteeringInputs(in, kMouseLookScheme), 1);  // a strafe
  in.shift = false;
  in.throttle = Throttle::kDown;
  EXPECT_EQ(SteeringInputs(in, kKeyboardScheme), 2);
  in.mouseDy = -1;
  EXPECT_EQ(SteeringInputs(in, kMouseLookScheme), 3);
  EXPECT_EQ(SteeringInputs(in, 0), 0);
}

TEST(Motion, FrameTimeIsZeroFirstThenTheTickDifferenceAcrossAWrap) {
  FrameClock clock;
  std::vector<int32_t> frameMs;
  for (int32_t tick : {1000, 1016, 1048, INT32_MAX - 5, INT32_MIN + 10, INT32_MIN + 10}) {
    frameMs.push_back(clock.Tick(tick));
  }
  EXPECT_EQ(frameMs, (std::vector<int32_t>{0, 16, 32, INT32_MAX - 1053, 16, 0}));
}

class SamplerTest : public ::testing::Test {
 protected:
  FrameInputs Sample(std::set<int32_t> keys, int32_t scheme) {
    platform.keysDown = std::move(keys);
    platform.keysQueried.clear();
    return SampleInputs(platform, scheme, ScreenPoint{512, 384});
  }
  std::vector<std::string> log;
  FakePlatform platform{log};
};

TEST_F(SamplerTest, EachGroupStopsAtItsFirstKeyDownAndShiftIsReadOnlyWhenItMatters) {
  FrameInputs in = Sample({kVkUp, kVkDown, kVkLeft, kVkRight, kVkA, kVkZ}, kKeyboardScheme);
  EXPECT_EQ(platform.keysQueried, (std::vector<int32_t>{kVkUp, kVkLeft, kVkShift, kVkA}));
  EXPECT_EQ(in.throttle, Throttle::kUp);
  EXPECT_EQ(in.sideways, Sideways::kLeft);
  EXPECT_EQ(in.pitch, Pitch::kUp);

  in = Sample({kVkShift, kVkRight, kVkZ}, kKeyboardScheme);
  EXPECT_EQ(platform.keysQueried,
            (std::vector<int32_t>{kVkUp, kVkDown, kVkLeft, kVkRight, kVkShift, kVkA, kVkZ}));
  EXPECT_TRUE(in.shift);
  EXPECT_EQ(in.pitch, Pitch::kDown);

  in = Sample({kVkShift}, kMouseLookScheme);
  EXPECT_EQ(platform.keysQueried,
            (std::vector<int32_t>{kVkUp, kVkDown, kVkShift, kVkLeft, kVkRight}));
  EXPECT_TRUE(in.shift);
  Sample({kVkDown, kVkLeft}, kMouseLookScheme);
  EXPECT_EQ(platform.keysQueried, (std::vector<int32_t>{kVkUp, kVkDown, kVkLeft}));

  Sample({kVkUp}, 3);
  EXPECT_TRUE(platform.keysQueried.empty());
  platform.failing.insert("GetAsyncKeyState");  // unreadable keys count as up
  EXPECT_EQ(Sample({kVkUp}, kKeyboardScheme).throttle, Throttle::kNone);
}

TEST_F(SamplerTest, MouseLookMeasuresThePointerFromTheCentreAndPutsItBack) {
  platform.cursorX = 512 - 25;
  platform.cursorY = 384 + 5;
  const FrameInputs in = Sample({}, kMouseLookScheme);
  EXPECT_EQ(in.mouseDx, 25);
  EXPECT_EQ(in.mouseDy, -5);
  EXPECT_EQ(log, Lines{"SetCursorPos(512, 384)"});
  log.clear();
  Sample({}, kKeyboardScheme);
  EXPECT_TRUE(log.empty());
}

TEST(GroundClamp, LiftsToExactly100AboveTheReportedPointAndNeverLowers) {
  std::vector<std::string> log;
  FakeEngine engine{log};
  engine.queryResult = 0;
  engine.queryPoint = WorldPoint{{99.0, 99.0, 10.0}};
  std::vector<double> heights;
  for (double z : {500.0, 150.0, 110.0, 60.0, -20.0}) {
    engine.cameras[100].location = WorldPoint{{5.0, 6.0, z}};
    StayAboveGround(engine, 100);
    heights.push_back(engine.cameras[100].location[2]);
  }
  EXPECT_EQ(heights, (std::vector<double>{500.0, 150.0, 110.0, 110.0, 110.0}));
  EXPECT_EQ(log[1],
            "ZNR_engine_is_movement_possible({5, 6, -1000000000}, {5, 6, 1000000000}, 0, "
            "{0, 0, 0}, 0)");
  EXPECT_EQ(log.back(), "ZNR_camera_set_location1(100, {5, 6, 110})");  // x and y its own
  EXPECT_EQ(log.size(), 2u * 5 + 2);  // a write only for the two low cameras

  // Nothing on the line: the camera stays where it is.
  log.clear();
  engine.queryResult = 1;
  StayAboveGround(engine, 100);
  EXPECT_EQ(log.size(), 2u);
}

class SchemeTest : public ::testing::Test {
 protected:
  SchemeTest() {
    platform.checks = {{"mnuControlType1", true}, {"mnuControlType2", false}};
    scheme.set(kKeyboardScheme);
  }
  std::vector<std::string> log;
  FakePlatform platform{log};
  ControlScheme scheme{platform};
};

TEST_F(SchemeTest, SwitchesCentreThePointerCountTheCursorAndSkipWhenMarked) {
  scheme.SwitchToMouseLook();
  EXPECT_EQ(log, (Lines{"SetCursorPos(512, 384)", "ShowCursor(false)"}));
  EXPECT_EQ(platform.keysQueried, std::vector<int32_t>{kVkUp});
  EXPECT_EQ(scheme.type(), kMouseLookScheme);
  EXPECT_TRUE(platform.checks["mnuControlType2"]);
  EXPECT_FALSE(platform.checks["mnuControlType1"]);

  log.clear();
  scheme.SwitchToMouseLook();  // already in force: no call at all
  EXPECT_TRUE(log.empty());

  // Other buttons do nothing; the right one returns to the keyboard once.
  for (int16_t button : {kLeftButton, kMiddleButton}) scheme.MouseUp(button);
  EXPECT_EQ(scheme.type(), kMouseLookScheme);
  scheme.MouseUp(kRightButton);
  scheme.MouseUp(kRightButton);
  scheme.SwitchToKeyboard();
  EXPECT_EQ(log, Lines{"ShowCursor(true)"});
  EXPECT_EQ(scheme.type(), kKeyboardScheme);
  EXPECT_EQ(platform.cursorCounter, 0);
  EXPECT_TRUE(platform.checks["mnuControlType1"]);
  EXPECT_FALSE(platform.checks["mnuControlType2"]);
}

TEST_F(SchemeTest, HelpTextsOfBothSchemesByteForByte) {
  scheme.ShowHelp();
  scheme.set(kMouseLookScheme);
  scheme.ShowHelp();
  scheme.set(3);
  scheme.ShowHelp();
  ASSERT_EQ(platform.messages.size(), 2u);
  EXPECT_EQ(platform.messages[0],
            "Arrows:             Forward, backward, turn left & turn right.\n"
            "Key A:              Turn Up.\n"
            "Key Z:               Turn Down.\n"
            "Arrow + Shift:  Pan left & right.\n");
  EXPECT_EQ(platform.messages[0].size(), 158u);
  EXPECT_EQ(platform.messages[1],
            "Mouse Move:                 Look around.\n"
            "Arrow Up/Down:           Accelerate/Decelerate.\n"
            "Arrow Left/Right:          Strafe.\n"
            "Shift:                             Hold speed.\n"
            "R Mouse Button:            Switch to type1 control.\n");
  EXPECT_EQ(platform.messages[1].size(), 223u);
}

TEST(ScreenCenter, RoundsHalvesToEvenAndTruncatesTheDivision) {
  EXPECT_EQ(ScreenCenter(1366 * 15.0f, 15.0f), 683);
  EXPECT_EQ(ScreenCenter(1365 * 15.0f, 15.0f), 682);
  EXPECT_EQ(ScreenCenter(1000.5f, 7.25f), 1000 / 14);  // 14.5 -> 14
  EXPECT_EQ(ScreenCenter(1001.5f, 7.75f), 1002 / 16);  // 15.5 -> 16
  EXPECT_EQ(ScreenCenter(1920 * 12.0f, 12.0f), 960);   // 120 DPI
  EXPECT_THROW(ScreenCenter(1000.0f, 0.0f), std::domain_error);
  EXPECT_THROW(ScreenCenter(1e12f, 15.0f), std::domain_error);
}

}  // namespace
}  // namespace kwellor::fakes
