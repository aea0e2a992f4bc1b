// Debian's assimp test models (package assimp-testmodels) through the whole import: counts,
// broken files, pictures against baselines, and the round trip through a world file.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include "tests/zelnary/render/image_compare.h"
#include "zelnary/api/engine_core.h"
#include "zelnary/import/import_model.h"

namespace znr {
namespace {

namespace fs = std::filesystem;

std::string model(const std::string& relative) {
  return std::string(TEST_MODELS_DIR) + "/" + relative;
}

class TestModels : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!fs::exists(TEST_MODELS_DIR)) GTEST_SKIP() << "assimp-testmodels is not installed";
  }
};

// What each model holds: the counts come from the files. Polygons are counted where drawn, a
// shared mesh's once per placement. Cameras include the generated overview and one chase
// camera per moving object; objects include the shared meshes.
struct Expected {
  const char* path;
  size_t polygons, textures, cameras, objects;
};
const Expected kModels[] = {
    {"glTF2/BoxTextured-glTF/BoxTextured.gltf", 12, 1, 1, 0},           // external .bin and .png
    {"glTF2/BoxTextured-glTF-Embedded/BoxTextured.gltf", 12, 1, 1, 0},  // data: URIs
    {"glTF2/BoxTextured-glTF-Binary/BoxTextured.glb", 12, 1, 1, 0},
    {"glTF2/cameras/Cameras.gltf", 2, 0, 3, 0},
    {"glTF2/simple_skin/simple_skin.gltf", 8, 0, 2, 3},  // two bones and the skin's node
    {"OBJ/spider.obj", 1368, 5, 1, 0},
    {"FBX/box_orphant_embedded_texture.fbx", 12, 1, 1, 0},
    {"FBX/animation_with_skeleton.fbx", 2112, 0, 3, 16},  // and its skin's node
    {"Collada/duck.dae", 4212, 1, 2, 0},
    {"Collada/anims_with_full_rotations_between_keys.DAE", 768, 0, 2, 64},
    {"3DS/CameraRollAnimWithChildObject.3ds", 24, 0, 3, 2},
    {"PLY/cube.ply", 12, 0, 1, 0},
    {"STL/Spider_binary.stl", 1368, 0, 1, 0},
    {"IFC/AC14-FZK-Haus.ifc", 35906, 0, 1, 20},  // 20 meshes placed 114 times
};

TEST_F(TestModels, LoadWithTheirPolygonsTexturesAndCameras) {
  for (const Expected& e : kModels) {
    Scene scene;
    std::string error;
    ASSERT_TRUE(import_model(model(e.path), scene, error)) << error;
    std::vector<size_t> placed(scene.objects.size(), 0);
    for (const Placement& p : scene.placements) ++placed[static_cast<size_t>(p.object)];
    size_t drawn = 0;
    for (const Polygon& p : scene.polygons)
      drawn += p.object >= 0 && scene.objects[static_cast<size_t>(p.object)].shared
                   ? placed[static_cast<size_t>(p.object)]
                   : 1;
    EXPECT_EQ(drawn, e.polygons) << e.path;
    EXPECT_EQ(scene.textures.size(), e.textures) << e.path;
    EXPECT_EQ(scene.cameras.size(), e.cameras) << e.path;
    EXPECT_EQ(scene.objects.size(), e.objects) << e.path;
    EXPECT_TRUE(std::none_of(scene.textures.begin(), scene.textures.end(), [](const Texture& t) {
      return t.fallback;
    })) << e.path;
    ASSERT_FALSE(scene.cameras.empty());
    EXPECT_EQ(scene.cameras[0].chase, ChaseType::Fixed) << e.path;
  }
}

// The package's deliberately broken files: each one clear line, and the engine goes on.
// (malformed2.obj only names a material it lacks; assimp gives it its default material.)
TEST_F(TestModels, BrokenFilesFailWithOneClearLine) {
  EngineCore core;
  for (const auto& entry : fs::directory_iterator(model("invalid"))) {
    const std::string path = entry.path().string();
    const std::string name = entry.path().filename().string();
    if (name == "readme.txt" || name == "malformed2.obj") continue;
    testing::internal::CaptureStderr();
    EXPECT_EQ(core.load_world(path, ""), -1) << path;
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err.rfind(path + ": import failed: ", 0), 0u) << err;
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
  }
  EXPECT_EQ(core.load_world(model("OBJ/box.obj"), ""), 0);
}

Image render_first_camera(EngineCore& core) {
  Image image;
  EXPECT_TRUE(core.render_to_image(core.first_camera(), 160, 120, image));
  return image;
}

// A textured glTF and an OBJ with its MTL, seen from the generated overview; the ground query
// meets the imported geometry.
TEST_F(TestModels, TexturedModelsLookAsTheirBaselines) {
  const std::pair<const char*, const char*> views[] = {
      {"glTF2/BoxTextured-glTF/BoxTextured.gltf", "box_textured_gltf"},
      {"OBJ/spider.obj", "spider_obj"},
  };
  for (const auto& [path, baseline] : views) {
    EngineCore core([] { return 0.0; });
    ASSERT_EQ(core.load_world(model(path), ""), 0) << path;
    EXPECT_EQ(test::check_baseline(baseline, render_first_camera(core)), "") << path;
  }
  EngineCore core;
  ASSERT_EQ(core.load_world(model("glTF2/BoxTextured-glTF/BoxTextured.gltf"), ""), 0);
  const double above[3] = {0, 0, 1e4}, below[3] = {0, 0, -1e4};
  double hit[3];
  ASSERT_EQ(core.is_movement_possible(above, below, hit), 0);
  EXPECT_NEAR(hit[2], kFitTarget / 2, 1.0);  // the top of the unit box, scaled to 4000
}

// Every camera, before and after the moving object has travelled, on a textured model and on
// one with a moving object.
TEST_F(TestModels, ImportToAWorldGivesTheSamePicture) {
  for (const char* relative : {"glTF2/BoxTextured-glTF-Binary/BoxTextured.glb",
                               "Collada/anims_with_full_rotations_between_keys.DAE"}) {
    const fs::path out = fs::path(ZELNARY_TEST_OUTPUT_DIR) / "roundtrip";
    fs::remove_all(out);
    const std::string source = model(relative);
    const std::string command = std::string(ZELNARY_TOOL_PATH) + " import '" + source + "' '" +
                                out.string() + "' 2>/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0) << relative;
    double now = 0.0;
    EngineCore from_model([&now] { return now; }), from_world([&now] { return now; });
    ASSERT_EQ(from_model.load_world(source, ""), 0);
    const fs::path world = out / (fs::path(source).stem().string() + ".wld");
    ASSERT_EQ(from_world.load_world(world.string(), ""), 0) << relative;
    for (double t : {0.0, 1.0}) {
      now = t;
      int32_t b = from_world.first_camera();
      for (int32_t a = from_model.first_camera(); a != 0; a = from_model.next_camera(a)) {
        ASSERT_NE(b, 0) << relative;
        EXPECT_EQ(from_model.chase_type(a), from_world.chase_type(b));
        Image x, y;
        ASSERT_TRUE(from_model.render_to_image(a, 160, 120, x));
        ASSERT_TRUE(from_world.render_to_image(b, 160, 120, y));
        EXPECT_GE(test::compare_images(x, y).matching, test::kMatchingFraction)
            << relative << " camera " << a << " at " << t << " s";
        b = from_world.next_camera(b);
      }
      EXPECT_EQ(b, 0) << relative;
    }
  }
}

}  // namespace
}  // namespace znr
