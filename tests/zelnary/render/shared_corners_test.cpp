// Corner tables name each polygon's vertices by the distinct vertices of its run: every corner
// must name a vertex the same to the bit as the polygon's own copy, and a picture drawn through
// the tables must be the one drawn from the polygons' own vertices.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <set>
#include <tuple>

#include "test_scenes.h"
#include "zelnary/cpu/cpu_backend.h"
#include "zelnary/render/front_end.h"
#include "zelnary/render/scene_index.h"
#include "zelnary/render/shared_corners.h"

namespace znr {
namespace {

double hill(int i, int j) {
  return 40.0 * std::sin(i * 0.21) * std::cos(j * 0.17);
}

// Rolling land, a vertex copy per polygon corner, with normals from the slopes and colours by
// height; in patches (so that chunks simplify) shiny, seen from both sides or untextured.
Scene lit_land(int side) {
  Scene s;
  s.background = {0.3f, 0.5f, 0.9f};
  s.lighting.ambient = {0.3f, 0.3f, 0.3f};
  s.lighting.sun = {0.8f, 0.8f, 0.7f};
  s.lighting.sun_direction = {-0.4, 0.5, 0.8};
  s.textures.push_back(Texture{"pattern", test::pattern_texture()});
  s.materials = {Material{}, Material{}, Material{}};
  s.materials[1].specular = {0.6f, 0.6f, 0.6f};
  s.materials[1].shininess = 12.0f;
  // A half-clear patch over a hill, whose slopes overlap on screen: drawn far to near.
  s.materials[2].alpha = 0.6f;
  s.materials[2].alpha_mode = AlphaMode::Blend;
  test::add_grid_terrain(s, side, 0.3, hill, [](int i, int j, Polygon& p) {
    p.texture = j < 40 ? -1 : 0;
    p.material = i > 100 ? 1 : i >= 60 && i < 90 && j >= 55 && j < 95 ? 2 : 0;
    p.two_sided = (i / 16 + j / 16) % 3 == 0;
  });
  for (const Vertex& v : s.vertices) {
    const int i = static_cast<int>(std::lround(v.position.x / 10.0));
    const int j = static_cast<int>(std::lround(v.position.y / 10.0));
    // Along some lines the vertices carry no normal: their polygons are lit by their planes,
    // while their other corners are shared with polygons lit by the vertices' normals.
    const Vec3 n = i % 23 == 5 ? Vec3{}
                               : normalized(Vec3{-(hill(i + 1, j) - hill(i - 1, j)) / 20.0,
                                                 -(hill(i, j + 1) - hill(i, j - 1)) / 20.0, 1.0});
    s.normals.push_back(
        {static_cast<float>(n.x), static_cast<float>(n.y), static_cast<float>(n.z)});
    const auto t = static_cast<uint32_t>(std::clamp(v.position.z / 80.0 + 0.5, 0.0, 1.0) * 255.0);
    s.vertex_colors.push_back(0xFF000000u | t << 16 | 0xC000u | (255u - t));
  }
  return s;
}

// What makes two copies the same vertex, as bits.
auto bits_of(const Scene& s, size_t i) {
  const Vertex& v = s.vertices[i];
  return std::make_tuple(std::bit_cast<uint64_t>(v.position.x),
                         std::bit_cast<uint64_t>(v.position.y),
                         std::bit_cast<uint64_t>(v.position.z), std::bit_cast<uint32_t>(v.u),
                         std::bit_cast<uint32_t>(v.v), std::bit_cast<uint32_t>(s.normals[i].x),
                         std::bit_cast<uint32_t>(s.normals[i].y),
                         std::bit_cast<uint32_t>(s.normals[i].z), s.vertex_colors[i]);
}

TEST(SharedCorners, EachCornerNamesACopyOfItsOwnVertex) {
  Scene s = lit_land(12);
  // Copies at one place that differ in their normal or colour only are different vertices.
  s.normals[4].z = 0.5f;
  s.vertex_colors[7] = 0xFF102030u;
  // A quad among the triangles.
  const auto quad = static_cast<uint32_t>(s.vertices.size());
  for (size_t k : {0u, 1u, 2u, 5u}) {
    s.vertices.push_back(s.vertices[k]);
    s.normals.push_back(s.normals[k]);
    s.vertex_colors.push_back(s.vertex_colors[k]);
  }
  Polygon q;
  q.first_vertex = quad;
  q.vertex_count = 4;
  s.polygons.push_back(q);
  // Two runs in a scattered order, one of every third polygon.
  std::vector<uint32_t> order;
  for (uint32_t p = 0; p < s.polygons.size(); p += 3) order.push_back(p);
  const auto first_run = static_cast<uint32_t>(order.size());
  for (auto p = static_cast<uint32_t>(s.polygons.size()); p-- > 0;) order.push_back(p);
  const std::pair<uint32_t, uint32_t> runs[] = {{0, first_run},
                                                {first_run, static_cast<uint32_t>(order.size())}};
  const PolygonSource from{s.polygons, order, s.vertices, s.normals, s.vertex_colors};

  SharedCorners one, several;
  std::vector<CornerRun> one_runs, several_runs;
  add_corner_runs(from, runs, 1, one, one_runs);
  add_corner_runs(from, std::vector(128, runs[1]), 3, several, several_runs);
  ASSERT_EQ(one_runs.size(), 2u);
  for (size_t r = 0; r < 2; ++r) {
    const CornerRun& run = one_runs[r];
    ASSERT_TRUE(run.usable_for(runs[r].first, runs[r].second));
    const uint16_t* corner = one.corners.data() + run.first_corner;
    std::set<decltype(bits_of(s, 0))> distinct;
    for (uint32_t e = runs[r].first; e < runs[r].second; ++e) {
      const Polygon& p = s.polygons[order[e]];
      for (uint32_t k = 0; k < p.vertex_count; ++k, ++corner) {
        ASSERT_LT(*corner, run.distinct_count);
        EXPECT_EQ(bits_of(s, one.distinct[run.first_distinct + *corner]),
                  bits_of(s, p.first_vertex + k));
        distinct.insert(bits_of(s, p.first_vertex + k));
      }
    }
    EXPECT_EQ(run.distinct_count, distinct.size());
  }
  // Built on several threads, every run's table is the one a single thread makes.
  ASSERT_EQ(several_runs.size(), 128u);
  for (const CornerRun& run : several_runs) {
    ASSERT_EQ(run.distinct_count, one_runs[1].distinct_count);
    EXPECT_TRUE(std::equal(several.corners.begin() + run.first_corner,
                           several.corners.begin() + run.first_corner + 3 * order.size() / 2,
                           one.corners.begin() + one_runs[1].first_corner));
  }
}

TEST(SharedCorners, RunsThatCannotBeNamedHaveNoTable) {
  Scene s = lit_land(4);
  const std::pair<uint32_t, uint32_t> all[] = {{0, static_cast<uint32_t>(s.polygons.size())}};
  auto usable = [&](const Scene& scene) {
    SharedCorners t;
    std::vector<CornerRun> runs;
    add_corner_runs({scene.polygons, {}, scene.vertices, scene.normals, scene.vertex_colors}, all,
                    1, t, runs);
    return runs.size() == 1 && runs[0].usable_for(all[0].first, all[0].second) &&
           t.corners.size() == 3 * scene.polygons.size();
  };
  EXPECT_TRUE(usable(s));
  Scene out_of_bounds = s;
  out_of_bounds.polygons.back().vertex_count = 4;
  EXPECT_FALSE(usable(out_of_bounds));
  Scene short_colors = s;
  short_colors.vertex_colors.pop_back();
  EXPECT_FALSE(usable(short_colors));
  // More distinct vertices than 16 bits can name.
  Scene many = s;
  many.normals.clear();
  many.vertex_colors.clear();
  many.polygons.clear();
  many.vertices.clear();
  for (uint32_t k = 0; k < 22000; ++k) {
    many.polygons.push_back(Polygon{});
    many.polygons.back().first_vertex = 3 * k;
    many.polygons.back().vertex_count = 3;
    for (int c = 0; c < 3; ++c) many.vertices.push_back({Vec3{k * 1.0, c * 1.0, 0.0}, 0.0f, 0.0f});
  }
  const std::pair<uint32_t, uint32_t> whole[] = {{0, 22000}};
  SharedCorners t;
  std::vector<CornerRun> runs;
  add_corner_runs({many.polygons, {}, many.vertices, {}, {}}, whole, 1, t, runs);
  EXPECT_FALSE(runs.at(0).usable_for(0, 22000));
  EXPECT_TRUE(t.corners.empty());
}

Image draw(const Scene& scene, const SceneIndex& index, const Camera& camera, double accuracy) {
  constexpr int32_t kW = 240, kH = 150;
  CpuBackend backend;
  backend.acquire_offscreen(kW, kH);
  Frame frame;
  find_visible(scene, index, {}, make_view(camera, kW, kH, near_plane_distance(index)), frame);
  RenderSettings settings;
  settings.perspective_accuracy = accuracy;
  backend.draw(frame, settings);
  Image out;
  backend.read_back(out);
  backend.release();
  return out;
}

TEST(SharedCorners, DrawTheSamePictureAsThePolygonsOwnVertices) {
  const Scene scene = lit_land(150);
  SceneIndex with;
  build_scene_index(scene, with);
  auto usable = [](const std::vector<CornerRun>& runs) {
    return std::count_if(runs.begin(), runs.end(),
                         [](const CornerRun& r) { return r.usable_for(r.begin, r.end); });
  };
  ASSERT_GT(usable(with.shared.chunks), 100);
  ASSERT_GT(usable(with.shared.levels), 100);
  SceneIndex without = with;
  without.shared = {};
  // Across the land near the ground (clipped by the near plane, far chunks simplified), from
  // far above, and from inside a hill looking out.
  const Camera cameras[] = {test::look_at({-40, 700, 30}, {1500, 750, 0}, 70.0),
                            test::look_at({750, 760, 2500}, {760, 750, 0}, 45.0),
                            test::look_at({-3000, -2000, 1800}, {750, 750, 0}, 35.0),
                            test::look_at({700, 700, hill(70, 70) - 2.0}, {0, 1500, 50}, 60.0)};
  for (const Camera& c : cameras) {
    for (const double accuracy : {0.0, 1000.0}) {
      EXPECT_EQ(draw(scene, with, c, accuracy).texels, draw(scene, without, c, accuracy).texels);
    }
  }
}

}  // namespace
}  // namespace znr
