// A glTF's normals, vertex colours and materials (metallic-roughness, MASK, BLEND, OPAQUE)
// arrive in the scene, and zelnary-tool import writes a world that loads to the same scene.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

#include "base64.h"
#include "test_folder.h"
#include "zelnary/import/build_scene.h"
#include "zelnary/import/import_model.h"
#include "zelnary/world/load_world.h"

namespace znr {
namespace {

namespace fs = std::filesystem;

// One triangle drawn three times, each with its own material:
// 0: normals (one of length 2) and RGBA colours, MASK at 0.3, dielectric, half rough, glowing;
// 1: no normals (the importer makes them), BLEND at half alpha, a smooth metal;
// 2: OPAQUE, whose base colour's alpha is ignored.
void write_surfaces_gltf(const std::string& path) {
  const std::vector<float> floats = {
      0, 0, 0, 1, 0, 0, 0, 1,    0,           // positions
      0, 0, 1, 0, 0, 2, 0, 0,    1,           // normals
      1, 0, 0, 1, 0, 1, 0, 0.5f, 0, 0, 1, 1,  // colours
  };
  std::vector<uint8_t> bytes(floats.size() * 4);
  std::memcpy(bytes.data(), floats.data(), bytes.size());
  std::ofstream(path)
      << R"({"asset":{"version":"2.0"},"scene":0,"scenes":[{"nodes":[0]}],)"
      << R"("nodes":[{"mesh":0}],"meshes":[{"primitives":[)"
      << R"({"attributes":{"POSITION":0,"NORMAL":1,"COLOR_0":2},"material":0},)"
      << R"({"attributes":{"POSITION":0},"material":1},)"
      << R"({"attributes":{"POSITION":0},"material":2}]}],)"
      << R"("materials":[)"
      << R"({"alphaMode":"MASK","alphaCutoff":0.3,"emissiveFactor":[0.1,0.2,0.3],)"
      << R"("pbrMetallicRoughness":{"baseColorFactor":[1,1,1,0.8],"metallicFactor":0,)"
      << R"("roughnessFactor":0.5}},)"
      << R"({"alphaMode":"BLEND","pbrMetallicRoughness":{"baseColorFactor":[0.5,0.5,0.5,0.5],)"
      << R"("metallicFactor":1,"roughnessFactor":0.25}},)"
      << R"({"pbrMetallicRoughness":{"baseColorFactor":[1,1,1,0.3],"roughnessFactor":1}}],)"
      << R"("buffers":[{"byteLength":120,"uri":"data:application/octet-stream;base64,)"
      << test::base64(bytes) << R"("}],"bufferViews":[)"
      << R"({"buffer":0,"byteOffset":0,"byteLength":36},{"buffer":0,"byteOffset":36,"byteLength":36},)"
      << R"({"buffer":0,"byteOffset":72,"byteLength":48}],"accessors":[)"
      << R"({"bufferView":0,"componentType":5126,"count":3,"type":"VEC3","min":[0,0,0],"max":[1,1,0]},)"
      << R"({"bufferView":1,"componentType":5126,"count":3,"type":"VEC3"},)"
      << R"({"bufferView":2,"componentType":5126,"count":3,"type":"VEC4"}]})";
}

Vec3 as_vec(const Normal& n) {
  return {n.x, n.y, n.z};
}

class SurfaceImport : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    write_surfaces_gltf(model_.string());
    std::string error;
    ASSERT_TRUE(import_model(model_.string(), scene_, error)) << error;
  }

  const fs::path dir_ = test::test_folder("surfaces");
  const fs::path model_ = dir_ / "surfaces.gltf";
  Scene scene_;
};

TEST_F(SurfaceImport, NormalsColoursAndMaterialsArriveInTheScene) {
  const Scene& s = scene_;
  ASSERT_EQ(s.polygons.size(), 3u);
  ASSERT_EQ(s.normals.size(), 9u);
  ASSERT_EQ(s.vertex_colors.size(), 9u);

  // The file's normals turn with the model into world axes; the importer's for the others are the
  // plane's. Both are unit length.
  const auto v = [&](size_t i) { return s.vertices[i].position; };
  const Vec3 plane = normalized(cross(v(1) - v(0), v(2) - v(0)));
  ASSERT_GT(length(plane), 0.5);
  for (size_t i = 0; i < 9; ++i)
    EXPECT_LT(length(as_vec(s.normals[i]) - plane), 1e-5) << "vertex " << i;

  EXPECT_EQ(s.vertex_colors[0], 0xFFFF0000u);
  EXPECT_EQ(s.vertex_colors[1], 0x8000FF00u);
  EXPECT_EQ(s.vertex_colors[2], 0xFF0000FFu);
  for (size_t i = 3; i < 9; ++i) EXPECT_EQ(s.vertex_colors[i], 0xFFFFFFFFu) << i;

  const Material& mask = s.material_of(s.polygons[0]);
  EXPECT_EQ(mask.alpha_mode, AlphaMode::Mask);
  EXPECT_FLOAT_EQ(mask.cutoff, 0.3f);
  EXPECT_FLOAT_EQ(mask.alpha, 0.8f);
  EXPECT_FLOAT_EQ(mask.shininess, 30.0f);  // 2 / 0.5^4 - 2
  EXPECT_FLOAT_EQ(mask.specular.g, 0.04f * 0.25f);
  EXPECT_EQ(mask.emissive, (Color{0.1f, 0.2f, 0.3f}));

  const Material& blend = s.material_of(s.polygons[1]);
  EXPECT_EQ(blend.alpha_mode, AlphaMode::Blend);
  EXPECT_FLOAT_EQ(blend.alpha, 0.5f);
  EXPECT_FLOAT_EQ(blend.shininess, 510.0f);                 // 2 / 0.25^4 - 2
  EXPECT_FLOAT_EQ(blend.specular.r, 0.5f * 0.75f * 0.75f);  // a metal's own colour
  EXPECT_EQ(s.polygons[1].color, (Color{0.5f, 0.5f, 0.5f}));

  // Fully rough and opaque: nothing beyond the plain material.
  EXPECT_TRUE(s.material_of(s.polygons[2]).plain());
  EXPECT_EQ(s.polygons[2].material, 0);

  // A light of its own: the sun from above the model, on the overview camera's side.
  const Vec3 sun = normalized(s.lighting.sun_direction);
  EXPECT_GT(sun.z, 0.3);
  EXPECT_LT(dot(sun, s.cameras.at(0).direction), -0.3);
}

TEST_F(SurfaceImport, TheWrittenWorldLoadsToTheSameScene) {
  const std::string command = std::string(ZELNARY_TOOL_PATH) + " import --force '" +
                              model_.string() + "' '" + (dir_ / "out").string() + "' 2>/dev/null";
  ASSERT_EQ(std::system(command.c_str()), 0);
  Scene world;
  std::string error;
  ASSERT_TRUE(load_world((dir_ / "out" / "surfaces.wld").string(), "", world, error)) << error;

  ASSERT_EQ(world.polygons.size(), scene_.polygons.size());
  ASSERT_EQ(world.vertices.size(), scene_.vertices.size());
  ASSERT_EQ(world.normals.size(), scene_.normals.size());
  EXPECT_EQ(world.vertex_colors, scene_.vertex_colors);
  for (size_t i = 0; i < world.vertices.size(); ++i) {
    EXPECT_EQ(world.vertices[i].position, scene_.vertices[i].position) << i;
    EXPECT_LT(length(as_vec(world.normals[i]) - as_vec(scene_.normals[i])), 1e-5) << i;
  }
  for (size_t i = 0; i < world.polygons.size(); ++i) {
    EXPECT_EQ(world.material_of(world.polygons[i]), scene_.material_of(scene_.polygons[i])) << i;
    EXPECT_EQ(world.polygons[i].color, scene_.polygons[i].color) << i;
  }
  EXPECT_EQ(world.lighting.sun, scene_.lighting.sun);
  EXPECT_EQ(world.lighting.ambient, scene_.lighting.ambient);
}

}  // namespace
}  // namespace znr
