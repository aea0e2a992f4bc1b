// The scene index of a world large enough to be built on several threads: every static polygon
// once, sorted by chunk in file order within each, boxes that hold their polygons, and the
// flat light of each in its sorted place.
#include <gtest/gtest.h>

#include <cstring>

#include "bench/big_world.h"
#include "zelnary/render/flat_light.h"
#include "zelnary/render/scene_index.h"

namespace znr {
namespace {

TEST(SceneIndex, ALargeWorldIsIndexedAsOneThreadWouldIndexIt) {
  Scene s = bench::make_big_world(300'000);
  // Some polygons move, among the static ones: they stay out of the chunks.
  s.objects.push_back(MovingObject{"cart", {Vec3{}, Vec3{1, 0, 0}}, 1.0});
  for (size_t i = 1000; i < s.polygons.size(); i += 50'000) s.polygons[i].object = 0;
  s.lighting.sun_direction = {0.3, -0.5, 1.0};
  SceneIndex index;
  build_scene_index(s, index, false);

  ASSERT_GT(index.chunks.size(), 100u);
  std::vector<char> seen(s.polygons.size(), 0);
  size_t at = 0;
  for (const Chunk& c : index.chunks) {
    ASSERT_EQ(c.begin, at);
    ASSERT_LT(c.begin, c.end);
    at = c.end;
    for (uint32_t k = c.begin; k < c.end; ++k) {
      const uint32_t pi = index.order[k];
      ASSERT_LT(pi, s.polygons.size());
      ASSERT_EQ(s.polygons[pi].object, -1) << pi;
      ASSERT_FALSE(seen[pi]) << "polygon " << pi << " twice";
      seen[pi] = 1;
      if (k > c.begin) {
        ASSERT_LT(index.order[k - 1], pi) << "out of file order in a chunk";
      }
      for (const Vertex& v : s.vertices_of(s.polygons[pi])) {
        ASSERT_TRUE(v.position.x >= c.lo.x && v.position.x <= c.hi.x) << pi;
        ASSERT_TRUE(v.position.y >= c.lo.y && v.position.y <= c.hi.y) << pi;
        ASSERT_TRUE(v.position.z >= c.lo.z && v.position.z <= c.hi.z) << pi;
      }
      const PolygonLight want = flat_light(s, s.polygons[pi], polygon_normal(s, s.polygons[pi]));
      ASSERT_EQ(std::memcmp(&index.light[k], &want, sizeof want), 0) << "light of " << pi;
    }
  }
  size_t static_count = 0;
  for (const Polygon& p : s.polygons) static_count += p.object < 0 ? 1 : 0;
  EXPECT_EQ(at, static_count);
  EXPECT_EQ(index.light.size(), static_count);
  ASSERT_EQ(index.objects.size(), 1u);
  EXPECT_EQ(index.objects[0].end - index.objects[0].begin, 6u);
  EXPECT_EQ(index.mip_levels.size(), 1u);
}

}  // namespace
}  // namespace znr
