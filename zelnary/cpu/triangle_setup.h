// Triangle set-up shared by the rasterizers: vertices snapped to 1/256 pixel, edge functions
// in exact integer arithmetic and the top-left fill rule, so that coverage is decided the
// same way by every path and shared edges are drawn exactly once.
#pragma once

#include <cstdint>

#include "zelnary/cpu/draw_list.h"

namespace znr {

constexpr int64_t kSubpixel = 256;                    // fixed-point steps per pixel
constexpr float kMaxScreenCoord = 1024.0f * 1024.0f;  // larger coordinates are rejected

// Filled by setup_triangle and read only when it succeeds: not zeroed first, which would cost
// a string store for every triangle.
struct TriangleSetup {
  const DrawVertex* v[3];  // ordered so that area2 > 0
  int64_t x[3], y[3];      // snapped positions, fixed point
  int64_t area2;           // twice the signed area, fixed point squared
  bool top_left[3];        // edge i runs from vertex i+1 to vertex i+2 (mod 3)
  int32_t x0, x1;          // pixel bounds (inclusive), already clipped
  int32_t y0, y1;
};

inline int64_t floor_div(int64_t n, int64_t d) {  // d > 0
  const int64_t q = n / d;
  return (n % d != 0 && n < 0) ? q - 1 : q;
}

// Edge i's function at fixed-point point (px, py): vertex i's barycentric weight times area2.
inline int64_t edge_value(const TriangleSetup& t, int i, int64_t px, int64_t py) {
  const int a = (i + 1) % 3, b = (i + 2) % 3;
  return (t.x[b] - t.x[a]) * (py - t.y[a]) - (t.y[b] - t.y[a]) * (px - t.x[a]);
}

// Inside or on an owned edge: a pixel on an edge belongs to the triangle only when the edge is
// a top or left one.
inline bool edge_covers(const TriangleSetup& t, int i, int64_t e) {
  return e > 0 || (e == 0 && t.top_left[i]);
}

// false: degenerate, off the clip rectangle [cx0, cx1) x [cy0, cy1), or not finite.
bool setup_triangle(const DrawVertex& a, const DrawVertex& b, const DrawVertex& c, int32_t cx0,
                    int32_t cy0, int32_t cx1, int32_t cy1, TriangleSetup& out);

}  // namespace znr
