// Shared meshes in the world format: the documented row of trees reads as written, and every
// way a file can misuse them is refused with its kind and line.
#include <gtest/gtest.h>

#include <string>

#include "documented_example.h"
#include "zelnary/world/limits.h"
#include "zelnary/world/load_world.h"

namespace znr {
namespace {

TEST(SharedMesh, TheDocumentedRowOfTreesReadsAsWritten) {
  // An unused mesh, without polygons even, is fine: it is drawn nowhere.
  const std::string text =
      test::documented_example("### Example: a row of trees") + "object bush shared\nend\n";
  Scene s;
  WorldLoadError e;
  ASSERT_TRUE(parse_world(text, "w.wld", s, e)) << e.message;

  ASSERT_EQ(s.objects.size(), 2u);
  const MovingObject& tree = s.objects[0];
  EXPECT_EQ(tree.name, "tree");
  EXPECT_TRUE(tree.shared && s.objects[1].shared);
  EXPECT_FALSE(tree.keyed);
  EXPECT_TRUE(tree.path.empty());
  // The polygons are stored once, in the mesh's own frame.
  ASSERT_EQ(s.polygons.size(), 2u);
  EXPECT_EQ(s.polygons[0].object, 0);
  EXPECT_EQ(s.polygons[1].object, 0);
  EXPECT_EQ(s.vertices_of(s.polygons[1])[2].position, (Vec3{0, 0, 70}));

  ASSERT_EQ(s.placements.size(), 3u);
  const Affine moved{{{1, 0, 0, 200}, {0, 1, 0, 0}, {0, 0, 1, 0}}};
  const Affine turned{{{0, -1, 0, 300}, {1, 0, 0, 0}, {0, 0, 1.5, 0}}};
  for (const Placement& p : s.placements) EXPECT_EQ(p.object, 0);
  EXPECT_EQ(s.placements[0].frame.m[0][3], 100.0);
  EXPECT_EQ(s.placements[1].frame, moved);
  EXPECT_EQ(s.placements[2].frame, turned);
}

TEST(SharedMesh, MisusesAreRefusedWithTheirKindAndLine) {
  const std::string v2 = "zelnary-world 2\n";
  // Lines 2 to 4.
  const std::string tree = "object tree shared\n poly : 0 0 0 ; 1 0 0 ; 0 0 1\nend\n";
  const std::string cart = "object cart 1\n waypoint 0 0 0\nend\n";
  const struct {
    const char* what;
    std::string text;
    WorldError kind;
    size_t line;
  } cases[] = {
      // A version-1 file keeps its meaning: a speed is due, and "place" is no keyword.
      {"shared in version 1", "zelnary-world 1\nobject tree shared\nend\n", WorldError::BadNumber,
       2},
      {"place in version 1", "zelnary-world 1\nplace tree 0 0 0\n", WorldError::UnknownKeyword, 2},
      {"undeclared", v2 + tree + "place bush 0 0 0\n", WorldError::UnknownReference, 5},
      {"declared later", v2 + "place tree 0 0 0\n" + tree, WorldError::UnknownReference, 2},
      {"not shared", v2 + tree + cart + "place cart 0 0 0\n", WorldError::UnknownReference, 8},
      {"inside a block", v2 + tree + "object cart 1\n waypoint 0 0 0\n place tree 0 0 0\nend\n",
       WorldError::Syntax, 7},
      {"four numbers", v2 + tree + "place tree 1 2 3 4\n", WorldError::Syntax, 5},
      {"thirteen numbers", v2 + tree + "place tree 1 0 0 0 0 1 0 0 0 0 1 0 9\n", WorldError::Syntax,
       5},
      {"beyond the coordinate limit", v2 + tree + "place tree 1 0 0 0 0 1 0 0 0 0 1 2e8\n",
       WorldError::OutOfRange, 5},
      {"more after shared", v2 + "object tree shared 5\nend\n", WorldError::Syntax, 2},
      {"waypoint in a mesh", v2 + "object tree shared\n waypoint 0 0 0\nend\n", WorldError::Syntax,
       3},
      {"node setting in a mesh", v2 + "object tree shared\n front 1 0 0\nend\n", WorldError::Syntax,
       3},
      // Resolved at the end of the file, reported on the camera's line.
      {"chase camera on a mesh", v2 + "camera c chase=watch target=tree\n" + tree,
       WorldError::UnknownReference, 2},
  };
  for (const auto& c : cases) {
    Scene s;
    WorldLoadError e;
    EXPECT_FALSE(parse_world(c.text, "w.wld", s, e)) << c.what;
    EXPECT_EQ(e.kind, c.kind) << c.what << ": " << e.message;
    EXPECT_EQ(e.line, c.line) << c.what << ": " << e.message;
    EXPECT_TRUE(e.message.starts_with("w.wld:" + std::to_string(c.line) + ": "))
        << c.what << ": " << e.message;
  }

  // The placement one past the limit is refused on its own line.
  std::string many = v2 + tree;
  many.reserve(many.size() + (world_limits::kMaxPlacements + 1) * 15);
  for (size_t i = 0; i <= world_limits::kMaxPlacements; ++i) many += "place tree 0 0 0\n";
  Scene s;
  WorldLoadError e;
  EXPECT_FALSE(parse_world(many, "w.wld", s, e));
  EXPECT_EQ(e.kind, WorldError::Limit) << e.message;
  EXPECT_EQ(e.line, world_limits::kMaxPlacements + 5) << e.message;
  EXPECT_TRUE(s.placements.empty());
}

}  // namespace
}  // namespace znr
