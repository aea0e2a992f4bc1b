#include "world_text.h"

#include <charconv>
#include <cmath>

namespace worldgen {

WorldText::WorldText() {
  text_ = "zelnary-world 1\n";
}

void WorldText::line(std::string_view text) {
  text_ += text;
  text_ += '\n';
}

void WorldText::comment(std::string_view text) {
  text_ += "# ";
  line(text);
}

void WorldText::number(double v) {
  double r = std::round(v * 100.0) / 100.0;
  if (r == 0.0) r = 0.0;  // no "-0"
  char buf[32];
  const auto res = std::to_chars(buf, buf + sizeof buf, r);
  text_.append(buf, res.ptr);
}

void WorldText::waypoint(double x, double y, double z) {
  text_ += "  waypoint ";
  number(x);
  text_ += ' ';
  number(y);
  text_ += ' ';
  number(z);
  text_ += '\n';
}

void WorldText::poly(const Style& style, std::span<const WVertex> vertices) {
  text_ += "poly";
  if (!style.texture.empty()) {
    text_ += " tex=";
    text_ += style.texture;
  }
  if (style.r != 1 || style.g != 1 || style.b != 1) {
    text_ += " color=";
    number(style.r);
    text_ += ',';
    number(style.g);
    text_ += ',';
    number(style.b);
  }
  if (style.onesided) text_ += " onesided";
  text_ += " :";
  bool first = true;
  for (const WVertex& w : vertices) {
    text_ += first ? " " : " ; ";
    first = false;
    number(w.x);
    text_ += ' ';
    number(w.y);
    text_ += ' ';
    number(w.z);
    if (!style.texture.empty()) {
      text_ += ' ';
      number(w.u);
      text_ += ' ';
      number(w.v);
    }
  }
  text_ += '\n';
  ++polygons_;
}

}  // namespace worldgen
