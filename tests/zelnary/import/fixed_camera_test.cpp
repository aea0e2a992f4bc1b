// chase=fixed: a camera that stays where it is put but is listed among the chase cameras.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "zelnary/api/engine_core.h"
#include "zelnary/world/load_world.h"

namespace znr {
namespace {

TEST(FixedCamera, IsReportedAsChasingAndStaysPut) {
  const std::string text =
      "zelnary-world 1\n"
      "object cart 100\n waypoint 0 0 0\n waypoint 500 0 0\n"
      " poly : 0 0 0 ; 1 0 0 ; 0 1 0\nend\n"
      "camera Top chase=fixed at=1,2,300 dir=0,0,-1 zoom=70\n"
      "camera Three chase=fixed at=0,0,10\n";
  Scene scene;
  WorldLoadError error;
  ASSERT_TRUE(parse_world(text, "w.wld", scene, error)) << error.message;
  ASSERT_EQ(scene.cameras.size(), 2u);
  EXPECT_EQ(scene.cameras[0].chase, ChaseType::Fixed);
  EXPECT_EQ(scene.cameras[1].chase, ChaseType::Fixed);

  EXPECT_FALSE(
      parse_world("zelnary-world 1\nobject c 1\n waypoint 0 0 0\nend\n"
                  "camera X chase=fixed target=c\n",
                  "w.wld", scene, error));
  EXPECT_EQ(error.message, "w.wld:5: camera: target= given to a camera that does not chase");
}

TEST(FixedCamera, TheEngineListsItAndDoesNotMoveIt) {
  const std::string path = std::string(ZELNARY_TEST_OUTPUT_DIR) + "/fixed.wld";
  std::filesystem::create_directories(ZELNARY_TEST_OUTPUT_DIR);
  std::ofstream(path) << "zelnary-world 1\nobject cart 100\n waypoint 0 0 0\n waypoint 500 0 0\n"
                         " poly : 0 0 0 ; 1 0 0 ; 0 1 0\nend\n"
                         "camera Top chase=fixed at=1,2,300 dir=0,0,-1 zoom=70\n";
  double now = 0.0;
  EngineCore core([&now] { return now; });
  ASSERT_EQ(core.load_world(path, ""), 0);
  const int32_t cam = core.first_camera();
  EXPECT_EQ(core.chase_type(cam), 3);
  core.advance();
  now = 2.0;
  core.advance();
  double at[3], dir[3];
  ASSERT_TRUE(core.get_location(cam, at));
  ASSERT_TRUE(core.get_direction(cam, dir));
  EXPECT_EQ(at[2], 300.0);
  EXPECT_EQ(dir[2], -1.0);
  EXPECT_EQ(core.get_zoom(cam), 70.0);
}

}  // namespace
}  // namespace znr
