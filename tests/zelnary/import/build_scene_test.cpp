#include "zelnary/import/build_scene.h"

#include <gtest/gtest.h>

#include <cmath>
#include <set>

namespace znr {
namespace {

// A flat square of the given side, centred on (c, c, 0).
Scene square(double side, double c = 0.0) {
  Scene s;
  for (auto [x, y] : {std::pair{-1, -1}, {1, -1}, {1, 1}, {-1, 1}})
    s.vertices.push_back({{c + x * side / 2, c + y * side / 2, 0.0}, 0, 0});
  Polygon p;
  p.vertex_count = 4;
  s.polygons.push_back(p);
  return s;
}

TEST(BuildImportedScene, ScalesASmallSceneUpAndFramesItFromAbove) {
  Scene s = square(2.0, 10.0);
  s.objects.push_back({"wheel \"1\"", {{10, 10, 0}, {11, 10, 0}}, 0.5});
  s.vertices.push_back({{0.5, 0, 0}, 0, 0});
  s.vertices.push_back({{0, 0.5, 0}, 0, 0});
  s.vertices.push_back({{0, 0, 0.5}, 0, 0});
  s.polygons.push_back({4, 3, -1, {}, true, 0, 0});  // material 0, object 0
  CameraDef file_camera;
  file_camera.name = "Cam \"A\"";
  file_camera.location = {10, 10, 5};
  s.cameras.push_back(file_camera);
  ImportFit fit;
  std::string error;
  ASSERT_TRUE(build_imported_scene(s, fit, error)) << error;

  EXPECT_DOUBLE_EQ(fit.extent, 2.5);  // the square, and the wheel's reach round its path
  EXPECT_DOUBLE_EQ(fit.scale, kFitTarget / 2.5);
  EXPECT_DOUBLE_EQ(s.vertices[1].position.x, 11.0 * fit.scale);
  EXPECT_DOUBLE_EQ(s.vertices[4].position.x, 0.5 * fit.scale);  // object frames scale too
  EXPECT_DOUBLE_EQ(s.objects[0].path[1].x, 11.0 * fit.scale);
  EXPECT_DOUBLE_EQ(s.objects[0].speed, 0.5 * fit.scale);
  EXPECT_EQ(s.objects[0].name, "wheel__1_");

  ASSERT_EQ(s.cameras.size(), 3u);
  const CameraDef& overview = s.cameras[0];
  EXPECT_EQ(overview.chase, ChaseType::Fixed);
  EXPECT_LT(overview.direction.z, -0.3);  // looks down
  const Vec3 centre{10.25 * fit.scale, 10 * fit.scale, 0};
  const Vec3 to_centre = normalized(centre - overview.location);
  EXPECT_GT(dot(to_centre, overview.direction), 0.999);
  EXPECT_GT(length(centre - overview.location), kFitTarget);  // far enough to see it all

  EXPECT_EQ(s.cameras[1].name, "Cam _A_");
  EXPECT_EQ(s.cameras[1].chase, ChaseType::Fixed);
  EXPECT_DOUBLE_EQ(s.cameras[1].location.z, 5 * fit.scale);
  EXPECT_EQ(s.cameras[2].name, "Behind wheel__1_");
  EXPECT_EQ(s.cameras[2].chase, ChaseType::Behind);
  EXPECT_EQ(s.cameras[2].target, 0);
  EXPECT_GT(s.cameras[2].distance_from_eye, 0.0);
}

TEST(BuildImportedScene, KeepsTheFilesUnitsNearTheTownsSize) {
  Scene s = square(2000.0);
  ImportFit fit;
  std::string error;
  ASSERT_TRUE(build_imported_scene(s, fit, error));
  EXPECT_EQ(fit.scale, 1.0);
  EXPECT_EQ(s.vertices[0].position.x, -1000.0);

  Scene huge = square(1e6);
  ASSERT_TRUE(build_imported_scene(huge, fit, error));
  EXPECT_DOUBLE_EQ(huge.vertices[0].position.x, -kFitTarget / 2);
}

// Names come out unique and within the world format's 255 bytes, chase cameras' included, so
// that the world written from an import loads.
TEST(BuildImportedScene, LongNamesStayUniqueWithinTheFormatsLength) {
  Scene s = square(100.0);
  const std::string long_name(300, 'n');
  for (int i = 0; i < 3; ++i) {
    s.objects.push_back(MovingObject{long_name, {{0, 0, 0}, {1, 0, 0}}, 1.0});
    s.cameras.push_back(CameraDef{});
    s.cameras.back().name = "Behind " + long_name;
  }
  ImportFit fit;
  std::string error;
  ASSERT_TRUE(build_imported_scene(s, fit, error)) << error;
  std::set<std::string> objects, cameras;
  for (const MovingObject& o : s.objects) {
    EXPECT_LE(o.name.size(), 255u);
    EXPECT_TRUE(objects.insert(o.name).second) << o.name;
  }
  for (const CameraDef& c : s.cameras) {
    EXPECT_LE(c.name.size(), 255u);
    EXPECT_TRUE(cameras.insert(c.name).second) << c.name;
  }
  EXPECT_EQ(cameras.size(), 7u);  // the overview, the file's three, a chase camera per object
}

// A model at the edge of the coordinates a world may hold still gets an overview inside them.
TEST(BuildImportedScene, TheOverviewOfAFarModelStaysWithinTheWorldsLimits) {
  Scene s = square(4000.0, 1e8 - 2000.0);
  ImportFit fit;
  std::string error;
  ASSERT_TRUE(build_imported_scene(s, fit, error)) << error;
  const CameraDef& overview = s.cameras.front();
  for (double v : {overview.location.x, overview.location.y, overview.location.z})
    EXPECT_LE(std::abs(v), 1e8);
  // Brought nearer along its line of sight: it still looks straight at the model's centre.
  const Vec3 to_centre = normalized(Vec3{1e8 - 2000.0, 1e8 - 2000.0, 0.0} - overview.location);
  EXPECT_GT(dot(to_centre, overview.direction), 0.999);
}

TEST(BuildImportedScene, RefusesASceneWithNothingToDraw) {
  Scene s;
  ImportFit fit;
  std::string error;
  EXPECT_FALSE(build_imported_scene(s, fit, error));
  EXPECT_EQ(error, "nothing to draw: the file holds no polygons");
}

}  // namespace
}  // namespace znr
