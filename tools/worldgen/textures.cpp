#include "textures.h"

namespace worldgen {
namespace {

Rgb mix(Rgb a, Rgb b, double t) {
  return {to_byte(a.r + (b.r - a.r) * t), to_byte(a.g + (b.g - a.g) * t),
          to_byte(a.b + (b.b - a.b) * t)};
}

// Fine grain on top of a base colour: +-amount, tiling with the picture's size.
double grain(int x, int y, uint32_t seed) {
  return hash01(x, y, seed) - 0.5;
}

}  // namespace

Pixmap paint_grass() {
  Pixmap p(128, 128);
  for (int y = 0; y < p.height; ++y)
    for (int x = 0; x < p.width; ++x) {
      const double broad = value_noise(x, y, 32, 4, 1);
      const double fine = value_noise(x, y, 4, 32, 2);
      const Rgb c = mix({62, 110, 44}, {104, 142, 58}, 0.6 * broad + 0.4 * fine);
      p.at(x, y) = shade(c, 1.0 + 0.18 * grain(x, y, 3));
    }
  return p;
}

Pixmap paint_road() {
  Pixmap p(64, 128);
  for (int y = 0; y < p.height; ++y)
    for (int x = 0; x < p.width; ++x) {
      const double n = value_noise(x, y, 8, 8, 11);
      Rgb c = shade({78, 78, 82}, 0.9 + 0.2 * n + 0.15 * grain(x, y, 12));
      const bool edge_line = x == 3 || x == 4 || x == 59 || x == 60;
      const bool centre_dash = (x == 31 || x == 32) && y % 64 < 36;
      if (edge_line || centre_dash) c = shade({232, 232, 220}, 0.95 + 0.1 * grain(x, y, 13));
      p.at(x, y) = c;
    }
  return p;
}

Pixmap paint_bricks() {
  Pixmap p(128, 128);
  constexpr int kCourse = 16, kBrick = 32;
  for (int y = 0; y < p.height; ++y) {
    const int course = y / kCourse;
    const int offset = (course % 2) * (kBrick / 2);
    for (int x = 0; x < p.width; ++x) {
      const int bx = (x + offset) % p.width;
      const bool mortar = y % kCourse < 2 || bx % kBrick < 2;
      if (mortar) {
        p.at(x, y) = shade({188, 180, 166}, 1.0 + 0.15 * grain(x, y, 21));
        continue;
      }
      const double tone = hash01(bx / kBrick, course, 22);
      const Rgb base = mix({150, 62, 44}, {184, 96, 64}, tone);
      p.at(x, y) = shade(base, 1.0 + 0.2 * grain(x, y, 23));
    }
  }
  return p;
}

Pixmap paint_windows() {
  Pixmap p(128, 128);
  for (int y = 0; y < p.height; ++y)
    for (int x = 0; x < p.width; ++x) {
      const int cx = x % 64, cy = y % 64;
      const bool window = cx >= 14 && cx < 50 && cy >= 12 && cy < 46;
      const bool frame =
          window && (cx == 14 || cx == 49 || cy == 12 || cy == 45 || cx == 31 || cx == 32);
      Rgb c;
      if (frame) {
        c = {210, 210, 204};
      } else if (window) {
        const double lit = hash01(x / 64, y / 64, 31);
        c = lit > 0.75 ? Rgb{214, 196, 120} : mix({40, 60, 84}, {110, 140, 170}, (cy - 12) / 34.0);
      } else {
        c = shade({196, 190, 176},
                  0.95 + 0.1 * value_noise(x, y, 16, 8, 32) + 0.1 * grain(x, y, 33));
      }
      p.at(x, y) = c;
    }
  return p;
}

Pixmap paint_roof() {
  Pixmap p(64, 64);
  for (int y = 0; y < p.height; ++y) {
    const int row = y / 8;
    const int offset = (row % 2) * 4;
    for (int x = 0; x < p.width; ++x) {
      const int tx = (x + offset) % 8;
      const double shadow = (y % 8) / 8.0;
      Rgb c = mix({168, 70, 50}, {112, 42, 32}, shadow);
      if (tx == 0) c = shade(c, 0.7);
      p.at(x, y) = shade(c, 1.0 + 0.15 * grain(x, y, 41));
    }
  }
  return p;
}

Pixmap paint_paving() {
  Pixmap p(128, 128);
  for (int y = 0; y < p.height; ++y)
    for (int x = 0; x < p.width; ++x) {
      const bool joint = x % 32 < 2 || y % 32 < 2;
      const double tone = hash01(x / 32, y / 32, 51);
      Rgb c = joint ? Rgb{110, 104, 96} : mix({176, 168, 150}, {206, 198, 180}, tone);
      p.at(x, y) = shade(c, 1.0 + 0.12 * grain(x, y, 52));
    }
  return p;
}

Pixmap paint_bus() {
  Pixmap p(128, 64);
  for (int y = 0; y < p.height; ++y)
    for (int x = 0; x < p.width; ++x) {
      Rgb c{226, 180, 40};  // yellow body
      const bool window_band = y >= 8 && y < 30;
      const bool pillar = x % 21 < 3;
      if (window_band && !pillar) c = mix({30, 44, 60}, {90, 120, 150}, (y - 8) / 22.0);
      if (y >= 38 && y < 44) c = {40, 90, 170};  // stripe
      if (y >= 60) c = {40, 40, 40};             // skirt
      p.at(x, y) = shade(c, 1.0 + 0.06 * grain(x, y, 61));
    }
  return p;
}

Pixmap paint_terrain() {
  Pixmap p(64, 64);
  for (int y = 0; y < p.height; ++y)
    for (int x = 0; x < p.width; ++x)
      p.at(x, y) = ((x / 8 + y / 8) % 2) != 0 ? Rgb{0x4c, 0x8a, 0x3a} : Rgb{0x5c, 0x9a, 0x44};
  return p;
}

}  // namespace worldgen
