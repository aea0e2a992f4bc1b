#include "test_scenes.h"

#include <cmath>
#include <utility>
#include <vector>

namespace znr::test {

Image pattern_texture() {
  Image img;
  img.width = img.height = 8;
  for (int32_t y = 0; y < 8; ++y) {
    for (int32_t x = 0; x < 8; ++x) {
      const bool dark = ((x + y) & 1) != 0;
      const auto r = static_cast<uint32_t>(dark ? 40 : 80 + x * 20);
      const auto g = static_cast<uint32_t>(dark ? 40 : 80 + y * 20);
      const uint32_t b = dark ? 90u : 200u;
      img.texels.push_back(0xFF000000u | (r << 16) | (g << 8) | b);
    }
  }
  return img;
}

void add_quad(Scene& s, const std::array<Vec3, 4>& c, const QuadOptions& o) {
  Polygon p;
  p.first_vertex = static_cast<uint32_t>(s.vertices.size());
  p.vertex_count = 4;
  p.texture = o.texture;
  p.color = o.color;
  p.two_sided = o.two_sided;
  const float uv[4][2] = {{0, 1}, {1, 1}, {1, 0}, {0, 0}};
  for (int i = 0; i < 4; ++i) {
    s.vertices.push_back({c[static_cast<size_t>(i)], uv[i][0] * o.uv_scale, uv[i][1] * o.uv_scale});
  }
  s.polygons.push_back(p);
}

void add_box(Scene& s, const Vec3& m, double h, int32_t texture) {
  auto p = [&](double x, double y, double z) {
    return Vec3{m.x + x * h, m.y + y * h, m.z + z * h};
  };
  QuadOptions o;
  o.texture = texture;
  o.two_sided = false;
  o.color = {1.0f, 0.6f, 0.6f};
  add_quad(s, {p(1, -1, -1), p(1, 1, -1), p(1, 1, 1), p(1, -1, 1)}, o);  // +x
  o.color = {0.6f, 1.0f, 0.6f};
  add_quad(s, {p(-1, 1, -1), p(-1, -1, -1), p(-1, -1, 1), p(-1, 1, 1)}, o);  // -x
  o.color = {0.6f, 0.6f, 1.0f};
  add_quad(s, {p(1, 1, -1), p(-1, 1, -1), p(-1, 1, 1), p(1, 1, 1)}, o);  // +y
  o.color = {1.0f, 1.0f, 0.6f};
  add_quad(s, {p(-1, -1, -1), p(1, -1, -1), p(1, -1, 1), p(-1, -1, 1)}, o);  // -y
  o.color = {0.6f, 1.0f, 1.0f};
  add_quad(s, {p(-1, -1, 1), p(1, -1, 1), p(1, 1, 1), p(-1, 1, 1)}, o);  // +z
  o.color = {1.0f, 0.6f, 1.0f};
  add_quad(s, {p(-1, 1, -1), p(1, 1, -1), p(1, -1, -1), p(-1, -1, -1)}, o);  // -z
}

void add_grid_terrain(Scene& s, int side, double uv_step,
                      const std::function<double(int i, int j)>& height,
                      const std::function<void(int i, int j, Polygon& p)>& style) {
  auto triangle = [&](int i0, int j0, int i1, int j1, int i2, int j2) {
    Polygon p;
    p.first_vertex = static_cast<uint32_t>(s.vertices.size());
    p.vertex_count = 3;
    p.two_sided = false;
    style(i0, j0, p);
    for (const auto& [i, j] : {std::pair{i0, j0}, std::pair{i1, j1}, std::pair{i2, j2}}) {
      s.vertices.push_back({Vec3{i * 10.0, j * 10.0, height(i, j)}, static_cast<float>(i * uv_step),
                            static_cast<float>(j * uv_step)});
    }
    s.polygons.push_back(p);
  };
  for (int j = 0; j < side; ++j) {
    for (int i = 0; i < side; ++i) {
      triangle(i, j, i + 1, j, i + 1, j + 1);
      triangle(i, j, i + 1, j + 1, i, j + 1);
    }
  }
}

Camera look_at(const Vec3& eye, const Vec3& target, double zoom) {
  Camera c;
  c.location = eye;
  c.forward = normalized(target - eye);
  const Vec3 right = normalized(cross(c.forward, Vec3{0, 0, 1}));
  c.up = cross(right, c.forward);
  c.zoom = zoom;
  return c;
}

namespace {

Scene base_scene() {
  Scene s;
  s.background = {0.2f, 0.25f, 0.3f};
  s.lighting.ambient = {0.4f, 0.4f, 0.4f};
  s.lighting.sun = {0.6f, 0.6f, 0.55f};
  s.lighting.sun_direction = {-0.5, -0.3, 1.0};
  Texture t;
  t.file = "pattern";
  t.image = pattern_texture();
  s.textures.push_back(t);
  return s;
}

}  // namespace

TestView textured_quad_view() {
  TestView v{base_scene(), look_at({0, 0, 0}, {1, 0, 0})};
  QuadOptions o;
  o.texture = 0;
  // Faces the eye at the origin (normal along -x), seen slightly turned.
  add_quad(v.scene, {Vec3{10, 3, -3}, Vec3{12, -3, -3}, Vec3{12, -3, 3}, Vec3{10, 3, 3}}, o);
  return v;
}

TestView cube_view() {
  TestView v{base_scene(), look_at({-6, -4, 3.5}, {0, 0, 0})};
  add_box(v.scene, {0, 0, 0}, 1.5, 0);
  return v;
}

TestView ground_view() {
  TestView v{base_scene(), look_at({0, 0, 1}, {10, 0, 0})};
  QuadOptions o;
  o.texture = 0;
  o.uv_scale = 20.0f;
  add_quad(v.scene, {Vec3{-50, 50, 0}, Vec3{-50, -50, 0}, Vec3{50, -50, 0}, Vec3{50, 50, 0}}, o);
  return v;
}

TestView placed_boxes_view(bool shared) {
  TestView v{base_scene(), look_at({-20, -14, 12}, {10, 0, 0})};
  QuadOptions floor;
  floor.color = {0.5f, 0.8f, 0.5f};
  add_quad(v.scene, {Vec3{-30, 30, -4}, Vec3{-30, -30, -4}, Vec3{40, -30, -4}, Vec3{40, 30, -4}},
           floor);
  Scene box;
  add_box(box, {0, 0, 0}, 3.0, 0);
  const double c = std::cos(0.7), s = std::sin(0.7), q = std::sqrt(0.5);
  std::vector<Affine> frames(5);
  frames[0].m[0][3] = 5.0;
  frames[4].m[0][3] = 5.0;  // moved only, like the first
  frames[4].m[1][3] = -9.0;
  // About (q, 0, q) by 0.7 rad, then 1.5 times as tall.
  const double turn[3][3] = {{c + q * q * (1 - c), -q * s, q * q * (1 - c)},
                             {q * s, c, -q * s},
                             {q * q * (1 - c), q * s, c + q * q * (1 - c)}};
  for (int r = 0; r < 3; ++r)
    for (int k = 0; k < 3; ++k) frames[1].m[r][k] = turn[r][k] * (r == 2 ? 1.5 : 1.0);
  frames[1].m[0][3] = 15.0;
  frames[1].m[1][3] = 8.0;
  frames[2].m[0][0] = frames[2].m[1][1] = c;
  frames[2].m[0][1] = -s;
  frames[2].m[1][0] = s;
  frames[2].m[0][3] = 25.0;
  frames[2].m[1][3] = -6.0;
  frames[3].m[0][3] = -60.0;        // behind the eye
  std::swap(frames[1], frames[4]);  // the two moved only follow each other
  if (shared) {
    MovingObject mesh;
    mesh.name = "box";
    mesh.shared = true;
    v.scene.objects.push_back(mesh);
    const uint32_t base = static_cast<uint32_t>(v.scene.vertices.size());
    for (Polygon p : box.polygons) {
      p.first_vertex += base;
      p.object = 0;
      v.scene.polygons.push_back(p);
    }
    v.scene.vertices.insert(v.scene.vertices.end(), box.vertices.begin(), box.vertices.end());
    for (const Affine& f : frames) v.scene.placements.push_back({0, f});
    return v;
  }
  for (const Affine& f : frames) {
    const uint32_t base = static_cast<uint32_t>(v.scene.vertices.size());
    for (Polygon p : box.polygons) {
      p.first_vertex += base;
      v.scene.polygons.push_back(p);
    }
    for (Vertex x : box.vertices) {
      const Vec3 a = x.position;
      x.position = {f.m[0][0] * a.x + f.m[0][1] * a.y + f.m[0][2] * a.z + f.m[0][3],
                    f.m[1][0] * a.x + f.m[1][1] * a.y + f.m[1][2] * a.z + f.m[1][3],
                    f.m[2][0] * a.x + f.m[2][1] * a.y + f.m[2][2] * a.z + f.m[2][3]};
      v.scene.vertices.push_back(x);
    }
  }
  return v;
}

TestView placed_terrain_row_view() {
  TestView v{base_scene(), look_at({-150, 240, 150}, {1200, 240, 0}, 60.0)};
  Scene patch;
  add_grid_terrain(
      patch, 48, 0.25, [](int i, int j) { return 25.0 * std::sin(i * 0.2) * std::cos(j * 0.15); },
      [](int i, int, Polygon& p) {
        p.texture = (i / 6) % 2 == 0 ? -1 : 0;
        p.color = {0.5f, 0.8f, 0.4f};
      });
  MovingObject mesh;
  mesh.name = "patch";
  mesh.shared = true;
  v.scene.objects.push_back(mesh);
  for (Polygon p : patch.polygons) {
    p.first_vertex += static_cast<uint32_t>(v.scene.vertices.size());
    p.object = 0;
    v.scene.polygons.push_back(p);
  }
  v.scene.vertices.insert(v.scene.vertices.end(), patch.vertices.begin(), patch.vertices.end());
  for (int k = 0; k < 12; ++k) {
    Placement at{0, {}};
    if (k % 2 == 1) {  // a quarter turn about the patch's middle
      at.frame.m[0][0] = at.frame.m[1][1] = 0.0;
      at.frame.m[0][1] = -1.0;
      at.frame.m[1][0] = 1.0;
      at.frame.m[0][3] = 480.0;
    }
    at.frame.m[0][3] += 480.0 * k;
    v.scene.placements.push_back(at);
  }
  return v;
}

TestView depth_view(bool near_first) {
  TestView v{base_scene(), look_at({0, 0, 0}, {1, 0, 0})};
  QuadOptions red, blue, green;
  red.color = {1.0f, 0.3f, 0.3f};
  blue.color = {0.3f, 0.3f, 1.0f};
  green.color = {0.3f, 1.0f, 0.3f};
  auto add_red = [&] {
    add_quad(v.scene, {Vec3{8, 3, -2}, Vec3{8, -1, -2}, Vec3{8, -1, 2}, Vec3{8, 3, 2}}, red);
  };
  auto add_others = [&] {
    // Tilted: behind the red quad at the bottom, through it at z = 1.5, in front above.
    add_quad(v.scene, {Vec3{8.6, 1, -3}, Vec3{8.6, -3, -3}, Vec3{7.8, -3, 3}, Vec3{7.8, 1, 3}},
             blue);
    // Just behind the red quad and wholly covered by it: must never show through.
    add_quad(v.scene,
             {Vec3{8.01, 2, -1.5}, Vec3{8.01, 0, -1.5}, Vec3{8.01, 0, -0.5}, Vec3{8.01, 2, -0.5}},
             green);
  };
  if (near_first) {
    add_red();
    add_others();
  } else {
    add_others();
    add_red();
  }
  return v;
}

TestView culling_view() {
  TestView v{base_scene(), look_at({0, 0, 0}, {1, 0, 0})};
  QuadOptions o;
  o.texture = 0;
  // Both face away from the eye (normal along +x): clockwise as the eye sees them.
  o.two_sided = false;
  add_quad(v.scene, {Vec3{10, 4, -2}, Vec3{10, 4, 2}, Vec3{10, 0.5, 2}, Vec3{10, 0.5, -2}}, o);
  o.two_sided = true;
  add_quad(v.scene, {Vec3{10, -0.5, -2}, Vec3{10, -0.5, 2}, Vec3{10, -4, 2}, Vec3{10, -4, -2}}, o);
  return v;
}

}  // namespace znr::test
