// TGA files assembled byte by byte: each type and depth on a 3x2 pattern, every origin,
// run-length packets, and the malformed files that must be refused.
#include <gtest/gtest.h>

#include "encoders.h"
#include "zelnary/textures/decoders.h"

namespace znr::test {
namespace {

constexpr uint32_t R = 0xFFFF0000, G = 0xFF00FF00, B = 0xFF0000FF;
constexpr uint32_t W = 0xFFFFFFFF, K = 0xFF000000, Y = 0xFFFFFF00;
const Image kPattern = make_image(3, 2, {R, G, B, W, K, Y});

Bytes bgr(std::initializer_list<uint32_t> texels) {
  Bytes b;
  for (uint32_t t : texels) put8(b, t), put8(b, t >> 8), put8(b, t >> 16);
  return b;
}

Bytes bgra(std::initializer_list<uint32_t> texels) {
  Bytes b;
  for (uint32_t t : texels) put32(b, t);
  return b;
}

Bytes words(std::initializer_list<uint32_t> values) {
  Bytes b;
  for (uint32_t v : values) put16(b, v);
  return b;
}

Bytes concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

TgaFields fields(uint8_t type, uint8_t depth, uint8_t descriptor) {
  TgaFields f;
  f.type = type;
  f.depth = depth;
  f.descriptor = descriptor;
  return f;
}

// Colour map of six entries starting at index 2: K W R G B Y.
TgaFields mapped(uint8_t type) {
  TgaFields f = fields(type, 8, 0x20);
  f.map_type = 1;
  f.map_first = 2;
  f.map_length = 6;
  f.map_bits = 24;
  return f;
}
const Bytes kMap = bgr({K, W, R, G, B, Y});

std::vector<ValidCase> valid_cases() {
  Image with_alpha = kPattern;
  with_alpha.texels[0] = 0x80FF0000;
  Image clear_black = kPattern;
  clear_black.texels[4] = 0x00000000;
  constexpr uint32_t g1 = 0xFF101010, g2 = 0xFF202020, g3 = 0xFF303030, g4 = 0xFF404040;
  const Image gray = make_image(3, 2, {g1, g2, g3, g4, K, W});
  TgaFields grey_alpha = fields(3, 16, 0x28);
  TgaFields rle_crossing = fields(10, 24, 0x20);

  return {
      {"TrueColor24BottomLeft", tga_file(fields(2, 24, 0), {}, bgr({W, K, Y, R, G, B})), kPattern},
      {"TrueColor24TopLeft", tga_file(fields(2, 24, 0x20), {}, bgr({R, G, B, W, K, Y})), kPattern},
      {"TrueColor24TopRight", tga_file(fields(2, 24, 0x30), {}, bgr({B, G, R, Y, K, W})), kPattern},
      {"TrueColor24BottomRight", tga_file(fields(2, 24, 0x10), {}, bgr({Y, K, W, B, G, R})),
       kPattern},
      {"TrueColor32KeepsAlpha",
       tga_file(fields(2, 32, 0x28), {}, bgra({0x80FF0000, G, B, W, K, Y})), with_alpha},
      {"TrueColor32ZeroAlphaIsOpaque",
       tga_file(fields(2, 32, 0x20), {},
                bgra({R & 0xFFFFFF, G & 0xFFFFFF, B & 0xFFFFFF, W & 0xFFFFFF, 0, Y & 0xFFFFFF})),
       kPattern},
      {"TrueColor16AlphaBit",
       tga_file(fields(2, 16, 0x21), {}, words({0xFC00, 0x83E0, 0x801F, 0xFFFF, 0x0000, 0xFFE0})),
       clear_black},
      {"TrueColor15",
       tga_file(fields(2, 15, 0x20), {}, words({0x7C00, 0x03E0, 0x001F, 0x7FFF, 0, 0x7FE0})),
       kPattern},
      {"Gray8", tga_file(fields(3, 8, 0x20), {}, {0x10, 0x20, 0x30, 0x40, 0, 0xFF}), gray},
      {"GrayAlpha16",
       tga_file(grey_alpha, {},
                {0x10, 0xFF, 0x20, 0xFF, 0x30, 0xFF, 0x40, 0xFF, 0, 0x00, 0xFF, 0xFF}),
       make_image(3, 2, {g1, g2, g3, g4, 0x00000000, W})},
      {"Mapped8", tga_file(mapped(1), kMap, {4, 5, 6, 3, 2, 7}), kPattern},
      {"RleMapped8", tga_file(mapped(9), kMap, {0x02, 4, 5, 6, 0x80, 3, 0x01, 2, 7}),
       make_image(3, 2, {R, G, B, W, K, Y})},
      {"RleTrueColor24RunCrossesRow",
       tga_file(rle_crossing, {}, concat({{0x83}, bgr({R}), {0x01}, bgr({W, W})})),
       make_image(3, 2, {R, R, R, R, W, W})},
      {"RleTrueColor32BottomLeft",
       tga_file(fields(10, 32, 0x08), {},
                concat({{0x00},
                        bgra({W}),
                        {0x80},
                        bgra({K}),
                        {0x00},
                        bgra({Y}),
                        {0x02},
                        bgra({0x80FF0000, G, B})})),
       with_alpha},
      {"RleGray8", tga_file(fields(11, 8, 0x20), {}, {0x83, 0x10, 0x01, 0, 0xFF}),
       make_image(3, 2, {g1, g1, g1, g1, K, W})},
  };
}

class TgaValid : public ::testing::TestWithParam<ValidCase> {};

TEST_P(TgaValid, DecodesExactTexels) {
  Image image;
  std::string error;
  ASSERT_TRUE(textures::decode_tga(GetParam().file, image, error, TextureBudget{})) << error;
  EXPECT_TRUE(same_image(image, GetParam().want));
}

INSTANTIATE_TEST_SUITE_P(Tga, TgaValid, ::testing::ValuesIn(valid_cases()),
                         [](const auto& p) { return std::string(p.param.name); });

std::vector<BadCase> bad_cases() {
  TgaFields huge = fields(2, 24, 0);
  huge.width = huge.height = 65535;
  TgaFields zero = fields(2, 24, 0);
  zero.width = 0;
  TgaFields no_map = fields(1, 8, 0);
  TgaFields bad_map_bits = mapped(1);
  bad_map_bits.map_bits = 12;
  TgaFields map_cut = mapped(1);
  map_cut.map_length = 200;
  return {
      {"RleRunPastImage", tga_file(fields(10, 24, 0), {}, concat({{0x86}, bgr({R})})),
       "bad RLE data"},
      {"RleRawPastImage",
       tga_file(fields(10, 24, 0), {}, concat({{0x06}, bgr({R, G, B, W, K, Y, R})})),
       "bad RLE data"},
      {"RleCut", tga_file(fields(10, 24, 0), {}, concat({{0x02}, bgr({R, G, B}), {0x82}})),
       "truncated"},
      {"IndexPastMap", tga_file(mapped(1), kMap, {4, 5, 6, 3, 2, 8}), "bad palette index"},
      {"IndexBeforeMapStart", tga_file(mapped(1), kMap, {4, 5, 6, 3, 1, 7}), "bad palette index"},
      {"RleIndexPastMap", tga_file(mapped(9), kMap, {0x85, 9}), "bad palette index"},
      {"MapCut", tga_file(map_cut, kMap, {}), "truncated"},
      {"PixelsCut", tga_file(fields(2, 24, 0), {}, bgr({R, G, B, W, K})), "truncated"},
      {"HeaderCut", Bytes{0, 0, 2, 0, 0}, "truncated"},
      {"Huge", tga_file(huge, {}, {}), "too large"},
      {"ZeroWidth", tga_file(zero, {}, {}), "zero or negative size"},
      {"NoImageData", tga_file(fields(0, 24, 0), {}, {}), "unsupported TGA type 0"},
      {"MappedWithoutMap", tga_file(no_map, {}, Bytes(6)),
       "unsupported TGA bit depth 8 for type 1"},
      {"Gray24", tga_file(fields(3, 24, 0), {}, Bytes(18)),
       "unsupported TGA bit depth 24 for type 3"},
      {"MapEntry12Bits", tga_file(bad_map_bits, Bytes(12), Bytes(6)),
       "unsupported TGA colour map entry size 12"},
      {"Interleaved", tga_file(fields(2, 24, 0x40), {}, Bytes(18)), "unsupported TGA interleaving"},
  };
}

class TgaBad : public ::testing::TestWithParam<BadCase> {};

TEST_P(TgaBad, IsRefusedWithMessage) {
  Image image;
  std::string error;
  EXPECT_FALSE(textures::decode_tga(GetParam().file, image, error, TextureBudget{}));
  EXPECT_EQ(error, GetParam().error);
  EXPECT_TRUE(image.texels.empty());
}

INSTANTIATE_TEST_SUITE_P(Tga, TgaBad, ::testing::ValuesIn(bad_cases()),
                         [](const auto& p) { return std::string(p.param.name); });

}  // namespace
}  // namespace znr::test
