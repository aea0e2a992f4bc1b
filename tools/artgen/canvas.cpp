#include "canvas.h"

#include <algorithm>
#include <cmath>

namespace artgen {

Canvas::Canvas(int width, int height, Rgb fill)
    : width_(width), height_(height), pixels_(static_cast<size_t>(width * height * 3)) {
  fillRect(0, 0, width - 1, height - 1, fill);
}

Rgb Canvas::at(int x, int y) const {
  const size_t i = static_cast<size_t>((y * width_ + x) * 3);
  return {pixels_[i], pixels_[i + 1], pixels_[i + 2]};
}

void Canvas::set(int x, int y, Rgb c) {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return;
  const size_t i = static_cast<size_t>((y * width_ + x) * 3);
  pixels_[i] = c.r;
  pixels_[i + 1] = c.g;
  pixels_[i + 2] = c.b;
}

void Canvas::fillRect(int x0, int y0, int x1, int y1, Rgb c) {
  for (int y = y0; y <= y1; ++y)
    for (int x = x0; x <= x1; ++x) set(x, y, c);
}

void Canvas::fillCircle(double cx, double cy, double radius, Rgb c) {
  for (int y = 0; y < height_; ++y)
    for (int x = 0; x < width_; ++x) {
      const double dx = x + 0.5 - cx, dy = y + 0.5 - cy;
      if (dx * dx + dy * dy <= radius * radius) set(x, y, c);
    }
}

void Canvas::fillTriangle(double ax, double ay, double bx, double by, double cx, double cy, Rgb c) {
  // A pixel centre is inside when it lies on the same side of all three edges.
  auto edge = [](double px, double py, double qx, double qy, double x, double y) {
    return (qx - px) * (y - py) - (qy - py) * (x - px);
  };
  for (int y = 0; y < height_; ++y)
    for (int x = 0; x < width_; ++x) {
      const double px = x + 0.5, py = y + 0.5;
      const double e0 = edge(ax, ay, bx, by, px, py);
      const double e1 = edge(bx, by, cx, cy, px, py);
      const double e2 = edge(cx, cy, ax, ay, px, py);
      if ((e0 >= 0 && e1 >= 0 && e2 >= 0) || (e0 <= 0 && e1 <= 0 && e2 <= 0)) set(x, y, c);
    }
}

void Canvas::line(double x0, double y0, double x1, double y1, Rgb c) {
  const int steps = static_cast<int>(std::max(std::abs(x1 - x0), std::abs(y1 - y0))) + 1;
  for (int i = 0; i <= steps; ++i) {
    const double t = static_cast<double>(i) / steps;
    set(static_cast<int>(std::floor(x0 + (x1 - x0) * t)),
        static_cast<int>(std::floor(y0 + (y1 - y0) * t)), c);
  }
}

Rgb mix(Rgb a, Rgb b, double t) {
  auto m = [t](uint8_t u, uint8_t v) {
    return static_cast<uint8_t>(std::lround(u + (v - u) * std::clamp(t, 0.0, 1.0)));
  };
  return {m(a.r, b.r), m(a.g, b.g), m(a.b, b.b)};
}

}  // namespace artgen
