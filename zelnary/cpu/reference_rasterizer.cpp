// The scalar reference rasterizer: clear, obviously right, one pixel at a time.
#include <algorithm>
#include <cmath>

#include "zelnary/cpu/rasterizer.h"
#include "zelnary/cpu/shading.h"
#include "zelnary/cpu/triangle_setup.h"
#include "zelnary/scene/mip_levels.h"

namespace znr {
namespace {

uint8_t scale_channel(double value, double mul) {
  // Colour times light, rounded, saturating at full brightness.
  return static_cast<uint8_t>(std::clamp(std::lround(value * mul), 0l, 255l));
}

// The level to sample at a pixel: its footprint in full-size texels, from the screen
// derivatives of u = (u/w) / (1/w) and v, each weight's derivative read off its edge function.
const Image* level_at(const TriangleSetup& t, const Image* tex, std::span<const Image> levels,
                      double inv_w, double u, double v) {
  if (levels.empty() || !(inv_w > 0.0)) return tex;
  double d[2][3] = {};  // d/dx and d/dy of 1/w, u/w and v/w
  for (int i = 0; i < 3; ++i) {
    const int a = (i + 1) % 3, b = (i + 2) % 3;
    const double area = static_cast<double>(t.area2) / kSubpixel;  // per pixel step
    const double wx = -static_cast<double>(t.y[b] - t.y[a]) / area;
    const double wy = static_cast<double>(t.x[b] - t.x[a]) / area;
    const double attr[3] = {t.v[i]->inv_w, t.v[i]->u * t.v[i]->inv_w, t.v[i]->v * t.v[i]->inv_w};
    for (int k = 0; k < 3; ++k) {
      d[0][k] += wx * attr[k];
      d[1][k] += wy * attr[k];
    }
  }
  double rho2 = 0.0;
  for (const auto& g : d) {
    const double du = (g[1] - u * g[0]) / inv_w * tex->width;
    const double dv = (g[2] - v * g[0]) / inv_w * tex->height;
    rho2 = std::max(rho2, du * du + dv * dv);
  }
  const int32_t level = mip_level_for(rho2 < 1e30 ? static_cast<float>(rho2) : 1e30f,
                                      static_cast<int32_t>(levels.size()));
  return level == 0 ? tex : &levels[static_cast<size_t>(level - 1)];
}

void draw_triangle(const DrawPolygon& poly, const Image* tex, std::span<const Image> levels,
                   const DrawVertex& a, const DrawVertex& b, const DrawVertex& c, Framebuffer& fb) {
  TriangleSetup t;
  if (!setup_triangle(a, b, c, 0, 0, fb.width, fb.height, t)) return;  // nothing to draw
  for (int32_t y = t.y0; y <= t.y1; ++y) {
    for (int32_t x = t.x0; x <= t.x1; ++x) {
      // Sample at the pixel's centre, in the same fixed point as the vertices.
      const int64_t px = x * kSubpixel + kSubpixel / 2, py = y * kSubpixel + kSubpixel / 2;
      int64_t e[3];
      bool inside = true;
      for (int i = 0; i < 3; ++i) {
        e[i] = edge_value(t, i, px, py);
        inside = inside && edge_covers(t, i, e[i]);
      }
      if (!inside) continue;  // the centre is outside (or on an edge another triangle owns)
      // Barycentric weights: each edge function over the whole area.
      double w[3];
      for (int i = 0; i < 3; ++i) w[i] = static_cast<double>(e[i]) / static_cast<double>(t.area2);
      // 1/w is linear in screen space, so it interpolates directly.
      double inv_w = 0.0;
      for (int i = 0; i < 3; ++i) inv_w += w[i] * t.v[i]->inv_w;
      const size_t idx = fb.index(x, y);
      if (!(inv_w > static_cast<double>(fb.depth[idx]))) continue;  // something nearer is there
      uint32_t rgb[3] = {255, 255, 255};
      if (tex != nullptr) {
        // u/w and v/w are linear in screen space; dividing by 1/w gives the true u and v.
        double uw = 0.0, vw = 0.0;
        for (int i = 0; i < 3; ++i) {
          uw += w[i] * t.v[i]->u * t.v[i]->inv_w;
          vw += w[i] * t.v[i]->v * t.v[i]->inv_w;
        }
        const double u = uw / inv_w, v = vw / inv_w;
        const uint32_t texel = sample_nearest(*level_at(t, tex, levels, inv_w, u, v),
                                              static_cast<float>(u), static_cast<float>(v));
        rgb[0] = (texel >> 16) & 0xFFu;
        rgb[1] = (texel >> 8) & 0xFFu;
        rgb[2] = texel & 0xFFu;
      }
      const uint32_t r = scale_channel(rgb[0], poly.mul[0]);
      const uint32_t g = scale_channel(rgb[1], poly.mul[1]);
      const uint32_t bl = scale_channel(rgb[2], poly.mul[2]);
      fb.depth[idx] = static_cast<float>(inv_w);
      fb.color[idx] = 0xFF000000u | (r << 16) | (g << 8) | bl;
    }
  }
}

}  // namespace

void rasterize_reference(const DrawList& list, Framebuffer& fb) {
  fb.clear_rows(list.background, 0, fb.height);
  for (const DrawPolygon& poly : list.polygons) {
    if (poly.count < 3 || poly.first + poly.count > list.vertices.size()) continue;
    // A convex polygon is a fan of triangles around its first vertex.
    const DrawVertex* v = &list.vertices[poly.first];
    for (uint32_t i = 1; i + 1 < poly.count; ++i)
      draw_triangle(poly, list.texture_of(poly), list.levels_of(poly), v[0], v[i], v[i + 1], fb);
  }
}

}  // namespace znr
