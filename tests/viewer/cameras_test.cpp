// The camera roster through the recording engine: the walk, the take-over and the commands.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "cameras/camera_roster.h"
#include "tests/viewer/fake_engine.h"

namespace kwellor::fakes {
namespace {

using Lines = std::vector<std::string>;
using Handles = std::vector<CameraHandle>;

class RosterTest : public ::testing::Test {
 protected:
  // A roster over a loaded world holding the cameras (handle, chase type), with the
  // free-flight camera 100 created and the first camera shown.
  void Load(const std::vector<std::pair<CameraHandle, int32_t>>& world) {
    engine.worldCameras.clear();
    for (auto [handle, chaseType] : world) {
      FakeCamera camera;
      camera.handle = handle;
      camera.chaseType = chaseType;
      engine.worldCameras.push_back(camera);
    }
    engine.ZNR_engine_load_world("w", "", "bitmaps", 0);
    roster.emplace(engine);
    roster->RewindIndex();
    roster->Collect();
    roster->CreateViewerCamera();
    roster->ShowFirst();
    log.clear();
  }

  std::vector<std::string> log;
  FakeEngine engine{log};
  std::optional<CameraRoster> roster;
};

TEST_F(RosterTest, CollectKeepsEnumerationOrderSkipsNonChaseCamerasAndStopsAtACycle) {
  Load({{5, 0}, {7, 2}, {8, 0}, {9, 1}, {7, 1}});  // the engine names 7 again after 9
  EXPECT_EQ(roster->chaseCameras(), (Handles{7, 9}));
  EXPECT_EQ(roster->chaseCameraCount(), 2);
  EXPECT_EQ(roster->activeCamera(), 7);  // position 1 is shown first

  CameraRoster empty{engine};
  empty.CreateViewerCamera();
  empty.ShowFirst();
  EXPECT_EQ(empty.activeCamera(), 100);
}

TEST_F(RosterTest, NextPreviousAndShowCurrentWrapAndKeepTheIndexThroughFreeFlight) {
  Load({});
  roster->Next();
  roster->Previous();
  roster->ShowCurrent();
  EXPECT_EQ(roster->chaseCameraIndex(), 1);
  EXPECT_EQ(roster->activeCamera(), 100);

  Load({{7, 1}, {8, 1}, {9, 1}});
  roster->Previous();
  EXPECT_EQ(roster->chaseCameraIndex(), 3);
  EXPECT_EQ(roster->activeCamera(), 9);
  roster->Next();
  EXPECT_EQ(roster->chaseCameraIndex(), 1);
  roster->Next();
  EXPECT_EQ(roster->activeCamera(), 8);
  // After steering away, the current camera comes back and Next steps on from it.
  roster->TakeOver();
  roster->ShowCurrent();
  EXPECT_EQ(roster->activeCamera(), 8);
  roster->TakeOver();
  log.clear();
  roster->Next();
  EXPECT_EQ(roster->activeCamera(), 9);
  EXPECT_TRUE(log.empty());
}

TEST_F(RosterTest, TakeOverCopiesThePoseWithAWholeZoomInOrder) {
  Load({{7, 1}});
  engine.cameras[7].location = WorldPoint{{1.0, 2.0, 3.0}};
  engine.cameras[7].direction = WorldPoint{{0.0, 1.0, 0.0}};
  engine.cameras[7].zoom = 54.5;
  engine.cameras[7].distance = 12.25;
  roster->TakeOver();
  EXPECT_EQ(log, (Lines{"ZNR_camera_get_location1(7)", "ZNR_camera_get_direction1(7)",
                        "ZNR_camera_get_zoom(7)", "ZNR_camera_get_distance_from_eye(7)",
                        "ZNR_camera_set_location1(100, {1, 2, 3})",
                        "ZNR_camera_set_direction1(100, {0, 1, 0})", "ZNR_camera_set_zoom(100, 54)",
                        "ZNR_camera_set_distance_from_eye(100, 12.25)"}));
  EXPECT_EQ(roster->activeCamera(), 100);

  // In free flight there is nothing to take over.
  log.clear();
  roster->TakeOver();
  EXPECT_TRUE(log.empty());
}

TEST_F(RosterTest, TakeOverRoundsHalvesToEvenAndRefusesAnUnrepresentableZoom) {
  for (auto [zoom, expected] :
       std::vector<std::pair<double, std::string>>{{55.5, "56"}, {40.2, "40"}, {-0.5, "0"}}) {
    Load({{7, 1}});
    engine.cameras[7].zoom = zoom;
    roster->TakeOver();
    EXPECT_EQ(log[6], "ZNR_camera_set_zoom(100, " + expected + ")");
  }

  Load({{7, 1}});
  engine.cameras[7].zoom = 1e12;
  EXPECT_THROW(roster->TakeOver(), std::exception);
  EXPECT_EQ(roster->activeCamera(), 7);  // the chase camera stays on screen, nothing written
  EXPECT_EQ(log.size(), 3u);
}

TEST_F(RosterTest, ResetsMoveOnlyTheFreeFlightCamera) {
  Load({{7, 1}});
  roster->ResetViewerLocation();
  roster->ResetViewerDirection();
  EXPECT_EQ(log, (Lines{"ZNR_camera_set_location(100, 0, 0, 0)",
                        "ZNR_camera_set_direction(100, -1, 0, 0)"}));
  EXPECT_EQ(roster->activeCamera(), 7);
}

}  // namespace
}  // namespace kwellor::fakes
