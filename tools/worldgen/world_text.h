// Writes world-file text: the version line, comments, settings and polygons, with numbers
// rounded to hundredths so that the files stay small and diff well.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>

namespace worldgen {

struct WVertex {
  double x = 0, y = 0, z = 0;
  double u = 0, v = 0;
};

struct Style {
  std::string texture;         // empty: flat colour
  double r = 1, g = 1, b = 1;  // the colour; multiplies the texture
  bool onesided = true;
};

class WorldText {
 public:
  WorldText();

  void line(std::string_view text);
  void comment(std::string_view text);
  void blank() { text_ += '\n'; }
  void poly(const Style& style, std::span<const WVertex> vertices);
  void waypoint(double x, double y, double z);
  // Appends a number as the format writes it.
  void number(double v);

  size_t polygons() const { return polygons_; }
  const std::string& text() const { return text_; }

 private:
  std::string text_;
  size_t polygons_ = 0;
};

}  // namespace worldgen
