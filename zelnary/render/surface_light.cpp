#include "zelnary/render/surface_light.h"

#include <algorithm>
#include <cmath>

namespace znr {

bool has_vertex_normals(std::span<const Normal> normals, const Polygon& p) {
  if (static_cast<size_t>(p.first_vertex) + p.vertex_count > normals.size()) return false;
  for (uint32_t i = 0; i < p.vertex_count; ++i) {
    if (normals[p.first_vertex + i].none()) return false;
  }
  return true;
}

bool has_vertex_normals(const Scene& s, const Polygon& p) {
  return s.normals.size() == s.vertices.size() && has_vertex_normals(s.normals, p);
}

bool has_vertex_colors(std::span<const uint32_t> colors, const Polygon& p) {
  if (static_cast<size_t>(p.first_vertex) + p.vertex_count > colors.size()) return false;
  for (uint32_t i = 0; i < p.vertex_count; ++i) {
    if (colors[p.first_vertex + i] != kNoVertexColor) return true;
  }
  return false;
}

bool has_vertex_colors(const Scene& s, const Polygon& p) {
  return has_vertex_colors(s.vertex_colors, p);
}

bool needs_vertex_shade(const Scene& s, const Polygon& p) {
  return !s.material_of(p).plain() || has_vertex_normals(s, p) || has_vertex_colors(s, p);
}

namespace {

// c^s, by repeated squaring where s is a whole number (materials mostly give whole exponents;
// a library pow costs as much as the rest of a vertex's light).
double power(double c, double s) {
  if (!(s >= 0.0 && s <= 4096.0) || s != std::floor(s)) return std::pow(c, s);
  double result = 1.0;
  for (auto n = static_cast<uint32_t>(s); n != 0; n >>= 1) {
    if ((n & 1u) != 0) result *= c;
    c *= c;
  }
  return result;
}

}  // namespace

double highlight(const Vec3& normal, const Vec3& to_light, const Vec3& to_eye, double shininess) {
  if (!(dot(normal, to_light) > 0.0)) return 0.0;
  const Vec3 half = normalized(to_light + to_eye);
  const double c = dot(normal, half);
  // c^s <= e^(-s (1 - c)): past s (1 - c) = 7 the highlight is below 1/1000, a quarter of one
  // step of an 8-bit channel, and most vertices of a shiny surface are there; no pow for them.
  if (!(c > 0.0) || shininess * (1.0 - c) > 7.0) return 0.0;
  return power(c, shininess);
}

VertexShade shade_vertex(const Scene& s, const Polygon& p, size_t i, const Vec3& normal,
                         const Vec3& to_eye) {
  return shade_colored_vertex(s, p, vertex_color(s, i), normal, to_eye,
                              normalized(s.lighting.sun_direction));
}

VertexShade shade_colored_vertex(const Scene& s, const Polygon& p, uint32_t vc, const Vec3& normal,
                                 const Vec3& to_eye, const Vec3& to_light) {
  const Lighting& l = s.lighting;
  const Material& m = s.material_of(p);
  const double lambert = std::max(0.0, dot(normal, to_light));
  const bool shiny = m.has_highlight() && dot(to_eye, to_eye) > 0.0;
  const double shine = shiny ? highlight(normal, to_light, to_eye, m.shininess) : 0.0;
  auto channel = [](uint32_t c, int shift) {
    return static_cast<double>((c >> shift) & 0xFFu) / 255.0;
  };
  const double base[3] = {p.color.r * channel(vc, 16), p.color.g * channel(vc, 8),
                          p.color.b * channel(vc, 0)};
  const double ambient[3] = {l.ambient.r, l.ambient.g, l.ambient.b};
  const double sun[3] = {l.sun.r, l.sun.g, l.sun.b};
  const double specular[3] = {m.specular.r, m.specular.g, m.specular.b};
  const double emissive[3] = {m.emissive.r, m.emissive.g, m.emissive.b};
  VertexShade out;
  for (int c = 0; c < 3; ++c) {
    const double mul = base[c] * (ambient[c] + lambert * sun[c]);
    const double add = emissive[c] + specular[c] * sun[c] * shine;
    out.mul[c] = std::isfinite(mul) ? static_cast<float>(std::clamp(mul, 0.0, 127.0)) : 0.0f;
    out.add[c] = std::isfinite(add) ? static_cast<float>(std::clamp(add, 0.0, 1.0)) : 0.0f;
  }
  const double alpha = m.alpha_mode == AlphaMode::Opaque ? 1.0 : m.alpha * channel(vc, 24);
  out.alpha = std::isfinite(alpha) ? static_cast<float>(std::clamp(alpha, 0.0, 1.0)) : 0.0f;
  return out;
}

}  // namespace znr
