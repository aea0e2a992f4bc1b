// The mip level a triangle samples at a pixel, with one division and no loop: the span
// rasterizer asks once per span (or once per small triangle), and most triangles of a large
// world cover a few pixels, so this costs about as much as the pixels themselves.
#pragma once

#include <algorithm>
#include <bit>
#include <cstdint>
#include <span>

#include "zelnary/scene/image.h"

namespace znr {

// The footprint rho (full-size texels per pixel: the longer of the steps along x and along
// y) comes from u = uw / iw and v = vw / iw, each of uw, vw and iw linear on screen:
//   du/dx = (duw/dx iw - uw diw/dx) / iw^2,
// and the numerator's terms in x cancel (likewise y in d/dy), so that rho^2 iw^4 is the
// larger of two sums of squares of values linear in y and in x. Comparing it with the level
// thresholds leaves at most one division. Affine mapping is the case iw = 1, uw = u.
struct MipFootprint {
  // Set by init() only (not zeroed first: this is made for every triangle).
  double x0, y0;            // the anchor pixel
  double iw, iw_dx, iw_dy;  // 1/w at the anchor and its gradient
  double xu, xv, yu, yv;    // the four numerators at the anchor
  double ku, kv;            // their slopes (x ones in y, y ones in -x)

  // uw, vw, iw: values at pixel (x0, y0) and gradients; width, height: the full size.
  void init(double x, double y, const double uw[3], const double vw[3], const double inv_w[3],
            double width, double height) {
    x0 = x;
    y0 = y;
    iw = inv_w[0];
    iw_dx = inv_w[1];
    iw_dy = inv_w[2];
    xu = (uw[1] * iw - iw_dx * uw[0]) * width;
    yu = (uw[2] * iw - iw_dy * uw[0]) * width;
    ku = (uw[1] * iw_dy - iw_dx * uw[2]) * width;
    xv = (vw[1] * iw - iw_dx * vw[0]) * height;
    yv = (vw[2] * iw - iw_dy * vw[0]) * height;
    kv = (vw[1] * iw_dy - iw_dx * vw[2]) * height;
  }

  // OpenGL's nearest-level rule: level n where n - 1/2 < log2(rho) <= n + 1/2 (so level 0 up
  // to rho = sqrt(2)), at most `deepest`; level 0 behind the eye or where nothing is finite.
  // `guess` (the level of the span before, or -1) is checked with two multiplications; only
  // when it fails is n = ceil(log4(rho^2 / 2)) found, with a division, from the exponent bits.
  int32_t level_at(double x, double y, int32_t deepest, int32_t guess = -1) const {
    const double dx = x - x0, dy = y - y0;
    const double w = iw + iw_dx * dx + iw_dy * dy;
    const double a = xu + ku * dy, b = xv + kv * dy, c = yu - ku * dx, d = yv - kv * dx;
    const double rho2_w4 = std::max(a * a + b * b, c * c + d * d);
    const double w4 = (w * w) * (w * w);
    if (!(w > 0.0)) return 0;
    if (guess >= 0 && (guess == 0 || rho2_w4 > limit(guess - 1) * w4) &&
        (guess >= deepest || rho2_w4 <= limit(guess) * w4)) {
      return guess;
    }
    // rho^2 / 2; affine mapping has w = 1, where halving needs no division (and gives the same).
    const double q = w4 == 1.0 ? rho2_w4 * 0.5 : rho2_w4 / (2.0 * w4);
    if (!(q > 1.0)) return 0;  // also NaN
    const auto bits = std::bit_cast<uint64_t>(q);
    const auto log2_up = static_cast<int64_t>(bits >> 52) - 1023 +
                         ((bits & ((uint64_t{1} << 52) - 1)) != 0 ? 1 : 0);  // ceil(log2 q)
    return static_cast<int32_t>(
        std::min<int64_t>((log2_up + 1) >> 1, deepest));  // q > 1: log2_up >= 1
  }

  // The largest rho^2 of level n: 2^(2n + 1), n < 511.
  static double limit(int32_t n) {
    return std::bit_cast<double>(static_cast<uint64_t>(1023 + 2 * n + 1) << 52);
  }
};

// The levels a triangle samples, found at points of it in turn (a span's middle, or a small
// triangle's centroid), each time with the level found last as the guess: whoever draws the
// triangle, the levels come out the same.
struct LevelPicker {
  MipFootprint foot;
  int32_t deepest = 0;  // the smallest level
  int32_t level = -1;   // the level found last; -1 before the first
  const Image* full = nullptr;
  std::span<const Image> levels;  // 1 to deepest

  // Where a span of pixels xl to xr is judged: its middle pixel.
  static double span_middle(int64_t xl, int64_t xr) {
    return static_cast<double>(xl + (xr - xl) / 2);
  }
  // The level's image at (x, y).
  const Image* at(double x, double y) {
    level = foot.level_at(x, y, deepest, level);
    return level == 0 ? full : &levels[static_cast<size_t>(level - 1)];
  }
};

}  // namespace znr
