#include "zelnary/simulation/skinning.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <vector>

namespace znr {

bool make_influence(std::span<const uint32_t> bones, std::span<const float> weights,
                    size_t bone_count, SkinInfluence& out) {
  out = SkinInfluence{};
  float kept_w[kSkinWeights] = {};
  uint16_t kept_b[kSkinWeights] = {};
  size_t kept = 0;
  bool mended = bones.size() != weights.size();
  for (size_t i = 0; i < std::min(bones.size(), weights.size()); ++i) {
    const float w = weights[i];
    if (!(w >= 0.0f) || !std::isfinite(w) || bones[i] >= bone_count) {
      mended = true;
      continue;
    }
    if (w == 0.0f) continue;
    // Insertion into the largest kSkinWeights, largest first.
    size_t at = kept;
    while (at > 0 && kept_w[at - 1] < w) --at;
    if (at >= kSkinWeights) continue;
    for (size_t k = std::min(kept, size_t{kSkinWeights} - 1); k > at; --k) {
      kept_w[k] = kept_w[k - 1];
      kept_b[k] = kept_b[k - 1];
    }
    kept_w[at] = w;
    kept_b[at] = static_cast<uint16_t>(bones[i]);
    kept = std::min(kept + 1, size_t{kSkinWeights});
  }
  double sum = 0.0;
  for (size_t k = 0; k < kept; ++k) sum += kept_w[k];
  if (!(sum > 0.0) || !std::isfinite(sum)) return false;  // follows bone 0 alone
  for (size_t k = 0; k < kSkinWeights; ++k) {
    out.bone[k] = kept_b[k];
    out.weight[k] = static_cast<float>(kept_w[k] / sum);
  }
  return !mended;
}

void bind_bounds(std::span<const Vertex> vertices, Skin& skin) {
  const size_t bones = skin.bones.size();
  std::vector<Vec3> lo(bones, Vec3{1e300, 1e300, 1e300}), hi(bones, Vec3{-1e300, -1e300, -1e300});
  auto each = [&](auto&& f) {
    for (size_t i = 0; i < skin.influences.size(); ++i) {
      const size_t at = skin.first_vertex + i;
      if (at >= vertices.size()) return;
      const SkinInfluence& in = skin.influences[i];
      for (int k = 0; k < kSkinWeights; ++k)
        if (in.weight[k] > 0.0f && in.bone[k] < bones) f(in.bone[k], vertices[at].position);
    }
  };
  each([&](size_t b, const Vec3& p) {
    lo[b] = {std::min(lo[b].x, p.x), std::min(lo[b].y, p.y), std::min(lo[b].z, p.z)};
    hi[b] = {std::max(hi[b].x, p.x), std::max(hi[b].y, p.y), std::max(hi[b].z, p.z)};
  });
  skin.bound_center.assign(bones, Vec3{});
  skin.bound_radius.assign(bones, -1.0);
  for (size_t b = 0; b < bones; ++b)
    if (lo[b].x <= hi[b].x) skin.bound_center[b] = (lo[b] + hi[b]) * 0.5;
  each([&](size_t b, const Vec3& p) {
    skin.bound_radius[b] = std::max(skin.bound_radius[b], length(p - skin.bound_center[b]));
  });
}

Affine affine_of(const ObjectPose& pose) {
  Affine a;
  if (pose.general) {
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j) a.m[i][j] = pose.linear[i][j];
  } else {
    const double h = pose.heading_deg * std::numbers::pi / 180.0;
    a.m[0][0] = std::cos(h), a.m[0][1] = -std::sin(h);
    a.m[1][0] = std::sin(h), a.m[1][1] = std::cos(h);
  }
  a.m[0][3] = pose.position.x, a.m[1][3] = pose.position.y, a.m[2][3] = pose.position.z;
  return a;
}

namespace {

Affine product(const Affine& a, const Affine& b) {
  Affine c;
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 4; ++j) {
      double v = j == 3 ? a.m[i][3] : 0.0;
      for (int k = 0; k < 3; ++k) v += a.m[i][k] * b.m[k][j];
      c.m[i][j] = v;
    }
  return c;
}

Vec3 apply(const Affine& a, const Vec3& p) {
  return {a.m[0][0] * p.x + a.m[0][1] * p.y + a.m[0][2] * p.z + a.m[0][3],
          a.m[1][0] * p.x + a.m[1][1] * p.y + a.m[1][2] * p.z + a.m[1][3],
          a.m[2][0] * p.x + a.m[2][1] * p.y + a.m[2][2] * p.z + a.m[2][3]};
}

// The largest factor by which the linear part stretches a length, or more (its Frobenius
// norm's bound by rows).
double stretch(const Affine& a) {
  double s = 0.0;
  for (const auto& row : a.m) s += row[0] * row[0] + row[1] * row[1] + row[2] * row[2];
  return std::sqrt(s);
}

// The cofactors of the linear part, signed by its determinant: the inverse transpose up to a
// positive factor, which the normals' own normalisation takes out; defined where the map
// flattens too.
void normal_map(const Affine& a, double n[3][3]) {
  const auto& m = a.m;
  n[0][0] = m[1][1] * m[2][2] - m[1][2] * m[2][1];
  n[0][1] = m[1][2] * m[2][0] - m[1][0] * m[2][2];
  n[0][2] = m[1][0] * m[2][1] - m[1][1] * m[2][0];
  n[1][0] = m[0][2] * m[2][1] - m[0][1] * m[2][2];
  n[1][1] = m[0][0] * m[2][2] - m[0][2] * m[2][0];
  n[1][2] = m[0][1] * m[2][0] - m[0][0] * m[2][1];
  n[2][0] = m[0][1] * m[1][2] - m[0][2] * m[1][1];
  n[2][1] = m[0][2] * m[1][0] - m[0][0] * m[1][2];
  n[2][2] = m[0][0] * m[1][1] - m[0][1] * m[1][0];
  const double det = m[0][0] * n[0][0] + m[0][1] * n[0][1] + m[0][2] * n[0][2];
  if (det < 0.0)
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j) n[i][j] = -n[i][j];
}

}  // namespace

void skin_matrices(const Skin& skin, std::span<const ObjectPose> poses, std::span<Affine> out) {
  for (size_t b = 0; b < skin.bones.size() && b < out.size(); ++b) {
    const int32_t o = skin.bones[b].object;
    const Affine frame =
        o >= 0 && static_cast<size_t>(o) < poses.size() ? affine_of(poses[o]) : Affine{};
    out[b] = product(frame, skin.bones[b].inverse_bind);
  }
}

void skin_bounds(const Skin& skin, std::span<const Affine> matrices, Vec3& center, double& radius) {
  Vec3 lo{1e300, 1e300, 1e300}, hi{-1e300, -1e300, -1e300};
  const size_t bones =
      std::min({matrices.size(), skin.bound_radius.size(), skin.bound_center.size()});
  std::vector<std::pair<Vec3, double>> spheres;
  spheres.reserve(bones);
  for (size_t b = 0; b < bones; ++b) {
    if (skin.bound_radius[b] < 0.0) continue;
    const Vec3 c = apply(matrices[b], skin.bound_center[b]);
    const double r = skin.bound_radius[b] * stretch(matrices[b]);
    spheres.emplace_back(c, r);
    lo = {std::min(lo.x, c.x - r), std::min(lo.y, c.y - r), std::min(lo.z, c.z - r)};
    hi = {std::max(hi.x, c.x + r), std::max(hi.y, c.y + r), std::max(hi.z, c.z + r)};
  }
  center = spheres.empty() ? Vec3{} : (lo + hi) * 0.5;
  radius = 0.0;
  for (const auto& [c, r] : spheres) radius = std::max(radius, length(c - center) + r);
}

void pose_skin(const Skin& skin, std::span<const Affine> matrices, std::span<const Vertex> in,
               std::span<const Normal> in_normals, size_t begin, size_t end, std::span<Vertex> out,
               std::span<Normal> out_normals) {
  const size_t bones = std::min(skin.bones.size(), matrices.size());
  if (bones == 0) return;
  end = std::min({end, skin.influences.size(), size_t{skin.vertex_count}});
  const size_t first = skin.first_vertex;
  if (first + end > std::min(in.size(), out.size())) return;
  const bool normals =
      !in_normals.empty() && first + end <= std::min(in_normals.size(), out_normals.size());
  std::vector<std::array<std::array<double, 3>, 3>> turn;
  if (normals) {
    turn.resize(bones);
    for (size_t b = 0; b < bones; ++b) {
      double n[3][3];
      normal_map(matrices[b], n);
      for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) turn[b][i][j] = n[i][j];
    }
  }
  for (size_t i = begin; i < end; ++i) {
    const size_t at = first + i;
    const SkinInfluence& f = skin.influences[i];
    const Vec3& p = in[at].position;
    Vec3 q{};
    Vec3 nq{};
    const Normal& n = normals ? in_normals[at] : Normal{};
    for (int k = 0; k < kSkinWeights; ++k) {
      const double w = f.weight[k];
      if (w == 0.0) continue;
      const size_t b = f.bone[k] < bones ? f.bone[k] : 0;
      q += apply(matrices[b], p) * w;
      if (normals && !n.none()) {
        const auto& t = turn[b];
        nq += Vec3{t[0][0] * n.x + t[0][1] * n.y + t[0][2] * n.z,
                   t[1][0] * n.x + t[1][1] * n.y + t[1][2] * n.z,
                   t[2][0] * n.x + t[2][1] * n.y + t[2][2] * n.z} *
              w;
      }
    }
    out[at] = in[at];
    out[at].position = q;
    if (normals) {
      const Vec3 u = normalized(nq);
      out_normals[at] =
          n.none() || length(u) == 0.0
              ? n
              : Normal{static_cast<float>(u.x), static_cast<float>(u.y), static_cast<float>(u.z)};
    }
  }
}

void freeze_skins(Scene& scene, std::span<const ObjectPose> poses) {
  std::vector<Vertex> posed(scene.vertices.size());
  std::vector<Normal> normals(scene.normals.size());
  for (const Skin& k : scene.skins) {
    const size_t o = static_cast<size_t>(k.object);
    if (o >= poses.size()) continue;
    const Affine frame = affine_of(poses[o]);
    double inverse[3][3];
    normal_map(frame, inverse);  // the cofactors: the inverse, transposed, times |det|
    const double det = frame.m[0][0] * inverse[0][0] + frame.m[0][1] * inverse[0][1] +
                       frame.m[0][2] * inverse[0][2];
    if (!(std::fabs(det) > 1e-300)) continue;
    std::vector<Affine> m(k.bones.size());
    skin_matrices(k, poses, m);
    pose_skin(k, m, scene.vertices, scene.normals, 0, k.vertex_count, posed, normals);
    const double s = det < 0.0 ? -1.0 : 1.0;  // normal_map's sign, taken back
    for (size_t i = k.first_vertex; i < k.first_vertex + k.vertex_count; ++i) {
      const Vec3 d = posed[i].position - Vec3{frame.m[0][3], frame.m[1][3], frame.m[2][3]};
      // Back into the object's frame by the inverse: the cofactors' transpose over det.
      double local[3];
      for (int r = 0; r < 3; ++r)
        local[r] =
            s * (inverse[0][r] * d.x + inverse[1][r] * d.y + inverse[2][r] * d.z) / std::fabs(det);
      scene.vertices[i].position = {local[0], local[1], local[2]};
      if (i < normals.size() && !normals[i].none()) {
        // A normal goes back by the transpose of the forward map.
        const Normal& n = normals[i];
        const Vec3 back{frame.m[0][0] * n.x + frame.m[1][0] * n.y + frame.m[2][0] * n.z,
                        frame.m[0][1] * n.x + frame.m[1][1] * n.y + frame.m[2][1] * n.z,
                        frame.m[0][2] * n.x + frame.m[1][2] * n.y + frame.m[2][2] * n.z};
        const Vec3 u = normalized(back);
        scene.normals[i] = {static_cast<float>(u.x), static_cast<float>(u.y),
                            static_cast<float>(u.z)};
      }
    }
  }
  scene.skins.clear();
}

}  // namespace znr
