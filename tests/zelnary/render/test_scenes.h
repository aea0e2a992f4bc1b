// Small hand-built scenes for the renderer tests.
#pragma once

#include <array>
#include <functional>

#include "zelnary/cameras/camera.h"
#include "zelnary/scene/scene.h"

namespace znr::test {

// A texture of 8 x 8 texels: a checker whose colours also change across it, so that
// orientation and texel positions show.
Image pattern_texture();

struct QuadOptions {
  int32_t texture = -1;
  Color color{1.0f, 1.0f, 1.0f};
  bool two_sided = true;
  float uv_scale = 1.0f;  // texture repeats across the quad
};
// Corners counter-clockwise seen from the front.
void add_quad(Scene& s, const std::array<Vec3, 4>& corners, const QuadOptions& o);
// An axis-aligned box with one-sided outward faces, each face its own colour.
void add_box(Scene& s, const Vec3& center, double half, int32_t texture);

// A one-sided terrain of side x side cells, 10 units apart, two triangles a cell, seen from
// above; texture coordinates are the grid index times uv_step. style sets each triangle's
// texture and colour from its first corner's grid index.
void add_grid_terrain(Scene& s, int side, double uv_step,
                      const std::function<double(int i, int j)>& height,
                      const std::function<void(int i, int j, Polygon& p)>& style);

Camera look_at(const Vec3& eye, const Vec3& target, double zoom = 55.0);

// The scenes with their cameras.
struct TestView {
  Scene scene;
  Camera camera;
};
TestView textured_quad_view();
TestView cube_view();
TestView ground_view();  // a textured floor running under and behind the eye
TestView depth_view(bool near_first);
TestView culling_view();  // a one-sided and a two-sided quad, both seen from behind
// A textured box with one-sided faces, placed four times over a floor: moved twice, turned about
// a slant axis and stretched, turned about z; and a fifth time behind the eye. shared: one mesh
// and five placements; else five copies of it in world coordinates.
TestView placed_boxes_view(bool shared);
// A rolling patch of terrain, 48 x 48 cells of 10 units, as one shared mesh placed in a row of
// twelve running away from the eye, every other one turned a quarter about z.
TestView placed_terrain_row_view();

}  // namespace znr::test
