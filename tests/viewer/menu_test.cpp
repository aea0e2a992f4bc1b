// The menu bar as designed and the commands reached through it while the program runs.
#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "tests/viewer/viewer_fixture.h"

namespace kwellor::fakes {
namespace {

using Lines = std::vector<std::string>;

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

// Each command item reaches its own handler, one per frame; menus and unknown names reach none.
TEST_F(ViewerTest, EveryCommandItemReachesItsHandler) {
  AddCamera(7, 1);
  AddCamera(8, 1);
  const std::vector<std::pair<std::string, Lines>> commands = {
      {"mnuNextCam", {"ZNR_engine_render(4242, 8)"}},
      {"Up", {"ZNR_engine_render(4242, 100)"}},  // steering: free flight
      {"mnuViewAutoMode", {"ZNR_engine_render(4242, 8)"}},
      {"mnuPrevCam", {"ZNR_engine_render(4242, 7)"}},
      {"mnuResetDir", {"ZNR_camera_set_direction(100, -1, 0, 0)"}},
      {"mnuResetLoc", {"ZNR_camera_set_location(100, 0, 0, 0)"}},
      {"mnuResetBoth",
       {"ZNR_camera_set_direction(100, -1, 0, 0)", "ZNR_camera_set_location(100, 0, 0, 0)"}},
      {"mnuHigh", {"ZNR_engine_set_perspective_correction_accuracy(1000)"}},
      {"mnuMedium", {"ZNR_engine_set_perspective_correction_accuracy(3)"}},
      {"mnuLow", {"ZNR_engine_set_perspective_correction_accuracy(0)"}},
      {"mnu3Dcard", {"ZNR_engine_use_3D_accelerator_card(1)"}},
      {"mnuControlType2", {"SetCursorPos(512, 384)", "ShowCursor(false)"}},
      {"mnuControl", {"messageBox(\"Mouse Move:"}},
      {"mnuControlType1", {"ShowCursor(true)"}},
      {"mnuAbout", {"showAboutBox()"}},
      {"mnuMiscAbvGnd", {"ZNR_engine_is_movement_possible("}},
      {"mnuFile", {}},
      {"mnuNoSuchItem", {}},
  };
  const int n = static_cast<int>(commands.size());
  std::vector<Lines> seen;  // each command's own calls, then the next frame's
  Run(n + 1, [&](int pump) {
    if (pump > 1) seen.push_back(log);
    log.clear();
    platform.keysDown.clear();
    if (pump > n) return;
    const std::string& name = commands[static_cast<size_t>(pump) - 1].first;
    if (name == "Up") {
      platform.keysDown.insert(kVkUp);
    } else {
      form.MenuClick(name);
    }
  });
  ASSERT_EQ(seen.size(), commands.size());
  for (size_t i = 0; i < commands.size(); ++i) {
    for (const std::string& expected : commands[i].second) {
      EXPECT_TRUE(
          std::any_of(seen[i].begin(), seen[i].end(),
                      [&](const std::string& line) { return line.rfind(expected, 0) == 0; }))
          << commands[i].first << ": no " << expected;
    }
    if (!commands[i].second.empty()) continue;
    for (const std::string& line : seen[i]) {  // a plain (clamped) frame and nothing else
      EXPECT_TRUE(line.rfind("ZNR_camera_", 0) == 0 ||
                  line.rfind("ZNR_engine_is_movement", 0) == 0 ||
                  line.rfind("ZNR_engine_render", 0) == 0 || line == "doEvents()")
          << commands[i].first << ": " << line;
    }
  }
}

TEST_F(ViewerTest, FailingCommandWithoutATrapIsReportedAndEndsTheProgram) {
  engine.failing.insert("ZNR_camera_set_location");
  EXPECT_TRUE(Run(3, [&](int pump) {
    if (pump == 2) form.MenuClick("mnuResetLoc");
  }));
  ASSERT_EQ(platform.messages.size(), 1u);
  EXPECT_EQ(platform.messages[0], "The command mnuResetLoc failed: ZNR_camera_set_location failed");
  EXPECT_EQ(engine.closeCount, 1);
  EXPECT_EQ(engine.callsAfterClose(), 0);
}

TEST_F(ViewerTest, ClampWorksOnTheFreeFlightCameraAfterTheMotionWhileAChaseCameraShows) {
  engine.worldCameras = {FakeCamera{7, 1, WorldPoint{{0.0, 0.0, 1.0}}, {}, 55.0, 0.0}};
  engine.queryResult = 0;
  engine.queryPoint = WorldPoint{{0.0, 0.0, 10.0}};
  Run(3, [&](int pump) {
    if (pump <= 2) form.MenuClick("mnuMiscAbvGnd");
  });
  // Frame 1 unclamped; frame 2 lifted after the forward step and before the render; two
  // clicks turned the clamp off again for frame 3.
  const Lines clampedFrameEnd = {
      "ZNR_camera_set_location1(100, {0, 0, 0})", "ZNR_camera_get_location1(100)",
      "ZNR_engine_is_movement_possible({0, 0, -1000000000}, {0, 0, 1000000000}, 0, {0, 0, 0}, 0)",
      "ZNR_camera_set_location1(100, {0, 0, 110})", "ZNR_engine_render(4242, 7)"};
  EXPECT_NE(std::search(log.begin(), log.end(), clampedFrameEnd.begin(), clampedFrameEnd.end()),
            log.end());
  EXPECT_EQ(Calls("ZNR_engine_is_movement_possible").size(), 1u);
  EXPECT_EQ(Calls("ZNR_engine_render"), Lines(3, "ZNR_engine_render(4242, 7)"));
  EXPECT_FALSE(platform.checks["mnuMiscAbvGnd"]);
}

TEST_F(ViewerTest, KeyDownAndRightButtonReachTheirComponents) {
  Run(2, [&](int pump) {
    if (pump != 1) return;
    form.MenuClick("mnuControlType2");
    platform.keysDown = {kVkControl, kVkAlt, kVkV};
    form.Form_KeyDown(kVkV, 6);
    platform.keysDown.clear();
    form.Picture1_MouseUp(kRightButton, 0, 1.0f, 2.0f);
  });
  EXPECT_EQ(Calls("ZNR_engine_use_3D_accelerator_card"),
            Lines{"ZNR_engine_use_3D_accelerator_card(1)"});
  EXPECT_EQ(form.scheme().type(), 1);
  EXPECT_EQ(platform.cursorCounter, 1);  // hide, show, and the unload's show
}

}  // namespace
}  // namespace kwellor::fakes
