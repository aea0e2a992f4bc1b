// A glTF node turned by a rotation channel becomes a keyframed object: it turns on screen, has
// a chase camera, and its animation survives the conversion to a world file.
#include <gtest/gtest.h>

#include <algorithm>
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

// One upright triangle on node 0, turned about glTF's y (our z) by 0, 90 and 180 degrees at
// 0, 1 and 2 seconds.
void write_turning_triangle(const std::string& path) {
  const float h = 0.70710678f;
  std::vector<float> floats = {0, 0, 0, 1, 0, 0, 0, 1, 0,            // positions
                               0, 1, 2,                              // key times
                               0, 0, 0, 1, 0, h, 0, h, 0, 1, 0, 0};  // rotations x y z w
  std::vector<uint8_t> bytes(floats.size() * 4);
  std::memcpy(bytes.data(), floats.data(), bytes.size());
  std::ofstream(path)
      << R"({"asset":{"version":"2.0"},"scene":0,"scenes":[{"nodes":[0]}],)"
      << R"("nodes":[{"name":"spinner","mesh":0}],"meshes":[{"primitives":[{"attributes":{"POSITION":0}}]}],)"
      << R"("animations":[{"samplers":[{"input":1,"output":2,"interpolation":"LINEAR"}],)"
      << R"("channels":[{"sampler":0,"target":{"node":0,"path":"rotation"}}]}],)"
      << R"("buffers":[{"byteLength":96,"uri":"data:application/octet-stream;base64,)"
      << test::base64(bytes) << R"("}],"bufferViews":[{"buffer":0,"byteOffset":0,"byteLength":36},)"
      << R"({"buffer":0,"byteOffset":36,"byteLength":12},{"buffer":0,"byteOffset":48,"byteLength":48}],)"
      << R"("accessors":[{"bufferView":0,"componentType":5126,"count":3,"type":"VEC3",)"
      << R"("min":[0,0,0],"max":[1,1,0]},{"bufferView":1,"componentType":5126,"count":3,)"
      << R"("type":"SCALAR","min":[0],"max":[2]},{"bufferView":2,"componentType":5126,"count":3,)"
      << R"("type":"VEC4"}]})";
}

TEST(ImportAnimation, ATurningNodeTurnsOnScreenWithACameraBehindItAndSurvivesConversion) {
  const std::string dir = std::string(ZELNARY_TEST_OUTPUT_DIR) + "/turning";
  std::filesystem::create_directories(dir);
  const std::string file = dir + "/turning.gltf";
  write_turning_triangle(file);
  Scene scene;
  std::string error;
  ASSERT_TRUE(import_model(file, scene, error)) << error;
  ASSERT_EQ(scene.objects.size(), 1u);
  EXPECT_TRUE(scene.objects[0].keyed);
  ASSERT_EQ(scene.animations.size(), 1u);
  EXPECT_DOUBLE_EQ(scene.animations[0].length, 2.0);
  const std::vector<Channel>& channels = scene.animations[0].channels;
  const auto rotation = std::find_if(channels.begin(), channels.end(), [](const Channel& c) {
    return c.path == ChannelPath::Rotation;
  });
  ASSERT_NE(rotation, channels.end());
  EXPECT_EQ(rotation->times, (std::vector<double>{0, 1, 2}));
  ASSERT_EQ(scene.cameras.size(), 2u);
  EXPECT_EQ(scene.cameras[1].name, "Behind spinner");
  EXPECT_EQ(scene.cameras[1].target, 0);

  // Different pictures a second apart; the loop comes back to the first at 2 s. With no
  // animation chosen the node rests.
  double now = 0.0;
  {
    EngineCore core([&now] { return now; });
    ASSERT_EQ(core.load_world(file, ""), 0);
    const Image start = test::picture_at(core, now, 0.0), turned = test::picture_at(core, now, 1.0),
                looped = test::picture_at(core, now, 2.0);
    EXPECT_NE(start.texels, turned.texels);
    EXPECT_EQ(start.texels, looped.texels);
  }
  setenv(kAnimationVariable, "0", 1);
  {
    now = 0.0;
    EngineCore core([&now] { return now; });
    ASSERT_EQ(core.load_world(file, ""), 0);
    const Image start = test::picture_at(core, now, 0.0), later = test::picture_at(core, now, 1.0);
    EXPECT_EQ(start.texels, later.texels);
  }
  unsetenv(kAnimationVariable);

  // zelnary-tool import writes the node and its keys; the world reads back the same.
  const std::string command = std::string("'") + ZELNARY_TOOL_PATH + "' import --force '" + file +
                              "' '" + dir + "/world' >/dev/null 2>&1";
  ASSERT_EQ(std::system(command.c_str()), 0);
  Scene loaded;
  ASSERT_TRUE(load_world(dir + "/world/turning.wld", dir + "/world/bitmaps", loaded, error))
      << error;
  ASSERT_EQ(loaded.objects.size(), 1u);
  EXPECT_TRUE(loaded.objects[0].keyed);
  EXPECT_EQ(loaded.objects[0].base, scene.objects[0].base);
  ASSERT_EQ(loaded.animations.size(), 1u);
  ASSERT_EQ(loaded.animations[0].channels.size(), channels.size());
  const Channel& back =
      loaded.animations[0].channels[static_cast<size_t>(rotation - channels.begin())];
  EXPECT_EQ(back.times, rotation->times);
  EXPECT_EQ(back.values, rotation->values);
  EXPECT_EQ(loaded.cameras[1].target, 0);
}

}  // namespace
}  // namespace znr
