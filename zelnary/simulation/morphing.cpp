#include "zelnary/simulation/morphing.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <utility>

namespace znr {
namespace {

Vec3 as_vec(const MorphDelta& d) {
  return {d.x, d.y, d.z};
}

Normal as_normal(const Vec3& n) {
  return {static_cast<float>(n.x), static_cast<float>(n.y), static_cast<float>(n.z)};
}

// A normal made unit length; one that vanished (or is not finite) keeps the fallback.
Normal unit_or(const Vec3& n, const Normal& fallback) {
  const double l = length(n);
  return l > 1e-12 && std::isfinite(l) ? as_normal(n * (1.0 / l)) : fallback;
}

}  // namespace

std::vector<float> default_morph_weights(const Scene& scene) {
  size_t total = 0;
  for (const Morph& m : scene.morphs) total = std::max<size_t>(total, m.first_weight + m.targets);
  std::vector<float> w(total, 0.0f);
  for (const Morph& m : scene.morphs)
    for (size_t t = 0; t < m.targets && t < m.default_weights.size(); ++t)
      w[m.first_weight + t] = m.default_weights[t];
  return w;
}

std::span<const float> weights_of(const Morph& m, std::span<const float> all) {
  if (size_t{m.first_weight} + m.targets <= all.size())
    return all.subspan(m.first_weight, m.targets);
  return m.default_weights;
}

void rest_bounds(std::span<const Vertex> vertices, Morph& m) {
  const size_t end = std::min(vertices.size(), size_t{m.first_vertex} + m.vertex_count);
  Vec3 lo{}, hi{};
  for (size_t i = m.first_vertex; i < end; ++i) {
    const Vec3& p = vertices[i].position;
    lo = i == m.first_vertex ? p
                             : Vec3{std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z)};
    hi = i == m.first_vertex ? p
                             : Vec3{std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z)};
  }
  m.center = (lo + hi) * 0.5;
  m.radius = 0.0;
  for (size_t i = m.first_vertex; i < end; ++i)
    m.radius = std::max(m.radius, length(vertices[i].position - m.center));
  m.reach.assign(m.targets, 0.0);
  for (size_t k = 0; k < m.positions.size() && m.mesh_vertices > 0; ++k) {
    const size_t t = k / m.mesh_vertices;
    if (t < m.reach.size()) m.reach[t] = std::max(m.reach[t], length(as_vec(m.positions[k])));
  }
}

double morph_growth(const Morph& m, std::span<const float> weights) {
  double g = 0.0;
  for (size_t t = 0; t < std::min(weights.size(), m.reach.size()); ++t)
    g += std::fabs(double{weights[t]}) * m.reach[t];
  return g;
}

void pose_morph(const Morph& m, std::span<const float> weights, std::span<const Vertex> in,
                std::span<const Normal> in_normals, size_t begin, size_t end, std::span<Vertex> out,
                std::span<Normal> out_normals) {
  end = std::min({end, size_t{m.vertex_count}, m.corner_vertex.size()});
  const size_t first = m.first_vertex;
  if (begin >= end || first + end > std::min(in.size(), out.size())) return;
  const bool normals =
      !in_normals.empty() && first + end <= std::min(in_normals.size(), out_normals.size());
  const size_t nv = m.mesh_vertices;
  const size_t targets = std::min({size_t{m.targets}, weights.size(), kMorphTargets,
                                   nv > 0 ? m.positions.size() / nv : size_t{0}});
  const bool normal_deltas = normals && m.normals.size() == m.positions.size();
  // Only the targets that move anything: most weights are 0 in most frames.
  std::array<std::pair<size_t, double>, kMorphTargets> live;
  size_t count = 0;
  for (size_t t = 0; t < targets; ++t)
    if (weights[t] != 0.0f && std::isfinite(weights[t])) live[count++] = {t * nv, weights[t]};
  for (size_t i = begin; i < end; ++i) {
    const size_t at = first + i, v = m.corner_vertex[i];
    Vertex r = in[at];
    const Normal n = normals ? in_normals[at] : Normal{};
    if (v < nv) {
      Vec3 moved = r.position, turned{n.x, n.y, n.z};
      for (size_t k = 0; k < count; ++k) {
        const auto [base, w] = live[k];
        moved += as_vec(m.positions[base + v]) * w;
        if (normal_deltas) turned += as_vec(m.normals[base + v]) * w;
      }
      r.position = moved;
      if (normal_deltas && !n.none()) {
        out_normals[at] = unit_or(turned, n);
      } else if (normals) {
        out_normals[at] = n;
      }
    } else if (normals) {
      out_normals[at] = n;
    }
    out[at] = r;
  }
}

void place_range(const ObjectPose& pose, size_t first, size_t begin, size_t end,
                 std::span<Vertex> vertices, std::span<Normal> normals) {
  end = std::min(first + end, vertices.size());
  for (size_t at = first + begin; at < end; ++at) {
    vertices[at].position = to_world(pose, vertices[at].position);
    if (at >= normals.size() || normals[at].none()) continue;
    const Normal& n = normals[at];
    normals[at] = unit_or(turn_normal(pose, {n.x, n.y, n.z}), n);
  }
}

void drop_morphs(Scene& scene) {
  for (const Morph& m : scene.morphs)
    pose_morph(m, m.default_weights, scene.vertices, scene.normals, 0, m.vertex_count,
               scene.vertices, scene.normals);
  scene.morphs.clear();
  for (Animation& a : scene.animations)
    std::erase_if(a.channels, [](const Channel& c) { return c.path == ChannelPath::Weights; });
}

}  // namespace znr
