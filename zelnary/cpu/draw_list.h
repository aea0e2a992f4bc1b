// What the CPU back end rasterizes: screen-space convex polygons, already clipped to the
// view, lit, with their texture (an index into the scene's table) and colour multiplier.
#pragma once

#include <cstddef>  // image.h uses size_t
#include <cstdint>
#include <span>
#include <vector>

#include "zelnary/render/surface_light.h"
#include "zelnary/scene/image.h"
#include "zelnary/scene/scene.h"

namespace znr {

struct DrawVertex {
  float x = 0.0f, y = 0.0f;  // pixels, y down; pixel (i, j) has its centre at (i + 0.5, j + 0.5)
  float inv_w = 0.0f;        // 1 / distance along the view direction
  float u = 0.0f, v = 0.0f;  // texture coordinates (repeating)
};

constexpr uint32_t kNoShade = UINT32_MAX;

struct DrawPolygon {
  uint32_t first = 0;                 // into DrawList::vertices
  uint32_t count = 0;                 // >= 3, convex
  int32_t texture = -1;               // into DrawList::textures; -1: flat colour
  float mul[3] = {1.0f, 1.0f, 1.0f};  // colour x light per channel; multiplies the texel (or 255)
  uint32_t batch = 0;                 // the piece of work it came from: tiles draw in this order
  // Polygons lit per vertex: their vertices' shades start at DrawList::shades[shade], and mul
  // is unused. kNoShade: one flat light.
  uint32_t shade = kNoShade;
  AlphaMode alpha_mode = AlphaMode::Opaque;
  // Mask: the cutoff; Blend: the distance along the view (blended polygons are drawn far to
  // near).
  float alpha_key = 0.0f;
};

// On cache lines of its own: lists are filled side by side by different threads, and vector
// headers written on every push must not share a line (false sharing halves the speed).
struct alignas(64) DrawList {
  uint32_t background = 0xFF000000u;  // 0xFFRRGGBB
  std::span<const Texture> textures;  // the scene's; every index a polygon holds is usable
  // Parallel to textures (the scene index's levels), or empty: full size only (mipmaps off).
  std::span<const std::vector<Image>> mip_levels;
  std::vector<DrawVertex> vertices;
  std::vector<DrawPolygon> polygons;
  std::vector<VertexShade> shades;
  // Blended polygons, drawn after everything else: apart from polygons, over the same vertices
  // and shades.
  std::vector<DrawPolygon> blended;

  const Image* texture_of(const DrawPolygon& p) const {
    return p.texture < 0 ? nullptr : &textures[static_cast<size_t>(p.texture)].image;
  }
  std::span<const Image> levels_of(const DrawPolygon& p) const {
    const auto t = static_cast<size_t>(p.texture);
    return p.texture < 0 || t >= mip_levels.size() ? std::span<const Image>() : mip_levels[t];
  }
  // Appends polygon p of list from, with its vertices and shades, as one of this list's
  // polygons, marked with batch.
  void append(const DrawList& from, const DrawPolygon& p, uint32_t batch) {
    DrawPolygon c = p;
    c.first = static_cast<uint32_t>(vertices.size());
    c.batch = batch;
    vertices.insert(vertices.end(), from.vertices.begin() + p.first,
                    from.vertices.begin() + p.first + p.count);
    if (p.shade != kNoShade) {
      c.shade = static_cast<uint32_t>(shades.size());
      shades.insert(shades.end(), from.shades.begin() + p.shade,
                    from.shades.begin() + p.shade + p.count);
    }
    polygons.push_back(c);
  }
  void clear() {
    vertices.clear();
    polygons.clear();
    shades.clear();
    blended.clear();
  }
};

}  // namespace znr
