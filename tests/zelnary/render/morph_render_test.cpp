// Morph targets posed as the back ends pose them (the front end's frame, then PosedSkins):
// weights worked out by hand, a morph under a skin, and culling that follows the weights.
#include <gtest/gtest.h>

#include <vector>

#include "test_scenes.h"
#include "zelnary/api/backends.h"
#include "zelnary/render/front_end.h"
#include "zelnary/render/posed_skins.h"
#include "zelnary/render/renderer.h"
#include "zelnary/render/scene_index.h"
#include "zelnary/simulation/keyframes.h"
#include "zelnary/simulation/morphing.h"
#include "zelnary/simulation/skinning.h"

namespace znr {
namespace {

void expect_near(const Vec3& a, const Vec3& b, double within = 1e-9) {
  EXPECT_NEAR(a.x, b.x, within);
  EXPECT_NEAR(a.y, b.y, within);
  EXPECT_NEAR(a.z, b.z, within);
}

// A red triangle on keyed node `object` of mesh vertices A (0,0,0), B (4,0,0), C (0,4,0), its
// corners in the order C A B. Target 0 moves A, B and C by `moves` (by default B up by 2) and
// tips B's normal towards +x, target 1 moves C by 2 along x; defaults (0, 1). The Weights
// channel runs linearly from (0, 0) at 0 s to (1, 0.5) at 2 s.
Scene morphed_triangle(std::vector<MorphDelta> moves = {{}, {0, 0, 2}, {}}, int32_t object = 0) {
  Scene s;
  s.objects.resize(static_cast<size_t>(object) + 1);
  for (MovingObject& o : s.objects) o.keyed = true;
  s.vertices = {{{0, 4, 0}}, {{0, 0, 0}}, {{4, 0, 0}}};
  s.normals = {{0, 0, 1}, {0, 0, 1}, {0, 0, 1}};
  Polygon p;
  p.vertex_count = 3;
  p.color = {1, 0, 0};
  p.object = object;
  s.polygons = {p};
  Morph m;
  m.object = object;
  m.vertex_count = 3;
  m.targets = 2;
  m.mesh_vertices = 3;
  m.default_weights = {0.0f, 1.0f};
  m.positions = moves;
  m.positions.insert(m.positions.end(), {{}, {}, {2, 0, 0}});
  m.normals = {{}, {1, 0, 0}, {}, {}, {}, {}};
  m.corner_vertex = {2, 0, 1};
  rest_bounds(s.vertices, m);
  s.morphs = {m};
  Channel c;
  c.object = object;
  c.path = ChannelPath::Weights;
  c.weights = 2;
  c.times = {0, 2};
  c.values = {0, 0, 1, 0.5};
  s.animations = {{"morph", 2.0, {c}}};
  return s;
}

TEST(MorphRender, ATriangleTakesItsKeyedWeightsAsTheRenderThreadsPoseIt) {
  const Scene scene = morphed_triangle();
  std::vector<float> weights = default_morph_weights(scene);
  NodeAnimator(scene, 0).weights(1.0, weights);
  EXPECT_EQ(weights, (std::vector<float>{0.5f, 0.25f}));
  // The node turned a quarter left and moved 10 along x.
  std::vector<ObjectPose> poses(1);
  poses[0].position = {10, 0, 0};
  poses[0].heading_deg = 90.0;
  SceneIndex index;
  build_scene_index(scene, index);
  const View view = make_view(test::look_at({8, 2, 40}, {8, 2, 0}), 64, 48, 1.0);
  Frame frame;
  find_visible(scene, index, poses, view, frame, true, weights);
  ASSERT_EQ(frame.morphs.size(), 1u);
  ASSERT_EQ(frame.objects.size(), 1u);
  EXPECT_TRUE(frame.objects[0].skinned);
  PosedSkins posed;
  ASSERT_TRUE(posed.begin(frame));
  posed.pose(frame, 0, 2);  // in two parts, as two render threads would
  posed.pose(frame, 1, 2);
  // C + 0.25 * (2,0,0), A, B + 0.5 * (0,0,2); then turned (x, y -> -y, x) and moved.
  expect_near(posed.vertices()[0].position, {6, 0.5, 0});
  expect_near(posed.vertices()[1].position, {10, 0, 0});
  expect_near(posed.vertices()[2].position, {10, 4, 1});
  const Normal& n = posed.normals()[2];  // (0.5, 0, 1) made unit, then turned
  expect_near({n.x, n.y, n.z}, {0, 0.4472136, 0.8944272}, 1e-6);
  expect_near({posed.normals()[0].x, posed.normals()[0].y, posed.normals()[0].z}, {0, 0, 1});

  // Without weights from the simulation the defaults hold.
  find_visible(scene, index, poses, view, frame, true, {});
  EXPECT_EQ(frame.morph_weights, (std::vector<float>{0.0f, 1.0f}));
}

TEST(MorphRender, UnderASkinTheMorphComesBeforeTheBones) {
  // Node 1 holds the triangle, skinned wholly to bone node 0, which turns it half round about
  // z and carries it 200 along x; target 0 moves B by 1 along x before the bone does.
  Scene scene = morphed_triangle({{}, {1, 0, 0}, {}}, 1);
  scene.objects[1].parent = 0;
  scene.animations.clear();
  scene.morphs[0].default_weights = {1.0f, 0.0f};
  Skin k;
  k.object = 1;
  k.vertex_count = 3;
  k.bones = {{0, Affine{}}};
  k.influences.resize(3);
  bind_bounds(scene.vertices, k);
  scene.skins = {k};
  std::vector<ObjectPose> poses(2);
  poses[0].position = {200, 0, 0};
  poses[0].heading_deg = 180.0;
  SceneIndex index;
  build_scene_index(scene, index);
  Frame frame;
  find_visible(scene, index, poses,
               make_view(test::look_at({198, -2, 40}, {198, -2, 0}), 64, 48, 1.0), frame);
  ASSERT_EQ(frame.skins.size(), 1u);
  EXPECT_EQ(frame.skins[0].morph, 0);
  EXPECT_TRUE(frame.morphs.empty());  // posed once, by its skin
  PosedSkins posed;
  ASSERT_TRUE(posed.begin(frame));
  posed.pose(frame, 0, 1);
  // B + (1,0,0) = (5,0,0), turned to (-5,0,0), moved to (195,0,0); the bone's turn applies to
  // the delta too.
  expect_near(posed.vertices()[2].position, {195, 0, 0});
  expect_near(posed.vertices()[1].position, {200, 0, 0});
}

TEST(MorphRender, TheCpuDrawsTheWeightedShapeAndCullsByBoundsThatFollowTheWeights) {
  // Target 0 carries the triangle 98 along x: with weight 1 it lies under the camera, far
  // from its rest place.
  const Scene scene = morphed_triangle({{98, -1, 0}, {98, -1, 0}, {98, -1, 0}});
  std::vector<ObjectPose> poses(1);
  const Camera camera = test::look_at({100, 0.01, 10}, {100, 0, 0});
  SceneIndex index;
  build_scene_index(scene, index);
  const View view = make_view(camera, 64, 48, near_plane_distance(index));
  Frame frame;
  find_visible(scene, index, poses, view, frame, true, std::vector<float>{0, 0});
  EXPECT_TRUE(frame.objects.empty());  // at rest the triangle is far outside the view
  find_visible(scene, index, poses, view, frame, true, std::vector<float>{1, 0});
  ASSERT_EQ(frame.objects.size(), 1u);

  Renderer r(engine_backends());
  Image stretched, rest;
  r.render_to_image(scene, poses, camera, {}, 64, 48, stretched, std::vector<float>{1, 0});
  r.render_to_image(scene, poses, camera, {}, 64, 48, rest, std::vector<float>{0, 0});
  ASSERT_EQ(stretched.texels.size(), 64u * 48u);
  const uint32_t middle = stretched.texels[24 * 64 + 32];  // (100, 0): inside the moved one
  EXPECT_GT((middle >> 16) & 0xFF, 0x60u);
  EXPECT_LT(middle & 0xFF, 0x20u);
  EXPECT_EQ(rest.texels[24 * 64 + 32], rest.texels[0]);
}

}  // namespace
}  // namespace znr
