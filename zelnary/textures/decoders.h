// The individual decoders behind decode_image, and the checks they share. Each one fills
// `out` only on success; on failure `error` holds a short message.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "zelnary/scene/image.h"
#include "zelnary/textures/decode.h"

namespace znr::textures {

bool decode_png(std::span<const uint8_t> bytes, Image& out, std::string& error,
                const TextureBudget& budget);
bool decode_jpeg(std::span<const uint8_t> bytes, Image& out, std::string& error,
                 const TextureBudget& budget);
bool decode_bmp(std::span<const uint8_t> bytes, Image& out, std::string& error,
                const TextureBudget& budget);
bool decode_tga(std::span<const uint8_t> bytes, Image& out, std::string& error,
                const TextureBudget& budget);

// Whether the bytes look like a TGA header (the format has no magic number).
bool looks_like_tga(std::span<const uint8_t> bytes);

// Checks a size read from a header against the limits and the budget, before anything is
// allocated. Takes 64-bit values so that any header field fits without overflow.
bool check_size(int64_t width, int64_t height, const TextureBudget& budget, std::string& error);

// Sizes `out` for width x height texels of the given value (after check_size has passed).
void allocate(Image& out, int32_t width, int32_t height, uint32_t texel = 0);

constexpr uint32_t argb(uint32_t a, uint32_t r, uint32_t g, uint32_t b) {
  return (a << 24) | (r << 16) | (g << 8) | b;
}

// Little-endian reads; callers check bounds first.
inline uint16_t read_u16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
inline uint32_t read_u32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

// A 5-bit channel widened to 8 bits so that 31 becomes 255.
constexpr uint32_t expand5(uint32_t v) {
  return (v << 3) | (v >> 2);
}

}  // namespace znr::textures
