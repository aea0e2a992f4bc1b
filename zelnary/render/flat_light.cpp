#include "zelnary/render/flat_light.h"

#include <algorithm>
#include <cmath>

namespace znr {

Vec3 polygon_normal(const Scene& scene, const Polygon& p) {
  return polygon_normal(scene.vertices, p);
}

Vec3 polygon_normal(std::span<const Vertex> vertices, const Polygon& p) {
  Vec3 n;
  if (static_cast<size_t>(p.first_vertex) + p.vertex_count > vertices.size()) return n;
  const std::span<const Vertex> v = vertices.subspan(p.first_vertex, p.vertex_count);
  for (size_t i = 0; i < v.size(); ++i) {
    const Vec3& a = v[i].position;
    const Vec3& b = v[i + 1 < v.size() ? i + 1 : 0].position;
    n.x += (a.y - b.y) * (a.z + b.z);
    n.y += (a.z - b.z) * (a.x + b.x);
    n.z += (a.x - b.x) * (a.y + b.y);
  }
  return n;
}

PolygonLight flat_light(const Scene& scene, const Polygon& p, const Vec3& normal) {
  const Lighting& l = scene.lighting;
  const double cosine = dot(normalized(normal), normalized(l.sun_direction));
  auto side = [&](double lambert, float out[3]) {
    out[0] = static_cast<float>(p.color.r * (l.ambient.r + lambert * l.sun.r));
    out[1] = static_cast<float>(p.color.g * (l.ambient.g + lambert * l.sun.g));
    out[2] = static_cast<float>(p.color.b * (l.ambient.b + lambert * l.sun.b));
    for (int i = 0; i < 3; ++i) out[i] = std::isfinite(out[i]) ? out[i] : 0.0f;
  };
  PolygonLight light;
  side(std::max(0.0, cosine), light.front);
  side(std::max(0.0, -cosine), light.back);
  return light;
}

}  // namespace znr
