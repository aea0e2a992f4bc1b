// Encoders for building test pictures in memory: PNG and JPEG through their libraries,
// BMP and TGA bytes assembled field by field.
#pragma once

#include <cstddef>  // image.h uses size_t
#include <cstdint>
#include <initializer_list>
#include <vector>

#include "zelnary/scene/image.h"

namespace znr::test {

using Bytes = std::vector<uint8_t>;

enum class PngKind { kRgba8, kRgb8, kGray8, kGrayAlpha8, kPalette8, kRgb16, kRgba8Interlaced };

// Stores `image` in the given PNG layout. Grey kinds store the red channel; the palette
// kind stores up to 256 distinct texels with their alpha in tRNS.
Bytes encode_png(const Image& image, PngKind kind);
enum class JpegKind { kColor, kGray, kProgressive, kCmyk };
// Grey stores the red channel; CMYK stores the inverted form (c, m, y, k) = (r, g, b, 255).
Bytes encode_jpeg(const Image& image, int quality, JpegKind kind);

Image make_image(int32_t width, int32_t height, std::initializer_list<uint32_t> texels);

// Little-endian appends.
void put8(Bytes& b, uint32_t v);
void put16(Bytes& b, uint32_t v);
void put32(Bytes& b, uint32_t v);
void append(Bytes& b, std::initializer_list<uint8_t> bytes);

// A BMP: 14-byte file header, then `dib` (starting with its own size field), then `rest`
// (masks, palette), then `pixels` at the data offset.
Bytes bmp_file(const Bytes& dib, const Bytes& rest, const Bytes& pixels);
// A 40-byte information header.
Bytes bmp_info(int32_t width, int32_t height, uint16_t bits, uint32_t compression,
               uint32_t colors_used = 0);

struct TgaFields {
  uint8_t map_type = 0;
  uint8_t type = 2;
  uint16_t map_first = 0;
  uint16_t map_length = 0;
  uint8_t map_bits = 0;
  uint16_t width = 3;
  uint16_t height = 2;
  uint8_t depth = 24;
  uint8_t descriptor = 0;
};
// The 18-byte header followed by a 2-byte image ID, the colour map and the pixels.
Bytes tga_file(const TgaFields& f, const Bytes& map, const Bytes& pixels);

}  // namespace znr::test

#include <gtest/gtest.h>

namespace znr::test {

// Compares sizes and every texel, reporting the first difference in hex.
::testing::AssertionResult same_image(const Image& got, const Image& want, int tolerance = 0);

// One row of a decoder's table: a file that decodes to want, or one refused with error.
struct ValidCase {
  const char* name;
  Bytes file;
  Image want;
};
struct BadCase {
  const char* name;
  Bytes file;
  const char* error;
};

}  // namespace znr::test
