// What the render front end hands to a back end: screen-space convex polygons, already
// clipped to the view, lit, with their texture and colour multiplier.
#pragma once

#include <cstddef>  // image.h uses size_t
#include <cstdint>
#include <vector>

#include "zelnary/scene/image.h"

namespace znr {

struct DrawVertex {
  float x = 0.0f, y = 0.0f;  // pixels, y down; pixel (i, j) has its centre at (i + 0.5, j + 0.5)
  float inv_w = 0.0f;        // 1 / distance along the view direction
  float u = 0.0f, v = 0.0f;  // texture coordinates (repeating)
};

struct DrawPolygon {
  uint32_t first = 0;                 // into DrawList::vertices
  uint32_t count = 0;                 // >= 3, convex
  const Image* texture = nullptr;     // nullptr: flat colour
  float mul[3] = {1.0f, 1.0f, 1.0f};  // colour x light per channel; multiplies the texel (or 255)
};

struct DrawList {
  uint32_t background = 0xFF000000u;  // 0xFFRRGGBB
  std::vector<DrawVertex> vertices;
  std::vector<DrawPolygon> polygons;

  void clear() {
    vertices.clear();
    polygons.clear();
  }
};

}  // namespace znr
