#include "shapes.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace worldgen {

void wall(WorldText& w, const Style& s, P2 a, P2 b, double z0, double z1, TexScale t, double u0) {
  // Large walls are cut into pieces of at most kMaxPiece a side: textures then look right
  // even when drawn without perspective correction.
  constexpr double kMaxPiece = 200;
  const double len = std::hypot(b.x - a.x, b.y - a.y);
  const int across = std::max(1, static_cast<int>(std::ceil(len / kMaxPiece)));
  const int up = std::max(1, static_cast<int>(std::ceil((z1 - z0) / kMaxPiece)));
  for (int i = 0; i < across; ++i) {
    const double f0 = static_cast<double>(i) / across, f1 = static_cast<double>(i + 1) / across;
    const P2 p0{a.x + (b.x - a.x) * f0, a.y + (b.y - a.y) * f0};
    const P2 p1{a.x + (b.x - a.x) * f1, a.y + (b.y - a.y) * f1};
    const double ua = u0 + f0 * len / t.width, ub = u0 + f1 * len / t.width;
    for (int k = 0; k < up; ++k) {
      const double za = z0 + (z1 - z0) * k / up, zb = z0 + (z1 - z0) * (k + 1) / up;
      // v = 0 is the top of the texture: rows line up with the top of the wall.
      const double va = (z1 - za) / t.height, vb = (z1 - zb) / t.height;
      const WVertex quad[4] = {{p0.x, p0.y, za, ua, va},
                               {p1.x, p1.y, za, ub, va},
                               {p1.x, p1.y, zb, ub, vb},
                               {p0.x, p0.y, zb, ua, vb}};
      w.poly(s, quad);
    }
  }
}

void prism(WorldText& w, const Style& walls, const Style& top, std::span<const P2> footprint,
           double z0, double z1, TexScale wall_tex, TexScale top_tex) {
  double u = 0;
  for (size_t i = 0; i < footprint.size(); ++i) {
    const P2 a = footprint[i], b = footprint[(i + 1) % footprint.size()];
    wall(w, walls, a, b, z0, z1, wall_tex, u);
    u += std::hypot(b.x - a.x, b.y - a.y) / wall_tex.width;
  }
  std::vector<WVertex> cap;
  for (const P2& p : footprint)
    cap.push_back({p.x, p.y, z1, p.x / top_tex.width, -p.y / top_tex.height});
  w.poly(top, cap);
}

void box(WorldText& w, const Style& sides, const Style& top, double x0, double x1, double y0,
         double y1, double z0, double z1, TexScale tex, bool bottom) {
  const P2 f[4] = {{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}};
  prism(w, sides, top, f, z0, z1, tex, tex);
  if (bottom) {
    const WVertex b[4] = {{x0, y0, z0}, {x0, y1, z0}, {x1, y1, z0}, {x1, y0, z0}};
    w.poly(top, b);
  }
}

void gable_roof(WorldText& w, const Style& roof, const Style& gable, double x0, double x1,
                double y0, double y1, double z, double rise, TexScale roof_tex,
                TexScale gable_tex) {
  const double zr = z + rise;
  if (x1 - x0 >= y1 - y0) {  // ridge along x
    const double ym = (y0 + y1) / 2;
    const double slope = std::hypot(ym - y0, rise) / roof_tex.height;
    const double ul = (x1 - x0) / roof_tex.width;
    const WVertex south[4] = {
        {x0, y0, z, 0, slope}, {x1, y0, z, ul, slope}, {x1, ym, zr, ul, 0}, {x0, ym, zr, 0, 0}};
    const WVertex north[4] = {
        {x1, y1, z, 0, slope}, {x0, y1, z, ul, slope}, {x0, ym, zr, ul, 0}, {x1, ym, zr, 0, 0}};
    w.poly(roof, south);
    w.poly(roof, north);
    const double ug = (y1 - y0) / gable_tex.width, vg = rise / gable_tex.height;
    const WVertex east[3] = {{x1, y0, z, 0, vg}, {x1, y1, z, ug, vg}, {x1, ym, zr, ug / 2, 0}};
    const WVertex west[3] = {{x0, y1, z, 0, vg}, {x0, y0, z, ug, vg}, {x0, ym, zr, ug / 2, 0}};
    w.poly(gable, east);
    w.poly(gable, west);
  } else {  // ridge along y
    const double xm = (x0 + x1) / 2;
    const double slope = std::hypot(xm - x0, rise) / roof_tex.height;
    const double ul = (y1 - y0) / roof_tex.width;
    const WVertex east[4] = {
        {x1, y0, z, 0, slope}, {x1, y1, z, ul, slope}, {xm, y1, zr, ul, 0}, {xm, y0, zr, 0, 0}};
    const WVertex west[4] = {
        {x0, y1, z, 0, slope}, {x0, y0, z, ul, slope}, {xm, y0, zr, ul, 0}, {xm, y1, zr, 0, 0}};
    w.poly(roof, east);
    w.poly(roof, west);
    const double ug = (x1 - x0) / gable_tex.width, vg = rise / gable_tex.height;
    const WVertex north[3] = {{x1, y1, z, 0, vg}, {x0, y1, z, ug, vg}, {xm, y1, zr, ug / 2, 0}};
    const WVertex south[3] = {{x0, y0, z, 0, vg}, {x1, y0, z, ug, vg}, {xm, y0, zr, ug / 2, 0}};
    w.poly(gable, north);
    w.poly(gable, south);
  }
}

void pyramid(WorldText& w, const Style& s, double x0, double x1, double y0, double y1, double z,
             double rise, TexScale tex) {
  const double xm = (x0 + x1) / 2, ym = (y0 + y1) / 2, zr = z + rise;
  const P2 f[4] = {{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}};
  for (int i = 0; i < 4; ++i) {
    const P2 a = f[i], b = f[(i + 1) % 4];
    const double base = std::hypot(b.x - a.x, b.y - a.y) / tex.width;
    const double slant =
        std::hypot(std::hypot((a.x + b.x) / 2 - xm, (a.y + b.y) / 2 - ym), rise) / tex.height;
    const WVertex tri[3] = {
        {a.x, a.y, z, 0, slant}, {b.x, b.y, z, base, slant}, {xm, ym, zr, base / 2, 0}};
    w.poly(s, tri);
  }
}

}  // namespace worldgen
