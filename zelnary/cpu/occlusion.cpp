#include "zelnary/cpu/occlusion.h"

#include <algorithm>
#include <cmath>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace znr {
namespace {

// A pixel's depth is interpolated in single precision from the plane of its triangle, anchored
// at the screen's left column, so it may come out a little nearer than any of the triangle's
// corners. The box's nearest depth is made this much nearer to cover that: it covers all but
// pixels within about a tenth of a pixel of the line where their polygon's plane meets the
// horizon, that is polygons seen almost exactly edge-on, whose depth order is noise anyway.
constexpr double kDepthMargin = 1.0 / 256.0;

}  // namespace

void CoarseDepth::reset(int32_t width, int32_t height) {
  width_ = std::max(width, 0);
  height_ = std::max(height, 0);
  columns_ = (width_ + kDepthBlock - 1) / kDepthBlock;
  rows_ = (height_ + kDepthBlock - 1) / kDepthBlock;
  farthest_.assign(static_cast<size_t>(columns_) * static_cast<size_t>(rows_), 0.0f);
}

void CoarseDepth::update(const Framebuffer& fb, const PixelRect& rect) {
  if (fb.width != width_ || fb.height != height_) return;
  const int32_t blocks = (rect.x1 - rect.x0 + kDepthBlock - 1) / kDepthBlock;
  for (int32_t y0 = rect.y0; y0 < rect.y1; y0 += kDepthBlock) {
    float* out =
        farthest_.data() + static_cast<size_t>(y0 / kDepthBlock) * columns_ + rect.x0 / kDepthBlock;
    std::fill_n(out, blocks, INFINITY);
    for (int32_t y = y0; y < std::min(y0 + kDepthBlock, rect.y1); ++y) {
      const float* row = fb.depth.data() + fb.index(rect.x0, y);
      for (int32_t b = 0; b < blocks; ++b) {
        const int32_t n = std::min(kDepthBlock, rect.x1 - rect.x0 - b * kDepthBlock);
        float m = out[b];
        for (int32_t i = 0; i < n; ++i) {
          const float d = row[b * kDepthBlock + i];
          m = d < m ? d : m;
        }
        out[b] = m;
      }
    }
  }
}

void CoarseDepth::clear(const PixelRect& rect) {
  const int32_t blocks = (rect.x1 - rect.x0 + kDepthBlock - 1) / kDepthBlock;
  for (int32_t y0 = rect.y0; y0 < rect.y1 && y0 < height_; y0 += kDepthBlock) {
    std::fill_n(farthest_.begin() + (y0 / kDepthBlock) * columns_ + rect.x0 / kDepthBlock, blocks,
                0.0f);
  }
}

bool CoarseDepth::hides(const View& view, const Vec3& lo, const Vec3& hi) const {
  if (farthest_.empty()) return false;
  // The box's corners on screen: everything inside it projects inside their bounds, as long as
  // the whole box lies beyond the near plane (else it may be clipped there: drawn).
  const double cx = view.width * 0.5, cy = view.height * 0.5;
  double nearest = INFINITY, x0 = INFINITY, x1 = -INFINITY, y0 = INFINITY, y1 = -INFINITY;
  for (int i = 0; i < 8; ++i) {
    const Vec3 d = Vec3{i & 1 ? hi.x : lo.x, i & 2 ? hi.y : lo.y, i & 4 ? hi.z : lo.z} - view.eye;
    const double depth = dot(d, view.forward);
    if (!(depth > view.near_plane)) return false;  // NaN too
    const double sx = cx + view.focal * dot(d, view.right) / depth;
    const double sy = cy - view.focal * dot(d, view.up) / depth;
    nearest = std::min(nearest, depth);
    x0 = std::min(x0, sx);
    x1 = std::max(x1, sx);
    y0 = std::min(y0, sy);
    y1 = std::max(y1, sy);
  }
  return hides_rect(x0, x1, y0, y1, 1.0 / nearest);
}

bool CoarseDepth::hides_rect(double x0, double x1, double y0, double y1, double nearest) const {
  if (farthest_.empty()) return false;
  const double near_iw = nearest * (1.0 + kDepthMargin);
  if (!std::isfinite(near_iw) || !std::isfinite(x0 + x1 + y0 + y1)) return false;
  // Pixels whose centres the box may cover, with a pixel to spare for rounding and snapping;
  // none on screen: nothing of it can be drawn.
  const auto px0 = static_cast<int32_t>(std::floor(std::clamp(x0 - 1.0, 0.0, 1.0 * width_)));
  const auto px1 = static_cast<int32_t>(std::floor(std::clamp(x1 + 1.0, -1.0, width_ - 1.0)));
  const auto py0 = static_cast<int32_t>(std::floor(std::clamp(y0 - 1.0, 0.0, 1.0 * height_)));
  const auto py1 = static_cast<int32_t>(std::floor(std::clamp(y1 + 1.0, -1.0, height_ - 1.0)));
  if (px0 > px1 || py0 > py1) return true;
  for (int32_t by = py0 / kDepthBlock; by <= py1 / kDepthBlock; ++by) {
    const float* row = farthest_.data() + static_cast<size_t>(by) * columns_;
    for (int32_t bx = px0 / kDepthBlock; bx <= px1 / kDepthBlock; ++bx) {
      if (!(static_cast<double>(row[bx]) >= near_iw)) return false;
    }
  }
  return true;
}

bool CoarseDepth::hides_pixels(const Framebuffer& fb, double x0, double x1, double y0, double y1,
                               double nearest) {
  const double near_iw = nearest * (1.0 + kDepthMargin);
  if (!std::isfinite(near_iw) || !std::isfinite(x0 + x1 + y0 + y1)) return false;
  // The pixels whose centres lie within the bounds, with 1/128 pixel to spare for snapping.
  constexpr double kSpare = 1.0 / 128.0;
  const auto px0 =
      static_cast<int32_t>(std::ceil(std::clamp(x0 - 0.5 - kSpare, 0.0, 1.0 * fb.width)));
  const auto px1 =
      static_cast<int32_t>(std::floor(std::clamp(x1 - 0.5 + kSpare, -1.0, fb.width - 1.0)));
  const auto py0 =
      static_cast<int32_t>(std::ceil(std::clamp(y0 - 0.5 - kSpare, 0.0, 1.0 * fb.height)));
  const auto py1 =
      static_cast<int32_t>(std::floor(std::clamp(y1 - 0.5 + kSpare, -1.0, fb.height - 1.0)));
  if (px0 > px1 || py0 > py1) return true;
  if (int64_t{px1 - px0 + 1} * (py1 - py0 + 1) > kMaxPixelTest) return false;
  // In single precision: the least float at or above near_iw, so that d >= least exactly when
  // d >= near_iw.
  auto least = static_cast<float>(near_iw);
  if (static_cast<double>(least) < near_iw) least = std::nextafter(least, INFINITY);
  for (int32_t y = py0; y <= py1; ++y) {
    const float* row = fb.depth.data() + fb.index(0, y);
    int32_t x = px0;
#if defined(__SSE2__)
    const __m128 at_least = _mm_set1_ps(least);
    for (; x + 4 <= px1 + 1; x += 4) {
      // Not (d >= least) in any lane, NaN included: that pixel could be drawn over.
      if (_mm_movemask_ps(_mm_cmpnge_ps(_mm_loadu_ps(row + x), at_least)) != 0) return false;
    }
#endif
    for (; x <= px1; ++x) {
      if (!(row[x] >= least)) return false;
    }
  }
  return true;
}

}  // namespace znr
