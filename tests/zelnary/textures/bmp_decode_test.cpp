// BMP files assembled byte by byte: every bit depth and compression on a 3x2 pattern, and
// the malformed files that must be refused with a clear message.
#include <gtest/gtest.h>

#include "encoders.h"
#include "zelnary/textures/decoders.h"

namespace znr::test {
namespace {

constexpr uint32_t R = 0xFFFF0000, G = 0xFF00FF00, B = 0xFF0000FF;
constexpr uint32_t W = 0xFFFFFFFF, K = 0xFF000000, Y = 0xFFFFFF00;

// Top row red green blue, bottom row white black yellow.
const Image kPattern = make_image(3, 2, {R, G, B, W, K, Y});
// Palette order used by the indexed cases: top row is 2 3 4, bottom row 1 0 5.
Bytes palette6() {
  Bytes b;
  for (uint32_t c : {K, W, R, G, B, Y}) put32(b, c & 0xFFFFFF);
  return b;
}

Bytes concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

// 24-bit rows: 9 bytes of BGR then 3 of padding.
Bytes row24(std::initializer_list<uint32_t> texels) {
  Bytes b;
  for (uint32_t t : texels) put8(b, t), put8(b, t >> 8), put8(b, t >> 16);
  append(b, {0, 0, 0});
  return b;
}

Bytes row32(std::initializer_list<uint32_t> texels) {
  Bytes b;
  for (uint32_t t : texels) put32(b, t);
  return b;
}

Bytes row16(std::initializer_list<uint32_t> values) {
  Bytes b;
  for (uint32_t v : values) put16(b, v);
  put16(b, 0);
  return b;
}

// A 108-byte header holding its bit masks.
Bytes bmp_v4(int32_t width, int32_t height, uint16_t bits, uint32_t compression,
             std::initializer_list<uint32_t> masks) {
  Bytes b = bmp_info(width, height, bits, compression);
  b[0] = 108;
  for (uint32_t m : masks) put32(b, m);
  b.resize(108, 0);
  return b;
}

std::vector<ValidCase> valid_cases() {
  const Image two_colors = make_image(3, 2, {W, K, W, K, W, K});
  Image with_alpha = kPattern;
  with_alpha.texels[0] = 0x80FF0000;
  Bytes core = {12, 0, 0, 0};
  put16(core, 3), put16(core, 2), put16(core, 1), put16(core, 8);
  Bytes core_palette;
  for (uint32_t c : {K, W, R, G, B, Y})
    put8(core_palette, c), put8(core_palette, c >> 8), put8(core_palette, c >> 16);

  return {
      {"Bits1",
       bmp_file(bmp_info(3, 2, 1, 0), row32({0x0, 0xFFFFFF}), {0x40, 0, 0, 0, 0xA0, 0, 0, 0}),
       two_colors},
      {"Bits4", bmp_file(bmp_info(3, 2, 4, 0, 6), palette6(), {0x10, 0x50, 0, 0, 0x23, 0x40, 0, 0}),
       kPattern},
      {"Bits8", bmp_file(bmp_info(3, 2, 8, 0, 6), palette6(), {1, 0, 5, 0, 2, 3, 4, 0}), kPattern},
      {"Bits8TopDown", bmp_file(bmp_info(3, -2, 8, 0, 6), palette6(), {2, 3, 4, 0, 1, 0, 5, 0}),
       kPattern},
      {"Bits8CoreHeader", bmp_file(core, core_palette, {1, 0, 5, 0, 2, 3, 4, 0}), kPattern},
      {"Bits24", bmp_file(bmp_info(3, 2, 24, 0), {}, concat({row24({W, K, Y}), row24({R, G, B})})),
       kPattern},
      {"Bits32ZeroAlphaIsOpaque",
       bmp_file(bmp_info(3, 2, 32, 0), {},
                concat({row32({W & 0xFFFFFF, 0, Y & 0xFFFFFF}),
                        row32({R & 0xFFFFFF, G & 0xFFFFFF, B & 0xFFFFFF})})),
       kPattern},
      {"Bits32KeepsAlpha",
       bmp_file(bmp_info(3, 2, 32, 0), {}, concat({row32({W, K, Y}), row32({0x80FF0000, G, B})})),
       with_alpha},
      {"Bits16Rgb555",
       bmp_file(bmp_info(3, 2, 16, 0), {},
                concat({row16({0x7FFF, 0, 0x7FE0}), row16({0x7C00, 0x03E0, 0x001F})})),
       kPattern},
      {"Bits16BitFields565",
       bmp_file(bmp_info(3, 2, 16, 3), row32({0xF800, 0x07E0, 0x001F}),
                concat({row16({0xFFFF, 0, 0xFFE0}), row16({0xF800, 0x07E0, 0x001F})})),
       kPattern},
      {"Bits32AlphaBitFields",  // channels stored as RGBA from the top byte down
       bmp_file(bmp_info(3, 2, 32, 6), row32({0xFF000000, 0xFF0000, 0xFF00, 0xFF}),
                concat({row32({0xFFFFFFFF, 0xFF, 0xFFFF00FF}),
                        row32({0xFF000080, 0x00FF00FF, 0x0000FFFF})})),
       with_alpha},
      {"Bits32V4HeaderMasks",
       bmp_file(bmp_v4(3, 2, 32, 3, {0xFF0000, 0xFF00, 0xFF, 0}), {},
                concat({row32({W & 0xFFFFFF, 0, Y & 0xFFFFFF}), row32({R, G, B})})),
       kPattern},
      {"Rle8",
       bmp_file(bmp_info(3, 2, 8, 1, 6), palette6(),
                {1, 1, 1, 0, 1, 5, 0, 0, 0, 3, 2, 3, 4, 0, 0, 1}),
       kPattern},
      {"Rle4",
       bmp_file(bmp_info(3, 2, 4, 2, 6), palette6(),
                {2, 0x10, 1, 0x50, 0, 0, 0, 3, 0x23, 0x40, 0, 1}),
       kPattern},
      {"Rle8DeltaLeavesPaletteZero",
       bmp_file(bmp_info(3, 2, 8, 1, 6), palette6(), {0, 2, 1, 1, 2, 3, 0, 1}),
       make_image(3, 2, {K, G, G, K, K, K})},
  };
}

class BmpValid : public ::testing::TestWithParam<ValidCase> {};

TEST_P(BmpValid, DecodesExactTexels) {
  Image image;
  std::string error;
  ASSERT_TRUE(textures::decode_bmp(GetParam().file, image, error, TextureBudget{})) << error;
  EXPECT_TRUE(same_image(image, GetParam().want));
}

INSTANTIATE_TEST_SUITE_P(Bmp, BmpValid, ::testing::ValuesIn(valid_cases()),
                         [](const auto& p) { return std::string(p.param.name); });

std::vector<BadCase> bad_cases() {
  const auto rle8 = [](Bytes stream) {
    return bmp_file(bmp_info(3, 2, 8, 1, 6), palette6(), stream);
  };
  return {
      {"RleRunPastRow", rle8({4, 1, 0, 1}), "bad RLE data"},
      {"RleLiteralPastRow", rle8({0, 4, 1, 1, 1, 1, 0, 1}), "bad RLE data"},
      {"RleDeltaPastImage", rle8({0, 2, 0, 2, 0, 1}), "bad RLE data"},
      {"RleRowsPastImage", rle8({3, 1, 0, 0, 3, 1, 0, 0, 1, 1, 0, 1}), "bad RLE data"},
      {"RleWithoutEnd", rle8({3, 1, 0, 0, 3, 1}), "truncated"},
      {"RleLiteralCut", rle8({0, 3, 1, 1}), "truncated"},
      {"RleIndexPastPalette", rle8({1, 7, 0, 1}), "bad palette index"},
      {"Rle4IndexPastPalette", bmp_file(bmp_info(3, 2, 4, 2, 6), palette6(), {3, 0xF0, 0, 1}),
       "bad palette index"},
      {"IndexPastPalette",
       bmp_file(bmp_info(3, 2, 8, 0, 2), row32({0, 0}), {1, 0, 5, 0, 0, 0, 0, 0}),
       "bad palette index"},
      {"PaletteTooLarge", bmp_file(bmp_info(3, 2, 8, 0, 300), {}, {}), "bad BMP palette size"},
      {"PaletteCut", bmp_file(bmp_info(3, 2, 8, 0, 6), row32({0}), {}), "truncated"},
      {"CompressionJpeg", bmp_file(bmp_info(3, 2, 24, 4), {}, Bytes(24)),
       "unsupported BMP compression 4"},
      {"RleAt24Bits", bmp_file(bmp_info(3, 2, 24, 1), {}, Bytes(24)),
       "unsupported BMP compression 1 at 24 bits"},
      {"BitDepth2", bmp_file(bmp_info(3, 2, 2, 0), {}, Bytes(8)), "unsupported BMP bit depth 2"},
      {"TopDownRle", bmp_file(bmp_info(3, -2, 8, 1, 6), palette6(), {0, 1}),
       "bad BMP: top-down RLE"},
      {"BrokenMasks", bmp_file(bmp_info(3, 2, 16, 3), row32({0x0F0F, 0x00F0, 0xF000}), Bytes(16)),
       "bad BMP bit masks"},
      {"ZeroWidth", bmp_file(bmp_info(0, 2, 24, 0), {}, {}), "zero or negative size"},
      {"NegativeWidth", bmp_file(bmp_info(-3, 2, 24, 0), {}, {}), "zero or negative size"},
      {"MostNegativeHeight", bmp_file(bmp_info(3, INT32_MIN, 24, 0), {}, {}), "too large"},
      {"Huge", bmp_file(bmp_info(65536, 65536, 24, 0), {}, {}), "too large"},
      {"SideTooLong", bmp_file(bmp_info(20000, 1, 24, 0), {}, {}), "too large"},
      {"HeaderSize64",
       [] {
         Bytes dib = bmp_info(3, 2, 24, 0);
         dib[0] = 64;
         dib.resize(64);
         return bmp_file(dib, {}, Bytes(24));
       }(),
       "unsupported BMP header size 64"},
      {"PixelsCut", bmp_file(bmp_info(3, 2, 24, 0), {}, Bytes(23)), "truncated"},
  };
}

class BmpBad : public ::testing::TestWithParam<BadCase> {};

TEST_P(BmpBad, IsRefusedWithMessage) {
  Image image;
  std::string error;
  EXPECT_FALSE(textures::decode_bmp(GetParam().file, image, error, TextureBudget{}));
  EXPECT_EQ(error, GetParam().error);
  EXPECT_TRUE(image.texels.empty());
}

INSTANTIATE_TEST_SUITE_P(Bmp, BmpBad, ::testing::ValuesIn(bad_cases()),
                         [](const auto& p) { return std::string(p.param.name); });

}  // namespace
}  // namespace znr::test
