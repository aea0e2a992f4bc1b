// The keyboard and mouse-look input steps: the worked numbers, precedence and take-over.
#include <climits>
#include <set>

#include "tests/viewer/viewer_fixture.h"

namespace kwellor::fakes {
namespace {

class InputTest : public ViewerTest {
 protected:
  void SetUp() override { AsIfFlying(); }

  void Keyboard(std::set<int32_t> keys) {
    platform.keysDown = std::move(keys);
    form.KeyboardInputStep();
  }
  void MouseLook(std::set<int32_t> keys) {
    platform.keysDown = std::move(keys);
    form.MouseLookInputStep();
  }
};

TEST_F(InputTest, KeyboardThrottleFromRestCruiseAndDecay) {
  Keyboard({kVkUp});
  EXPECT_DOUBLE_EQ(form.motion.speed, 0.32);
  Keyboard({kVkUp});
  EXPECT_DOUBLE_EQ(form.motion.speed, 0.65024);
  Keyboard({kVkUp});
  EXPECT_NEAR(form.motion.speed, 0.99105, 1e-5);

  form.motion.speed = 0.65024;
  for (int i = 0; i < 3; ++i) Keyboard({});
  EXPECT_EQ(form.motion.speed, 0.65024);  // cruise
  form.motion.speed = 0.5;
  Keyboard({});
  EXPECT_EQ(form.motion.speed, 0.5);
  form.motion.speed = 0.32;
  Keyboard({});
  EXPECT_NEAR(form.motion.speed, 0.28571, 1e-5);
}

TEST_F(InputTest, BrakingReversesAndReverseSpeedDecays) {
  Keyboard({kVkDown});
  EXPECT_DOUBLE_EQ(form.motion.speed, -0.96);
  Keyboard({});
  EXPECT_NEAR(form.motion.speed, -0.96 / 1.12, 1e-4);

  form.motion.speed = 0.0;
  MouseLook({kVkDown});
  EXPECT_DOUBLE_EQ(form.motion.speed, -0.32);
}

TEST_F(InputTest, ThrottleUpUsesTheMagnitudeSoUpAlwaysGoesTowardsForward) {
  form.motion.speed = -20.0;
  Keyboard({kVkUp});
  EXPECT_DOUBLE_EQ(form.motion.speed, -19.04);
  form.motion.speed = -20.0;
  MouseLook({kVkUp});
  EXPECT_DOUBLE_EQ(form.motion.speed, -19.04);
}

TEST_F(InputTest, SpeedIsCappedAboveOnlyInBothSchemes) {
  form.motion.speed = 9999.0;
  Keyboard({kVkUp});
  EXPECT_EQ(form.motion.speed, 10000.0);
  form.motion.speed = 9999.0;
  MouseLook({kVkUp});
  EXPECT_EQ(form.motion.speed, 10000.0);
  form.motion.speed = -20000.0;
  Keyboard({kVkDown});
  EXPECT_LT(form.motion.speed, -20000.0);
}

TEST_F(InputTest, RatesDecayIntoTheDeadZone) {
  form.motion.turnRate = 0.011;
  form.motion.strafeRate = 0.02;
  form.motion.pitchRate = -0.011;
  Keyboard({});
  EXPECT_EQ(form.motion.turnRate, 0.0);
  EXPECT_NEAR(form.motion.strafeRate, 0.02 / 1.12, 1e-5);
  EXPECT_EQ(form.motion.pitchRate, 0.0);
  form.motion.strafeRate = -0.011;
  MouseLook({});
  EXPECT_EQ(form.motion.strafeRate, 0.0);
}

TEST_F(InputTest, KeyboardTurnPanAndPitchTerms) {
  Keyboard({kVkLeft, kVkA});
  EXPECT_DOUBLE_EQ(form.motion.turnRate, 0.048);
  EXPECT_DOUBLE_EQ(form.motion.pitchRate, 0.048);
  Keyboard({kVkRight, kVkShift, kVkZ});
  EXPECT_DOUBLE_EQ(form.motion.strafeRate, 0.048);
  EXPECT_DOUBLE_EQ(form.motion.turnRate, 0.048);  // panning does not decay the turn
  EXPECT_DOUBLE_EQ(form.motion.pitchRate, 0.0);
}

TEST_F(InputTest, FirstKeyOfEachGroupWins) {
  Keyboard({kVkUp, kVkDown, kVkLeft, kVkRight, kVkA, kVkZ});
  EXPECT_DOUBLE_EQ(form.motion.speed, 0.32);
  EXPECT_DOUBLE_EQ(form.motion.turnRate, 0.048);
  EXPECT_DOUBLE_EQ(form.motion.pitchRate, 0.048);
  // Shift is read only once a turning key is down, and later keys of a group not at all.
  EXPECT_EQ(platform.keysQueried, (std::vector<int32_t>{kVkUp, kVkLeft, kVkShift, kVkA}));

  form.motion.strafeRate = 0.0;
  MouseLook({kVkLeft, kVkRight});
  EXPECT_DOUBLE_EQ(form.motion.strafeRate, -4.8);
}

TEST_F(InputTest, ZeroFrameTimeLeavesTheMotionAloneExceptTheMouse) {
  form.motion = MotionState{0.32, 1.5, -0.5, 0.25, 0, 0};
  Keyboard({kVkUp, kVkLeft, kVkA});
  EXPECT_EQ(form.motion.speed, 0.32);
  EXPECT_EQ(form.motion.turnRate, 1.5);
  EXPECT_EQ(form.motion.pitchRate, -0.5);
  Keyboard({});
  EXPECT_EQ(form.motion.turnRate, 1.5);
  EXPECT_EQ(form.motion.strafeRate, 0.25);

  form.screenCenterX = 512;
  form.screenCenterY = 384;
  platform.cursorX = 502;
  platform.cursorY = 384;
  MouseLook({});
  EXPECT_EQ(form.motion.turnRate, 1.0);
  EXPECT_EQ(form.motion.pitchRate, 0.0);
  EXPECT_EQ(form.motion.speed, 0.32);
}

TEST_F(InputTest, HugeAndNegativeFrameTimesGiveFiniteMotion) {
  form.motion.frameMs = INT32_MAX;
  MouseLook({kVkLeft});
  EXPECT_DOUBLE_EQ(form.motion.strafeRate, -300.0 * INT32_MAX / 1000.0);
  form.motion.frameMs = -5;
  form.motion.speed = 0.25;
  Keyboard({});
  EXPECT_EQ(form.motion.speed, 0.25);
}

TEST_F(InputTest, OnlySteeringTakesTheViewFromAChaseCamera) {
  // Type 1: A, Z, Shift with an arrow and idle frames move the hidden camera only.
  form.activeCamera = 7;
  for (const std::set<int32_t>& keys : std::vector<std::set<int32_t>>{
           {kVkA}, {kVkZ}, {kVkShift, kVkLeft}, {kVkShift, kVkRight}, {kVkShift}, {}}) {
    Keyboard(keys);
    EXPECT_EQ(form.activeCamera, 7);
  }
  EXPECT_TRUE(Calls("ZNR_camera_get").empty());
  for (int32_t key : {kVkUp, kVkDown, kVkLeft, kVkRight}) {
    form.activeCamera = 7;
    Keyboard({key});
    EXPECT_EQ(form.activeCamera, 100) << key;
  }

  // Type 2: a mouse at rest and Shift alone keep it; any offset or arrow takes it.
  form.screenCenterX = 512;
  form.screenCenterY = 384;
  platform.cursorX = 512;
  platform.cursorY = 384;
  form.activeCamera = 7;
  MouseLook({kVkShift});
  EXPECT_EQ(form.activeCamera, 7);
  for (int32_t key : {kVkUp, kVkDown, kVkLeft, kVkRight}) {
    form.activeCamera = 7;
    MouseLook({key});
    EXPECT_EQ(form.activeCamera, 100) << key;
  }
  form.activeCamera = 7;
  platform.cursorY = 383;
  MouseLook({});
  EXPECT_EQ(form.activeCamera, 100);
}

TEST_F(InputTest, MouseOffsetFromTheCentreTurnsAndPitchesWithoutCoasting) {
  form.screenCenterX = 512;
  form.screenCenterY = 384;
  platform.cursorX = 512 - 25;
  platform.cursorY = 384 - 5;
  MouseLook({});
  EXPECT_EQ(form.motion.turnRate, 2.5);
  EXPECT_EQ(form.motion.pitchRate, 0.5);
  EXPECT_EQ(Calls("SetCursorPos"), std::vector<std::string>{"SetCursorPos(512, 384)"});
  MouseLook({});  // the pointer is back at the centre: no turn left over
  EXPECT_EQ(form.motion.turnRate, 0.0);
  EXPECT_EQ(form.motion.pitchRate, 0.0);
}

TEST_F(InputTest, MouseLookShiftHoldsAnySpeedAndIdleSpeedDecays) {
  form.motion.speed = -3.0;
  MouseLook({kVkShift});
  EXPECT_EQ(form.motion.speed, -3.0);
  form.motion.speed = 5.0;
  MouseLook({});
  EXPECT_NEAR(form.motion.speed, 5.0 / 1.12, 1e-4);
}

TEST_F(InputTest, UnreadableKeysCountAsUp) {
  form.motion.speed = 0.32;
  platform.failing.insert("GetAsyncKeyState");
  Keyboard({kVkUp});
  EXPECT_NEAR(form.motion.speed, 0.28571, 1e-5);
}

}  // namespace
}  // namespace kwellor::fakes
