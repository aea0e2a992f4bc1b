#include "image_compare.h"

#include <png.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "zelnary/present/png_writer.h"

namespace znr::test {

bool read_png(const std::string& path, Image& out) {
  png_image png{};
  png.version = PNG_IMAGE_VERSION;
  if (png_image_begin_read_from_file(&png, path.c_str()) == 0) return false;
  png.format = PNG_FORMAT_BGRA;  // little-endian 0xAARRGGBB words
  out.width = static_cast<int32_t>(png.width);
  out.height = static_cast<int32_t>(png.height);
  out.texels.assign(static_cast<size_t>(png.width) * png.height, 0);
  if (png_image_finish_read(&png, nullptr, out.texels.data(), 0, nullptr) == 0) {
    png_image_free(&png);
    return false;
  }
  return true;
}

Comparison compare_images(const Image& actual, const Image& expected, int channel_tolerance) {
  Comparison c;
  c.same_size = actual.width == expected.width && actual.height == expected.height &&
                actual.texels.size() == expected.texels.size();
  if (!c.same_size) return c;
  c.difference = actual;
  size_t matching = 0;
  for (size_t i = 0; i < actual.texels.size(); ++i) {
    int worst = 0;
    uint32_t diff = 0xFF000000u;
    for (int shift = 0; shift <= 16; shift += 8) {
      const int a = static_cast<int>((actual.texels[i] >> shift) & 0xFFu);
      const int e = static_cast<int>((expected.texels[i] >> shift) & 0xFFu);
      const int d = std::abs(a - e);
      worst = std::max(worst, d);
      diff |= static_cast<uint32_t>(std::min(255, d * 8)) << shift;
    }
    c.difference.texels[i] = diff;
    matching += worst <= channel_tolerance ? 1 : 0;
  }
  c.matching = actual.texels.empty()
                   ? 1.0
                   : static_cast<double>(matching) / static_cast<double>(actual.texels.size());
  return c;
}

std::string check_baseline(const std::string& name, const Image& actual) {
  namespace fs = std::filesystem;
  const fs::path baseline = fs::path(ZELNARY_BASELINE_DIR) / (name + ".png");
  std::string error;
  const char* update = std::getenv("ZELNARY_UPDATE_BASELINES");
  if (update != nullptr && std::strcmp(update, "1") == 0) {
    return write_png(baseline.string(), actual, error) ? "" : error;
  }
  Image expected;
  if (!read_png(baseline.string(), expected)) {
    return "cannot read baseline " + baseline.string();
  }
  const Comparison c = compare_images(actual, expected);
  if (c.same_size && c.matching >= kMatchingFraction) return "";
  const fs::path out = ZELNARY_TEST_OUTPUT_DIR;
  std::error_code ec;
  fs::create_directories(out, ec);
  write_png((out / (name + ".actual.png")).string(), actual, error);
  if (c.same_size) write_png((out / (name + ".diff.png")).string(), c.difference, error);
  return name + ": " +
         (c.same_size ? std::to_string(c.matching * 100.0) + "% of pixels match"
                      : std::string("size differs")) +
         "; actual and difference images in " + out.string();
}

}  // namespace znr::test
