// A node that glTF moves along a square becomes a moving object on that square, with a chase
// camera behind it.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

#include "base64.h"
#include "zelnary/api/engine_core.h"
#include "zelnary/import/import_model.h"

namespace znr {
namespace {

// One triangle on node 0, whose translation runs (0,0,0) (10,0,0) (10,0,-10) (0,0,-10) in glTF's
// y-up axes over 3 seconds: in ours, a square in the ground plane towards +x and +y.
void write_moving_triangle(const std::string& path) {
  std::vector<float> floats = {0, 0, 0, 1,  0, 0, 0,  1, 0,                // positions
                               0, 1, 2, 3,                                 // key times
                               0, 0, 0, 10, 0, 0, 10, 0, -10, 0, 0, -10};  // translations
  std::vector<uint8_t> bytes(floats.size() * 4);
  std::memcpy(bytes.data(), floats.data(), bytes.size());
  std::ofstream(path)
      << R"({"asset":{"version":"2.0"},"scene":0,"scenes":[{"nodes":[0]}],)"
      << R"("nodes":[{"name":"cart","mesh":0}],"meshes":[{"primitives":[{"attributes":{"POSITION":0}}]}],)"
      << R"("animations":[{"samplers":[{"input":1,"output":2,"interpolation":"LINEAR"}],)"
      << R"("channels":[{"sampler":0,"target":{"node":0,"path":"translation"}}]}],)"
      << R"("buffers":[{"byteLength":100,"uri":"data:application/octet-stream;base64,)"
      << test::base64(bytes) << R"("}],"bufferViews":[{"buffer":0,"byteOffset":0,"byteLength":36},)"
      << R"({"buffer":0,"byteOffset":36,"byteLength":16},{"buffer":0,"byteOffset":52,"byteLength":48}],)"
      << R"("accessors":[{"bufferView":0,"componentType":5126,"count":3,"type":"VEC3",)"
      << R"("min":[0,0,0],"max":[1,1,0]},{"bufferView":1,"componentType":5126,"count":4,)"
      << R"("type":"SCALAR","min":[0],"max":[3]},{"bufferView":2,"componentType":5126,"count":4,)"
      << R"("type":"VEC3"}]})";
}

TEST(ImportAnimation, AMovingNodeTravelsItsPathWithACameraBehindIt) {
  const std::string dir = ZELNARY_TEST_OUTPUT_DIR;
  std::filesystem::create_directories(dir);
  const std::string file = dir + "/moving.gltf";
  write_moving_triangle(file);
  Scene scene;
  std::string error;
  ASSERT_TRUE(import_model(file, scene, error)) << error;

  ASSERT_EQ(scene.objects.size(), 1u);
  const MovingObject& cart = scene.objects[0];
  EXPECT_EQ(cart.name, "cart");
  const double s = kFitTarget / 12.0;  // the square and the triangle's reach round it
  Vec3 lo = cart.path[0], hi = cart.path[0];
  for (const Vec3& p : cart.path) {
    lo = {std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z)};
    hi = {std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z)};
  }
  EXPECT_NEAR(length(cart.path[0]), 0.0, 1e-6);
  EXPECT_NEAR(hi.x, 10 * s, 1e-2);
  EXPECT_NEAR(hi.y, 10 * s, 1e-2);  // glTF's -z is our +y
  EXPECT_NEAR(lo.x, 0.0, 1e-2);
  EXPECT_NEAR(hi.z - lo.z, 0.0, 1e-6);
  EXPECT_NEAR(cart.speed, 40 * s / 3, 1e-2 * s);  // one loop per animation length
  ASSERT_EQ(scene.polygons.size(), 1u);
  EXPECT_EQ(scene.polygons[0].object, 0);

  ASSERT_EQ(scene.cameras.size(), 2u);
  EXPECT_EQ(scene.cameras[1].name, "Behind cart");
  EXPECT_EQ(scene.cameras[1].chase, ChaseType::Behind);
  EXPECT_EQ(scene.cameras[1].target, 0);

  double now = 0.0;
  EngineCore core([&now] { return now; });
  ASSERT_EQ(core.load_world(file, ""), 0);
  const int32_t behind = core.next_camera(core.first_camera());
  EXPECT_EQ(core.chase_type(behind), 1);
  core.advance();
  double before[3], after[3];
  core.get_location(behind, before);
  now = 0.5;
  core.advance();
  core.get_location(behind, after);
  EXPECT_GT(after[0] - before[0], 1.0);  // the cart set off along +x, the camera behind it
}

}  // namespace
}  // namespace znr
