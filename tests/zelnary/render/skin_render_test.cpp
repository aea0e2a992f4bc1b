// A skinned object drawn where its bones put it, culled by the bounds of that pose.
#include <gtest/gtest.h>

#include <vector>

#include "test_scenes.h"
#include "zelnary/api/backends.h"
#include "zelnary/render/front_end.h"
#include "zelnary/render/renderer.h"
#include "zelnary/render/scene_index.h"
#include "zelnary/simulation/skinning.h"

namespace znr {
namespace {

// A red triangle about the origin in bind space, on node 1, moved wholly by bone 0 (node 0).
Scene skinned_triangle() {
  Scene s;
  MovingObject bone, body;
  bone.keyed = body.keyed = true;
  body.parent = 0;
  s.objects = {bone, body};
  s.vertices = {{{-5, -5, 0}}, {{5, -5, 0}}, {{0, 5, 0}}};
  Polygon p;
  p.vertex_count = 3;
  p.color = {1, 0, 0};
  p.object = 1;
  s.polygons = {p};
  Skin k;
  k.object = 1;
  k.vertex_count = 3;
  k.bones = {{0, Affine{}}};
  k.influences.resize(3);
  bind_bounds(s.vertices, k);
  s.skins = {k};
  return s;
}

TEST(SkinRender, TheCpuDrawsTheBonesPoseAndCullsByItsBounds) {
  const Scene scene = skinned_triangle();
  // The bone carries the triangle 200 units along x; the node that owns it stays behind at
  // the origin, far outside the view, so only bounds that follow the bones keep it in view.
  std::vector<ObjectPose> poses(2);
  poses[0].position = {200, 0, 0};
  const Camera camera = test::look_at({200, 0.01, 30}, {200, 0, 0});
  SceneIndex index;
  build_scene_index(scene, index);
  Frame frame;
  find_visible(scene, index, poses, make_view(camera, 64, 48, near_plane_distance(index)), frame);
  ASSERT_EQ(frame.objects.size(), 1u);
  EXPECT_TRUE(frame.objects[0].skinned);
  ASSERT_EQ(frame.skins.size(), 1u);
  EXPECT_EQ(frame.skin_matrices.at(0).m[0][3], 200.0);

  Renderer r(engine_backends());
  Image at_200, turned, gone;
  r.render_to_image(scene, poses, camera, {}, 64, 48, at_200);
  ASSERT_EQ(at_200.texels.size(), 64u * 48u);
  const uint32_t middle = at_200.texels[24 * 64 + 32];
  EXPECT_GT((middle >> 16) & 0xFF, 0x60u);  // red: the triangle is there
  EXPECT_LT(middle & 0xFF, 0x20u);
  poses[0].heading_deg = 180.0;  // turned about its origin: the tip points the other way
  r.render_to_image(scene, poses, camera, {}, 64, 48, turned);
  EXPECT_NE(at_200.texels, turned.texels);
  poses[0].position = {0, 0, 0};  // with the bone back at the origin nothing is in view
  find_visible(scene, index, poses, make_view(camera, 64, 48, near_plane_distance(index)), frame);
  EXPECT_TRUE(frame.objects.empty());
  r.render_to_image(scene, poses, camera, {}, 64, 48, gone);
  EXPECT_EQ(gone.texels[24 * 64 + 32] & 0xFF0000u, gone.texels[0] & 0xFF0000u);
}

}  // namespace
}  // namespace znr
