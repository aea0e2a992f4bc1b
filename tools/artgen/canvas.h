// A small RGB canvas with the few shapes the icon and the logo need.
#pragma once

#include <cstdint>
#include <vector>

namespace artgen {

struct Rgb {
  uint8_t r = 0, g = 0, b = 0;
};

class Canvas {
 public:
  Canvas(int width, int height, Rgb fill);

  int width() const { return width_; }
  int height() const { return height_; }
  // Rows top to bottom, three bytes a pixel.
  const std::vector<uint8_t>& pixels() const { return pixels_; }

  Rgb at(int x, int y) const;
  void set(int x, int y, Rgb c);                         // outside the canvas: ignored
  void fillRect(int x0, int y0, int x1, int y1, Rgb c);  // inclusive corners
  void fillCircle(double cx, double cy, double radius, Rgb c);
  void fillTriangle(double ax, double ay, double bx, double by, double cx, double cy, Rgb c);
  void line(double x0, double y0, double x1, double y1, Rgb c);

 private:
  int width_;
  int height_;
  std::vector<uint8_t> pixels_;
};

Rgb mix(Rgb a, Rgb b, double t);  // t = 0 gives a, 1 gives b

}  // namespace artgen
