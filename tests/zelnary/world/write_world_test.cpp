// zelnary-tool's world writer: a scene with shared meshes, written and loaded back, is the same
// scene, its placements' frames to the last bit, with each mesh written once.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>

#include "write_world.h"
#include "zelnary/world/load_world.h"

namespace znr {
namespace {

namespace fs = std::filesystem;

// A cart on a path between two shared meshes, so that object numbers must survive; one
// triangle each and a static one; frames whose numbers need all 17 digits.
Scene scene_with_shared_meshes() {
  Scene s;
  s.objects.resize(3);
  s.objects[0].name = "tree";
  s.objects[1].name = "cart";
  s.objects[2].name = "rock";
  s.objects[0].shared = s.objects[2].shared = true;
  s.objects[1].path = {{0, 0, 0}, {10, 0, 0}};
  for (int32_t object = -1; object < 3; ++object) {
    Polygon& p = s.polygons.emplace_back();
    p.first_vertex = static_cast<uint32_t>(s.vertices.size());
    p.vertex_count = 3;
    p.object = object;
    for (const Vec3 v : {Vec3{0, 0, 0}, Vec3{1, 0, 0}, Vec3{0, 1.0 / 3.0, 1}})
      s.vertices.push_back({v, 0.0f, 0.0f});
  }
  const double c = std::cos(0.3), n = std::sin(0.3);
  s.placements = {
      {0, {{{1, 0, 0, 1.0 / 3.0}, {0, 1, 0, -2.5e7}, {0, 0, 1, 0.1}}}},
      {2, {{{1.7 * c, -1.7 * n, 0, 12.5}, {1.7 * n, 1.7 * c, 0, -3}, {0, 0, 1.7, 1e-9}}}},
      {0, {{{1, 0.2, 0, 0}, {0, 1, 0, 0}, {0, 0, std::nextafter(2.0, 3.0), 0}}}},
  };
  return s;
}

TEST(WriteWorld, SharedMeshesAndTheirPlacementsComeBackExactly) {
  const Scene scene = scene_with_shared_meshes();
  const fs::path dir = fs::path(::testing::TempDir()) / "write_world_shared";
  fs::remove_all(dir);
  std::string error;
  ASSERT_TRUE(tool::write_world(scene, dir.string(), "w", false, error)) << error;

  Scene back;
  ASSERT_TRUE(load_world((dir / "w.wld").string(), (dir / "bitmaps").string(), back, error))
      << error;
  ASSERT_EQ(back.objects.size(), scene.objects.size());
  for (size_t k = 0; k < scene.objects.size(); ++k) {
    EXPECT_EQ(back.objects[k].name, scene.objects[k].name) << k;
    EXPECT_EQ(back.objects[k].shared, scene.objects[k].shared) << k;
    EXPECT_EQ(back.objects[k].path, scene.objects[k].path) << k;
  }
  ASSERT_EQ(back.polygons.size(), scene.polygons.size());
  for (size_t i = 0; i < scene.polygons.size(); ++i)
    EXPECT_EQ(back.polygons[i].object, scene.polygons[i].object) << i;
  ASSERT_EQ(back.placements.size(), scene.placements.size());
  for (size_t i = 0; i < scene.placements.size(); ++i) {
    EXPECT_EQ(back.placements[i].object, scene.placements[i].object) << i;
    EXPECT_EQ(back.placements[i].frame, scene.placements[i].frame) << i;
  }

  // Each mesh's polygons are in the file once, not once per placement.
  std::ifstream in(dir / "w.wld");
  size_t polys = 0;
  for (std::string line; std::getline(in, line);) polys += line.find("poly ") != line.npos;
  EXPECT_EQ(polys, scene.polygons.size());
}

}  // namespace
}  // namespace znr
