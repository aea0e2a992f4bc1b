// PNG and JPEG through the library encoders and back, and headers that claim too much.
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <random>

#include "alloc_probe.h"
#include "encoders.h"
#include "zelnary/textures/decode.h"

namespace znr::test {
namespace {

// Deterministic texels; `gray` keeps r = g = b, `alpha` varies the alpha channel.
Image noise(int32_t w, int32_t h, bool gray, bool alpha, uint32_t seed) {
  std::mt19937 random(seed);
  Image image;
  image.width = w;
  image.height = h;
  for (int32_t i = 0; i < w * h; ++i) {
    auto v = static_cast<uint32_t>(random());
    if (gray) v = (v & 0xFF) * 0x010101;
    image.texels.push_back((v & 0xFFFFFF) |
                           (alpha ? static_cast<uint32_t>(random() & 0xFF) << 24 : 0xFF000000));
  }
  return image;
}

struct PngCase {
  const char* name;
  PngKind kind;
  bool gray;
  bool alpha;
};

class PngRoundTrip : public ::testing::TestWithParam<PngCase> {};

TEST_P(PngRoundTrip, DecodesExactTexels) {
  const PngCase& c = GetParam();
  const Image want = noise(7, 5, c.gray, c.alpha, 7);
  Image got;
  std::string error;
  TextureBudget budget;
  ASSERT_TRUE(decode_image(encode_png(want, c.kind), got, error, budget)) << error;
  EXPECT_TRUE(same_image(got, want));
}

INSTANTIATE_TEST_SUITE_P(
    Png, PngRoundTrip,
    ::testing::Values(PngCase{"Rgba8", PngKind::kRgba8, false, true},
                      PngCase{"Rgb8", PngKind::kRgb8, false, false},
                      PngCase{"Gray8", PngKind::kGray8, true, false},
                      PngCase{"GrayAlpha8", PngKind::kGrayAlpha8, true, true},
                      PngCase{"Palette8WithTransparency", PngKind::kPalette8, false, true},
                      PngCase{"Rgb16", PngKind::kRgb16, false, false},
                      PngCase{"Rgba8Interlaced", PngKind::kRgba8Interlaced, false, true}),
    [](const auto& p) { return std::string(p.param.name); });

// Smooth content, so that a high-quality JPEG stays within a few levels.
Image gradient(int32_t w, int32_t h, bool gray) {
  Image image;
  image.width = w;
  image.height = h;
  for (int32_t y = 0; y < h; ++y) {
    for (int32_t x = 0; x < w; ++x) {
      const auto r = static_cast<uint32_t>(x * 255 / (w - 1));
      const auto g = gray ? r : static_cast<uint32_t>(y * 255 / (h - 1));
      const auto b = gray ? r : 128u;
      image.texels.push_back(0xFF000000 | r << 16 | g << 8 | b);
    }
  }
  return image;
}

TEST(JpegRoundTrip, EveryKindDecodesWithinTolerance) {
  const std::pair<JpegKind, const char*> kinds[] = {{JpegKind::kColor, "color"},
                                                    {JpegKind::kGray, "gray"},
                                                    {JpegKind::kProgressive, "progressive"},
                                                    {JpegKind::kCmyk, "cmyk"}};
  for (const auto& [kind, name] : kinds) {
    SCOPED_TRACE(name);
    const Image want = gradient(40, 24, kind == JpegKind::kGray);
    Image got;
    std::string error;
    TextureBudget budget;
    ASSERT_TRUE(decode_image(encode_jpeg(want, 95, kind), got, error, budget)) << error;
    EXPECT_TRUE(same_image(got, want, 12));
  }
}

// Rewrites the IHDR size of a PNG of `source` and its CRC, so only the size is wrong. Marked
// interlaced, the rows of `source` read as rows of the first pass when they are 1/8 as wide.
Bytes png_with_size(uint32_t width, uint32_t height,
                    const Image& source = noise(4, 4, false, false, 1), bool interlaced = false) {
  Bytes png = encode_png(source, PngKind::kRgb8);
  png[28] = interlaced ? 1 : 0;
  auto put_be = [&](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i)
      png[at + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (24 - 8 * i));
  };
  put_be(16, width);
  put_be(20, height);
  put_be(29, static_cast<uint32_t>(crc32(0, &png[12], 17)));
  return png;
}

// Rewrites the frame header's size of a baseline JPEG of `source`.
Bytes jpeg_with_size(uint16_t width, uint16_t height,
                     const Image& source = gradient(16, 16, false)) {
  Bytes jpeg = encode_jpeg(source, 90, JpegKind::kColor);
  for (size_t i = 2; i + 8 < jpeg.size(); ++i) {
    if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xC0) {
      jpeg[i + 5] = static_cast<uint8_t>(height >> 8), jpeg[i + 6] = static_cast<uint8_t>(height);
      jpeg[i + 7] = static_cast<uint8_t>(width >> 8), jpeg[i + 8] = static_cast<uint8_t>(width);
      return jpeg;
    }
  }
  ADD_FAILURE() << "no frame header";
  return jpeg;
}

TEST(OversizedHeader, RefusedAsTooLarge) {
  struct Case {
    const char* name;
    Bytes file;
  };
  const Case cases[] = {
      {"png 65536x65536", png_with_size(65536, 65536)},
      {"png 20000x1", png_with_size(20000, 1)},
      {"png 16384x16384", png_with_size(16384, 16384)},
      {"jpeg 65500x65500", jpeg_with_size(65500, 65500)},
      {"jpeg 16384x8192", jpeg_with_size(16384, 8192)},
      {"bmp 65536x65536", bmp_file(bmp_info(65536, 65536, 24, 0), {}, Bytes(64))},
      {"tga 65535x65535",
       [] {
         TgaFields f;
         f.width = f.height = 65535;
         return tga_file(f, {}, Bytes(64));
       }()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Image image;
    std::string error;
    TextureBudget budget;
    LargestAllocation probe;
    EXPECT_FALSE(decode_image(c.file, image, error, budget));
    EXPECT_LT(probe.bytes(), 1u << 20);
    EXPECT_EQ(error, "too large");
    EXPECT_EQ(budget.pixels_left, kDefaultTexturePixelBudget);
  }
}

// Within the limits but far longer than the data: refused before the picture is allocated.
TEST(ShortData, RefusedBeforeAllocating) {
  TgaFields rle;
  rle.type = 10;
  rle.width = rle.height = 8000;
  // A PNG or JPEG header of 8192x8192 over a few bytes; run-length BMP data of a kilobyte.
  const Bytes files[] = {bmp_file(bmp_info(8000, 8000, 24, 0), {}, Bytes(4096)),
                         tga_file(rle, {}, Bytes(4096)), png_with_size(8192, 8192),
                         jpeg_with_size(8192, 8192),
                         bmp_file(bmp_info(8000, 8000, 8, 1, 2), Bytes(8), Bytes(1024))};
  {  // the probe does see the picture of a file that decodes
    Image image;
    std::string error;
    TextureBudget budget;
    LargestAllocation probe;
    ASSERT_TRUE(decode_image(bmp_file(bmp_info(512, 512, 24, 0), {}, Bytes(512 * 512 * 3)), image,
                             error, budget));
    EXPECT_GE(probe.bytes(), 512u * 512 * 4);
  }
  for (const Bytes& file : files) {
    Image image;
    std::string error;
    TextureBudget budget;
    LargestAllocation probe;
    EXPECT_FALSE(decode_image(file, image, error, budget));
    EXPECT_EQ(error, "truncated") << &file - files;
    EXPECT_LT(probe.bytes(), 1u << 20) << &file - files;
  }
}

// Large enough to pass the checks on its size, but the data stops after a few rows: the
// picture grows only with the rows decoded, so the file costs megabytes, not the 256 MiB
// its header claims, before it is refused.
TEST(CutData, CostsOnlyTheRowsDecoded) {
  const Image rows = noise(8192, 32, false, false, 9);  // 32 rows of incompressible texels
  Bytes png = png_with_size(8192, 8192, rows);
  png.resize(png.size() - 4096);  // cut inside the pixel data
  Bytes interlaced = png_with_size(8192, 8192, noise(1024, 128, false, false, 9), true);
  interlaced.resize(interlaced.size() - 4096);
  Bytes jpeg = jpeg_with_size(8192, 8192, rows);
  jpeg.resize(jpeg.size() - 64);  // cut before the end marker

  Bytes rle_bmp;  // 16 rows of literal pixels, then nothing
  for (int row = 0; row < 16; ++row) {
    for (int x = 0; x < 8000; x += 250) {
      append(rle_bmp, {0, 250});
      rle_bmp.resize(rle_bmp.size() + 250, 1);
    }
    append(rle_bmp, {0, 0});
  }
  TgaFields gray;
  gray.type = 11;
  gray.width = gray.height = 8000;
  gray.depth = 8;
  Bytes rle_tga;  // literal packets of 128 pixels: 64 times the fewest bytes the size needs
  while (rle_tga.size() < 1'000'000) {
    put8(rle_tga, 0x7F);
    rle_tga.resize(rle_tga.size() + 128, 0x80);
  }
  const std::pair<const char*, Bytes> files[] = {
      {"png", png},
      {"interlaced png", interlaced},
      {"jpeg", jpeg},
      {"rle bmp", bmp_file(bmp_info(8000, 8000, 8, 1, 2), Bytes(8), rle_bmp)},
      {"rle tga", tga_file(gray, {}, rle_tga)}};
  for (const auto& [name, file] : files) {
    SCOPED_TRACE(name);
    Image image;
    std::string error;
    TextureBudget budget;
    LargestAllocation probe;
    EXPECT_FALSE(decode_image(file, image, error, budget));
    EXPECT_EQ(error, "truncated");
    EXPECT_LT(probe.bytes(), 8u << 20);
  }
}

// Interlaced rows are put together from seven passes, some empty in small pictures.
TEST(PngInterlaced, EverySizeReassembles) {
  for (const auto& [w, h] : {std::pair{1, 1}, {1, 10}, {10, 1}, {8, 8}, {13, 6}, {33, 17}}) {
    SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h));
    const Image want = noise(w, h, false, true, static_cast<uint32_t>(w * h));
    Image got;
    std::string error;
    TextureBudget budget;
    ASSERT_TRUE(decode_image(encode_png(want, PngKind::kRgba8Interlaced), got, error, budget))
        << error;
    EXPECT_TRUE(same_image(got, want));
  }
}

TEST(CorruptData, PngAndJpegRefused) {
  Bytes png = encode_png(noise(8, 8, false, false, 3), PngKind::kRgb8);
  png[40] ^= 0x55;  // inside the compressed pixels: the chunk CRC no longer matches
  Bytes jpeg = encode_jpeg(gradient(16, 16, false), 90, JpegKind::kColor);
  std::fill(jpeg.end() - 40, jpeg.end() - 2, 0xFF);  // entropy data turned into fill bytes
  for (const Bytes* file : {&png, &jpeg}) {
    Image image;
    std::string error;
    TextureBudget budget;
    EXPECT_FALSE(decode_image(*file, image, error, budget));
    EXPECT_FALSE(error.empty());
    EXPECT_TRUE(image.texels.empty());
  }
}

}  // namespace
}  // namespace znr::test
