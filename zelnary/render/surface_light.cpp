#include "zelnary/render/surface_light.h"

#include <algorithm>
#include <cmath>

namespace znr {

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

double highlight(const Vec3& normal, const Vec3& to_light, const Vec3& to_eye, double shininess) {
  return light_terms::highlight_past(normal, std::max(0.0, dot(normal, to_light)), to_light, to_eye,
                                     shininess, 1.0 - 7.0 / shininess,
                                     light_terms::whole_exponent(shininess));
}

VertexShade shade_vertex(const Scene& s, const Polygon& p, size_t i, const Vec3& normal,
                         const Vec3& to_eye) {
  return shade_colored_vertex(s, p, vertex_color(s, i), normal, to_eye,
                              normalized(s.lighting.sun_direction));
}

VertexShade shade_colored_vertex(const Scene& s, const Polygon& p, uint32_t vc, const Vec3& normal,
                                 const Vec3& to_eye, const Vec3& to_light) {
  const PolygonShader shader(s, p, to_light);
  return shader.at(vc, normal, shader.lambert(normal), to_eye);
}

PolygonShader::PolygonShader(const Scene& s, const Polygon& p, const Vec3& to_light) {
  t_.to_light = to_light;
  const Lighting& l = s.lighting;
  const Material& m = s.material_of(p);
  t_.shiny = m.has_highlight();
  t_.opaque = m.alpha_mode == AlphaMode::Opaque;
  t_.shininess = m.shininess;
  t_.least = 1.0 - 7.0 / t_.shininess;
  t_.whole = light_terms::whole_exponent(t_.shininess);
  t_.alpha = m.alpha;
  const float color[3] = {p.color.r, p.color.g, p.color.b};
  const float ambient[3] = {l.ambient.r, l.ambient.g, l.ambient.b};
  const float sun[3] = {l.sun.r, l.sun.g, l.sun.b};
  const float specular[3] = {m.specular.r, m.specular.g, m.specular.b};
  const float emissive[3] = {m.emissive.r, m.emissive.g, m.emissive.b};
  t_.finite = std::isfinite(t_.shininess) && t_.shininess >= 0.0 && std::isfinite(t_.alpha);
  for (int c = 0; c < 3; ++c) {
    t_.color[c] = color[c];
    t_.ambient[c] = ambient[c];
    t_.sun[c] = sun[c];
    t_.specular_sun[c] = static_cast<double>(specular[c]) * sun[c];
    t_.emissive[c] = emissive[c];
    for (const double v :
         {t_.color[c], t_.ambient[c], t_.sun[c], t_.specular_sun[c], t_.emissive[c]})
      t_.finite = t_.finite && std::isfinite(v);
  }
}

VertexShade PolygonShader::at_checked(uint32_t vc, const Vec3& normal, double lambert,
                                      const Vec3& to_eye) const {
  using light_terms::byte_fraction;
  const bool shiny = t_.shiny && dot(to_eye, to_eye) > 0.0;
  const double shine = shiny ? light_terms::highlight_past(normal, lambert, t_.to_light, to_eye,
                                                           t_.shininess, t_.least, t_.whole)
                             : 0.0;
  const double base[3] = {t_.color[0] * byte_fraction(vc, 16), t_.color[1] * byte_fraction(vc, 8),
                          t_.color[2] * byte_fraction(vc, 0)};
  VertexShade out;
  for (int c = 0; c < 3; ++c) {
    const double mul = base[c] * (t_.ambient[c] + lambert * t_.sun[c]);
    const double add = t_.emissive[c] + t_.specular_sun[c] * shine;
    out.mul[c] = std::isfinite(mul) ? static_cast<float>(std::clamp(mul, 0.0, 127.0)) : 0.0f;
    out.add[c] = std::isfinite(add) ? static_cast<float>(std::clamp(add, 0.0, 1.0)) : 0.0f;
  }
  const double alpha = t_.opaque ? 1.0 : t_.alpha * byte_fraction(vc, 24);
  out.alpha = std::isfinite(alpha) ? static_cast<float>(std::clamp(alpha, 0.0, 1.0)) : 0.0f;
  return out;
}

}  // namespace znr
