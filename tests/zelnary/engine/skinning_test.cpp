// Skins against poses worked out by hand, and weights that need mending.
#include "zelnary/simulation/skinning.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "zelnary/simulation/keyframes.h"

namespace znr {
namespace {

void expect_near(const Vec3& a, const Vec3& b) {
  EXPECT_NEAR(a.x, b.x, 1e-9);
  EXPECT_NEAR(a.y, b.y, 1e-9);
  EXPECT_NEAR(a.z, b.z, 1e-9);
}

// Bone A at the origin, raised 5 by its rest; bone B its child, one unit along x and turned
// 90 degrees about z. Bound with both unturned and A not raised: B's inverse bind moves back
// by one unit. Three vertices: (2,0,0) three quarters on A, (1,0,0) and (0,1,0) on B alone.
struct TwoBones {
  Scene scene;
  TwoBones() {
    MovingObject a, b;
    a.keyed = b.keyed = true;
    a.rest.translation = {0, 0, 5};
    b.parent = 0;
    b.base.m[0][3] = 1.0;
    const double h = std::sqrt(0.5);
    b.rest.rotation = {0, 0, h, h};
    scene.objects = {a, b};
    scene.vertices = {{{2, 0, 0}}, {{1, 0, 0}}, {{1, 1, 0}}};
    scene.normals = {{0, 0, 1}, {0, 1, 0}, {}};
    Skin s;
    s.object = 1;
    s.vertex_count = 3;
    s.bones = {{0, Affine{}}, {1, Affine{}}};
    s.bones[1].inverse_bind.m[0][3] = -1.0;
    SkinInfluence quarter, on_b;
    quarter.bone[1] = 1, quarter.weight[0] = 0.75f, quarter.weight[1] = 0.25f;
    on_b.bone[0] = 1;
    s.influences = {quarter, on_b, on_b};
    bind_bounds(scene.vertices, s);
    scene.skins = {s};
  }
};

TEST(Skinning, ATwoBoneSkinTakesTheWeightedPosesWorkedOutByHand) {
  TwoBones t;
  std::vector<ObjectPose> poses(2);
  NodeAnimator(t.scene, 0).pose(0.0, poses);
  const Skin& s = t.scene.skins[0];
  std::vector<Affine> m(2);
  skin_matrices(s, poses, m);
  std::vector<Vertex> out(3);
  std::vector<Normal> normals(3);
  pose_skin(s, m, t.scene.vertices, t.scene.normals, 0, 3, out, normals);
  // A takes (2,0,0) to (2,0,5); B takes it back to (1,0,0), turns it to (0,1,0), moves it
  // out to (1,1,0) and up with A: 0.75 (2,0,5) + 0.25 (1,1,5).
  expect_near(out[0].position, {1.75, 0.25, 5});
  expect_near(out[1].position, {1, 0, 5});  // B's own origin
  // (1,1,0) is (0,1,0) from B's bind origin: turned to (-1,0,0) from B's origin at (1,0,5).
  expect_near(out[2].position, {0, 0, 5});
  EXPECT_EQ(out[1].u, t.scene.vertices[1].u);
  // Normals turn with their bones: up stays up; B turns y to -x; none stays none.
  EXPECT_NEAR(normals[0].z, 1.0f, 1e-6f);
  EXPECT_NEAR(normals[1].x, -1.0f, 1e-6f);
  EXPECT_NEAR(normals[1].y, 0.0f, 1e-6f);
  EXPECT_TRUE(normals[2].none());

  // The bounds hold every posed vertex, also when only a part of the skin is posed at once.
  Vec3 center;
  double radius = 0.0;
  skin_bounds(s, m, center, radius);
  std::vector<Vertex> parts(3);
  pose_skin(s, m, t.scene.vertices, {}, 0, 1, parts, {});
  pose_skin(s, m, t.scene.vertices, {}, 1, 3, parts, {});
  for (size_t i = 0; i < 3; ++i) {
    expect_near(parts[i].position, out[i].position);
    EXPECT_LE(length(out[i].position - center), radius + 1e-9) << i;
  }
  EXPECT_LT(radius, 3.0);  // not the world: about the skin
}

TEST(Skinning, BadWeightsAreLeftOutTheLargestFourKeptAndTheRestNormalised) {
  SkinInfluence f;
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  // Bone 5 does not exist, -1 and NaN are no weights: 0.6 and 0.2 remain, in that order.
  EXPECT_FALSE(make_influence(std::vector<uint32_t>{0, 1, 5, 0, 1},
                              std::vector<float>{0.2f, 0.6f, 0.2f, -1.0f, nan}, 2, f));
  EXPECT_EQ(f.bone[0], 1);
  EXPECT_FLOAT_EQ(f.weight[0], 0.75f);
  EXPECT_EQ(f.bone[1], 0);
  EXPECT_FLOAT_EQ(f.weight[1], 0.25f);
  EXPECT_EQ(f.weight[2], 0.0f);

  // Six good weights: the four largest, scaled to add up to 1.
  EXPECT_TRUE(make_influence(std::vector<uint32_t>{0, 1, 2, 3, 4, 5},
                             std::vector<float>{0.1f, 0.6f, 0.3f, 0.4f, 0.5f, 0.2f}, 6, f));
  const uint16_t bones[4] = {1, 4, 3, 2};
  for (int k = 0; k < 4; ++k) {
    EXPECT_EQ(f.bone[k], bones[k]) << k;
    EXPECT_NEAR(f.weight[k], (0.6 - 0.1 * k) / 1.8, 1e-6) << k;
  }

  // Nothing usable (zeros, infinity, a bone out of range): the first bone alone.
  for (const auto& w : {std::vector<float>{0.0f, 0.0f}, std::vector<float>{inf, -0.0f}}) {
    EXPECT_FALSE(make_influence(std::vector<uint32_t>{0, 1}, w, 2, f));
    EXPECT_EQ(f.bone[0], 0);
    EXPECT_EQ(f.weight[0], 1.0f);
    EXPECT_EQ(f.weight[1], 0.0f);
  }
  EXPECT_FALSE(make_influence(std::vector<uint32_t>{7}, std::vector<float>{1.0f}, 2, f));
  EXPECT_EQ(f.weight[0], 1.0f);

  // Such a vertex, and one whose bone index is past the skin's bones, pose finite.
  TwoBones t;
  t.scene.skins[0].influences[0] = f;
  t.scene.skins[0].influences[1].bone[0] = 900;
  std::vector<ObjectPose> poses(2);
  NodeAnimator(t.scene, 0).pose(0.0, poses);
  std::vector<Affine> m(2);
  skin_matrices(t.scene.skins[0], poses, m);
  std::vector<Vertex> out(3);
  pose_skin(t.scene.skins[0], m, t.scene.vertices, {}, 0, 3, out, {});
  expect_near(out[0].position, {2, 0, 5});  // on A alone
  expect_near(out[1].position, {1, 0, 5});  // taken as bone 0
}

}  // namespace
}  // namespace znr
