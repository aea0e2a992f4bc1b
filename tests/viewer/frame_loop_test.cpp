// The frame loop, the chase-camera roster, the first camera shown and the take-over.
#include <climits>
#include <string>
#include <vector>

#include "tests/viewer/viewer_fixture.h"

namespace kwellor::fakes {
namespace {

using Lines = std::vector<std::string>;

TEST_F(ViewerTest, OneFrameTurnsMovesPitchesStepsRendersAndPumps) {
  EXPECT_FALSE(Run(1));
  EXPECT_EQ(LogFrom("ZNR_camera_create(\"ViewerCam\")"),
            (Lines{"ZNR_camera_create(\"ViewerCam\")", "ZNR_camera_set_zoom(100, 55)",
                   "ZNR_camera_rotate_z(100, 0, 0)", "ZNR_camera_move(100, 2, 0, 0, 0)",
                   "ZNR_camera_rotate_y(100, 0, 2)", "ZNR_camera_get_location1(100)",
                   "ZNR_camera_get_direction1(100)", "ZNR_camera_set_location1(100, {0, 0, 0})",
                   "ZNR_engine_render(4242, 100)", "doEvents()", "unload()",
                   "ZNR_engine_is_engine_empty()", "ZNR_engine_close()", "ShowCursor(true)"}));
}

TEST_F(ViewerTest, ForwardStepAddsSpeedTimesTheEnginesDirection) {
  platform.keysDown.insert(kVkUp);
  Run(2, [&](int) { engine.cameras[100].direction = WorldPoint{{0.0, 0.5, 2.0}}; });
  // The first frame has frameMs 0, so Up adds nothing; the second adds 0.32.
  EXPECT_EQ(Calls("ZNR_camera_set_location1"),
            (Lines{"ZNR_camera_set_location1(100, {0, 0, 0})",
                   "ZNR_camera_set_location1(100, {0, 0.16, 0.64})"}));
}

TEST_F(ViewerTest, FailingStatementsAreSkippedAndTheLoopGoesOn) {
  engine.failing = {"ZNR_camera_rotate_z", "ZNR_camera_get_location1", "ZNR_engine_render"};
  platform.failing.insert("menuChecked");
  EXPECT_FALSE(Run(3));
  EXPECT_EQ(Calls("ZNR_camera_move").size(), 3u);
  EXPECT_EQ(Calls("ZNR_camera_set_location1").size(), 3u);
  EXPECT_EQ(platform.pumps, 3);
}

TEST_F(ViewerTest, RosterKeepsEnumerationOrderAndSkipsNonChaseCameras) {
  AddCamera(5, 0);
  AddCamera(7, 2);
  AddCamera(8, 0);
  AddCamera(9, 1);
  Run(1);
  EXPECT_EQ(form.cameras().chaseCameras(), (std::vector<CameraHandle>{7, 9}));
  // The world opens on its first chase camera; the free-flight camera moves unseen.
  EXPECT_EQ(Calls("ZNR_engine_render"), Lines{"ZNR_engine_render(4242, 7)"});
  EXPECT_EQ(Calls("ZNR_camera_rotate_z"), Lines{"ZNR_camera_rotate_z(100, 0, 0)"});
}

TEST_F(ViewerTest, WorldWithoutChaseCamerasOpensInFreeFlight) {
  for (bool anyCameras : {false, true}) {
    log.clear();
    FakeEngine freshEngine{log};
    FakePlatform freshPlatform{log};
    freshPlatform.commandLineText = "/w/town.wld";
    if (anyCameras) freshEngine.worldCameras = {FakeCamera{3, 0, {}, {}, 55.0, 0.0}};
    Form1 freshForm{freshEngine, freshPlatform};
    freshPlatform.onPump = [&](int) { freshPlatform.keysDown.insert(kVkEscape); };
    freshForm.Load();
    EXPECT_EQ(freshForm.cameras().chaseCameraCount(), 0);
    EXPECT_EQ(freshForm.cameras().chaseCameraIndex(), 1);
    EXPECT_EQ(freshForm.cameras().activeCamera(), 100);
    EXPECT_EQ(Calls("ZNR_engine_render"), Lines{"ZNR_engine_render(4242, 100)"});
  }
}

TEST_F(ViewerTest, SteeringCopiesTheChaseCamerasPoseBeforeTheFrameMoves) {
  AddCamera(7, 1);
  engine.worldCameras[0].location = WorldPoint{{1.0, 2.0, 3.0}};
  engine.worldCameras[0].direction = WorldPoint{{0.0, 1.0, 0.0}};
  engine.worldCameras[0].zoom = 54.5;
  engine.worldCameras[0].distance = 12.25;
  platform.keysDown.insert(kVkLeft);
  Run(1);
  EXPECT_EQ(LogFrom("ZNR_camera_get_location1(7)"),
            (Lines{"ZNR_camera_get_location1(7)",
                   "ZNR_camera_get_direction1(7)",
                   "ZNR_camera_get_zoom(7)",
                   "ZNR_camera_get_distance_from_eye(7)",
                   "ZNR_camera_set_location1(100, {1, 2, 3})",
                   "ZNR_camera_set_direction1(100, {0, 1, 0})",
                   "ZNR_camera_set_zoom(100, 54)",
                   "ZNR_camera_set_distance_from_eye(100, 12.25)",
                   "ZNR_camera_rotate_z(100, 0, 0)",
                   "ZNR_camera_move(100, 2, 0, 0, 0)",
                   "ZNR_camera_rotate_y(100, 0, 2)",
                   "ZNR_camera_get_location1(100)",
                   "ZNR_camera_get_direction1(100)",
                   "ZNR_camera_set_location1(100, {1, 2, 3})",
                   "ZNR_engine_render(4242, 100)",
                   "doEvents()",
                   "unload()",
                   "ZNR_engine_is_engine_empty()",
                   "ZNR_engine_close()",
                   "ShowCursor(true)"}));
}

}  // namespace
}  // namespace kwellor::fakes
