// The light of a polygon drawn with a shade per vertex: one with vertex normals, vertex
// colours or a material beyond the plain one. Polygons without any of these keep their flat
// light (flat_light.h), so that worlds which use none of it draw exactly as before. Shared by
// every back end, so that they agree on the picture.
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <span>

#include "zelnary/core/vec3.h"
#include "zelnary/scene/scene.h"

namespace znr {

// A vertex's colour in two parts: the texel (white without a texture) times mul, plus add,
// per channel, 1.0 = full; and its alpha (coverage, 0..1), used as the material says.
struct VertexShade {
  float mul[3] = {1.0f, 1.0f, 1.0f};
  float add[3] = {0.0f, 0.0f, 0.0f};
  float alpha = 1.0f;
};

// Whether the polygon is drawn with a shade per vertex.
bool needs_vertex_shade(const Scene& s, const Polygon& p);

// A vertex without a colour of its own: opaque white, which changes nothing.
constexpr uint32_t kNoVertexColor = 0xFFFFFFFFu;

// Whether every vertex of the polygon carries a normal; otherwise it is lit by its plane.
bool has_vertex_normals(const Scene& s, const Polygon& p);
// The same over normals indexed as the polygon's vertices are (the scene's, a posed skin's or
// the levels of detail's). Inline: the emitter asks it for every polygon it draws.
inline bool has_vertex_normals(std::span<const Normal> normals, const Polygon& p) {
  if (static_cast<size_t>(p.first_vertex) + p.vertex_count > normals.size()) return false;
  for (uint32_t i = 0; i < p.vertex_count; ++i) {
    if (normals[p.first_vertex + i].none()) return false;
  }
  return true;
}

// Whether a vertex of the polygon has a colour other than opaque white.
bool has_vertex_colors(const Scene& s, const Polygon& p);
bool has_vertex_colors(std::span<const uint32_t> colors, const Polygon& p);

// The scene's vertex colour of vertex i (an index into Scene::vertices): white without one.
inline uint32_t vertex_color(const Scene& s, size_t i) {
  return i < s.vertex_colors.size() ? s.vertex_colors[i] : kNoVertexColor;
}

// The shade of vertex i of the scene, which belongs to polygon p:
// - normal: unit, in world orientation, turned towards the side seen (the vertex's own
//   normal, or the polygon's plane);
// - to_eye: unit, from the vertex towards the eye; zero leaves the highlight out.
// The polygon's colour times the vertex colour, lit by ambient plus the sun by the cosine
// (diffuse), plus the material's emissive colour and its Blinn-Phong highlight of the sun.
// Channels that are not finite become 0; mul is at most 127, add at most 1.
VertexShade shade_vertex(const Scene& s, const Polygon& p, size_t i, const Vec3& normal,
                         const Vec3& to_eye);
// The same for a vertex of colour `color` (0xAARRGGBB, white for none), wherever it is kept,
// with to_light, the unit vector towards the sun, worked out once by the caller for all the
// vertices it shades.
VertexShade shade_colored_vertex(const Scene& s, const Polygon& p, uint32_t color,
                                 const Vec3& normal, const Vec3& to_eye, const Vec3& to_light);

// The highlight's strength (0..1) for unit vectors normal, towards the light and towards the
// eye: (n . h)^shininess with h half-way between the two, 0 where the light is behind.
double highlight(const Vec3& normal, const Vec3& to_light, const Vec3& to_eye, double shininess);

// A normal as stored, in double precision and unit length (zero when it has none).
inline Vec3 unit_normal(const Normal& n) {
  return normalized(Vec3{n.x, n.y, n.z});
}

namespace light_terms {

// s when it is a whole number from 0 to 4096, else -1.
inline int32_t whole_exponent(double s) {
  return s >= 0.0 && s <= 4096.0 && s == std::floor(s) ? static_cast<int32_t>(s) : -1;
}

// c^s, by repeated squaring where s is a whole number (materials mostly give whole exponents;
// a library pow costs as much as the rest of a vertex's light); whole = whole_exponent(s).
inline double power(double c, double s, int32_t whole) {
  if (whole < 0) return std::pow(c, s);
  double result = 1.0;
  for (auto n = static_cast<uint32_t>(whole); n != 0; n >>= 1) {
    if ((n & 1u) != 0) result *= c;
    c *= c;
  }
  return result;
}

// A byte as a fraction of 255, looked up rather than divided for every vertex.
inline constexpr std::array<double, 256> kByteFractions = [] {
  std::array<double, 256> of{};
  for (int i = 0; i < 256; ++i) of[static_cast<size_t>(i)] = static_cast<double>(i) / 255.0;
  return of;
}();
inline double byte_fraction(uint32_t c, int shift) {
  return kByteFractions[(c >> shift) & 0xFFu];
}

// As highlight(), with least = 1 - 7 / shininess and whole = whole_exponent(shininess) worked
// out by the caller, and lambert = the normal's cosine towards the light, at least 0.
inline double highlight_past(const Vec3& normal, double lambert, const Vec3& to_light,
                             const Vec3& to_eye, double shininess, double least, int32_t whole) {
  if (!(lambert > 0.0)) return 0.0;
  const Vec3 sum = to_light + to_eye;
  // c^s <= e^(-s (1 - c)): past s (1 - c) = 7 the highlight is below 1/1000, a quarter of one
  // step of an 8-bit channel, and most vertices of a shiny surface are there. Those well past
  // it are found from n . sum and |sum|^2, without a square root: c = n . sum / |sum| below
  // least (with room for rounding) is below 1 - 7 / s.
  if (least > 1e-6) {
    const double along = dot(normal, sum);
    if (along <= 0.0 || along * along < dot(sum, sum) * (least * least) * (1.0 - 1e-9)) return 0.0;
  }
  const Vec3 half = normalized(sum);
  const double c = dot(normal, half);
  if (!(c > 0.0) || shininess * (1.0 - c) > 7.0) return 0.0;
  return power(c, shininess, whole);
}

}  // namespace light_terms

// A vertex lit by its own normal as stored (not yet of unit length), with where it is in the
// world and its colour (0xAARRGGBB, white for none).
struct StoredVertex {
  Normal normal;
  Vec3 position;
  uint32_t color;
};

// What all the vertices of a polygon share in their light: its colour, material and the
// scene's light.
struct LightTerms {
  Vec3 to_light;
  bool shiny, opaque;
  // Whether every value below is finite and the shininess at least 0: the shade of a unit
  // normal is then finite and needs no check.
  bool finite;
  double shininess, least, alpha;
  int32_t whole;  // the shininess when a whole number, else -1
  double color[3], ambient[3], sun[3], specular_sun[3], emissive[3];
};

// The same again, with the terms all the vertices of polygon p share worked out once: the
// emitter lights every vertex of a polygon in turn.
class PolygonShader {
 public:
  PolygonShader(const Scene& s, const Polygon& p, const Vec3& to_light);
  // The diffuse cosine for a unit normal, 0 where the sun is behind (or it is not finite);
  // where it is 0 no highlight shows either.
  double lambert(const Vec3& normal) const { return std::max(0.0, dot(normal, t_.to_light)); }
  // As shade_colored_vertex, with lambert(normal) passed in. Inline, since it runs for every
  // vertex drawn lit; the checks for values that are not finite are made once per polygon
  // where they can be (its colour, material and light all finite), and once per vertex on the
  // sun's cosine and the highlight, which a unit normal keeps at most 1 (give or take
  // rounding) and any other normal may not.
  VertexShade at(uint32_t color, const Vec3& normal, double lambert, const Vec3& to_eye) const {
    if (!t_.finite || !(lambert <= 2.0)) return at_checked(color, normal, lambert, to_eye);
    const double shine = t_.shiny && dot(to_eye, to_eye) > 0.0
                             ? light_terms::highlight_past(normal, lambert, t_.to_light, to_eye,
                                                           t_.shininess, t_.least, t_.whole)
                             : 0.0;
    if (!(shine <= 2.0)) return at_checked(color, normal, lambert, to_eye);
    using light_terms::byte_fraction;
    const double base[3] = {t_.color[0] * byte_fraction(color, 16),
                            t_.color[1] * byte_fraction(color, 8),
                            t_.color[2] * byte_fraction(color, 0)};
    VertexShade out;
    for (int c = 0; c < 3; ++c) {
      const double mul = base[c] * (t_.ambient[c] + lambert * t_.sun[c]);
      const double add = t_.emissive[c] + t_.specular_sun[c] * shine;
      out.mul[c] = static_cast<float>(std::min(std::max(mul, 0.0), 127.0));
      out.add[c] = static_cast<float>(std::min(std::max(add, 0.0), 1.0));
    }
    if (!t_.opaque) {
      out.alpha =
          static_cast<float>(std::min(std::max(t_.alpha * byte_fraction(color, 24), 0.0), 1.0));
    }
    return out;
  }
  // at() for a vertex at `world` with a unit normal turned towards the side seen, the eye at
  // eye.
  VertexShade at_point(uint32_t color, const Vec3& normal, const Vec3& world,
                       const Vec3& eye) const {
    const double lit = lambert(normal);
    // The way to the eye matters only to a highlight, and none shows where the sun is behind.
    const Vec3 to_eye = t_.shiny && lit > 0.0 ? normalized(eye - world) : Vec3{};
    return at(color, normal, lit, to_eye);
  }
  // at() for a vertex lit by its stored normal, turned to side (1 seen from the front, -1 from
  // behind), with the eye at eye.
  VertexShade stored(const StoredVertex& v, double side, const Vec3& eye) const {
    return at_point(v.color, unit_normal(v.normal) * side, v.position, eye);
  }
  // stored() for each vertex of in, into out: several at a time in vector lanes, each lane
  // doing the same operations in the same order (light_lanes.h), so the same bits. The lanes
  // are the widest the processor has, or (narrow, for tests) those every x86-64 one has.
  enum class Lanes { widest, narrow };
  void stored_many(std::span<const StoredVertex> in, double side, const Vec3& eye, VertexShade* out,
                   Lanes lanes = Lanes::widest) const;
  const LightTerms& terms() const { return t_; }

 private:
  // at() for any input, values that are not finite becoming 0.
  VertexShade at_checked(uint32_t color, const Vec3& normal, double lambert,
                         const Vec3& to_eye) const;

  LightTerms t_;
};

}  // namespace znr
