// The menu tree and the commands behind it: cameras, resets, ground clamp, rendering options,
// control schemes and their help.
#include <algorithm>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "navigation/screen_center.h"
#include "tests/viewer/viewer_fixture.h"

namespace kwellor::fakes {
namespace {

using Lines = std::vector<std::string>;

class CommandTest : public ViewerTest {
 protected:
  void SetUp() override { AsIfFlying(); }

  void WithRoster(std::vector<CameraHandle> roster) {
    form.chaseCameras = roster;
    form.chaseCameraCount = static_cast<int32_t>(roster.size());
    form.chaseCameraIndex = 1;
  }
};

TEST(MenuDesign, TreeNamesCaptionsShortcutsAndStartMarks) {
  std::ostringstream tree;
  for (const MenuItem& item : MainMenuDesign()) {
    tree << item.level << ' ' << item.name << " [" << item.caption << "] [" << item.shortcut << "]"
         << (item.checked ? " checked" : "") << '\n';
  }
  EXPECT_EQ(tree.str(),
            "0 mnuFile [&File] []\n"
            "1 mnuExit [&Exit] []\n"
            "0 mnuView [&View] []\n"
            "1 mnu3Dcard [&3D Card] []\n"
            "1 mnuCam [&Camera] []\n"
            "2 mnuPrevCam [&Previous] [Ctrl+X]\n"
            "2 mnuNextCam [&Next] [Ctrl+S]\n"
            "1 mnuViewAutoMode [&Auto Mode] [F8]\n"
            "1 mnuViewPersCorr [&Prespective Correction] []\n"
            "2 mnuLow [&Low] [] checked\n"
            "2 mnuMedium [&Medium] []\n"
            "2 mnuHigh [&High] []\n"
            "0 mnuReset [&Reset] []\n"
            "1 mnuResetLoc [&Location] []\n"
            "1 mnuResetDir [&Direction] []\n"
            "1 mnuResetBoth [&Both] []\n"
            "0 mnuControlType [&Control] []\n"
            "1 mnuControlType1 [Type&1] [] checked\n"
            "1 mnuControlType2 [Type&2] []\n"
            "0 mnuMisc [&Misc] []\n"
            "1 mnuMiscAbvGnd [&Above ground] []\n"
            "0 mnuHelp [&Help] []\n"
            "1 mnuControl [&Control] []\n"
            "1 mnuAbout [&About] []\n");
}

TEST_F(CommandTest, EveryCommandItemReachesItsHandlerAndMenusDoNothing) {
  WithRoster({7, 8});
  form.MenuClick("mnuNextCam");
  EXPECT_EQ(form.activeCamera, 8);
  form.MenuClick("mnuMedium");
  EXPECT_TRUE(platform.checks["mnuMedium"]);
  form.MenuClick("mnuAbout");
  EXPECT_EQ(Calls("showAboutBox"), Lines{"showAboutBox()"});
  log.clear();
  for (const char* name : {"mnuFile", "mnuView", "mnuCam", "mnuHelp", "mnuNoSuchItem"}) {
    form.MenuClick(name);
  }
  EXPECT_TRUE(log.empty());
}

TEST_F(CommandTest, NextPreviousAndAutoModeWrapOverTheRoster) {
  WithRoster({});
  form.mnuNextCam_Click();
  form.mnuPrevCam_Click();
  form.mnuViewAutoMode_Click();
  EXPECT_EQ(form.chaseCameraIndex, 1);
  EXPECT_EQ(form.activeCamera, 100);

  WithRoster({7});
  form.mnuNextCam_Click();
  EXPECT_EQ(form.chaseCameraIndex, 1);
  form.mnuPrevCam_Click();
  EXPECT_EQ(form.chaseCameraIndex, 1);
  EXPECT_EQ(form.activeCamera, 7);

  WithRoster({7, 8, 9});
  form.mnuPrevCam_Click();
  EXPECT_EQ(form.chaseCameraIndex, 3);
  EXPECT_EQ(form.activeCamera, 9);
  form.mnuNextCam_Click();
  EXPECT_EQ(form.chaseCameraIndex, 1);
  EXPECT_EQ(form.activeCamera, 7);
  form.mnuNextCam_Click();
  EXPECT_EQ(form.activeCamera, 8);

  // After steering away, Auto Mode returns to the last chosen camera and Next steps on.
  form.activeCamera = form.viewerCamera;
  form.mnuViewAutoMode_Click();
  EXPECT_EQ(form.activeCamera, 8);
  form.activeCamera = form.viewerCamera;
  form.mnuNextCam_Click();
  EXPECT_EQ(form.activeCamera, 9);
  EXPECT_TRUE(log.empty());  // no engine or platform call
}

TEST_F(CommandTest, BrokenIndexEndsTheCameraCommandSilently) {
  WithRoster({7, 8});
  form.chaseCameraIndex = 5;
  form.mnuViewAutoMode_Click();
  EXPECT_EQ(form.activeCamera, 100);
}

TEST_F(CommandTest, ResetsMoveOnlyTheFreeFlightCameraDirectionFirst) {
  form.activeCamera = 7;
  form.mnuResetBoth_Click();
  form.mnuResetLoc_Click();
  form.mnuResetDir_Click();
  EXPECT_EQ(
      log,
      (Lines{"ZNR_camera_set_direction(100, -1, 0, 0)", "ZNR_camera_set_location(100, 0, 0, 0)",
             "ZNR_camera_set_location(100, 0, 0, 0)", "ZNR_camera_set_direction(100, -1, 0, 0)"}));
  EXPECT_EQ(form.activeCamera, 7);
}

TEST_F(CommandTest, FailingCommandWithoutATrapIsReportedAndEndsTheProgram) {
  engine.worldLoaded = true;
  engine.failing.insert("ZNR_camera_set_location");
  EXPECT_THROW(form.MenuClick("mnuResetLoc"), ProgramEnded);
  ASSERT_EQ(platform.messages.size(), 1u);
  EXPECT_EQ(platform.messages[0], "The command mnuResetLoc failed: ZNR_camera_set_location failed");
  EXPECT_EQ(engine.closeCount, 1);
}

TEST_F(CommandTest, ClampLiftsALowCameraToExactly100AboveTheReportedPoint) {
  engine.cameras[100].location = WorldPoint{{5.0, 6.0, 30.0}};
  engine.queryResult = 0;
  engine.queryPoint = WorldPoint{{99.0, 99.0, 0.0}};
  form.StayAboveGround();
  EXPECT_EQ(log,
            (Lines{"ZNR_camera_get_location1(100)",
                   "ZNR_engine_is_movement_possible({5, 6, -1000000000}, {5, 6, 1000000000}, 0, "
                   "{0, 0, 0}, 0)",
                   "ZNR_camera_set_location1(100, {5, 6, 100})"}));

  // Exactly 100 above, or higher: no write.
  log.clear();
  form.StayAboveGround();
  engine.cameras[100].location[2] = 500.0;
  form.StayAboveGround();
  EXPECT_TRUE(Calls("ZNR_camera_set_location1").empty());
}

TEST_F(CommandTest, ClampHoldsADescendingCameraAt100AboveTheGround) {
  engine.queryResult = 0;
  engine.queryPoint = WorldPoint{{0.0, 0.0, 10.0}};
  std::vector<double> heights;
  for (double z : {500.0, 300.0, 150.0, 105.0, 60.0, -20.0}) {
    engine.cameras[100].location = WorldPoint{{1.0, 2.0, z}};
    form.StayAboveGround();
    heights.push_back(engine.cameras[100].location[2]);
  }
  EXPECT_EQ(heights, (std::vector<double>{500.0, 300.0, 150.0, 110.0, 110.0, 110.0}));
}

TEST_F(CommandTest, ClampLeavesTheCameraWhereNothingIsOnTheLine) {
  engine.cameras[100].location = WorldPoint{{5.0, 6.0, -40.0}};
  engine.queryResult = 1;
  for (int frame = 0; frame < 3; ++frame) form.StayAboveGround();
  EXPECT_TRUE(Calls("ZNR_camera_set_location1").empty());
}

TEST_F(CommandTest, ClampInTheFrameWorksOnTheFreeFlightCameraWhileAChaseCameraShows) {
  engine.worldCameras = {FakeCamera{7, 1, WorldPoint{{0.0, 0.0, 1.0}}, {}, 55.0, 0.0}};
  engine.queryResult = 0;
  engine.queryPoint = WorldPoint{{0.0, 0.0, 10.0}};
  Run(2, [&](int pump) {
    if (pump == 1) form.MenuClick("mnuMiscAbvGnd");
  });
  // Frame 1 unclamped; frame 2 lifted after the forward step and before the render.
  const Lines clampedFrameEnd = {
      "ZNR_camera_set_location1(100, {0, 0, 0})", "ZNR_camera_get_location1(100)",
      "ZNR_engine_is_movement_possible({0, 0, -1000000000}, {0, 0, 1000000000}, 0, {0, 0, 0}, 0)",
      "ZNR_camera_set_location1(100, {0, 0, 110})", "ZNR_engine_render(4242, 7)"};
  EXPECT_NE(std::search(log.begin(), log.end(), clampedFrameEnd.begin(), clampedFrameEnd.end()),
            log.end());
  EXPECT_EQ(Calls("ZNR_engine_is_movement_possible").size(), 1u);
  EXPECT_EQ(Calls("ZNR_engine_render"),
            (Lines{"ZNR_engine_render(4242, 7)", "ZNR_engine_render(4242, 7)"}));
}

TEST_F(CommandTest, AboveGroundToggleFlipsItsMark) {
  form.mnuMiscAbvGnd_Click();
  EXPECT_TRUE(platform.checks["mnuMiscAbvGnd"]);
  form.mnuMiscAbvGnd_Click();
  EXPECT_FALSE(platform.checks["mnuMiscAbvGnd"]);
}

TEST_F(CommandTest, QualityLevelsMarkOneItemAndAlwaysPassTheirValue) {
  form.mnuMedium_Click();
  form.mnuHigh_Click();
  form.mnuHigh_Click();
  form.mnuLow_Click();
  EXPECT_EQ(log, (Lines{"ZNR_engine_set_perspective_correction_accuracy(3)",
                        "ZNR_engine_set_perspective_correction_accuracy(1000)",
                        "ZNR_engine_set_perspective_correction_accuracy(1000)",
                        "ZNR_engine_set_perspective_correction_accuracy(0)"}));
  form.mnuHigh_Click();
  EXPECT_FALSE(platform.checks["mnuLow"]);
  EXPECT_FALSE(platform.checks["mnuMedium"]);
  EXPECT_TRUE(platform.checks["mnuHigh"]);
}

TEST_F(CommandTest, CardToggleFlipsTheMarkAndPassesTheNewState) {
  form.mnu3Dcard_Click();
  EXPECT_TRUE(platform.checks["mnu3Dcard"]);
  form.mnu3Dcard_Click();
  EXPECT_FALSE(platform.checks["mnu3Dcard"]);
  EXPECT_EQ(log, (Lines{"ZNR_engine_use_3D_accelerator_card(1)",
                        "ZNR_engine_use_3D_accelerator_card(0)"}));
}

TEST_F(CommandTest, CtrlAltVTogglesTheCardAndStopsAtTheFirstKeyUp) {
  platform.keysDown = {kVkControl, kVkAlt, kVkV};
  form.Form_KeyDown(0, 0);
  form.Form_KeyDown(kVkV, 6);  // a repeat toggles back
  EXPECT_EQ(
      Calls("ZNR_engine_use_3D_accelerator_card"),
      (Lines{"ZNR_engine_use_3D_accelerator_card(1)", "ZNR_engine_use_3D_accelerator_card(0)"}));

  const std::vector<std::pair<std::set<int32_t>, std::vector<int32_t>>> partial = {
      {{kVkControl, kVkV}, {kVkControl, kVkAlt}},
      {{kVkAlt, kVkV}, {kVkControl}},
      {{kVkControl, kVkAlt}, {kVkControl, kVkAlt, kVkV}},
  };
  for (const auto& [keys, queried] : partial) {
    platform.keysDown = keys;
    platform.keysQueried.clear();
    form.Form_KeyDown(kVkV, 0);
    EXPECT_EQ(platform.keysQueried, queried);
  }
  EXPECT_EQ(Calls("ZNR_engine_use_3D_accelerator_card").size(), 2u);
}

TEST_F(CommandTest, SwitchingSchemesCentresAndCountsTheCursor) {
  form.mnuControlType2_Click();
  EXPECT_EQ(log, (Lines{"SetCursorPos(512, 384)", "ShowCursor(false)"}));
  EXPECT_EQ(platform.keysQueried, std::vector<int32_t>{kVkUp});
  EXPECT_EQ(form.controlType, 2);
  EXPECT_TRUE(platform.checks["mnuControlType2"]);
  EXPECT_FALSE(platform.checks["mnuControlType1"]);

  log.clear();
  form.mnuControlType2_Click();  // already in force: no call at all
  EXPECT_TRUE(log.empty());

  form.mnuControlType1_Click();
  form.mnuControlType1_Click();
  EXPECT_EQ(log, Lines{"ShowCursor(true)"});
  EXPECT_EQ(form.controlType, 1);
  EXPECT_EQ(platform.cursorCounter, 0);
  EXPECT_TRUE(platform.checks["mnuControlType1"]);
  EXPECT_FALSE(platform.checks["mnuControlType2"]);
}

TEST_F(CommandTest, RightButtonReturnsToKeyboardOtherButtonsDoNothing) {
  form.mnuControlType2_Click();
  log.clear();
  for (int16_t button : {kLeftButton, kMiddleButton}) form.Picture1_MouseUp(button, 0, 1, 2);
  EXPECT_EQ(form.controlType, 2);
  form.Picture1_MouseUp(kRightButton, 1, 3, 4);
  EXPECT_EQ(form.controlType, 1);
  EXPECT_EQ(platform.cursorCounter, 0);
  form.Picture1_MouseUp(kRightButton, 0, 0, 0);  // in type 1: nothing more
  EXPECT_EQ(log, Lines{"ShowCursor(true)"});
}

TEST_F(CommandTest, HelpTextsOfBothSchemesByteForByte) {
  form.mnuControl_Click();
  form.controlType = 2;
  form.mnuControl_Click();
  form.controlType = 3;
  form.mnuControl_Click();
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
  EXPECT_EQ(ScreenCenter(1024 * 15.0f, 15.0f), 512);
  EXPECT_EQ(ScreenCenter(768 * 15.0f, 15.0f), 384);
  EXPECT_EQ(ScreenCenter(1000.5f, 7.25f), 1000 / 14);  // 14.5 -> 14
  EXPECT_EQ(ScreenCenter(1001.5f, 7.75f), 1002 / 16);  // 15.5 -> 16
  EXPECT_EQ(ScreenCenter(1920 * 12.0f, 12.0f), 960);   // 120 DPI
  EXPECT_THROW(ScreenCenter(1000.0f, 0.0f), std::domain_error);
  EXPECT_THROW(ScreenCenter(1e12f, 15.0f), std::domain_error);
}

}  // namespace
}  // namespace kwellor::fakes
