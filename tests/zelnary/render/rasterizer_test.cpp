// The fast span rasterizer against the scalar reference, and the fill rule itself.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <random>

#include "test_scenes.h"
#include "zelnary/cpu/rasterizer.h"
#include "zelnary/cpu/span_mode.h"
#include "zelnary/cpu/tiles.h"
#include "zelnary/cpu/triangle_setup.h"
#include "zelnary/cpu/worker_pool.h"
#include "zelnary/scene/mip_levels.h"

namespace znr {
namespace {

constexpr uint32_t kBackground = 0xFF102030u;

// Textured with `textures` in turn when there are any, else flat.
DrawList random_triangles(uint32_t seed, int count, int32_t w, int32_t h,
                          std::span<const Texture> textures) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> x(-20.0f, static_cast<float>(w) + 20.0f);
  std::uniform_real_distribution<float> y(-20.0f, static_cast<float>(h) + 20.0f);
  std::uniform_real_distribution<float> iw(0.01f, 1.0f), uv(-3.0f, 3.0f), mul(0.2f, 1.5f);
  DrawList list;
  list.background = kBackground;
  list.textures = textures;
  for (int i = 0; i < count; ++i) {
    DrawPolygon p;
    p.first = static_cast<uint32_t>(list.vertices.size());
    p.count = 3;
    p.texture = textures.empty() ? -1 : i % static_cast<int>(textures.size());
    for (float& m : p.mul) m = mul(rng);
    // Some small and thin triangles as well as large ones.
    const float scale = (i % 3 == 0) ? 0.05f : 1.0f;
    const float cx = x(rng), cy = y(rng);
    for (int k = 0; k < 3; ++k) {
      list.vertices.push_back(
          {cx + (x(rng) - cx) * scale, cy + (y(rng) - cy) * scale, iw(rng), uv(rng), uv(rng)});
    }
    list.polygons.push_back(p);
  }
  return list;
}

double fraction_matching(const Framebuffer& a, const Framebuffer& b, int tolerance) {
  size_t same = 0;
  for (size_t i = 0; i < a.color.size(); ++i) {
    int worst = 0;
    for (int s = 0; s <= 16; s += 8) {
      worst = std::max(worst, std::abs(static_cast<int>((a.color[i] >> s) & 0xFFu) -
                                       static_cast<int>((b.color[i] >> s) & 0xFFu)));
    }
    same += worst <= tolerance ? 1 : 0;
  }
  return static_cast<double>(same) / static_cast<double>(a.color.size());
}

TEST(FillRule, SharedEdgesCoverEachPixelOnce) {
  constexpr int32_t kW = 64, kH = 48;
  std::mt19937 rng(7);
  std::uniform_real_distribution<float> jitter(-1.5f, 1.5f);
  // A grid of points over (and beyond) the screen, inner points moved at random, some on
  // exact pixel centres and edges.
  constexpr int kN = 9;
  DrawVertex grid[kN][kN];
  for (int j = 0; j < kN; ++j) {
    for (int i = 0; i < kN; ++i) {
      float px = -4.0f + static_cast<float>(i) * 9.0f, py = -4.0f + static_cast<float>(j) * 7.0f;
      if (i > 0 && j > 0 && i < kN - 1 && j < kN - 1) {
        px += (i + j) % 3 == 0 ? 0.5f : jitter(rng);
        py += (i + j) % 3 == 0 ? 0.5f : jitter(rng);
      }
      grid[j][i] = {px, py, 1.0f, 0.0f, 0.0f};
    }
  }
  std::vector<int> count(kW * kH, 0);
  auto add = [&](const DrawVertex& a, const DrawVertex& b, const DrawVertex& c) {
    TriangleSetup t;
    if (!setup_triangle(a, b, c, 0, 0, kW, kH, t)) return;
    for (int32_t y = t.y0; y <= t.y1; ++y) {
      for (int32_t x = t.x0; x <= t.x1; ++x) {
        const int64_t px = x * kSubpixel + kSubpixel / 2, py = y * kSubpixel + kSubpixel / 2;
        bool in = true;
        for (int e = 0; e < 3; ++e) in = in && edge_covers(t, e, edge_value(t, e, px, py));
        count[static_cast<size_t>(y * kW + x)] += in ? 1 : 0;
      }
    }
  };
  for (int j = 0; j + 1 < kN; ++j) {
    for (int i = 0; i + 1 < kN; ++i) {
      // Alternate the diagonal and the winding.
      if ((i + j) % 2 == 0) {
        add(grid[j][i], grid[j][i + 1], grid[j + 1][i + 1]);
        add(grid[j][i], grid[j + 1][i], grid[j + 1][i + 1]);
      } else {
        add(grid[j][i + 1], grid[j][i], grid[j + 1][i]);
        add(grid[j][i + 1], grid[j + 1][i + 1], grid[j + 1][i]);
      }
    }
  }
  for (int32_t i = 0; i < kW * kH; ++i)
    ASSERT_EQ(count[static_cast<size_t>(i)], 1) << "pixel " << i;
}

// Coverage is decided in exact arithmetic by both paths, so it must agree pixel for pixel.
TEST(FastRasterizer, CoversExactlyTheReferencePixels) {
  constexpr int32_t kW = 73, kH = 51;
  const DrawList all = random_triangles(11, 400, kW, kH, {});
  Framebuffer ref, fast;
  ref.resize(kW, kH);
  fast.resize(kW, kH);
  for (size_t i = 0; i < all.polygons.size(); ++i) {
    DrawList one;
    one.background = kBackground;
    one.vertices.assign(all.vertices.begin() + static_cast<std::ptrdiff_t>(3 * i),
                        all.vertices.begin() + static_cast<std::ptrdiff_t>(3 * i + 3));
    one.polygons.push_back(all.polygons[i]);
    one.polygons[0].first = 0;
    rasterize_reference(one, ref);
    for (const int32_t span : {0, 16}) {
      fast.clear_rows(kBackground, 0, kH);
      rasterize_spans(one, span, 0, kH, fast);
      for (size_t p = 0; p < ref.color.size(); ++p) {
        ASSERT_EQ(ref.color[p] == kBackground, fast.color[p] == kBackground)
            << "triangle " << i << " pixel " << p;
      }
    }
  }
}

// A texture whose sides are not powers of two wraps by remainder rather than by mask.
Image odd_texture() {
  Image img;
  img.width = 5;
  img.height = 3;
  for (uint32_t i = 0; i < 15; ++i) img.texels.push_back(0xFF000000u | (i * 0x110B07u));
  return img;
}

TEST(FastRasterizer, MatchesReferenceOnRandomTexturedTriangles) {
  constexpr int32_t kW = 160, kH = 120;
  for (const Image& tex : {test::pattern_texture(), odd_texture()}) {
    const Texture table[] = {{"t", tex, false}};
    DrawList list = random_triangles(3, 150, kW, kH, table);
    Framebuffer ref, fast;
    ref.resize(kW, kH);
    fast.resize(kW, kH);
    // With mip levels the reference picks the level per pixel, the fast path per span (at its
    // middle), by the same rule: they differ where a level boundary crosses a span, which
    // these triangles (up to 100 times deeper at one corner than another) do often.
    const std::vector<std::vector<Image>> levels = {build_mip_levels(tex)};
    list.mip_levels = levels;
    rasterize_reference(list, ref);
    rasterize_fast(list, 1000.0, 1, fast);
    EXPECT_GE(fraction_matching(ref, fast, 8), 0.98) << tex.width;
    // Without levels, per pixel division: only rounding at texel borders and depth ties.
    list.mip_levels = {};
    rasterize_reference(list, ref);
    rasterize_fast(list, 1000.0, 1, fast);
    EXPECT_GE(fraction_matching(ref, fast, 8), 0.995) << tex.width;
    // Any accuracy above 0 (Medium's 3 too) divides at every pixel; 0, and NaN, map the
    // texture linearly on screen, further from the reference.
    const std::vector<uint32_t> exact = fast.color;
    rasterize_fast(list, 3.0, 1, fast);
    EXPECT_TRUE(fast.color == exact) << tex.width;
    rasterize_fast(list, 0.0, 1, fast);
    const std::vector<uint32_t> linear = fast.color;
    EXPECT_LT(fraction_matching(ref, fast, 8), 0.98) << tex.width;
    rasterize_fast(list, std::numeric_limits<double>::quiet_NaN(), 1, fast);
    EXPECT_TRUE(fast.color == linear) << tex.width;
  }
}

// Tiles cut spans at their borders and threads take tiles in any order: the picture must be
// the one a single pass over the whole screen draws, bit for bit.
TEST(FastRasterizer, TilesAndThreadsChangeNothing) {
  constexpr int32_t kW = 600, kH = 151;  // three tile columns, partial ones at the right and bottom
  const Texture table[] = {{"t", test::pattern_texture(), false}, {"o", odd_texture(), false}};
  DrawList list = random_triangles(5, 160, kW, kH, table);
  const std::vector<std::vector<Image>> levels = {build_mip_levels(table[0].image),
                                                  build_mip_levels(table[1].image)};
  list.mip_levels = levels;  // a span's level must not depend on where tiles cut it
  Framebuffer whole, tiled;
  whole.resize(kW, kH);
  tiled.resize(kW, kH);
  for (const double accuracy : {0.0, 1000.0}) {
    whole.clear_rows(list.background, 0, kH);
    rasterize_spans(list, perspective_for_accuracy(accuracy), 0, kH, whole);
    for (const int32_t threads : {1, 3}) {
      rasterize_fast(list, accuracy, threads, tiled);
      EXPECT_EQ(whole.color, tiled.color) << accuracy << " " << threads;
      EXPECT_EQ(whole.depth, tiled.depth) << accuracy << " " << threads;
    }
  }
}

// Bins keep the memory the passes since the last trim needed and give back the rest, so that
// a viewer's memory follows what it draws, not the busiest view it ever drew.
TEST(TileBins, TrimGivesBackOnlyWhatRecentPassesDidNotNeed) {
  const Texture table[] = {{"t", test::pattern_texture(), false}};
  const TileGrid grid(640, 480);
  const DrawList busy = random_triangles(3, 20000, 640, 480, table);
  const DrawList quiet = random_triangles(4, 10, 640, 480, table);
  TileBins bins;
  bins.reset(grid);
  bin_list(busy, 0, grid, bins);
  const size_t held = bins.all.vertices.capacity();
  EXPECT_FALSE(bins.trim());  // the busy view was drawn since the last trim
  EXPECT_EQ(bins.all.vertices.capacity(), held);
  for (int pass = 0; pass < 2; ++pass) {
    bins.reset(grid);
    bin_list(quiet, 0, grid, bins);
  }
  EXPECT_TRUE(bins.trim());
  EXPECT_LT(bins.all.vertices.capacity() + bins.all.polygons.capacity(), 100u);
  EXPECT_TRUE(bins.all.polygons.empty());
  EXPECT_FALSE(bins.trim());  // too little left to be worth it
}

// Spans that depth-test, divide (at High) and shade four or eight pixels at once, lit flat or
// per vertex, must draw exactly what the one-pixel-at-a-time loops draw: the same texels, the same
// depths, tails and hidden pixels included, on steeply receding triangles (1/w from 0.01 to 1),
// with mip levels and without. Every instruction set this processor runs is checked, not only the
// one picked.
TEST(FastRasterizer, VectorSpansMatchScalarBitForBit) {
  constexpr int32_t kW = 203, kH = 97;  // rows not a multiple of four pixels
  const Texture table[] = {{"t", test::pattern_texture(), false}, {"o", odd_texture(), false}};
  DrawList list = random_triangles(11, 240, kW, kH, table);
  // One crossing the eye plane: the pixels with 1/w <= 0 take texel (0, 0) in both.
  const auto first = static_cast<uint32_t>(list.vertices.size());
  list.vertices.push_back({-5, 40, -0.5f, 0, 0});
  list.vertices.push_back({kW + 5.0f, 45, 0.5f, 3, 1});
  list.vertices.push_back({100, 90, 0.3f, 1, 3});
  list.polygons.push_back({first, 3, 0, {1, 1, 1}, 0});
  // Texture coordinates whose 16.16 texel positions need more than 32 bits, wrapping, and ones
  // past the 1e7 clamp; on both textures (a power of two and not).
  for (const float at : {70000.25f, 2.5e7f}) {
    for (const int texture : {0, 1}) {
      const auto far = static_cast<uint32_t>(list.vertices.size());
      list.vertices.push_back({2, 3, 0.9f, at, -1.3f * at});
      list.vertices.push_back({kW - 3.0f, 10, 0.2f, at + 100.0f, -1.3f * at - 3.0f});
      list.vertices.push_back({20, kH - 2.0f, 0.6f, at - 10.0f, -1.3f * at + 100.0f});
      list.polygons.push_back({far, 3, texture, {1, 1, 1}, 0});
    }
  }
  // A mesh of small triangles (the loops draw those whole, row by row), flat and on the
  // power-of-two texture, its corners on pixel centres and halfway between so that edges run
  // through centres, which only the fill rule gives to one side; over the random ones.
  std::mt19937 rng(5);
  std::uniform_int_distribution<int> half_pixels(-5, 5);
  for (int j = 0; j < 12; ++j) {
    for (int i = 0; i < 24; ++i) {
      const auto corner = [&](int ci, int cj) {
        const auto f = [](int v) { return static_cast<float>(v); };
        return DrawVertex{0.5f * f(ci * 14 + half_pixels(rng)),
                          0.5f * f(cj * 12 + half_pixels(rng)), 0.8f + 0.01f * f(ci % 5),
                          0.1f * f(ci), 0.13f * f(cj)};
      };
      const auto at = static_cast<uint32_t>(list.vertices.size());
      for (const auto& [ci, cj] : {std::pair{i, j}, {i + 1, j}, {i + 1, j + 1}, {i, j + 1}})
        list.vertices.push_back(corner(ci, cj));
      // Drawn as two triangles sharing a diagonal.
      list.polygons.push_back({at, 4, (i + j) % 2 == 0 ? -1 : 0, {0.9f, 0.7f, 1.1f}, 0});
    }
  }
  // Polygons lit per vertex, opaque, go side by side too: a third of the rest, some without a
  // texture, with shades that saturate and ones that do not, some with nothing added.
  std::uniform_real_distribution<float> part(0.0f, 1.3f);
  for (size_t i = 0; i < list.polygons.size(); i += 3) {
    DrawPolygon& p = list.polygons[i];
    p.shade = static_cast<uint32_t>(list.shades.size());
    if (i % 2 == 0) p.texture = -1;
    const float added = i % 9 == 0 ? 0.0f : 1.0f;
    for (uint32_t k = 0; k < p.count; ++k) {
      list.shades.push_back(
          {{part(rng), part(rng), part(rng)}, {part(rng) * 0.2f * added, 0.0f, 0.3f * added}});
    }
  }
  // Triangles past the size that takes one mip level for the whole, receding steeply, lit flat
  // and per vertex: at High the loops pick a level for each row, as the spans do.
  for (int i = 0; i < 7; ++i) {
    const auto at = static_cast<uint32_t>(list.vertices.size());
    const float x = 4.0f + 28.0f * static_cast<float>(i),
                y = 8.0f + 9.0f * static_cast<float>(i % 3);
    const float deep = 0.04f + 0.03f * static_cast<float>(i);
    list.vertices.push_back({x, y, deep, 0.0f, 0.0f});
    list.vertices.push_back({x + 25.0f, y + 1.5f, deep, 9.0f, 0.5f});
    list.vertices.push_back({x + 24.0f, y + 29.0f, 0.9f, 8.0f, 4.0f});
    list.vertices.push_back({x + 0.5f, y + 28.0f, 0.9f, 0.3f, 3.5f});
    list.polygons.push_back({at, 4, 0, {1, 1, 1}, 0});
    if (i % 2 == 1) continue;
    list.polygons.back().shade = static_cast<uint32_t>(list.shades.size());
    for (int k = 0; k < 4; ++k) list.shades.push_back({{part(rng), part(rng), part(rng)}, {}});
  }
  const std::vector<std::vector<Image>> levels = {build_mip_levels(table[0].image),
                                                  build_mip_levels(table[1].image)};
  Framebuffer scalar, vector;
  scalar.resize(kW, kH);
  vector.resize(kW, kH);
  int checked = 0;
  for (const SpanIsa isa : {SpanIsa::sse2, SpanIsa::avx2}) {
    if (!span_isa_supported(isa)) continue;
    ++checked;
    for (const double accuracy : {1000.0, 0.0}) {  // affine runs go wide too
      for (const bool mipped : {false, true}) {
        list.mip_levels = mipped ? std::span<const std::vector<Image>>(levels)
                                 : std::span<const std::vector<Image>>();
        rasterize_fast(list, accuracy, 1, scalar, span_loops(SpanIsa::scalar));
        rasterize_fast(list, accuracy, 1, vector, span_loops(isa));
        const int lanes = isa == SpanIsa::avx2 ? 8 : 4;
        EXPECT_EQ(scalar.color, vector.color) << lanes << " " << accuracy << " " << mipped;
        EXPECT_EQ(scalar.depth, vector.depth) << lanes << " " << accuracy << " " << mipped;
      }
    }
    EXPECT_GT(std::count_if(vector.color.begin(), vector.color.end(),
                            [](uint32_t c) { return c != kBackground; }),
              kW * kH / 2);
  }
#if defined(__x86_64__)
  EXPECT_GT(checked, 0);  // SSE2 is the x86-64 baseline
#endif
}

// The back end takes the widest loops the processor runs, unless the environment asks for one
// pixel at a time; loops for a set the processor lacks are never handed out.
TEST(SpanLoops, PreferredAreTheWidestSupported) {
  const SpanIsa widest = span_isa_supported(SpanIsa::avx2)   ? SpanIsa::avx2
                         : span_isa_supported(SpanIsa::sse2) ? SpanIsa::sse2
                                                             : SpanIsa::scalar;
  ASSERT_EQ(setenv("ZELNARY_SCALAR_SPANS", "1", 1), 0);
  EXPECT_EQ(preferred_span_isa(), SpanIsa::scalar);
  ASSERT_EQ(setenv("ZELNARY_SCALAR_SPANS", "0", 1), 0);
  EXPECT_EQ(preferred_span_isa(), widest);
  ASSERT_EQ(unsetenv("ZELNARY_SCALAR_SPANS"), 0);
  EXPECT_EQ(preferred_span_isa(), widest);
  for (const SpanIsa isa : {SpanIsa::sse2, SpanIsa::avx2}) {
    EXPECT_EQ(&span_loops(isa) == &span_loops(SpanIsa::scalar), !span_isa_supported(isa));
  }
}

TEST(WorkerPool, RunsEveryPartOnceAndWaitsForAll) {
  WorkerPool pool(3);
  ASSERT_EQ(pool.size(), 3);
  std::vector<int> counts(3, 0);
  for (int round = 0; round < 500; ++round) {
    pool.run([&](int32_t i) { ++counts[static_cast<size_t>(i)]; });
    // run returned, so every part has finished: the counts are settled.
    for (int c : counts) ASSERT_EQ(c, round + 1);
  }
}

TEST(FastRasterizer, RejectsBadCoordinatesWithoutDrawing) {
  DrawList list;
  list.background = kBackground;
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float huge = 1e30f;
  list.vertices = {{nan, 0, 1, 0, 0},   {10, 0, 1, 0, 0},   {0, 10, 1, 0, 0},
                   {-huge, 0, 1, 0, 0}, {huge, 0, 1, 0, 0}, {0, huge, 1, 0, 0}};
  list.polygons.push_back({0, 3, -1, {1, 1, 1}});
  list.polygons.push_back({3, 3, -1, {1, 1, 1}});
  list.polygons.push_back({4, 9, -1, {1, 1, 1}});  // runs past the vertices
  Framebuffer fb;
  fb.resize(32, 32);
  rasterize_fast(list, 3.0, 2, fb);
  for (uint32_t c : fb.color) ASSERT_EQ(c, kBackground);
  rasterize_reference(list, fb);
  for (uint32_t c : fb.color) ASSERT_EQ(c, kBackground);
}

}  // namespace
}  // namespace znr
