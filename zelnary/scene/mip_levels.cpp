#include "zelnary/scene/mip_levels.h"

#include <algorithm>
#include <utility>

namespace znr {
namespace {

Image half_of(const Image& a) {
  Image out;
  out.width = std::max(1, a.width / 2);
  out.height = std::max(1, a.height / 2);
  out.texels.resize(static_cast<size_t>(out.width) * static_cast<size_t>(out.height));
  for (int32_t y = 0; y < out.height; ++y) {
    const int32_t y0 = std::min(2 * y, a.height - 1), y1 = std::min(2 * y + 1, a.height - 1);
    for (int32_t x = 0; x < out.width; ++x) {
      const int32_t x0 = std::min(2 * x, a.width - 1), x1 = std::min(2 * x + 1, a.width - 1);
      const uint32_t t[4] = {a.at(x0, y0), a.at(x1, y0), a.at(x0, y1), a.at(x1, y1)};
      uint32_t texel = 0;
      for (int shift = 0; shift < 32; shift += 8) {
        uint32_t sum = 2;  // rounds to nearest
        for (const uint32_t c : t) sum += (c >> shift) & 0xFFu;
        texel |= (sum / 4) << shift;
      }
      out.texels[static_cast<size_t>(y) * static_cast<size_t>(out.width) + static_cast<size_t>(x)] =
          texel;
    }
  }
  return out;
}

}  // namespace

std::vector<Image> build_mip_levels(const Image& base) {
  std::vector<Image> levels;
  if (base.width <= 0 || base.height <= 0 ||
      base.texels.size() != static_cast<size_t>(base.width) * static_cast<size_t>(base.height)) {
    return levels;
  }
  levels.reserve(33);  // a level per halving of the longer side: pointers stay valid
  const Image* above = &base;
  while (above->width > 1 || above->height > 1) {
    levels.push_back(half_of(*above));
    above = &levels.back();
  }
  return levels;
}

std::vector<std::vector<Image>> build_scene_mip_levels(std::span<const Texture> textures) {
  std::vector<std::vector<Image>> all(textures.size());
  uint64_t left = kMipPixelBudget;
  for (size_t i = 0; i < textures.size(); ++i) {
    std::vector<Image> levels = build_mip_levels(textures[i].image);
    uint64_t pixels = 0;
    for (const Image& l : levels) pixels += l.texels.size();
    if (pixels > left) continue;  // thin textures take up to as many pixels as their base
    left -= pixels;
    all[i] = std::move(levels);
  }
  return all;
}

}  // namespace znr
