// Levels of detail for distant chunks: simplified chunks keep their borders to the vertex, so
// that chunks at different levels side by side leave no crack, and a chunk is drawn in full
// when its error would show.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <thread>

#include "test_scenes.h"
#include "zelnary/api/backends.h"
#include "zelnary/cpu/emit.h"
#include "zelnary/cpu/rasterizer.h"
#include "zelnary/render/chunk_lod.h"
#include "zelnary/render/front_end.h"
#include "zelnary/render/renderer.h"

namespace znr {
namespace {

// Rolling one-sided terrain on a 160 x 160 grid, 10 units apart, in stripes of textured and
// flat-coloured triangles (so that chunks hold borders between groups too).
Scene terrain() {
  Scene s;
  s.background = {1.0f, 0.0f, 1.0f};
  s.textures.push_back(Texture{"pattern", test::pattern_texture()});
  constexpr int kSide = 160;
  auto height = [](int i, int j) {
    return 40.0 * std::sin(i * 0.07) * std::cos(j * 0.05) + 8.0 * std::sin((i + j) * 0.3);
  };
  test::add_grid_terrain(s, kSide, 0.25, height, [](int i, int, Polygon& p) {
    p.texture = (i / 5) % 3 == 0 ? -1 : 0;
    p.color = {0.5f, 0.8f, 0.4f};
  });
  return s;
}

constexpr int32_t kW = 320, kH = 240;
constexpr uint32_t kBackground = 0xFFFF00FFu;

Image draw(const Frame& frame) {
  DrawList list;
  emit_frame(frame, list);
  Framebuffer fb;
  fb.resize(kW, kH);
  rasterize_fast(list, 1000.0, 1, fb);
  return Image{kW, kH, fb.color};
}

// Pixels whose colour changed by more than the shading of a slightly turned triangle.
size_t far_off(const Image& a, const Image& b) {
  size_t differ = 0;
  for (size_t p = 0; p < a.texels.size(); ++p) {
    int most = 0;
    for (int shift = 0; shift < 24; shift += 8) {
      most = std::max(most, std::abs(static_cast<int>((a.texels[p] >> shift) & 0xFF) -
                                     static_cast<int>((b.texels[p] >> shift) & 0xFF)));
    }
    differ += most > 24 ? 1 : 0;
  }
  return differ;
}

// Low across the terrain, and from far off, where blocks of chunks stand for theirs.
const Camera kAcross = test::look_at({-100, 800, 120}, {1600, 800, 0}, 60.0);
const Camera kFarOff = test::look_at({-2500, 800, 1500}, {800, 800, 0}, 40.0);

size_t polygons_at(const SceneIndex& index, const Chunk& c, uint8_t level) {
  if (level == 0) return c.end - c.begin;
  const ChunkLevel& l = index.levels[c.first_level + level - 1u];
  return l.end - l.begin;
}

// Looking down on the terrain, which fills the picture: with neighbouring chunks drawn at
// every mix of levels, the background shows through nowhere.
TEST(ChunkLevels, MixedLevelsLeaveNoCrack) {
  const Scene scene = terrain();
  SceneIndex index;
  build_scene_index(scene, index);
  const size_t cells = index.cell_chunks();
  size_t simplified = 0;
  for (size_t i = 0; i < cells; ++i) {
    const Chunk& c = index.chunks[i];
    for (uint8_t k = 1; k <= c.level_count; ++k) {
      EXPECT_LT(polygons_at(index, c, k), polygons_at(index, c, k - 1));
      EXPECT_GE(index.levels[c.first_level + k - 1].error,
                k > 1 ? index.levels[c.first_level + k - 2].error : 0.0);
    }
    simplified += c.level_count > 0 ? 1 : 0;
  }
  ASSERT_GT(simplified, cells / 2);
  // A block of chunks has fewer triangles than its parts at their coarsest, and at least their
  // error: it stands for them, and is chosen no nearer than they would be.
  ASSERT_GT(index.chunks.size(), cells + 4);
  for (size_t b = cells; b < index.chunks.size(); ++b) {
    const Chunk& block = index.chunks[b];
    ASSERT_EQ(block.level_count, 1u);
    size_t parts = 0;
    for (uint32_t i = block.first_child; i < block.first_child + block.child_count; ++i) {
      const Chunk& c = index.chunks[index.children[i]];
      EXPECT_EQ(c.parent, b);
      EXPECT_GE(index.levels[block.first_level].error,
                index.levels[c.first_level + c.level_count - 1].error);
      parts += polygons_at(index, c, static_cast<uint8_t>(c.level_count));
    }
    EXPECT_LT(polygons_at(index, block, 1), parts);
  }

  // A simplified triangle is lit like the ground it stands for, hardly darker than the
  // darkest full-detail triangle of its chunk (a steep sliver lit by its own normal is, by
  // up to 0.46 here).
  float worst = 0.0f;
  for (size_t i = 0; i < cells; ++i) {
    const Chunk& c = index.chunks[i];
    float darkest = 1e9f;
    for (uint32_t k = c.begin; k < c.end; ++k) darkest = std::min(darkest, index.light[k].front[1]);
    if (c.level_count == 0) continue;
    const ChunkLevel& last = index.levels[c.first_level + c.level_count - 1u];
    for (uint32_t k = index.levels[c.first_level].begin; k < last.end; ++k) {
      worst = std::max(worst, darkest - index.lod_light[k].front[1]);
    }
  }
  EXPECT_LT(worst, 0.05f);

  for (const Camera& cam : {test::look_at({800, 800, 900}, {800, 801, 0}, 80.0),
                            test::look_at({800, 300, 700}, {800, 800, 0}, 50.0)}) {
    Frame frame;
    find_visible(scene, index, {}, make_view(cam, kW, kH, near_plane_distance(index)), frame);
    ASSERT_GT(frame.chunks.size(), 20u);
    for (int pattern = 0; pattern < 3; ++pattern) {
      // Blocks taken or opened by turns, their chunks at every level.
      frame.chunks.clear();
      frame.chunk_level.clear();
      auto add = [&](auto& self, uint32_t c) -> void {
        const Chunk& k = index.chunks[c];
        if (k.child_count > 0 && (c + static_cast<uint32_t>(pattern)) % 2 == 1) {
          for (uint32_t i = k.first_child; i < k.first_child + k.child_count; ++i)
            self(self, index.children[i]);
          return;
        }
        const size_t want = k.child_count > 0 || pattern == 2 ? k.level_count : (c + pattern) % 3;
        frame.chunks.push_back(c);
        frame.chunk_level.push_back(static_cast<uint8_t>(std::min<size_t>(want, k.level_count)));
      };
      for (size_t c = 0; c < index.chunks.size(); ++c)
        if (index.chunks[c].parent == kNoChunk) add(add, static_cast<uint32_t>(c));
      const Image image = draw(frame);
      size_t holes = 0;
      for (uint32_t t : image.texels) holes += t == kBackground ? 1 : 0;
      EXPECT_EQ(holes, 0u) << "pattern " << pattern;
    }
  }
}

// Up close every chunk near the eye is drawn in full; across the terrain the far chunks go
// coarse, while the picture stays close to the one in full detail.
// Far off, blocks of chunks stand for their chunks: each chunk in view is drawn once, by
// itself or by one block over it.
TEST(ChunkLevels, ChosenByProjectedError) {
  const Scene scene = terrain();
  SceneIndex index;
  build_scene_index(scene, index);
  size_t blocks = 0;
  for (const Camera& cam : {kAcross, kFarOff}) {
    const View view = make_view(cam, kW, kH, near_plane_distance(index));
    Frame lod, full;
    find_visible(scene, index, {}, view, lod);
    find_visible(scene, index, {}, view, full, false);
    std::vector<int> drawn(index.chunks.size(), 0);
    auto draw_cells = [&](auto& self, uint32_t c) -> void {
      const Chunk& k = index.chunks[c];
      ++drawn[c];
      for (uint32_t i = k.first_child; i < k.first_child + k.child_count; ++i)
        self(self, index.children[i]);
    };
    for (uint32_t c : lod.chunks) draw_cells(draw_cells, c);
    for (uint32_t c : full.chunks) EXPECT_EQ(drawn[c], 1) << c;
    size_t coarse = 0;
    for (size_t i = 0; i < lod.chunks.size(); ++i) {
      const Chunk& c = index.chunks[lod.chunks[i]];
      blocks += c.child_count > 0 ? 1 : 0;
      if (lod.chunk_level[i] > 0) {
        ++coarse;
        // Its error, seen from the box's nearest point, is within the limit.
        auto gap = [](double e, double lo, double hi) { return std::max({lo - e, 0.0, e - hi}); };
        const double near =
            length(Vec3{gap(view.eye.x, c.lo.x, c.hi.x), gap(view.eye.y, c.lo.y, c.hi.y),
                        gap(view.eye.z, c.lo.z, c.hi.z)});
        EXPECT_LE(index.levels[c.first_level + lod.chunk_level[i] - 1].error * view.focal,
                  kMaxLevelErrorPixels * near);
      }
    }
    EXPECT_GT(coarse, lod.chunks.size() / 4);
    const Image a = draw(lod), b = draw(full);
    EXPECT_LT(far_off(a, b), a.texels.size() / 100);
  }
  EXPECT_GT(blocks, 4u);
}

}  // namespace
}  // namespace znr

namespace znr {
namespace {

// Built apart on several threads and put in later, the levels are the ones built with the
// index, to the vertex; and a renderer draws full detail on its first frame, then the same
// picture as with levels built up front once they are in.
TEST(ChunkLevels, BuiltAfterTheFirstFrameOnThreadsTheyAreTheSame) {
  const Scene scene = terrain();
  SceneIndex with, later;
  build_scene_index(scene, with);
  build_scene_index(scene, later, false);
  ASSERT_TRUE(later.levels.empty());
  std::atomic<bool> stop{false};
  apply_chunk_levels(build_chunk_levels(scene, later, 3, stop), later);
  ASSERT_EQ(later.levels.size(), with.levels.size());
  ASSERT_GT(with.levels.size(), 0u);
  for (size_t c = 0; c < with.chunks.size(); ++c) {
    EXPECT_EQ(later.chunks[c].first_level, with.chunks[c].first_level);
    EXPECT_EQ(later.chunks[c].level_count, with.chunks[c].level_count);
  }
  for (size_t l = 0; l < with.levels.size(); ++l) {
    EXPECT_EQ(later.levels[l].begin, with.levels[l].begin);
    EXPECT_EQ(later.levels[l].end, with.levels[l].end);
  }
  ASSERT_EQ(later.lod_vertices.size(), with.lod_vertices.size());
  for (size_t v = 0; v < with.lod_vertices.size(); ++v)
    ASSERT_EQ(later.lod_vertices[v].position.x, with.lod_vertices[v].position.x);
  for (size_t p = 0; p < with.lod_polygons.size(); ++p)
    ASSERT_EQ(later.lod_polygons[p].first_vertex, with.lod_polygons[p].first_vertex);

  const Camera cam = test::look_at({-100, 800, 120}, {1600, 800, 0}, 60.0);
  const View view = make_view(cam, kW, kH, near_plane_distance(with));
  Frame lod, full;
  find_visible(scene, with, {}, view, lod);
  find_visible(scene, with, {}, view, full, false);
  Renderer r(engine_backends());
  RenderSettings settings;
  settings.perspective_accuracy = 1000.0;
  Image first, steady;
  r.render_to_image(scene, {}, cam, settings, kW, kH, first);
  r.finish_levels_of_detail();
  r.render_to_image(scene, {}, cam, settings, kW, kH, steady);
  EXPECT_EQ(first.texels, draw(full).texels);
  EXPECT_EQ(steady.texels, draw(lod).texels);

  // Left alone, the levels come in between frames by themselves, once a second frame asks for
  // more than one picture: until then none are built.
  Renderer viewer(engine_backends());
  Image frame;
  viewer.render_to_image(scene, {}, cam, settings, kW, kH, frame);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  viewer.render_to_image(scene, {}, cam, settings, kW, kH, frame);
  EXPECT_EQ(frame.texels, first.texels);
  for (int i = 0; i < 1000 && frame.texels != steady.texels; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    viewer.render_to_image(scene, {}, cam, settings, kW, kH, frame);
  }
  EXPECT_EQ(frame.texels, steady.texels);
}

}  // namespace
}  // namespace znr

namespace znr {
namespace {

// A shared mesh placed in a row away from the eye: the near placements drawn in full, the far
// ones coarse, the picture close to full detail; levels built later on threads are the same.
TEST(ChunkLevels, PlacementsOfASharedMeshGoCoarseWithDistance) {
  const test::TestView v = test::placed_terrain_row_view();
  SceneIndex index, later;
  build_scene_index(v.scene, index);
  build_scene_index(v.scene, later, false);
  std::atomic<bool> stop{false};
  apply_chunk_levels(build_chunk_levels(v.scene, later, 2, stop), later);
  const ObjectGroup& g = index.objects[0];
  ASSERT_GT(g.level_count, 0u);
  EXPECT_EQ(later.objects[0].first_level, g.first_level);
  EXPECT_EQ(later.objects[0].level_count, g.level_count);
  EXPECT_EQ(later.lod_polygons.size(), index.lod_polygons.size());

  const View view = make_view(v.camera, kW, kH, near_plane_distance(index));
  Frame lod, full;
  find_visible(v.scene, index, {}, view, lod);
  find_visible(v.scene, index, {}, view, full, false);
  ASSERT_EQ(lod.objects.size(), full.objects.size());
  ASSERT_GE(lod.objects.size(), 8u);
  EXPECT_EQ(lod.objects.front().level, 0);
  EXPECT_EQ(lod.objects.back().level, g.level_count);
  const Image a = draw(lod), b = draw(full);
  EXPECT_LT(far_off(a, b), a.texels.size() / 100);
  EXPECT_NE(a.texels, b.texels);  // the levels were drawn

  // Just far enough off (from its sphere) for the coarsest level, unstretched; stretched four
  // times at the same distance, its errors are four times larger on screen: a finer level.
  const double coarsest = index.levels[g.first_level + g.level_count - 1].error * view.focal /
                          kMaxLevelErrorPixels * 1.01;
  auto placed = [&](double stretch) {
    ObjectPose pose;
    pose.general = true;
    for (int i = 0; i < 3; ++i) pose.linear[i][i] = stretch;
    pose.position = view.eye + Vec3{coarsest + g.radius * stretch, 0.0, 0.0} - g.center * stretch;
    return choose_level(index, g, pose, view);
  };
  EXPECT_EQ(placed(1.0), g.level_count);
  EXPECT_LT(placed(4.0), g.level_count);
}

}  // namespace
}  // namespace znr

namespace znr {
namespace {

// The terrain with normals that sway across it, its left half (y from 800 on) in vertex
// colours by height and, in stripes, a shiny glowing material: the left chunks' levels carry
// colours and normals and are lit per vertex, the right ones' stay flat. Chunks run along y,
// so a thread that builds the first third of them has no shaded level.
Scene coloured_terrain() {
  Scene s = terrain();
  s.materials = {Material{}, Material{}};
  s.materials[1].specular = {0.4f, 0.4f, 0.4f};
  s.materials[1].shininess = 12.0f;
  s.materials[1].emissive = {0.3f, 0.0f, 0.0f};
  for (const Vertex& v : s.vertices) {
    const bool left = v.position.y >= 800.0;
    const auto t =
        static_cast<uint32_t>(std::clamp(v.position.z / 50.0 * 0.5 + 0.5, 0.0, 1.0) * 255);
    s.vertex_colors.push_back(left ? 0xFF000000u | (t << 16) | (120u << 8) | (255u - t)
                                   : 0xFFFFFFFFu);
    const Vec3 n = normalized(Vec3{0.8 * std::sin(v.position.x * 0.01), 0.0, 1.0});
    s.normals.push_back(
        {static_cast<float>(n.x), static_cast<float>(n.y), static_cast<float>(n.z)});
  }
  for (Polygon& p : s.polygons) {
    const Vertex& v = s.vertices[p.first_vertex];
    if (v.position.y >= 800.0 && static_cast<int>(v.position.x / 70.0) % 2 == 0) p.material = 1;
  }
  return s;
}

TEST(ChunkLevels, ColouredChunksGoCoarseWithTheirColoursAndLight) {
  const Scene scene = coloured_terrain();
  SceneIndex index, later;
  build_scene_index(scene, index);
  build_scene_index(scene, later, false);
  std::atomic<bool> stop{false};
  apply_chunk_levels(build_chunk_levels(scene, later, 3, stop), later);
  size_t shaded = 0;
  for (const ChunkLevel& l : index.levels) shaded += l.shaded ? 1 : 0;
  EXPECT_GT(shaded, index.levels.size() / 4);
  EXPECT_LT(shaded, index.levels.size() * 3 / 4);
  ASSERT_EQ(index.lod_normals.size(), index.lod_vertices.size());
  ASSERT_EQ(index.lod_colors.size(), index.lod_vertices.size());
  // Built on threads, each with its own share of the chunks, they line up the same.
  EXPECT_TRUE(later.lod_normals == index.lod_normals);
  EXPECT_TRUE(later.lod_colors == index.lod_colors);

  size_t shaded_blocks = 0;
  for (const Camera& cam : {kAcross, kFarOff}) {
    const View view = make_view(cam, kW, kH, near_plane_distance(index));
    Frame lod, full;
    find_visible(scene, index, {}, view, lod);
    find_visible(scene, index, {}, view, full, false);
    size_t coarse_shaded = 0;
    for (size_t i = 0; i < lod.chunks.size(); ++i) {
      const Chunk& c = index.chunks[lod.chunks[i]];
      if (lod.chunk_level[i] > 0 && index.levels[c.first_level + lod.chunk_level[i] - 1].shaded) {
        ++coarse_shaded;
        shaded_blocks += c.child_count > 0 ? 1 : 0;
      }
    }
    EXPECT_GT(coarse_shaded, lod.chunks.size() / 8);
    // Highlights on simplified normals move a little more than flat light does.
    const Image a = draw(lod), b = draw(full);
    EXPECT_LT(far_off(a, b), a.texels.size() / 50);
  }
  EXPECT_GT(shaded_blocks, 0u);
}

}  // namespace
}  // namespace znr
