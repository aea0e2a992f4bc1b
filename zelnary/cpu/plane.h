// An attribute's plane over the screen, from its values at a triangle's three corners.
#pragma once

#include <cstdint>

namespace znr {

// value = row(y) + dx * x at pixel centres. Left uninitialised until init(): zeroing the
// planes for every triangle costs more than a small triangle's pixels.
struct Plane {
  double c, dx, dy;  // value at pixel (0, 0)'s centre and its gradients

  void init(const double px[3], const double py[3], const double a[3], double inv_area) {
    dx = ((a[1] - a[0]) * (py[2] - py[0]) - (a[2] - a[0]) * (py[1] - py[0])) * inv_area;
    dy = ((a[2] - a[0]) * (px[1] - px[0]) - (a[1] - a[0]) * (px[2] - px[0])) * inv_area;
    c = a[0] + dx * (0.5 - px[0]) + dy * (0.5 - py[0]);
  }
  float row(int32_t y) const { return static_cast<float>(c + dy * y); }
};

}  // namespace znr
