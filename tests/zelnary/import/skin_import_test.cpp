// A glTF skin of two joints: it bends on screen as its second joint turns, its chase camera
// follows the root joint, and zelnary-tool import writes it as it stands at 0 s.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

#include "base64.h"
#include "picture_at.h"
#include "zelnary/api/engine_core.h"
#include "zelnary/import/import_model.h"
#include "zelnary/world/load_world.h"

namespace znr {
namespace {

// A quad 1 wide and 2 high in glTF's x y plane: its lower edge on joint "root" at the
// origin, its upper edge on joint "tip" one unit up, which turns 90 degrees about z from 0 s
// to 1 s, and loops. The mesh is on node "body", outside the joints' hierarchy, as exporters write
// it.
void write_bending_quad(const std::string& path) {
  const float h = 0.70710678f;
  std::vector<float> floats = {0, 0, 0, 1, 0, 0, 0, 2, 0, 1, 2, 0};  // positions
  std::vector<uint8_t> bytes(floats.size() * 4);
  std::memcpy(bytes.data(), floats.data(), bytes.size());
  auto add = [&bytes](const auto& values) {
    const size_t at = bytes.size();
    bytes.resize(at + values.size() * sizeof values[0]);
    std::memcpy(bytes.data() + at, values.data(), values.size() * sizeof values[0]);
  };
  add(std::vector<uint32_t>{0, 1, 2, 1, 3, 2});                            // 48: indices
  add(std::vector<float>{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0,  0, 1,  // 72: inverse binds
                         1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, -1, 0, 1});
  add(std::vector<uint16_t>{0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0});  // 200: joints
  add(std::vector<float>{1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0});     // 232: weights
  add(std::vector<float>{0, 1});                                               // 296: times
  add(std::vector<float>{0, 0, 0, 1, 0, 0, h, h});                             // 304: turns
  std::ofstream(path)
      << R"({"asset":{"version":"2.0"},"scene":0,"scenes":[{"nodes":[0,2]}],)"
      << R"("nodes":[{"name":"root","children":[1]},{"name":"tip","translation":[0,1,0]},)"
      << R"({"name":"body","mesh":0,"skin":0}],"skins":[{"joints":[0,1],"inverseBindMatrices":2}],)"
      << R"("meshes":[{"primitives":[{"attributes":{"POSITION":0,"JOINTS_0":3,"WEIGHTS_0":4},)"
      << R"("indices":1}]}],"animations":[{"samplers":[{"input":5,"output":6}],)"
      << R"("channels":[{"sampler":0,"target":{"node":1,"path":"rotation"}}]}],)"
      << R"("buffers":[{"byteLength":336,"uri":"data:application/octet-stream;base64,)"
      << test::base64(bytes) << R"("}],"bufferViews":[)"
      << R"({"buffer":0,"byteOffset":0,"byteLength":48},{"buffer":0,"byteOffset":48,"byteLength":24},)"
      << R"({"buffer":0,"byteOffset":72,"byteLength":128},{"buffer":0,"byteOffset":200,"byteLength":32},)"
      << R"({"buffer":0,"byteOffset":232,"byteLength":64},{"buffer":0,"byteOffset":296,"byteLength":8},)"
      << R"({"buffer":0,"byteOffset":304,"byteLength":32}],"accessors":[)"
      << R"({"bufferView":0,"componentType":5126,"count":4,"type":"VEC3","min":[0,0,0],"max":[1,2,0]},)"
      << R"({"bufferView":1,"componentType":5125,"count":6,"type":"SCALAR"},)"
      << R"({"bufferView":2,"componentType":5126,"count":2,"type":"MAT4"},)"
      << R"({"bufferView":3,"componentType":5123,"count":4,"type":"VEC4"},)"
      << R"({"bufferView":4,"componentType":5126,"count":4,"type":"VEC4"},)"
      << R"({"bufferView":5,"componentType":5126,"count":2,"type":"SCALAR","min":[0],"max":[1]},)"
      << R"({"bufferView":6,"componentType":5126,"count":2,"type":"VEC4"}]})";
}

TEST(ImportSkin, AGltfSkinBendsOnScreenFollowsItsRootAndStandsStillInTheWorldWritten) {
  const std::string dir = std::string(ZELNARY_TEST_OUTPUT_DIR) + "/bending";
  std::filesystem::create_directories(dir);
  const std::string file = dir + "/bending.gltf";
  write_bending_quad(file);
  Scene scene;
  std::string error;
  ASSERT_TRUE(import_model(file, scene, error)) << error;
  ASSERT_EQ(scene.skins.size(), 1u);
  const Skin& skin = scene.skins[0];
  ASSERT_EQ(skin.bones.size(), 2u);
  EXPECT_EQ(skin.vertex_count, 6u);
  // Each corner keeps its vertex's weights: the upper edge (the mesh's own y = 2, as the skin
  // keeps the mesh's space) on the tip alone.
  for (uint32_t i = 0; i < skin.vertex_count; ++i) {
    const bool upper = scene.vertices[skin.first_vertex + i].position.y > 1.0;
    EXPECT_EQ(skin.influences[i].bone[0], upper ? 1 : 0) << i;
    EXPECT_EQ(skin.influences[i].weight[0], 1.0f) << i;
  }
  EXPECT_EQ(scene.objects[static_cast<size_t>(skin.bones[0].object)].name, "root");
  EXPECT_EQ(scene.objects[static_cast<size_t>(skin.bones[1].object)].name, "tip");
  EXPECT_EQ(scene.objects[static_cast<size_t>(skin.object)].parent, skin.bones[0].object);
  ASSERT_EQ(scene.cameras.size(), 2u);
  EXPECT_EQ(scene.cameras[1].name, "Behind root");
  EXPECT_EQ(scene.cameras[1].target, skin.bones[0].object);

  double now = 0.0;
  Image start, bent;
  {
    EngineCore core([&now] { return now; });
    ASSERT_EQ(core.load_world(file, ""), 0);
    start = test::picture_at(core, now, 0.0);
    bent = test::picture_at(core, now, 0.5);  // half way: turned 45 degrees
    EXPECT_NE(start.texels, bent.texels);
    EXPECT_EQ(test::picture_at(core, now, 1.5).texels, bent.texels);  // the 1 s loop, once round
  }

  // The world written holds no weights: the skin stands as at 0 s on its node, and does not
  // bend; the picture is the model's at 0 s.
  const std::string command = std::string("'") + ZELNARY_TOOL_PATH + "' import --force '" + file +
                              "' '" + dir + "/world' >/dev/null 2>&1";
  ASSERT_EQ(std::system(command.c_str()), 0);
  const std::string world = dir + "/world/bending.wld";
  Scene loaded;
  ASSERT_TRUE(load_world(world, dir + "/world/bitmaps", loaded, error)) << error;
  EXPECT_TRUE(loaded.skins.empty());
  ASSERT_EQ(loaded.polygons.size(), 2u);
  EXPECT_EQ(loaded.polygons[0].object, skin.object);
  test::expect_still_and_like(world, start);
}

}  // namespace
}  // namespace znr
