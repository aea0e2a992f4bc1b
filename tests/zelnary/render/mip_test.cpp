// Mip levels: how they are built, that distant texels are filtered and that near ones are not.
#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "test_scenes.h"
#include "zelnary/api/backends.h"
#include "zelnary/cpu/rasterizer.h"
#include "zelnary/render/renderer.h"
#include "zelnary/scene/mip_levels.h"

namespace znr {
namespace {

Image checkerboard(int32_t size) {  // black and white texels
  Image img;
  img.width = img.height = size;
  for (int32_t y = 0; y < size; ++y) {
    for (int32_t x = 0; x < size; ++x)
      img.texels.push_back(((x + y) & 1) ? 0xFFFFFFFFu : 0xFF000000u);
  }
  return img;
}

TEST(MipLevels, BoxFilteredHalvesClampedDownToOneTexel) {
  Image img;
  img.width = 5;  // odd: the last column has no partner and is left out, as OpenGL sizes it
  img.height = 2;
  for (uint32_t i = 0; i < 10; ++i) img.texels.push_back(0xFF000000u | (i * 10u) << 8 | i);
  const std::vector<Image> levels = build_mip_levels(img);
  ASSERT_EQ(levels.size(), 2u);
  EXPECT_EQ(levels[0].width, 2);
  EXPECT_EQ(levels[0].height, 1);
  // Texels 0, 1, 5, 6 and 2, 3, 7, 8, rounded to nearest.
  EXPECT_EQ(levels[0].texels, (std::vector<uint32_t>{0xFF001E03u, 0xFF003205u}));
  // One row left: the block is clamped to it, so the 1x1 level is the two texels' average.
  ASSERT_EQ(levels[1].texels.size(), 1u);
  EXPECT_EQ(levels[1].texels[0], 0xFF002804u);
  EXPECT_TRUE(build_mip_levels(Image{}).empty());
}

// A fine checkerboard floor seen from just above it: far off, each pixel covers many texels,
// and must show their average grey, not whichever black or white texel its centre hits. The
// floor is one large quad (a level per span) or pieces a few pixels wide (a level per
// triangle), at every perspective accuracy.
TEST(MipLevels, DistantCheckerboardIsItsAverageGrey) {
  for (const bool pieces : {false, true}) {
    Scene scene;
    scene.lighting.ambient = {1.0f, 1.0f, 1.0f};
    scene.lighting.sun = {0.0f, 0.0f, 0.0f};
    scene.textures.push_back({"checks", checkerboard(64), false});
    test::QuadOptions o;
    o.texture = 0;
    if (!pieces) {
      o.uv_scale = 2000.0f;  // 64 texels a unit
      test::add_quad(
          scene, {Vec3{-2000, 1000, 0}, Vec3{-2000, -1000, 0}, Vec3{0, -1000, 0}, Vec3{0, 1000, 0}},
          o);
    }
    // Squares 5% as wide as they are far, each about 10 pixels wide and a row or two high.
    for (double d = 9.0; pieces && d < 2000.0; d *= 1.05) {
      const double side = 0.05 * d;
      o.uv_scale = static_cast<float>(side);
      for (double y = -0.6 * d; y < 0.6 * d; y += side) {
        test::add_quad(scene,
                       {Vec3{-d - side, y + side, 0}, Vec3{-d - side, y, 0}, Vec3{-d, y, 0},
                        Vec3{-d, y + side, 0}},
                       o);
      }
    }
    const Camera camera = test::look_at({0, 0, 1}, {-10, 0, 1});
    constexpr int32_t kW = 200, kH = 100;
    for (const double accuracy : {0.0, 3.0, 1000.0}) {
      Renderer r(engine_backends());
      RenderSettings settings;
      settings.perspective_accuracy = accuracy;
      Image out;
      r.render_to_image(scene, {}, camera, settings, kW, kH, out);
      ASSERT_EQ(out.width, kW);
      // The rows just below the horizon (row 50): the floor 10 or more units away.
      int grey = 0, total = 0;
      for (int32_t y = kH / 2 + 1; y < kH / 2 + 19; ++y) {
        for (int32_t x = 0; x < kW; ++x) {
          const int red = static_cast<int>((out.at(x, y) >> 16) & 0xFFu);
          grey += std::abs(red - 128) <= 8 ? 1 : 0;
          ++total;
        }
      }
      EXPECT_GE(grey, total * 99 / 100) << pieces << " " << accuracy;
    }
  }
}

// Up close (at most a texel per pixel) the full-size texture is sampled exactly as without
// levels, on both rasterizers and at every accuracy.
TEST(MipLevels, UpCloseTexelsDoNotChange) {
  const Image tex = test::pattern_texture();
  const Texture table[] = {{"t", tex, false}};
  const std::vector<std::vector<Image>> levels = {build_mip_levels(tex)};
  DrawList list;
  list.textures = table;
  // Magnified 1/0.95 times; the second quad leans away, from 0.4 to just under 1 texel a pixel.
  const float u1 = 0.95f * 96.0f / 8.0f;
  list.vertices = {{10, 10, 1, 0, 0},      {106, 10, 1, u1, 0},   {106, 106, 1, u1, u1},
                   {10, 106, 1, 0, u1},    {110, 10, 0.4f, 0, 0}, {150, 10, 0.4f, 2, 0},
                   {150, 106, 1, 2, 4.6f}, {110, 106, 1, 0, 4.6f}};
  list.polygons = {{0, 4, 0, {1, 1, 1}, 0}, {4, 4, 0, {0.8f, 0.9f, 1.0f}, 0}};
  Framebuffer plain, mipped;
  plain.resize(160, 120);
  mipped.resize(160, 120);
  for (const double accuracy : {0.0, 3.0, 1000.0}) {
    list.mip_levels = {};
    rasterize_fast(list, accuracy, 1, plain);
    list.mip_levels = levels;
    rasterize_fast(list, accuracy, 1, mipped);
    EXPECT_EQ(plain.color, mipped.color) << accuracy;
  }
  list.mip_levels = {};
  rasterize_reference(list, plain);
  list.mip_levels = levels;
  rasterize_reference(list, mipped);
  EXPECT_EQ(plain.color, mipped.color);
}

}  // namespace
}  // namespace znr
