// The scalar reference rasterizer: clear, obviously right, one pixel at a time.
#include <algorithm>
#include <cmath>

#include "zelnary/cpu/rasterizer.h"
#include "zelnary/cpu/shading.h"
#include "zelnary/cpu/triangle_setup.h"

namespace znr {
namespace {

uint8_t scale_channel(double value, double mul) {
  // Colour times light, rounded, saturating at full brightness.
  return static_cast<uint8_t>(std::clamp(std::lround(value * mul), 0l, 255l));
}

void draw_triangle(const DrawPolygon& poly, const Image* tex, const DrawVertex& a,
                   const DrawVertex& b, const DrawVertex& c, Framebuffer& fb) {
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
        const uint32_t texel =
            sample_nearest(*tex, static_cast<float>(uw / inv_w), static_cast<float>(vw / inv_w));
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
      draw_triangle(poly, list.texture_of(poly), v[0], v[i], v[i + 1], fb);
  }
}

}  // namespace znr
