// Spans of polygons lit per vertex: the shade (texel multiplier, added colour, alpha) varies
// across the triangle along with the texture coordinates, and alpha may cut pixels out or mix
// them over what is behind. One pixel at a time: such polygons are the few that carry normals,
// vertex colours or a material, not the bulk of a world.
#pragma once

#include <algorithm>
#include <cstdint>

#include "zelnary/cpu/framebuffer.h"
#include "zelnary/cpu/plane.h"
#include "zelnary/cpu/shading.h"
#include "zelnary/scene/scene.h"

namespace znr {

// mul r, g, b, add r, g, b, alpha: the shade's parts, in the order they are interpolated.
constexpr int kShadeParts = 7;

struct ShadedSpan {
  const Image* tex = nullptr;  // the level sampled; null: white
  AlphaMode mode = AlphaMode::Opaque;
  float cutoff = 0.0f;
  bool perspective = false;  // planes hold value / w, divided at each pixel; else the value
  bool add = true;           // false: the added colour is zero over the whole triangle
  Plane inv_w, u, v, part[kShadeParts];
};

// One channel: texel times mul plus add, rounded down and saturated, as the flat light does.
inline uint32_t shade_channel(uint32_t texel, float mul, float add) {
  const float c = static_cast<float>(texel) * mul + add * 255.0f;
  return c >= 255.0f ? 255u : c > 0.0f ? static_cast<uint32_t>(c) : 0u;
}

// Pixels [lo, hi] of row y.
inline void draw_shaded_span(const ShadedSpan& s, int32_t y, int32_t lo, int32_t hi,
                             Framebuffer& fb) {
  const size_t row = static_cast<size_t>(y) * static_cast<size_t>(fb.width);
  uint32_t* color = fb.color.data() + row;
  float* depth = fb.depth.data() + row;
  const float iw_row = s.inv_w.row(y), diw = static_cast<float>(s.inv_w.dx);
  float rows[kShadeParts + 2], steps[kShadeParts + 2];
  for (int k = 0; k < kShadeParts; ++k) {
    rows[k] = s.part[k].row(y);
    steps[k] = static_cast<float>(s.part[k].dx);
  }
  rows[kShadeParts] = s.u.row(y);
  steps[kShadeParts] = static_cast<float>(s.u.dx);
  rows[kShadeParts + 1] = s.v.row(y);
  steps[kShadeParts + 1] = static_cast<float>(s.v.dx);
  const int parts = s.tex != nullptr ? kShadeParts + 2 : kShadeParts;
  for (int32_t x = lo; x <= hi; ++x) {
    const auto fx = static_cast<float>(x);
    const float iw = iw_row + diw * fx;
    if (!(iw > depth[x])) continue;
    const float w = !s.perspective ? 1.0f : iw > 0.0f ? 1.0f / iw : 0.0f;
    float a[kShadeParts + 2];
    for (int k = 0; k < parts; ++k) a[k] = (rows[k] + steps[k] * fx) * w;
    const uint32_t texel =
        s.tex != nullptr ? sample_nearest(*s.tex, a[kShadeParts], a[kShadeParts + 1]) : ~0u;
    const uint32_t r = shade_channel((texel >> 16) & 0xFFu, a[0], a[3]);
    const uint32_t g = shade_channel((texel >> 8) & 0xFFu, a[1], a[4]);
    const uint32_t b = shade_channel(texel & 0xFFu, a[2], a[5]);
    if (s.mode == AlphaMode::Opaque) {
      depth[x] = iw;
      color[x] = 0xFF000000u | (r << 16) | (g << 8) | b;
      continue;
    }
    const float alpha = std::clamp(static_cast<float>(texel >> 24) / 255.0f * a[6], 0.0f, 1.0f);
    if (s.mode == AlphaMode::Mask) {
      if (!(alpha >= s.cutoff)) continue;
      depth[x] = iw;
      color[x] = 0xFF000000u | (r << 16) | (g << 8) | b;
      continue;
    }
    // Blend: over what is there, leaving the depth to the opaque surfaces behind.
    const uint32_t dst = color[x];
    auto over = [alpha](uint32_t src, uint32_t under) {
      const float c =
          static_cast<float>(under) + (static_cast<float>(src) - static_cast<float>(under)) * alpha;
      return static_cast<uint32_t>(c + 0.5f);
    };
    color[x] = 0xFF000000u | (over(r, (dst >> 16) & 0xFFu) << 16) |
               (over(g, (dst >> 8) & 0xFFu) << 8) | over(b, dst & 0xFFu);
  }
}

}  // namespace znr
