// The shared entry points: sniffing, the budget, files, truncation of every format, and
// the fallback picture.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>

#include "encoders.h"
#include "zelnary/textures/decode.h"

namespace znr::test {
namespace {

Bytes small_bmp() {
  return bmp_file(bmp_info(3, 2, 24, 0), {}, Bytes(24, 0x40));
}

Bytes sample_rgb(int32_t w, int32_t h, uint32_t bytes_per_texel) {
  Bytes b(static_cast<size_t>(w * h) * bytes_per_texel);
  std::mt19937 random(5);
  for (uint8_t& v : b) v = static_cast<uint8_t>(random());
  return b;
}

TEST(Budget, ChargedOnSuccessOnly) {
  TextureBudget budget{6};
  Image image;
  std::string error;
  ASSERT_TRUE(decode_image(small_bmp(), image, error, budget)) << error;
  EXPECT_EQ(budget.pixels_left, 0u);

  EXPECT_FALSE(decode_image(small_bmp(), image, error, budget));
  EXPECT_EQ(error, "texture budget exhausted");
  EXPECT_TRUE(image.texels.empty());

  TextureBudget short_budget{5};
  EXPECT_FALSE(decode_image(small_bmp(), image, error, short_budget));
  EXPECT_EQ(short_budget.pixels_left, 5u);

  // A broken file costs nothing either.
  TextureBudget full;
  Bytes cut = small_bmp();
  cut.pop_back();
  EXPECT_FALSE(decode_image(cut, image, error, full));
  EXPECT_EQ(full.pixels_left, kDefaultTexturePixelBudget);
}

TEST(Budget, OnceTheTimeIsSpentNothingMoreIsDecoded) {
  TextureBudget late;
  late.deadline = std::chrono::steady_clock::now() - std::chrono::seconds(1);
  Image image;
  std::string error;
  EXPECT_FALSE(decode_image(small_bmp(), image, error, late));
  EXPECT_EQ(error, "texture decode time budget exhausted");
}

TEST(Sniff, UnknownContentIsNamed) {
  TextureBudget budget;
  Image image = fallback_image();
  std::string error;
  const std::string text = "just some text, not a picture at all";
  const Bytes bytes(text.begin(), text.end());
  EXPECT_FALSE(decode_image(bytes, image, error, budget));
  EXPECT_EQ(error, "not a PNG, JPEG, BMP or TGA file");
  EXPECT_TRUE(image.texels.empty());  // a failed decode leaves the output empty
  EXPECT_FALSE(decode_image({}, image, error, budget));
  EXPECT_EQ(error, "not a PNG, JPEG, BMP or TGA file");
}

// Just the magic bytes of each format, and nothing behind them.
TEST(Sniff, BareMagicIsTruncated) {
  const Bytes magics[] = {
      {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A}, {0xFF, 0xD8, 0xFF}, {'B', 'M'}};
  for (const Bytes& magic : magics) {
    TextureBudget budget;
    Image image;
    std::string error;
    EXPECT_FALSE(decode_image(magic, image, error, budget));
    EXPECT_EQ(error, "truncated");
  }
}

class TempDir : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::path(::testing::TempDir()) /
           ("textures_" +
            std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::string write(const std::string& name, const Bytes& bytes) {
    const std::string path = (dir_ / name).string();
    std::FILE* f = std::fopen(path.c_str(), "wb");
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
    return path;
  }
  std::filesystem::path dir_;
};

TEST_F(TempDir, FilesDecodeAndTgaNameSelectsTgaErrors) {
  TextureBudget budget;
  Image image;
  std::string error;
  ASSERT_TRUE(decode_image_file(write("a.bmp", small_bmp()), image, error, budget)) << error;
  EXPECT_EQ(image.at(2, 1), 0xFF404040u);

  EXPECT_FALSE(decode_image_file((dir_ / "missing.png").string(), image, error, budget));
  EXPECT_EQ(error.rfind("cannot open", 0), 0u) << error;
  EXPECT_FALSE(decode_image_file(dir_.string(), image, error, budget));
  EXPECT_EQ(error, "not a regular file");

  // A TGA header with no image type is not recognised by content, but a .tga name says
  // what it was meant to be.
  TgaFields no_image;
  no_image.type = 0;
  const Bytes tga = tga_file(no_image, {}, {});
  EXPECT_FALSE(decode_image(tga, image, error, budget));
  EXPECT_EQ(error, "not a PNG, JPEG, BMP or TGA file");
  EXPECT_FALSE(decode_image_file(write("b.TGA", tga), image, error, budget));
  EXPECT_EQ(error, "unsupported TGA type 0");
}

struct TruncationCase {
  const char* name;
  Bytes file;
};

std::vector<TruncationCase> truncation_cases() {
  Image picture;
  picture.width = 16;
  picture.height = 12;
  for (size_t i = 0; i < 16 * 12; ++i)
    picture.texels.push_back(0xFF000000u | static_cast<uint32_t>(i * 0x10305));
  TgaFields rle_tga;
  rle_tga.type = 10;
  rle_tga.width = 16;
  rle_tga.height = 12;
  Bytes rle_pixels;
  for (int packet = 0; packet < 12; ++packet) append(rle_pixels, {0x8F, 1, 2, 3});
  TgaFields plain_tga = rle_tga;
  plain_tga.type = 2;
  Bytes rle_bmp_stream;
  for (int row = 0; row < 12; ++row)
    append(rle_bmp_stream, {8, 1, 0, 8, 1, 2, 3, 4, 5, 6, 7, 0, 0, 0});
  rle_bmp_stream.resize(rle_bmp_stream.size() - 2);
  append(rle_bmp_stream, {0, 1});
  Bytes palette(16 * 4, 0x20);
  return {
      {"Png", encode_png(picture, PngKind::kRgb8)},
      {"PngInterlaced", encode_png(picture, PngKind::kRgba8Interlaced)},
      {"Jpeg", encode_jpeg(picture, 80, JpegKind::kColor)},
      {"JpegProgressive", encode_jpeg(picture, 80, JpegKind::kProgressive)},
      {"Bmp24", bmp_file(bmp_info(16, 12, 24, 0), {}, sample_rgb(16, 12, 3))},
      {"BmpRle8", bmp_file(bmp_info(16, 12, 8, 1, 16), palette, rle_bmp_stream)},
      {"Tga24", tga_file(plain_tga, {}, sample_rgb(16, 12, 3))},
      {"TgaRle24", tga_file(rle_tga, {}, rle_pixels)},
  };
}

class Truncated : public ::testing::TestWithParam<TruncationCase> {};

// Every prefix that keeps the first bytes (enough to tell the format) is refused as
// truncated, including cuts inside the last few bytes.
TEST_P(Truncated, EveryCutIsRefused) {
  const Bytes& file = GetParam().file;
  {
    Image whole;
    std::string error;
    TextureBudget budget;
    ASSERT_TRUE(decode_image(file, whole, error, budget)) << error;
  }
  const size_t step = std::max<size_t>(1, file.size() / 60);
  std::vector<size_t> cuts;
  for (size_t cut = 20; cut < file.size(); cut += step) cuts.push_back(cut);
  for (size_t back = 1; back <= 4 && back < file.size(); ++back) cuts.push_back(file.size() - back);
  for (size_t cut : cuts) {
    SCOPED_TRACE("cut at " + std::to_string(cut) + " of " + std::to_string(file.size()));
    Image image;
    std::string error;
    TextureBudget budget;
    EXPECT_FALSE(decode_image(std::span(file).first(cut), image, error, budget));
    EXPECT_EQ(error, "truncated");
    EXPECT_TRUE(image.texels.empty());
  }
}

INSTANTIATE_TEST_SUITE_P(AllFormats, Truncated, ::testing::ValuesIn(truncation_cases()),
                         [](const auto& p) { return std::string(p.param.name); });

TEST(Fallback, MagentaAndBlackChecker) {
  const Image image = fallback_image();
  ASSERT_GT(image.width, 0);
  ASSERT_EQ(image.texels.size(), static_cast<size_t>(image.width) * image.height);
  const uint32_t first = image.at(0, 0);
  const uint32_t other = first == 0xFFFF00FFu ? 0xFF000000u : 0xFFFF00FFu;
  ASSERT_TRUE(first == 0xFFFF00FFu || first == 0xFF000000u);
  // Find the cell size from the first row, then check the whole checker against it.
  int32_t cell = 1;
  while (cell < image.width && image.at(cell, 0) == first) ++cell;
  ASSERT_LT(cell, image.width);
  for (int32_t y = 0; y < image.height; ++y) {
    for (int32_t x = 0; x < image.width; ++x) {
      const bool even = ((x / cell) + (y / cell)) % 2 == 0;
      ASSERT_EQ(image.at(x, y), even ? first : other) << x << "," << y;
    }
  }
}

}  // namespace
}  // namespace znr::test
