// Whole frames through the front end and the fast back end: against baseline PNGs, and the
// properties that the baselines alone would not pin down.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <utility>

#include "image_compare.h"
#include "test_scenes.h"
#include "zelnary/api/backends.h"
#include "zelnary/cpu/emit.h"
#include "zelnary/cpu/rasterizer.h"
#include "zelnary/render/front_end.h"
#include "zelnary/render/renderer.h"

namespace znr {
namespace {

constexpr int32_t kW = 160, kH = 120;

Image render(const test::TestView& v, double accuracy = 1000.0,
             std::span<const ObjectPose> poses = {}) {
  Renderer r(engine_backends());
  RenderSettings settings;
  settings.perspective_accuracy = accuracy;
  Image out;
  r.render_to_image(v.scene, poses, v.camera, settings, kW, kH, out);
  return out;
}

uint32_t background_of(const Scene& s) {
  auto ch = [](float f) { return static_cast<uint32_t>(std::lround(f * 255.0f)); };
  return 0xFF000000u | (ch(s.background.r) << 16) | (ch(s.background.g) << 8) | ch(s.background.b);
}

size_t differing_pixels(const Image& a, const Image& b) {
  size_t n = 0;
  for (size_t i = 0; i < a.texels.size(); ++i) n += a.texels[i] != b.texels[i] ? 1 : 0;
  return n;
}

TEST(RenderBaselines, TexturedQuad) {
  EXPECT_EQ(test::check_baseline("textured_quad", render(test::textured_quad_view())), "");
}

TEST(RenderBaselines, LitCube) {
  EXPECT_EQ(test::check_baseline("cube", render(test::cube_view())), "");
}

TEST(RenderBaselines, GroundClippedAtTheNearPlane) {
  EXPECT_EQ(test::check_baseline("ground_corrected", render(test::ground_view(), 1000.0)), "");
  EXPECT_EQ(test::check_baseline("ground_affine", render(test::ground_view(), 0.0)), "");
}

TEST(RenderBaselines, DepthOrder) {
  EXPECT_EQ(test::check_baseline("depth", render(test::depth_view(true))), "");
}

TEST(RenderBaselines, OneSidedCulling) {
  EXPECT_EQ(test::check_baseline("culling", render(test::culling_view())), "");
}

TEST(RenderImages, DepthDecidesNotDrawOrder) {
  const test::TestView near_first = test::depth_view(true);
  const Image a = render(near_first);
  const Image b = render(test::depth_view(false));
  EXPECT_EQ(a.texels, b.texels);
  // The green quad lies 0.01 behind the red one, wholly covered: none of it may show.
  for (uint32_t c : a.texels) {
    const uint32_t r = (c >> 16) & 0xFFu, g = (c >> 8) & 0xFFu;
    ASSERT_FALSE(g > r + 40) << std::hex << c;
  }
}

// The scene with every polygon cut into a fan of triangles, as imported meshes come.
Scene as_triangles(Scene s) {
  const std::vector<Polygon> polygons = std::move(s.polygons);
  s.polygons.clear();
  for (const Polygon& p : polygons) {
    for (uint32_t i = 1; i + 1 < p.vertex_count; ++i) {
      Polygon t = p;
      t.first_vertex = static_cast<uint32_t>(s.vertices.size());
      t.vertex_count = 3;
      for (const uint32_t k : {0u, i, i + 1}) {
        const Vertex corner = s.vertices[p.first_vertex + k];
        s.vertices.push_back(corner);
      }
      s.polygons.push_back(t);
    }
  }
  return s;
}

TEST(RenderImages, OneSidedBackFacesAreCulledTwoSidedAreLit) {
  test::TestView v = test::culling_view();
  const uint32_t bg = background_of(v.scene);
  for (const bool triangles : {false, true}) {
    if (triangles) v.scene = as_triangles(v.scene);
    const Image img = render(v);
    // The eye looks along +x, so +y is on the left of the picture.
    EXPECT_EQ(img.at(kW / 4, kH / 2), bg) << triangles;      // the one-sided quad is not drawn
    EXPECT_NE(img.at(3 * kW / 4, kH / 2), bg) << triangles;  // the two-sided one is
  }
}

TEST(RenderImages, NearPlaneClipKeepsTheFloorUnderTheEye) {
  const test::TestView v = test::ground_view();
  const Image img = render(v);
  const uint32_t bg = background_of(v.scene);
  for (int32_t x = 0; x < kW; ++x) {
    EXPECT_NE(img.at(x, kH - 1), bg);  // the floor reaches the bottom edge
    EXPECT_EQ(img.at(x, 0), bg);       // the sky above the horizon
  }
}

// The picture depends neither on the scene's scale (the near plane follows it) nor on where
// the scene lies: the cube shrunk to 3e-4 units, grown to 3e4, and moved 1e7 away draws as the
// cube itself does.
TEST(RenderImages, ScaleAndPlaceLeaveThePictureAlone) {
  const test::TestView v = test::cube_view();
  const Image expected = render(v);
  const std::pair<double, Vec3> cases[] = {
      {1e-4, Vec3{}}, {1e4, Vec3{}}, {1.0, Vec3{1e7, -1e7, 1e7}}, {1e-2, Vec3{-1e7, 1e7, 0}}};
  for (const auto& [scale, offset] : cases) {
    test::TestView t = v;
    for (Vertex& x : t.scene.vertices) x.position = x.position * scale + offset;
    t.camera.location = t.camera.location * scale + offset;
    EXPECT_GE(test::compare_images(render(t), expected).matching, test::kMatchingFraction)
        << scale << " at " << offset.x;
  }
}

TEST(RenderImages, MediumCorrectionIsCloseToFullAffineIsNot) {
  const test::TestView v = test::ground_view();
  const Image full = render(v, 1000.0), medium = render(v, 3.0), affine = render(v, 0.0);
  const size_t n = full.texels.size();
  EXPECT_LT(differing_pixels(full, medium), n / 20);
  EXPECT_GT(differing_pixels(full, affine), n / 10);
  // A quad facing the eye squarely has no perspective to correct.
  test::TestView flat = test::textured_quad_view();
  for (Vertex& vx : flat.scene.vertices) vx.position.x = 10.0;
  EXPECT_LT(differing_pixels(render(flat, 1000.0), render(flat, 0.0)), n / 100);
}

TEST(RenderImages, MovingObjectsAreDrawnWhereTheirPosesSay) {
  test::TestView v{Scene{}, test::look_at({0, 0, 0}, {1, 0, 0})};
  v.scene.objects.push_back(MovingObject{"box", {{0, 0, 0}, {1, 0, 0}}, 1.0});
  test::QuadOptions o;
  o.color = {1, 1, 1};
  test::add_quad(v.scene, {Vec3{0, 1, -1}, Vec3{0, -1, -1}, Vec3{0, -1, 1}, Vec3{0, 1, 1}}, o);
  v.scene.polygons.back().object = 0;
  const uint32_t bg = background_of(v.scene);
  const ObjectPose ahead{{10, 0, 0}, 0.0};
  const ObjectPose left{{10, 3, 0}, 0.0};
  const ObjectPose behind{{-10, 0, 0}, 0.0};
  EXPECT_NE(render(v, 0.0, std::span(&ahead, 1)).at(kW / 2, kH / 2), bg);
  const Image moved = render(v, 0.0, std::span(&left, 1));
  EXPECT_EQ(moved.at(kW / 2, kH / 2), bg);
  EXPECT_NE(moved.at(kW / 4, kH / 2), bg);
  for (uint32_t c : render(v, 0.0, std::span(&behind, 1)).texels) ASSERT_EQ(c, bg);
}

// Polygons in a box wholly inside the view are not clipped: a box that crosses any plane,
// the near one included where nothing else cuts it, is not inside.
TEST(RenderImages, BoxInsideTheViewCrossesNoPlane) {
  const View view = make_view(test::look_at({0, 0, 0}, {10, 0, 0}), kW, kH, 1.0);
  const auto box = [](double x0, double x1, double side) {
    return std::pair{Vec3{x0, -side, -side}, Vec3{x1, side, side}};
  };
  const std::pair<Vec3, Vec3> inside = box(2, 5, 0.1), near = box(0.5, 5, 0.1),
                              wide = box(2, 5, 50), behind = box(-5, 5, 0.1);
  EXPECT_TRUE(box_inside(view, inside.first, inside.second));
  EXPECT_FALSE(box_inside(view, near.first, near.second));
  EXPECT_FALSE(box_inside(view, wide.first, wide.second));
  EXPECT_FALSE(box_inside(view, behind.first, behind.second));
  const double nan = std::numeric_limits<double>::quiet_NaN();
  EXPECT_FALSE(box_inside(view, inside.first, Vec3{5, nan, 0.1}));
}

// Many small quads over a wide area fall into many chunks; culling whole chunks must drop
// nothing that a frame without culling shows.
TEST(RenderImages, ChunkCullingDropsNothingVisible) {
  test::TestView v{Scene{}, Camera{}};
  test::QuadOptions o;
  for (int j = -30; j < 30; ++j) {
    for (int i = -30; i < 30; ++i) {
      o.color = {static_cast<float>((i + 30) % 7) / 7.0f, static_cast<float>((j + 30) % 5) / 5.0f,
                 0.5f};
      const double x = i * 10.0, y = j * 10.0, z = std::sin(i * 0.3) * 5.0;
      test::add_quad(
          v.scene, {Vec3{x, y, z}, Vec3{x + 8, y, z}, Vec3{x + 8, y + 8, z}, Vec3{x, y + 8, z}}, o);
    }
  }
  SceneIndex culled, single;
  build_scene_index(v.scene, culled);
  ASSERT_GT(culled.chunks.size(), 4u);
  build_scene_index(v.scene, single);
  single.chunks.resize(1);  // one chunk holding every polygon, always drawn
  single.chunks[0] = {Vec3{-1e9, -1e9, -1e9}, Vec3{1e9, 1e9, 1e9}, 0,
                      static_cast<uint32_t>(single.order.size())};
  const Camera cams[] = {test::look_at({0, 0, 40}, {100, 30, 0}),
                         test::look_at({-320, -320, 20}, {0, 0, 0}),
                         test::look_at({100, 100, 200}, {100, 101, 0}, 90.0),
                         test::look_at({0, 0, 3}, {-50, 10, 2}, 150.0)};
  for (const Camera& cam : cams) {
    Frame frame;
    DrawList with, without;
    const View view = make_view(cam, kW, kH, near_plane_distance(culled));
    find_visible(v.scene, culled, {}, view, frame);
    emit_frame(frame, with);
    find_visible(v.scene, single, {}, view, frame);
    emit_frame(frame, without);
    Framebuffer a, b;
    a.resize(kW, kH);
    b.resize(kW, kH);
    rasterize_fast(with, 0.0, 1, a);
    rasterize_fast(without, 0.0, 1, b);
    EXPECT_EQ(a.color, b.color);
    EXPECT_LE(with.polygons.size(), without.polygons.size());
  }
}

TEST(RenderImages, OddInputsGiveAFrameNotACrash) {
  test::TestView v = test::cube_view();
  Renderer r(engine_backends());
  Image out;
  r.render_to_image(v.scene, {}, v.camera, {}, 0, 0, out);
  EXPECT_EQ(out.width, 0);
  EXPECT_TRUE(out.texels.empty());
  for (const auto& [w, h] : {std::pair{-4, 10}, std::pair{20000, 1}, std::pair{9000, 9000}}) {
    r.render_to_image(v.scene, {}, v.camera, {}, w, h, out);  // refused: an empty image
    EXPECT_TRUE(out.texels.empty()) << w << "x" << h;
  }
  v.camera.forward = {0, 0, 0};  // no direction at all
  v.camera.zoom = std::numeric_limits<double>::quiet_NaN();
  v.scene.polygons[0].texture = 7;              // no such texture: flat colour
  v.scene.polygons[1].first_vertex = 1u << 30;  // vertices that do not exist: skipped
  r.render_to_image(v.scene, {}, v.camera, {}, 33, 17, out);
  EXPECT_EQ(out.width, 33);
  EXPECT_EQ(out.texels.size(), 33u * 17u);
  for (const double far :
       {1e300, std::numeric_limits<double>::max(), std::numeric_limits<double>::infinity()}) {
    v.camera.location = {far, -far, 0};
    r.render_to_image(v.scene, {}, v.camera, {}, 33, 17, out);
    EXPECT_EQ(out.texels.size(), 33u * 17u);
  }
}

}  // namespace
}  // namespace znr
