// The pattern drawn where a texture is missing or broken: loud enough to notice.
#include "zelnary/textures/decode.h"
#include "zelnary/textures/decoders.h"

namespace znr {

Image fallback_image() {
  constexpr int32_t kSide = 64;
  constexpr int32_t kCell = 8;
  Image image;
  textures::allocate(image, kSide, kSide);
  for (int32_t y = 0; y < kSide; ++y) {
    for (int32_t x = 0; x < kSide; ++x) {
      const bool magenta = ((x / kCell) + (y / kCell)) % 2 == 0;
      image.texels[static_cast<size_t>(y * kSide + x)] = magenta ? 0xFFFF00FFu : 0xFF000000u;
    }
  }
  return image;
}

}  // namespace znr
