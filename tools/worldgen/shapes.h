// Building blocks of the sample world, written as polygons: walls, boxes, roofs, strips.
// Faces are counter-clockwise seen from outside, so closed solids can be one-sided.
#pragma once

#include <span>

#include "world_text.h"

namespace worldgen {

struct P2 {
  double x = 0, y = 0;
};

// Texture repeat sizes in world units for a face.
struct TexScale {
  double width = 100, height = 100;
};

// A vertical wall above the ground line a->b, facing to the right of that line.
void wall(WorldText& w, const Style& s, P2 a, P2 b, double z0, double z1, TexScale t,
          double u0 = 0);

// Walls round a footprint (counter-clockwise seen from above) and a flat top.
void prism(WorldText& w, const Style& walls, const Style& top, std::span<const P2> footprint,
           double z0, double z1, TexScale wall_tex, TexScale top_tex);

// An axis-aligned box; without bottom when `bottom` is false.
void box(WorldText& w, const Style& sides, const Style& top, double x0, double x1, double y0,
         double y1, double z0, double z1, TexScale tex, bool bottom = false);

// A gable roof over the rectangle [x0,x1]x[y0,y1] standing at z, its ridge `rise` higher and
// along the longer side; the gable ends are triangles in the wall style.
void gable_roof(WorldText& w, const Style& roof, const Style& gable, double x0, double x1,
                double y0, double y1, double z, double rise, TexScale roof_tex, TexScale gable_tex);

// A four-sided pyramid over the rectangle [x0,x1]x[y0,y1] standing at z.
void pyramid(WorldText& w, const Style& s, double x0, double x1, double y0, double y1, double z,
             double rise, TexScale tex);

}  // namespace worldgen
