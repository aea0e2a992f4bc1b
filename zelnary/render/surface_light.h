// The light of a polygon drawn with a shade per vertex: one with vertex normals, vertex
// colours or a material beyond the plain one. Polygons without any of these keep their flat
// light (flat_light.h), so that worlds which use none of it draw exactly as before. Shared by
// every back end, so that they agree on the picture.
#pragma once

#include <algorithm>
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
// the levels of detail's).
bool has_vertex_normals(std::span<const Normal> normals, const Polygon& p);

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

// The same again, with what all the vertices of polygon p share (its colour, material and the
// scene's light) worked out once: the emitter lights every vertex of a polygon in turn.
class PolygonShader {
 public:
  PolygonShader(const Scene& s, const Polygon& p, const Vec3& to_light);
  // Whether a highlight can show: only then does at() need to_eye.
  bool shiny() const { return shiny_; }
  // The diffuse cosine for a unit normal, 0 where the sun is behind (or it is not finite);
  // where it is 0 no highlight shows either.
  double lambert(const Vec3& normal) const { return std::max(0.0, dot(normal, to_light_)); }
  // As shade_colored_vertex, with lambert(normal) passed in.
  VertexShade at(uint32_t color, const Vec3& normal, double lambert, const Vec3& to_eye) const;

 private:
  Vec3 to_light_;
  bool shiny_, opaque_;
  double shininess_, least_, alpha_;
  double color_[3], ambient_[3], sun_[3], specular_sun_[3], emissive_[3];
};

// The highlight's strength (0..1) for unit vectors normal, towards the light and towards the
// eye: (n . h)^shininess with h half-way between the two, 0 where the light is behind.
double highlight(const Vec3& normal, const Vec3& to_light, const Vec3& to_eye, double shininess);

// A normal as stored, in double precision and unit length (zero when it has none).
inline Vec3 unit_normal(const Normal& n) {
  return normalized(Vec3{n.x, n.y, n.z});
}

}  // namespace znr
