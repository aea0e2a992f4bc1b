// Smaller copies of a texture (mip levels), so that a surface seen from afar samples texels
// that average what falls into a pixel instead of picking scattered ones (shimmer, moiré).
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "zelnary/scene/image.h"
#include "zelnary/scene/scene.h"

namespace znr {

// Levels add a third to a square texture's pixels (1/4 + 1/16 + ...; a thin one up to as many
// again). All levels of a scene stay within this, a third of a world's texture budget
// (256 Mi pixels); textures past it draw from their full size only.
constexpr uint64_t kMipPixelBudget = (256ull << 20) / 3;

// Levels 1, 2, ... of `base` down to 1x1: each half the size of the one above, rounded down
// (at least 1), as OpenGL sizes them; each texel the rounded average of a 2x2 block above
// (clamped where the level above is 1 texel wide or high). Empty for an unusable image.
std::vector<Image> build_mip_levels(const Image& base);

// Levels for every texture of a scene, in order, within kMipPixelBudget.
std::vector<std::vector<Image>> build_scene_mip_levels(std::span<const Texture> textures);

// The level for a footprint of rho texels per pixel (given as rho squared), as OpenGL's
// nearest-level choice: level n where n - 1/2 < log2(rho) <= n + 1/2, so level 0 up to
// rho = sqrt(2); at most `deepest`.
inline int32_t mip_level_for(float rho_squared, int32_t deepest) {
  int32_t level = 0;
  float limit = 2.0f;  // 2^(2n + 1)
  while (level < deepest && rho_squared > limit) {
    ++level;
    limit *= 4.0f;
  }
  return level;
}

}  // namespace znr
