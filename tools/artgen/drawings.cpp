#include "drawings.h"

#include <array>
#include <cmath>
#include <string_view>

namespace artgen {
namespace {

constexpr Rgb kWhite{255, 255, 255};
constexpr Rgb kBodyDark{52, 56, 64};
constexpr Rgb kBodyLight{96, 102, 114};

// 5 x 7 glyphs of the letters in the name, one row a string, '#' set.
struct Glyph {
  char letter;
  std::array<std::string_view, 7> rows;
};
constexpr std::array<Glyph, 6> kGlyphs{{
    {'K', {"#...#", "#..#.", "#.#..", "##...", "#.#..", "#..#.", "#...#"}},
    {'W', {"#...#", "#...#", "#...#", "#.#.#", "#.#.#", "##.##", "#...#"}},
    {'E', {"#####", "#....", "#....", "####.", "#....", "#....", "#####"}},
    {'L', {"#....", "#....", "#....", "#....", "#....", "#....", "#####"}},
    {'O', {".###.", "#...#", "#...#", "#...#", "#...#", "#...#", ".###."}},
    {'R', {"####.", "#...#", "#...#", "####.", "#.#..", "#..#.", "#...#"}},
}};

void DrawText(Canvas& c, std::string_view text, int x, int y, int scale, Rgb colour) {
  for (char ch : text) {
    for (const Glyph& g : kGlyphs) {
      if (g.letter != ch) continue;
      for (int row = 0; row < 7; ++row)
        for (int col = 0; col < 5; ++col)
          if (g.rows[static_cast<size_t>(row)][static_cast<size_t>(col)] == '#')
            c.fillRect(x + col * scale, y + row * scale, x + col * scale + scale - 1,
                       y + row * scale + scale - 1, colour);
    }
    x += 6 * scale;
  }
}

}  // namespace

Canvas DrawIcon(int size) {
  // Drawn on a 32-unit grid scaled to the size, so every size has the same proportions.
  const double k = size / 32.0;
  Canvas c(size, size, Rgb{198, 214, 232});
  auto rect = [&](int x0, int y0, int x1, int y1, Rgb colour) {
    c.fillRect(static_cast<int>(std::lround(x0 * k)), static_cast<int>(std::lround(y0 * k)),
               static_cast<int>(std::lround((x1 + 1) * k)) - 1,
               static_cast<int>(std::lround((y1 + 1) * k)) - 1, colour);
  };
  auto circle = [&](double cx, double cy, double r, Rgb colour) {
    c.fillCircle(cx * k, cy * k, r * k, colour);
  };
  // Body with a lighter top edge, the viewfinder bump and the shutter button.
  rect(3, 10, 28, 26, kBodyDark);
  rect(4, 11, 27, 12, kBodyLight);
  rect(8, 6, 15, 10, kBodyDark);
  rect(9, 7, 14, 8, kBodyLight);
  rect(21, 8, 25, 9, Rgb{180, 40, 40});
  // Flash window.
  rect(22, 13, 26, 15, Rgb{250, 226, 120});
  // Lens: rim, glass, reflection.
  circle(15.5, 18.5, 7.5, Rgb{160, 166, 176});
  circle(15.5, 18.5, 6.0, Rgb{24, 28, 36});
  circle(15.5, 18.5, 4.5, Rgb{40, 78, 150});
  circle(15.5, 18.5, 2.0, Rgb{16, 20, 40});
  circle(13.0, 16.0, 1.3, kWhite);
  return c;
}

Canvas DrawLogo() {
  constexpr int kW = 98, kH = 70, kHorizon = 30;
  Canvas c(kW, kH, kWhite);
  // Sky fading to the horizon, ground darkening towards the viewer.
  for (int y = 0; y < kHorizon; ++y)
    c.fillRect(0, y, kW - 1, y, mix(Rgb{40, 90, 180}, Rgb{190, 215, 245}, y / double(kHorizon)));
  for (int y = kHorizon; y < kH; ++y)
    c.fillRect(0, y, kW - 1, y,
               mix(Rgb{120, 180, 90}, Rgb{40, 100, 40}, (y - kHorizon) / double(kH - kHorizon)));
  // Two hills and a sun.
  c.fillCircle(78, 10, 5, Rgb{255, 230, 120});
  c.fillTriangle(-10, kHorizon, 25, 8, 60, kHorizon, Rgb{110, 120, 140});
  c.fillTriangle(35, kHorizon, 62, 14, 95, kHorizon, Rgb{130, 140, 160});
  c.fillTriangle(19, 13, 25, 8, 31, 13, kWhite);
  // The ground grid: rays from the vanishing point and lines closing in on the horizon.
  const Rgb grid{220, 240, 200};
  for (int i = -6; i <= 6; ++i) c.line(49, kHorizon, 49 + i * 22, kH + 10, grid);
  for (int d = 1; d <= 5; ++d) {
    const int y = kHorizon + (kH - kHorizon) * d * d / 25;
    c.fillRect(0, y, kW - 1, y, grid);
  }
  // The name on a dark band.
  c.fillRect(0, 48, kW - 1, 63, Rgb{20, 30, 60});
  DrawText(c, "KWELLOR", 8, 49, 2, kWhite);
  return c;
}

}  // namespace artgen
