// An RGB picture that the texture painters draw into, and the deterministic noise they use,
// so that every run of worldgen writes the same files.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace worldgen {

struct Rgb {
  uint8_t r = 0, g = 0, b = 0;
};

struct Pixmap {
  int width = 0, height = 0;
  std::vector<Rgb> pixels;  // row-major, top row first

  Pixmap(int w, int h)
      : width(w), height(h), pixels(static_cast<size_t>(w) * static_cast<size_t>(h)) {}
  Rgb& at(int x, int y) {
    return pixels[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)];
  }
  const Rgb& at(int x, int y) const {
    return pixels[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)];
  }
};

// A hash of integer coordinates to 0..1.
inline double hash01(int x, int y, uint32_t seed) {
  uint32_t h = static_cast<uint32_t>(x) * 0x8da6b343u ^ static_cast<uint32_t>(y) * 0xd8163841u ^
               seed * 0xcb1ab31fu;
  h ^= h >> 13;
  h *= 0x5bd1e995u;
  h ^= h >> 15;
  return static_cast<double>(h & 0xffffffu) / static_cast<double>(0xffffff);
}

// Smooth value noise with the given cell size in pixels, tiling with the given period (in
// cells) so that the textures repeat without seams.
inline double value_noise(double x, double y, double cell, int period, uint32_t seed) {
  const double fx = x / cell, fy = y / cell;
  const int ix = static_cast<int>(std::floor(fx)), iy = static_cast<int>(std::floor(fy));
  const double tx = fx - ix, ty = fy - iy;
  auto corner = [&](int cx, int cy) {
    return hash01(((cx % period) + period) % period, ((cy % period) + period) % period, seed);
  };
  const double sx = tx * tx * (3 - 2 * tx), sy = ty * ty * (3 - 2 * ty);
  const double a = corner(ix, iy) + (corner(ix + 1, iy) - corner(ix, iy)) * sx;
  const double b = corner(ix, iy + 1) + (corner(ix + 1, iy + 1) - corner(ix, iy + 1)) * sx;
  return a + (b - a) * sy;
}

inline uint8_t to_byte(double v) {
  return static_cast<uint8_t>(std::clamp(v, 0.0, 255.0) + 0.5);
}

inline Rgb shade(Rgb c, double f) {
  return {to_byte(c.r * f), to_byte(c.g * f), to_byte(c.b * f)};
}

}  // namespace worldgen
