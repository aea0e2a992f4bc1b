#include "zelnary/world/smooth_normals.h"

#include <algorithm>
#include <tuple>
#include <vector>

namespace znr {
namespace {

// A crease test a hair lenient, so that a plane always counts itself and equal planes count
// each other despite rounding.
constexpr double kCreaseSlack = 1e-6;

// The polygon's unit plane normal (Newell's method: every edge contributes, so a slightly
// warped polygon gets its average plane); zero for a polygon without area.
Vec3 plane_normal(const Scene& s, const Polygon& p) {
  const auto v = s.vertices_of(p);
  Vec3 n;
  for (size_t i = 0; i < v.size(); ++i) {
    const Vec3& a = v[i].position;
    const Vec3& b = v[(i + 1) % v.size()].position;
    n += Vec3{(a.y - b.y) * (a.z + b.z), (a.z - b.z) * (a.x + b.x), (a.x - b.x) * (a.y + b.y)};
  }
  return normalized(n);
}

struct Corner {
  uint32_t vertex;
  uint32_t smooth;  // into the list of smooth polygons
  int32_t object;
};

struct PlaneGroup {
  Vec3 plane;  // the first plane in the group stands for it
  Vec3 sum;    // of every plane in the group
};

}  // namespace

void smooth_normals(Scene& scene, std::span<const SmoothPolygon> smooth) {
  if (smooth.empty()) return;
  std::vector<Vec3> planes(smooth.size());
  std::vector<Corner> corners;
  for (size_t k = 0; k < smooth.size(); ++k) {
    const Polygon& p = scene.polygons[smooth[k].polygon];
    planes[k] = plane_normal(scene, p);
    if (planes[k] == Vec3{}) continue;  // no plane to share
    for (uint32_t i = 0; i < p.vertex_count; ++i)
      corners.push_back({p.first_vertex + i, static_cast<uint32_t>(k), p.object});
  }
  const std::vector<Vertex>& vertices = scene.vertices;
  auto key = [&](const Corner& c) {
    const Vec3& q = vertices[c.vertex].position;
    return std::tuple(c.object, q.x, q.y, q.z);
  };
  std::sort(corners.begin(), corners.end(),
            [&](const Corner& a, const Corner& b) { return key(a) < key(b); });
  if (scene.normals.empty()) scene.normals.resize(vertices.size());

  auto store = [&](const Corner& c, const Vec3& sum) {
    Vec3 n = normalized(sum);
    if (n == Vec3{}) n = planes[c.smooth];  // opposite planes cancelled out
    scene.normals[c.vertex] = {static_cast<float>(n.x), static_cast<float>(n.y),
                               static_cast<float>(n.z)};
  };
  std::vector<PlaneGroup> groups;
  for (size_t a = 0; a < corners.size();) {
    size_t b = a + 1;
    while (b < corners.size() && key(corners[b]) == key(corners[a])) ++b;
    const std::span<const Corner> shared(corners.data() + a, b - a);
    a = b;
    if (shared.size() <= kMaxPlaneGroups) {
      for (const Corner& c : shared) {
        if (!scene.normals[c.vertex].none()) continue;  // its own normal wins
        const Vec3& own = planes[c.smooth];
        const double limit = smooth[c.smooth].cos_crease - kCreaseSlack;
        Vec3 sum;
        for (const Corner& other : shared)
          if (dot(own, planes[other.smooth]) >= limit) sum += planes[other.smooth];
        store(c, sum);
      }
      continue;
    }
    // Many polygons at one point (the tip of a cone, a hostile file): the planes are first
    // gathered into at most kMaxPlaneGroups groups of planes close to each other, and each
    // corner then sums the groups within its crease.
    groups.clear();
    for (const Corner& c : shared) {
      const Vec3& n = planes[c.smooth];
      PlaneGroup* best = nullptr;
      double best_dot = -2.0;
      for (PlaneGroup& g : groups) {
        const double d = dot(g.plane, n);
        if (d > best_dot) best_dot = d, best = &g;
      }
      if (!best || (best_dot < 1.0 - 1e-3 && groups.size() < kMaxPlaneGroups)) {
        groups.push_back({n, {}});
        best = &groups.back();
      }
      best->sum += n;
    }
    for (const Corner& c : shared) {
      if (!scene.normals[c.vertex].none()) continue;
      const Vec3& own = planes[c.smooth];
      const double limit = smooth[c.smooth].cos_crease - kCreaseSlack;
      Vec3 sum;
      for (const PlaneGroup& g : groups)
        if (dot(own, g.plane) >= limit) sum += g.sum;
      store(c, sum);
    }
  }
}

}  // namespace znr
