// Light per vertex on the OpenGL back end: smooth normals with highlights, vertex colours,
// cut-outs and blending draw the CPU back end's picture, at the exact and the affine accuracy,
// still and on a moving object.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "gl_compare.h"
#include "surface_scenes.h"
#include "zelnary/api/backends.h"
#include "zelnary/gl/scene_layout.h"
#include "zelnary/render/renderer.h"
#include "zelnary/render/scene_index.h"
#include "zelnary/simulation/skinning.h"

namespace znr {
namespace {

Image render(Renderer& r, const test::TestView& v, double accuracy, bool gl,
             std::span<const ObjectPose> poses = {}) {
  RenderSettings settings;
  settings.perspective_accuracy = accuracy;
  settings.use_accelerator = gl;
  Image out;
  r.render_to_image(v.scene, poses, v.camera, settings, 200, 150, out);
  return out;
}

// The brightest channel sum in the picture: where the highlight is.
int brightest(const Image& img) {
  int most = 0;
  for (const uint32_t t : img.texels) {
    most = std::max(most, static_cast<int>(((t >> 16) & 0xFFu) + ((t >> 8) & 0xFFu) + (t & 0xFFu)));
  }
  return most;
}

struct Case {
  const char* name;
  test::TestView view;
};

TEST(GlSurfaces, EachFeatureMatchesTheCpuExactAndAffine) {
  test::TestView faceted = test::sphere_view(false, true);  // lit by the planes, shiny
  const Case cases[] = {{"smooth shiny sphere", test::sphere_view(true, true)},
                        {"faceted shiny sphere", faceted},
                        {"vertex colours", test::vertex_color_view()},
                        {"mask", test::mask_view()},
                        {"blend, near listed first", test::blend_view(true)},
                        {"blend, far listed first", test::blend_view(false)}};
  Renderer r(engine_backends());
  for (const Case& c : cases) {
    for (const double accuracy : {1000.0, 0.0}) {
      const Image gl = render(r, c.view, accuracy, true);
      ASSERT_EQ(r.backend_name().rfind("OpenGL", 0), 0u) << r.backend_name();
      const Image cpu = render(r, c.view, accuracy, false);
      EXPECT_GE(test::gl_matching(gl, cpu), test::kGlMatchingFraction)
          << c.name << " at accuracy " << accuracy;
      // A highlight covers few pixels: its peak must match too.
      EXPECT_NEAR(brightest(gl), brightest(cpu), 3 * test::kGlChannelTolerance)
          << c.name << " at accuracy " << accuracy;
    }
  }
}

// A moving object's normals turn with it: a sphere turned about its axis looks the same as one
// standing still, on both back ends, however its light is worked out.
TEST(GlSurfaces, AShinySphereOnAMovingObjectIsLitInTheWorldsFrame) {
  test::TestView v = test::sphere_view(true, true);
  const Image still = [&] {
    Renderer r(engine_backends());
    return render(r, v, 1000.0, false);
  }();
  v.scene.objects.push_back(MovingObject{"ball", {{40, 0, 0}, {41, 0, 0}}, 1.0});
  for (Vertex& vx : v.scene.vertices) vx.position = vx.position - Vec3{40, 0, 0};
  for (Polygon& p : v.scene.polygons) p.object = 0;
  const ObjectPose pose{{40, 0, 0}, 70.0};
  Renderer r(engine_backends());
  for (const double accuracy : {1000.0, 0.0}) {
    const Image gl = render(r, v, accuracy, true, std::span(&pose, 1));
    const Image cpu = render(r, v, accuracy, false, std::span(&pose, 1));
    EXPECT_GE(test::gl_matching(gl, cpu), test::kGlMatchingFraction) << accuracy;
    EXPECT_GE(test::gl_matching(gl, still), test::kGlMatchingFraction) << accuracy;
  }
}

// A keyframed node's pose may tilt and stretch what it carries: both back ends draw the same
// tilted, squashed sphere (its light turned by the inverse transpose) and lit box.
TEST(GlSurfaces, AGeneralPoseTiltsAndStretchesTheSamePictureOnBoth) {
  test::TestView v = test::sphere_view(true, true);
  test::add_box(v.scene, {40, 0, 14}, 4.0, -1);
  v.scene.objects.push_back(MovingObject{"node", {{40, 0, 0}}, 0.0});
  for (Vertex& vx : v.scene.vertices) vx.position = vx.position - Vec3{40, 0, 0};
  for (Polygon& p : v.scene.polygons) p.object = 0;
  v.scene.normals.resize(v.scene.vertices.size());  // the box's vertices carry none
  ObjectPose pose{{40, 0, 0}, 0.0};
  pose.general = true;
  const double c = std::cos(0.5), s = std::sin(0.5);  // about x, then z squashed
  const double m[3][3] = {{1, 0, 0}, {0, c, -s * 0.6}, {0, s, c * 0.6}};
  std::copy(&m[0][0], &m[0][0] + 9, &pose.linear[0][0]);
  const ObjectPose plain{{40, 0, 0}, 0.0};
  Renderer r(engine_backends());
  for (const double accuracy : {1000.0, 0.0}) {
    const Image gl = render(r, v, accuracy, true, std::span(&pose, 1));
    const Image cpu = render(r, v, accuracy, false, std::span(&pose, 1));
    EXPECT_GE(test::gl_matching(gl, cpu), test::kGlMatchingFraction) << accuracy;
    const Image upright = render(r, v, accuracy, false, std::span(&plain, 1));
    EXPECT_LT(test::gl_matching(cpu, upright), 0.9) << accuracy;  // the pose did something
  }
}

// A mesh placed four times (two of them moved only, one after the other, which share their
// light), one turned about a slant axis and stretched, and a row of placed terrain whose far
// placements are drawn coarse: the card draws each placement with its own light and level, as
// the CPU does.
TEST(GlSurfaces, PlacementsOfASharedMeshMatchTheCpu) {
  for (const test::TestView& v : {test::placed_boxes_view(true), test::placed_terrain_row_view()}) {
    Renderer r(engine_backends());
    render(r, v, 1000.0, false);
    r.finish_levels_of_detail();
    for (const double accuracy : {1000.0, 0.0}) {
      const Image gl = render(r, v, accuracy, true);
      EXPECT_GE(test::gl_matching(gl, render(r, v, accuracy, false)), test::kGlMatchingFraction)
          << accuracy;
    }
  }
  // On the card itself, the placements light each box as its copy in world coordinates is lit.
  Renderer r(engine_backends());
  const Image placed = render(r, test::placed_boxes_view(true), 1000.0, true);
  const Image copies = render(r, test::placed_boxes_view(false), 1000.0, true);
  EXPECT_GE(test::compare_images(placed, copies, 3).matching, 0.998);
}

// A shiny sphere as a skin, every vertex half on a bone that stays and half on one that turns
// it: the card draws the CPU's posed shape and light (posed on the CPU, streamed each frame).
TEST(GlSurfaces, ASkinIsPosedTheSameOnBoth) {
  test::TestView v = test::sphere_view(true, true);
  MovingObject bone, body;
  bone.keyed = body.keyed = true;
  v.scene.objects = {bone, bone, body};
  for (Polygon& p : v.scene.polygons) p.object = 2;
  Skin k;
  k.object = 2;
  k.vertex_count = static_cast<uint32_t>(v.scene.vertices.size());
  k.bones = {{0, Affine{}}, {1, Affine{}}};
  SkinInfluence half;
  half.bone[1] = 1;
  half.weight[0] = half.weight[1] = 0.5f;
  k.influences.assign(k.vertex_count, half);
  bind_bounds(v.scene.vertices, k);
  v.scene.skins = {k};
  std::vector<ObjectPose> poses(3), still(3);
  poses[1].general = true;
  const double c = std::cos(0.8), s = std::sin(0.8);  // about y, and moved along x
  const double m[3][3] = {{c, 0, s}, {0, 1, 0}, {-s, 0, c}};
  std::copy(&m[0][0], &m[0][0] + 9, &poses[1].linear[0][0]);
  poses[1].position = {0, 6, 0};
  Renderer r(engine_backends());
  for (const double accuracy : {1000.0, 0.0}) {
    const Image gl = render(r, v, accuracy, true, poses);
    const Image cpu = render(r, v, accuracy, false, poses);
    EXPECT_GE(test::gl_matching(gl, cpu), test::kGlMatchingFraction) << accuracy;
    const Image rest = render(r, v, accuracy, false, still);
    EXPECT_LT(test::gl_matching(cpu, rest), 0.9) << accuracy;  // the pose did something
  }
}

// Shaded polygons leave the flat buffers for their own; those that blend are listed one by one
// with their centre, to be sorted; a moving object's are made per frame, not laid out.
TEST(GlLayout, ShadedPolygonsGetTheirOwnBuffersAndBlendingOnesAreListedApart) {
  Scene s;
  s.materials = {Material{}, Material{}, Material{}};
  s.materials[1].alpha_mode = AlphaMode::Mask;
  s.materials[1].cutoff = 0.25f;
  s.materials[2].alpha_mode = AlphaMode::Blend;
  for (const int material : {0, 1, 2, 2, 0}) {
    const double x = static_cast<double>(s.polygons.size()) * 10.0;
    test::add_quad(s, {Vec3{x, 0, 0}, Vec3{x + 4, 0, 0}, Vec3{x + 4, 4, 0}, Vec3{x, 4, 0}}, {});
    s.polygons.back().material = static_cast<uint16_t>(material);
  }
  s.objects.push_back(MovingObject{"cart", {{0, 0, 0}}, 1.0});
  s.polygons.back().object = 0;
  s.polygons.back().material = 1;
  SceneIndex index;
  build_scene_index(s, index);
  gl::SceneLayout layout;
  gl::lay_out_scene(s, index, {}, layout);

  auto indices = [](const std::vector<gl::DrawRange>& ranges) {
    uint32_t n = 0;
    for (const gl::DrawRange& r : ranges) n += r.index_count;
    return n;
  };
  EXPECT_EQ(indices(layout.ranges), 6u);         // the plain quad
  EXPECT_EQ(indices(layout.shaded.ranges), 6u);  // the cut-out one
  EXPECT_TRUE(layout.object_vertices.empty());   // the object's only quad is shaded
  ASSERT_EQ(layout.shaded.blend.size(), 2u);
  EXPECT_EQ(layout.shaded.chunk_blend.back(), 2u);
  std::vector<float> centres;
  for (const gl::BlendPolygon& b : layout.shaded.blend) {
    EXPECT_EQ(b.index_count, 6u);
    EXPECT_FLOAT_EQ(b.center[1], 2.0f);
    centres.push_back(b.center[0]);
  }
  std::sort(centres.begin(), centres.end());
  EXPECT_EQ(centres, (std::vector<float>{22.0f, 32.0f}));
  ASSERT_EQ(layout.shaded.shade.size(), 12u);
  int cut_out = 0;
  for (const gl::ShadeAttributes& a : layout.shaded.shade) {
    EXPECT_FLOAT_EQ(a.normal[2], 1.0f);  // the plane's, unit
    cut_out += a.cutoff == 0.25f;
    EXPECT_TRUE(a.cutoff == 0.25f || a.cutoff < 0.0f);
  }
  EXPECT_EQ(cut_out, 4);
}

}  // namespace
}  // namespace znr
