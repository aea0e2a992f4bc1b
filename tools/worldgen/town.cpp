// The sample town: a flat town floor in a ring of hills, a ring road with two lanes, a
// roundabout round a plaza with a clock tower, blocks of houses and offices, trees on the
// hills, three vehicles and the cameras that follow them.
//
// Units are about ten to the metre. The free-flight camera starts at the origin looking
// along -x, 150 units above the town floor, facing the plaza and its tower.
#include "town.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

#include "shapes.h"

namespace worldgen {
namespace {

constexpr double kFloor = -150;                         // height of the town floor
constexpr double kRoadLift = 4;                         // road surface above the ground it lies on
constexpr double kTownHalfX = 3300, kTownHalfY = 2900;  // the flat part
constexpr double kTerrainHalf = 7000, kTerrainCell = 250;

// Ring road: a rounded rectangle round the origin.
constexpr double kRingHalfX = 2600, kRingHalfY = 2200, kRingCorner = 700, kRingWidth = 200;
// Roundabout round the plaza in front of the start view.
constexpr P2 kPlaza{-1300, 0};
constexpr double kRoundaboutRadius = 450, kRoundaboutWidth = 160, kPlazaRadius = 360;

double smoothstep(double e0, double e1, double x) {
  const double t = std::clamp((x - e0) / (e1 - e0), 0.0, 1.0);
  return t * t * (3 - 2 * t);
}

// Ground height: flat inside the town, rising into rolling hills beyond it.
double ground_height(double x, double y) {
  const double dx = std::max(0.0, std::abs(x) - kTownHalfX);
  const double dy = std::max(0.0, std::abs(y) - kTownHalfY);
  const double outside = std::hypot(dx, dy);
  const double hills = 380 + 260 * std::sin(x * 0.0011 + 1.0) * std::cos(y * 0.0013) +
                       140 * std::sin(x * 0.0031 + y * 0.0023);
  return kFloor + smoothstep(0, 1800, outside) * std::max(0.0, hills + 150);
}

// A seeded random sequence, so that the town is the same at every run.
class Random {
 public:
  explicit Random(uint32_t seed) : state_(seed) {}
  double next() {  // 0..1
    state_ ^= state_ << 13;
    state_ ^= state_ >> 17;
    state_ ^= state_ << 5;
    return static_cast<double>(state_ & 0xffffffu) / static_cast<double>(0x1000000);
  }
  double between(double lo, double hi) { return lo + (hi - lo) * next(); }

 private:
  uint32_t state_;
};

const Style kGrass{"grass"};
const Style kRoad{"road"};
const Style kBricks{"bricks"};
const Style kOffice{"windows"};
const Style kRoofTiles{"roof"};
const Style kPaving{"paving"};
const Style kFlatRoof{"", 0.42, 0.42, 0.44};
const Style kTrunk{"", 0.36, 0.25, 0.16};
const Style kLeaves{"", 0.16, 0.42, 0.18};

void terrain(WorldText& w) {
  w.comment("Ground: a grid of triangles, flat under the town, hills all round");
  const int cells = static_cast<int>(2 * kTerrainHalf / kTerrainCell);
  auto vertex = [](int i, int j) {
    const double x = -kTerrainHalf + i * kTerrainCell, y = -kTerrainHalf + j * kTerrainCell;
    return WVertex{x, y, ground_height(x, y), x / 400, -y / 400};
  };
  for (int j = 0; j < cells; ++j)
    for (int i = 0; i < cells; ++i) {
      const WVertex a = vertex(i, j), b = vertex(i + 1, j), c = vertex(i + 1, j + 1),
                    d = vertex(i, j + 1);
      const WVertex t1[3] = {a, b, c}, t2[3] = {a, c, d};
      w.poly(kGrass, t1);
      w.poly(kGrass, t2);
    }
}

// The centre line of the ring road, counter-clockwise seen from above, as a closed loop.
std::vector<P2> ring_centre_line() {
  std::vector<P2> pts;
  const double sx = kRingHalfX - kRingCorner, sy = kRingHalfY - kRingCorner;
  const P2 centres[4] = {{sx, -sy}, {sx, sy}, {-sx, sy}, {-sx, -sy}};
  constexpr int kArc = 12;
  for (int c = 0; c < 4; ++c) {
    const double start = (-90.0 + 90.0 * c) * std::numbers::pi / 180.0;
    for (int k = 0; k <= kArc; ++k) {
      const double a = start + (std::numbers::pi / 2) * k / kArc;
      pts.push_back(
          {centres[c].x + kRingCorner * std::cos(a), centres[c].y + kRingCorner * std::sin(a)});
    }
    // Split the straight stretch to the next corner so lanes and texture stay even.
    const P2 from = pts.back();
    const double next_start = (-90.0 + 90.0 * (c + 1)) * std::numbers::pi / 180.0;
    const P2 to{centres[(c + 1) % 4].x + kRingCorner * std::cos(next_start),
                centres[(c + 1) % 4].y + kRingCorner * std::sin(next_start)};
    const int pieces = static_cast<int>(std::ceil(std::hypot(to.x - from.x, to.y - from.y) / 150));
    for (int k = 1; k < pieces; ++k)
      pts.push_back({from.x + (to.x - from.x) * k / pieces, from.y + (to.y - from.y) * k / pieces});
  }
  return pts;
}

std::vector<P2> circle(P2 c, double r, int n) {
  std::vector<P2> pts;
  for (int k = 0; k < n; ++k) {
    const double a = 2 * std::numbers::pi * k / n;
    pts.push_back({c.x + r * std::cos(a), c.y + r * std::sin(a)});
  }
  return pts;
}

// The unit normal to the left of a closed loop at point i.
P2 left_normal(const std::vector<P2>& loop, size_t i) {
  const P2 prev = loop[(i + loop.size() - 1) % loop.size()], next = loop[(i + 1) % loop.size()];
  const double tx = next.x - prev.x, ty = next.y - prev.y, l = std::hypot(tx, ty);
  return {-ty / l, tx / l};
}

std::vector<P2> offset_loop(const std::vector<P2>& loop, double left) {
  std::vector<P2> out;
  for (size_t i = 0; i < loop.size(); ++i) {
    const P2 n = left_normal(loop, i);
    out.push_back({loop[i].x + n.x * left, loop[i].y + n.y * left});
  }
  return out;
}

// A closed strip of road along a loop: u across (right edge 0, left edge 1), v along. Within
// a quad each edge measures v by its own length, so that on a bend the texture is mapped to
// the quad by one affine map and the painted lines run straight across its two triangles.
void road_loop(WorldText& w, const std::vector<P2>& centre, double width) {
  const std::vector<P2> right = offset_loop(centre, -width / 2),
                        left = offset_loop(centre, width / 2);
  const double z = kFloor + kRoadLift;
  double sr = 0, sl = 0;
  for (size_t i = 0; i < centre.size(); ++i) {
    const size_t j = (i + 1) % centre.size();
    const double lr = std::hypot(right[j].x - right[i].x, right[j].y - right[i].y);
    const double ll = std::hypot(left[j].x - left[i].x, left[j].y - left[i].y);
    const WVertex quad[4] = {{right[i].x, right[i].y, z, 0, sr / 400},
                             {right[j].x, right[j].y, z, 0, (sr + lr) / 400},
                             {left[j].x, left[j].y, z, 1, (sl + ll) / 400},
                             {left[i].x, left[i].y, z, 1, sl / 400}};
    w.poly(kRoad, quad);
    sr += lr;
    sl += ll;
    // Start the next quad with both edges at the centre line's v: the centre dashes stay
    // continuous; the solid edge lines do not mind the small step this leaves at the sides.
    sr = sl = (sr + sl) / 2;
  }
}

void plaza(WorldText& w) {
  w.comment("The plaza inside the roundabout, and its clock tower");
  // Paving in rings of small pieces, so that it looks right even without perspective
  // correction.
  const double z = kFloor + kRoadLift;
  auto paved = [&](P2 p) { return WVertex{p.x, p.y, z, p.x / 250, -p.y / 250}; };
  constexpr int kSectors = 24, kRings = 3;
  for (int r = 0; r < kRings; ++r) {
    const std::vector<P2> inner = circle(kPlaza, kPlazaRadius * r / kRings, kSectors);
    const std::vector<P2> outer = circle(kPlaza, kPlazaRadius * (r + 1) / kRings, kSectors);
    for (int k = 0; k < kSectors; ++k) {
      const int n = (k + 1) % kSectors;
      if (r == 0) {
        const WVertex tri[3] = {paved(kPlaza), paved(outer[k]), paved(outer[n])};
        w.poly(kPaving, tri);
      } else {
        const WVertex quad[4] = {paved(inner[k]), paved(outer[k]), paved(outer[n]),
                                 paved(inner[n])};
        w.poly(kPaving, quad);
      }
    }
  }
  const double h = 80;
  const double x0 = kPlaza.x - h, x1 = kPlaza.x + h, y0 = kPlaza.y - h, y1 = kPlaza.y + h;
  box(w, kBricks, kFlatRoof, x0, x1, y0, y1, kFloor, kFloor + 820, {60, 60});
  box(w, {"", 0.85, 0.82, 0.74}, kFlatRoof, x0 - 14, x1 + 14, y0 - 14, y1 + 14, kFloor + 820,
      kFloor + 900, {60, 60});
  // Clock faces: light squares standing just proud of each wall.
  const Style face{"", 0.95, 0.94, 0.86};
  const double zc0 = kFloor + 700, zc1 = kFloor + 790, e = 2;
  wall(w, face, {x1 + e, kPlaza.y - 45}, {x1 + e, kPlaza.y + 45}, zc0, zc1, {90, 90});
  wall(w, face, {x0 - e, kPlaza.y + 45}, {x0 - e, kPlaza.y - 45}, zc0, zc1, {90, 90});
  wall(w, face, {kPlaza.x + 45, y1 + e}, {kPlaza.x - 45, y1 + e}, zc0, zc1, {90, 90});
  wall(w, face, {kPlaza.x - 45, y0 - e}, {kPlaza.x + 45, y0 - e}, zc0, zc1, {90, 90});
  pyramid(w, kRoofTiles, x0 - 14, x1 + 14, y0 - 14, y1 + 14, kFloor + 900, 260, {80, 80});
}

bool near_loop(P2 p, const std::vector<P2>& loop, double clearance) {
  for (size_t i = 0; i < loop.size(); ++i) {
    const P2 a = loop[i], b = loop[(i + 1) % loop.size()];
    const double dx = b.x - a.x, dy = b.y - a.y;
    const double t =
        std::clamp(((p.x - a.x) * dx + (p.y - a.y) * dy) / (dx * dx + dy * dy), 0.0, 1.0);
    if (std::hypot(p.x - (a.x + t * dx), p.y - (a.y + t * dy)) < clearance) return true;
  }
  return false;
}

// Keeps the roads, the plaza, the start point and the start view clear.
bool lot_is_free(P2 c, double half, const std::vector<P2>& ring) {
  const double reach = half * std::numbers::sqrt2;
  if (near_loop(c, ring, kRingWidth / 2 + 60 + reach)) return false;
  if (std::hypot(c.x - kPlaza.x, c.y - kPlaza.y) <
      kRoundaboutRadius + kRoundaboutWidth / 2 + 60 + reach)
    return false;
  if (std::hypot(c.x, c.y) < 350 + reach) return false;
  if (c.x < 0 && c.x > kPlaza.x && std::abs(c.y) < 250 + reach) return false;
  return std::abs(c.x) < kRingHalfX && std::abs(c.y) < kRingHalfY;
}

void building(WorldText& w, Random& rnd, P2 c, double half_x, double half_y) {
  const double x0 = c.x - half_x, x1 = c.x + half_x, y0 = c.y - half_y, y1 = c.y + half_y;
  const double kind = rnd.next();
  if (kind < 0.4) {  // office block with a flat roof
    const double top = kFloor + rnd.between(320, 600);
    box(w, kOffice, kFlatRoof, x0, x1, y0, y1, kFloor, top, {120, 120});
    box(w, {"", 0.55, 0.55, 0.57}, kFlatRoof, c.x - 30, c.x + 30, c.y - 30, c.y + 30, top, top + 40,
        {60, 60});          // a plant room on the roof
  } else if (kind < 0.8) {  // brick house with a gable roof
    const double top = kFloor + rnd.between(200, 320);
    const P2 f[4] = {{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}};
    prism(w, kBricks, kFlatRoof, f, kFloor, top, {60, 60}, {60, 60});
    gable_roof(w, kRoofTiles, kBricks, x0 - 10, x1 + 10, y0 - 10, y1 + 10, top,
               rnd.between(90, 150), {80, 80}, {60, 60});
  } else {  // brick hall with a pyramid roof
    const double top = kFloor + rnd.between(220, 360);
    box(w, kBricks, kFlatRoof, x0, x1, y0, y1, kFloor, top, {60, 60});
    pyramid(w, kRoofTiles, x0 - 10, x1 + 10, y0 - 10, y1 + 10, top, rnd.between(120, 200),
            {80, 80});
  }
}

void buildings(WorldText& w, const std::vector<P2>& ring) {
  w.comment("Buildings: offices with flat roofs, brick houses, brick halls");
  Random rnd(20261207);
  for (double y = -1750; y <= 1750; y += 500)
    for (double x = -2150; x <= 2150; x += 500) {
      const double hx = rnd.between(110, 190), hy = rnd.between(110, 190);
      const P2 c{x + rnd.between(-40, 40), y + rnd.between(-40, 40)};
      if (!lot_is_free(c, std::max(hx, hy), ring)) continue;
      building(w, rnd, c, hx, hy);
    }
}

void tree(WorldText& w, double x, double y, double size) {
  const double g = ground_height(x, y) - 30;  // sunk a little into sloping ground
  box(w, kTrunk, kTrunk, x - 12 * size, x + 12 * size, y - 12 * size, y + 12 * size, g,
      g + 110 * size, {100, 100});
  pyramid(w, kLeaves, x - 80 * size, x + 80 * size, y - 80 * size, y + 80 * size, g + 90 * size,
          240 * size, {100, 100});
}

void trees(WorldText& w) {
  w.comment("Trees on the hills");
  Random rnd(7);
  int placed = 0;
  while (placed < 140) {
    const double x = rnd.between(-6600, 6600), y = rnd.between(-6600, 6600);
    if (std::abs(x) < kTownHalfX + 300 && std::abs(y) < kTownHalfY + 300) continue;
    tree(w, x, y, rnd.between(0.8, 1.5));
    ++placed;
  }
}

// Waypoints along a lane: `left` of the centre line, reversed for clockwise travel, starting
// `start` points in.
void waypoints(WorldText& w, const std::vector<P2>& centre, double left, bool reverse,
               size_t start) {
  std::vector<P2> lane = offset_loop(centre, left);
  if (reverse) std::reverse(lane.begin(), lane.end());
  std::rotate(lane.begin(), lane.begin() + static_cast<long>(start % lane.size()), lane.end());
  for (const P2& p : lane) w.waypoint(p.x, p.y, kFloor + kRoadLift);
}

// A car in its own frame: x forward, y left, z up, the origin on the road.
void car(WorldText& w, const Style& paint) {
  const Style glass{"", 0.22, 0.3, 0.38};
  const Style tyre{"", 0.1, 0.1, 0.1};
  box(w, paint, paint, -48, 48, -20, 20, 10, 34, {100, 100}, true);
  box(w, glass, paint, -26, 20, -18, 18, 34, 56, {100, 100});
  for (const double x : {-30.0, 30.0})
    for (const double y : {-22.0, 14.0})
      box(w, tyre, tyre, x - 10, x + 10, y, y + 8, 0, 20, {100, 100});
}

void bus(WorldText& w) {
  const Style side{"bus"};
  const Style yellow{"", 0.89, 0.71, 0.16};
  const Style roof{"", 0.85, 0.85, 0.82};
  const Style tyre{"", 0.1, 0.1, 0.1};
  const P2 f[4] = {{-110, -28}, {110, -28}, {110, 28}, {-110, 28}};
  // Sides with the bus picture, ends in plain yellow with a dark windscreen.
  wall(w, side, f[0], f[1], 10, 90, {220, 80});
  wall(w, side, f[2], f[3], 10, 90, {220, 80});
  wall(w, yellow, f[1], f[2], 10, 90, {100, 100});
  wall(w, yellow, f[3], f[0], 10, 90, {100, 100});
  wall(w, {"", 0.2, 0.26, 0.34}, {111, -24}, {111, 24}, 50, 84, {100, 100});
  const WVertex top[4] = {{-110, -28, 90}, {110, -28, 90}, {110, 28, 90}, {-110, 28, 90}};
  w.poly(roof, top);
  const WVertex bottom[4] = {{-110, -28, 10}, {-110, 28, 10}, {110, 28, 10}, {110, -28, 10}};
  w.poly(yellow, bottom);
  for (const double x : {-70.0, 70.0})
    for (const double y : {-30.0, 22.0})
      box(w, tyre, tyre, x - 13, x + 13, y, y + 8, 0, 26, {100, 100});
}

}  // namespace

std::string town_world(size_t& polygon_count) {
  WorldText w;
  w.comment("The sample town, written by worldgen. Units are about ten to the metre; z is up.");
  w.blank();
  w.line("background 0.55 0.7 0.9");
  w.line("ambient 0.42 0.42 0.45");
  w.line("sun 0.4 0.25 1 0.7 0.68 0.6");
  w.blank();
  w.line("texture grass grass.png");
  w.line("texture road road.bmp");
  w.line("texture bricks bricks.png");
  w.line("texture windows windows.bmp");
  w.line("texture roof roof.bmp");
  w.line("texture paving paving.png");
  w.line("texture bus bus.bmp");
  w.blank();
  w.comment("Chase cameras first: the viewer opens on the first of them.");
  w.line("camera \"Behind the red car\" chase=behind target=red-car distance=420 zoom=60");
  w.line("camera \"Bus from the hill\" chase=watch target=bus at=3900,-3500," +
         std::to_string(std::lround(ground_height(3900, -3500) + 250)) +
         " dir=-1,0.9,-0.08 zoom=40");
  w.line("camera \"Behind the bus\" chase=behind target=bus distance=650 zoom=55");
  w.line(
      "camera \"Taxi at the roundabout\" chase=watch target=taxi at=-900,-400,250 "
      "dir=-0.6,0.8,-0.3 zoom=55");
  w.line("camera \"Town from above\" chase=fixed at=4200,3800,1700 dir=-1,-0.9,-0.42 zoom=60");
  w.line("camera \"Across the town\" chase=fixed at=2200,-1900,200 dir=-1,0.75,0.02 zoom=55");
  w.blank();

  const std::vector<P2> ring = ring_centre_line();
  const std::vector<P2> roundabout = circle(kPlaza, kRoundaboutRadius, 48);
  terrain(w);
  w.comment("The ring road and the roundabout");
  road_loop(w, ring, kRingWidth);
  road_loop(w, roundabout, kRoundaboutWidth);
  plaza(w);
  buildings(w, ring);
  trees(w);

  w.blank();
  w.comment("Vehicles: each drives on the right-hand lane of its road.");
  w.line("object red-car 340");
  waypoints(w, ring, -50, false, 0);
  car(w, {"", 0.78, 0.1, 0.08});
  w.line("end");
  w.line("object bus 170");
  waypoints(w, ring, 50, true, ring.size() / 2);
  bus(w);
  w.line("end");
  w.line("object taxi 230");
  waypoints(w, roundabout, -40, false, 12);
  car(w, {"", 0.95, 0.78, 0.1});
  w.line("end");
  polygon_count = w.polygons();
  return w.text();
}

}  // namespace worldgen
