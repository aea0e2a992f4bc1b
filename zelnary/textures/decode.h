// Texture files: PNG and JPEG through their libraries, BMP and TGA through decoders of our
// own. The format is told by the file's content. Sizes are checked from the header before
// anything is allocated, and the picture then grows with the rows actually decoded.
#pragma once

#include <chrono>
#include <cstdint>
#include <span>
#include <string>

#include "zelnary/scene/image.h"

namespace znr {

constexpr int32_t kMaxTextureSide = 16384;
constexpr uint64_t kMaxTexturePixels = 64ull << 20;            // per image
constexpr uint64_t kDefaultTexturePixelBudget = 256ull << 20;  // per world

// What a world's textures may still cost: pixels, each decoded image charged against them,
// and time, after which the remaining textures are not decoded at all (each image's own cost
// is bounded by its size limit and by the bytes it holds).
struct TextureBudget {
  uint64_t pixels_left = kDefaultTexturePixelBudget;
  std::chrono::steady_clock::time_point deadline = std::chrono::steady_clock::time_point::max();
};

// The time a world's textures may take to decode, counted from the first one.
constexpr std::chrono::seconds kTextureDecodeTime{30};

// false: error says what is wrong ("truncated", "too large", ...); out is left empty.
bool decode_image(std::span<const uint8_t> bytes, Image& out, std::string& error,
                  TextureBudget& budget);
bool decode_image_file(const std::string& path, Image& out, std::string& error,
                       TextureBudget& budget);

// The pattern shown in place of a missing or broken texture: a magenta and black checker.
Image fallback_image();

}  // namespace znr
