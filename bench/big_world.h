// A generated terrain world of a chosen number of triangles, for benchmarks: rolling hills on
// a square grid, 100 units between grid points, one repeating texture and one camera looking
// over it. make_big_world builds the Scene in memory; big_world_text writes the same world as
// world-file text (texture "terrain" from the file terrain.bmp), so that loading the text
// gives the same geometry.
#pragma once

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>

#include "zelnary/scene/scene.h"

namespace znr::bench {

constexpr double kBigWorldSpacing = 100.0;

// Grid cells per side for a world of at least `triangles` triangles (two per cell).
inline size_t big_world_cells_per_side(size_t triangles) {
  const size_t cells = (triangles + 1) / 2;
  size_t side = static_cast<size_t>(std::ceil(std::sqrt(static_cast<double>(cells))));
  return std::max<size_t>(side, 1);
}

// Ground height at grid point (i, j), whole units so that the text form is exact.
inline double big_world_height(size_t i, size_t j) {
  const double x = static_cast<double>(i), y = static_cast<double>(j);
  return std::round(300.0 * std::sin(x * 0.05) * std::cos(y * 0.043) +
                    120.0 * std::sin((x + y) * 0.17));
}

struct BigWorldVertex {
  double x, y, z;
  float u, v;
};

// Calls emit(a, b, c) for each of the world's triangles (counter-clockwise seen from above).
template <class Emit>
void for_each_big_world_triangle(size_t triangles, Emit&& emit) {
  const size_t side = big_world_cells_per_side(triangles);
  auto vertex = [](size_t i, size_t j) {
    const double x = static_cast<double>(i) * kBigWorldSpacing;
    const double y = static_cast<double>(j) * kBigWorldSpacing;
    return BigWorldVertex{x, y, big_world_height(i, j), static_cast<float>(i) * 0.1f,
                          static_cast<float>(j) * 0.1f};
  };
  size_t made = 0;
  for (size_t j = 0; j < side && made < triangles; ++j) {
    for (size_t i = 0; i < side && made < triangles; ++i) {
      const BigWorldVertex a = vertex(i, j), b = vertex(i + 1, j), c = vertex(i + 1, j + 1),
                           d = vertex(i, j + 1);
      emit(a, b, c);
      if (++made < triangles) {
        emit(a, c, d);
        ++made;
      }
    }
  }
}

inline CameraDef big_world_camera(size_t triangles) {
  const double extent = static_cast<double>(big_world_cells_per_side(triangles)) * kBigWorldSpacing;
  CameraDef cam;
  cam.name = "Overview";
  cam.location = {-0.1 * extent, 0.5 * extent, 2000.0};
  cam.direction = normalized(Vec3{1.0, 0.0, -0.2});
  cam.zoom = 60.0;
  cam.chase = ChaseType::Fixed;  // listed, so the viewer opens on it
  return cam;
}

// A 64x64 two-tone grass pattern standing in for terrain.bmp.
inline Image big_world_texture_image() {
  Image img;
  img.width = img.height = 64;
  img.texels.resize(64 * 64);
  for (int32_t y = 0; y < 64; ++y)
    for (int32_t x = 0; x < 64; ++x)
      img.texels[static_cast<size_t>(y * 64 + x)] =
          ((x / 8 + y / 8) % 2) != 0 ? 0xff4c8a3au : 0xff5c9a44u;
  return img;
}

inline Scene make_big_world(size_t triangles) {
  Scene scene;
  scene.textures.push_back(Texture{"terrain.bmp", big_world_texture_image(), false});
  scene.vertices.reserve(triangles * 3);
  scene.polygons.reserve(triangles);
  for_each_big_world_triangle(
      triangles, [&](const BigWorldVertex& a, const BigWorldVertex& b, const BigWorldVertex& c) {
        Polygon p;
        p.first_vertex = static_cast<uint32_t>(scene.vertices.size());
        p.vertex_count = 3;
        p.texture = 0;
        for (const BigWorldVertex* w : {&a, &b, &c})
          scene.vertices.push_back(Vertex{{w->x, w->y, w->z}, w->u, w->v});
        scene.polygons.push_back(p);
      });
  scene.cameras.push_back(big_world_camera(triangles));
  return scene;
}

namespace detail {
template <class T>
void append_number(std::string& out, T value) {
  char buf[32];
  const auto res = std::to_chars(buf, buf + sizeof buf, value);
  out.append(buf, res.ptr);
}
}  // namespace detail

inline std::string big_world_text(size_t triangles) {
  std::string out;
  out.reserve(triangles * 72 + 512);
  out += "zelnary-world 1\n# generated terrain\ntexture terrain terrain.bmp\n";
  const CameraDef cam = big_world_camera(triangles);
  out += "camera Overview chase=fixed at=";
  detail::append_number(out, cam.location.x);
  out += ',';
  detail::append_number(out, cam.location.y);
  out += ',';
  detail::append_number(out, cam.location.z);
  out += " dir=1,0,-0.2 zoom=60\n";
  for_each_big_world_triangle(
      triangles, [&](const BigWorldVertex& a, const BigWorldVertex& b, const BigWorldVertex& c) {
        out += "poly tex=terrain :";
        bool first = true;
        for (const BigWorldVertex* w : {&a, &b, &c}) {
          out += first ? " " : " ; ";
          first = false;
          detail::append_number(out, w->x);
          out += ' ';
          detail::append_number(out, w->y);
          out += ' ';
          detail::append_number(out, w->z);
          out += ' ';
          detail::append_number(out, w->u);
          out += ' ';
          detail::append_number(out, w->v);
        }
        out += '\n';
      });
  return out;
}

}  // namespace znr::bench
