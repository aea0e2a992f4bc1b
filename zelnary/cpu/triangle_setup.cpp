#include "zelnary/cpu/triangle_setup.h"

#include <algorithm>
#include <cmath>

namespace znr {
namespace {

bool snap(float f, int64_t& out) {
  if (!(std::fabs(f) <= kMaxScreenCoord)) return false;  // also rejects NaN
  // Round half away from zero, without a library call.
  const double scaled = static_cast<double>(f) * static_cast<double>(kSubpixel);
  out = static_cast<int64_t>(scaled + (scaled >= 0.0 ? 0.5 : -0.5));
  return true;
}

}  // namespace

bool setup_triangle(const DrawVertex& a, const DrawVertex& b, const DrawVertex& c, int32_t cx0,
                    int32_t cy0, int32_t cx1, int32_t cy1, TriangleSetup& t) {
  t.v[0] = &a;
  t.v[1] = &b;
  t.v[2] = &c;
  for (int i = 0; i < 3; ++i) {
    if (!snap(t.v[i]->x, t.x[i]) || !snap(t.v[i]->y, t.y[i])) return false;
  }
  t.area2 = (t.x[1] - t.x[0]) * (t.y[2] - t.y[0]) - (t.y[1] - t.y[0]) * (t.x[2] - t.x[0]);
  if (t.area2 == 0) return false;
  if (t.area2 < 0) {  // one orientation for all: interior where every edge function is > 0
    std::swap(t.v[1], t.v[2]);
    std::swap(t.x[1], t.x[2]);
    std::swap(t.y[1], t.y[2]);
    t.area2 = -t.area2;
  }
  for (int i = 0; i < 3; ++i) {
    const int a0 = (i + 1) % 3, b0 = (i + 2) % 3;
    const int64_t dx = t.x[b0] - t.x[a0], dy = t.y[b0] - t.y[a0];
    // The interior lies to the right of a left edge (dy < 0) and below a top edge.
    t.top_left[i] = dy < 0 || (dy == 0 && dx > 0);
  }
  // Pixels whose centres (i + 1/2) can lie within the snapped bounding box.
  const int64_t half = kSubpixel / 2;
  const int64_t minx = std::min({t.x[0], t.x[1], t.x[2]}),
                maxx = std::max({t.x[0], t.x[1], t.x[2]});
  const int64_t miny = std::min({t.y[0], t.y[1], t.y[2]}),
                maxy = std::max({t.y[0], t.y[1], t.y[2]});
  const int64_t px0 = std::max<int64_t>(cx0, -floor_div(half - minx, kSubpixel));
  const int64_t px1 = std::min<int64_t>(cx1 - 1, floor_div(maxx - half, kSubpixel));
  const int64_t py0 = std::max<int64_t>(cy0, -floor_div(half - miny, kSubpixel));
  const int64_t py1 = std::min<int64_t>(cy1 - 1, floor_div(maxy - half, kSubpixel));
  if (px0 > px1 || py0 > py1) return false;
  t.x0 = static_cast<int32_t>(px0);
  t.x1 = static_cast<int32_t>(px1);
  t.y0 = static_cast<int32_t>(py0);
  t.y1 = static_cast<int32_t>(py1);
  return true;
}

}  // namespace znr
