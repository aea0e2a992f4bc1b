#include "surface_scenes.h"

#include <cmath>
#include <numbers>

namespace znr::test {
namespace {

// Full ambient light and no sun: colours arrive on screen as they are.
Scene unlit_scene() {
  Scene s;
  s.background = {0.0f, 0.0f, 0.0f};
  s.lighting.ambient = {1.0f, 1.0f, 1.0f};
  s.lighting.sun = {0.0f, 0.0f, 0.0f};
  return s;
}

// A square of side 2 * half facing the eye at distance x, centred on (y, z).
std::array<Vec3, 4> facing_square(double x, double y, double z, double half) {
  return {Vec3{x, y + half, z - half}, Vec3{x, y - half, z - half}, Vec3{x, y - half, z + half},
          Vec3{x, y + half, z + half}};
}

// Polygons that name no material keep index 0: the plain one.
uint16_t add_material(Scene& s, const Material& m) {
  if (s.materials.empty()) s.materials.push_back(Material{});
  s.materials.push_back(m);
  return static_cast<uint16_t>(s.materials.size() - 1);
}

}  // namespace

TestView sphere_view(bool normals, bool shiny) {
  TestView v{Scene{}, look_at({0, 0, 0}, {1, 0, 0}, 40.0)};
  Scene& s = v.scene;
  s.background = {0.0f, 0.0f, 0.0f};
  s.lighting.ambient = {0.2f, 0.2f, 0.2f};
  s.lighting.sun_direction = {-1.0, 0.6, 0.8};
  s.lighting.sun = {0.8f, 0.8f, 0.8f};
  uint16_t material = 0;
  if (shiny) {
    Material m;
    m.specular = {1.0f, 1.0f, 1.0f};
    m.shininess = 40.0f;
    material = add_material(s, m);
  }
  const Vec3 centre{40, 0, 0};
  constexpr int kRings = 24, kSegments = 32;
  auto at = [](int ring, int segment) {
    const double theta = std::numbers::pi * ring / kRings;
    const double phi = 2.0 * std::numbers::pi * segment / kSegments;
    return Vec3{std::sin(theta) * std::cos(phi), std::sin(theta) * std::sin(phi), std::cos(theta)};
  };
  for (int r = 0; r < kRings; ++r) {
    for (int g = 0; g < kSegments; ++g) {
      Polygon p;
      p.first_vertex = static_cast<uint32_t>(s.vertices.size());
      p.two_sided = false;
      p.color = {0.9f, 0.5f, 0.3f};
      p.material = material;
      // Counter-clockwise seen from outside; the poles' quads have two equal corners.
      const Vec3 corners[4] = {at(r, g), at(r + 1, g), at(r + 1, g + 1), at(r, g + 1)};
      for (const Vec3& n : corners) {
        if (p.vertex_count > 0 && s.vertices.back().position == centre + n * 10.0) continue;
        s.vertices.push_back({centre + n * 10.0, 0.0f, 0.0f});
        s.normals.push_back(
            {static_cast<float>(n.x), static_cast<float>(n.y), static_cast<float>(n.z)});
        ++p.vertex_count;
      }
      if (s.vertices[p.first_vertex].position == s.vertices.back().position) {
        s.vertices.pop_back();
        s.normals.pop_back();
        --p.vertex_count;
      }
      s.polygons.push_back(p);
    }
  }
  if (!normals) s.normals.clear();
  return v;
}

TestView vertex_color_view() {
  TestView v{unlit_scene(), look_at({0, 0, 0}, {1, 0, 0}, 60.0)};
  add_quad(v.scene, facing_square(10, 0, 0, 4), {});
  // Corners in the order facing_square gives them: bottom left, bottom right, top right, top
  // left as seen from the eye.
  v.scene.vertex_colors = {0xFFFFFFFFu, 0xFF0000FFu, 0xFF00FF00u, 0xFFFF0000u};
  return v;
}

TestView mask_view() {
  TestView v{unlit_scene(), look_at({0, 0, 0}, {1, 0, 0}, 60.0)};
  Scene& s = v.scene;
  Texture t;
  t.file = "checker";
  t.image.width = t.image.height = 2;
  t.image.texels = {0xFFFFFFFFu, 0x00FFFFFFu, 0x00FFFFFFu, 0xFFFFFFFFu};
  s.textures.push_back(t);
  QuadOptions back;
  back.color = {1.0f, 0.0f, 0.0f};
  add_quad(s, facing_square(20, 0, 0, 10), back);
  QuadOptions front;
  front.texture = 0;
  add_quad(s, facing_square(10, 0, 0, 4), front);
  Material m;
  m.alpha_mode = AlphaMode::Mask;
  m.cutoff = 0.5f;
  s.polygons.back().material = add_material(s, m);
  return v;
}

TestView blend_view(bool near_first) {
  TestView v{unlit_scene(), look_at({0, 0, 0}, {1, 0, 0}, 60.0)};
  Scene& s = v.scene;
  Material half;
  half.alpha = 0.5f;
  half.alpha_mode = AlphaMode::Blend;
  const uint16_t m = add_material(s, half);
  QuadOptions blue;
  blue.color = {0.0f, 0.0f, 1.0f};
  add_quad(s, facing_square(30, 0, 0, 15), blue);
  auto pane = [&](double x, Color c) {
    QuadOptions o;
    o.color = c;
    add_quad(s, facing_square(x, 0, 0, 3), o);
    s.polygons.back().material = m;
  };
  if (near_first) pane(10, {1.0f, 0.0f, 0.0f});
  pane(15, {0.0f, 1.0f, 0.0f});
  if (!near_first) pane(10, {1.0f, 0.0f, 0.0f});
  return v;
}

}  // namespace znr::test
