// Cases that random geometry almost never produces: edges running exactly through pixel
// centres, where the fill rule alone decides, and a floor passing just under the eye, where
// the near-plane clip alone decides.
#include <gtest/gtest.h>

#include <random>

#include "test_scenes.h"
#include "zelnary/api/backends.h"
#include "zelnary/cpu/rasterizer.h"
#include "zelnary/render/renderer.h"

namespace znr {
namespace {

constexpr uint32_t kBackground = 0xFF102030u;

// Triangles with corners on a lattice of half pixels: on pixel centres (k + 0.5) and on pixel
// corners (k), so that many edges, horizontal, vertical and slanted, cross pixel centres
// exactly. Each is drawn alone by the fast path (affine and every 16 pixels) and by the
// reference: the pixels covered must be the same.
TEST(ExactEdges, TheFastPathCoversTheReferencePixelsOnAHalfPixelLattice) {
  constexpr int32_t kW = 40, kH = 30;
  std::mt19937 rng(5);
  std::uniform_int_distribution<int> hx(-4, 2 * kW + 4), hy(-4, 2 * kH + 4);
  Framebuffer ref, fast;
  ref.resize(kW, kH);
  fast.resize(kW, kH);
  size_t covered = 0;
  for (int i = 0; i < 600; ++i) {
    DrawList one;
    one.background = kBackground;
    for (int k = 0; k < 3; ++k) {
      // Small triangles half the time, so that short edges meet centres too.
      const float x = static_cast<float>(i % 2 ? hx(rng) : 20 + hx(rng) % 12) * 0.5f;
      const float y = static_cast<float>(i % 2 ? hy(rng) : 16 + hy(rng) % 10) * 0.5f;
      one.vertices.push_back({x, y, 0.5f, 0.0f, 0.0f});
    }
    DrawPolygon p;
    p.count = 3;
    one.polygons.push_back(p);
    rasterize_reference(one, ref);
    for (const int32_t span : {0, 16}) {
      fast.clear_rows(kBackground, 0, kH);
      rasterize_spans(one, span, 0, kH, fast);
      for (size_t px = 0; px < ref.color.size(); ++px) {
        ASSERT_EQ(ref.color[px] == kBackground, fast.color[px] == kBackground)
            << "triangle " << i << " span " << span << " pixel " << px % kW << "," << px / kW;
        covered += ref.color[px] != kBackground;
      }
    }
  }
  EXPECT_GT(covered, 10000u);  // the triangles are not all degenerate or off screen
}

// A floor running from behind the eye to far ahead, the eye a hair above it, looking level:
// everything below the horizon is floor and everything above is sky. Clipped at the wrong
// side of the near plane, the floor vanishes or fills the picture.
TEST(ExactEdges, AFloorJustUnderTheEyeFillsTheLowerHalf) {
  test::TestView v{Scene{}, test::look_at({0, 0, 0.02}, {100, 0, 0.02})};
  v.scene.background = {0.0f, 0.0f, 1.0f};
  test::QuadOptions o;
  o.color = {1.0f, 0.0f, 0.0f};
  add_quad(v.scene, {Vec3{-20, 200, 0}, Vec3{-20, -200, 0}, Vec3{400, -200, 0}, Vec3{400, 200, 0}},
           o);
  Renderer r(engine_backends());
  constexpr int32_t kW = 160, kH = 120;
  for (const double accuracy : {0.0, 1000.0}) {
    RenderSettings settings;
    settings.perspective_accuracy = accuracy;
    Image out;
    r.render_to_image(v.scene, {}, v.camera, settings, kW, kH, out);
    ASSERT_EQ(out.width, kW);
    size_t sky_above = 0, floor_below = 0;
    for (int32_t y = 0; y < kH; ++y) {
      for (int32_t x = 0; x < kW; ++x) {
        const bool sky = (out.at(x, y) & 0xFFu) > 0x80u && ((out.at(x, y) >> 16) & 0xFFu) < 0x80u;
        if (y < kH / 2 - 2) sky_above += sky;
        if (y > kH / 2 + 8) floor_below += !sky;
      }
    }
    EXPECT_EQ(sky_above, size_t{kW} * (kH / 2 - 2)) << accuracy;
    EXPECT_EQ(floor_below, size_t{kW} * (kH / 2 - 9)) << accuracy;
  }
}

}  // namespace
}  // namespace znr
