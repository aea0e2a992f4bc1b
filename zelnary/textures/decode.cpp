// Format sniffing, the size checks every decoder shares, and the budget.
#include "zelnary/textures/decode.h"

#include <algorithm>
#include <initializer_list>
#include <utility>

#include "zelnary/textures/decoders.h"
#include "zelnary/textures/regular_file.h"

namespace znr {
namespace textures {

bool check_size(int64_t width, int64_t height, const TextureBudget& budget, std::string& error) {
  if (width <= 0 || height <= 0) {
    error = "zero or negative size";
    return false;
  }
  if (width > kMaxTextureSide || height > kMaxTextureSide) {
    error = "too large";
    return false;
  }
  const auto pixels = static_cast<uint64_t>(width) * static_cast<uint64_t>(height);
  if (pixels > kMaxTexturePixels) {
    error = "too large";
    return false;
  }
  if (pixels > budget.pixels_left) {
    error = "texture budget exhausted";
    return false;
  }
  return true;
}

void allocate(Image& out, int32_t width, int32_t height, uint32_t texel) {
  out.width = width;
  out.height = height;
  out.texels.assign(static_cast<size_t>(width) * static_cast<size_t>(height), texel);
}

}  // namespace textures

namespace {

enum class Format { kPng, kJpeg, kBmp, kTga, kUnknown };

bool starts_with(std::span<const uint8_t> bytes, std::initializer_list<uint8_t> magic) {
  if (bytes.size() < magic.size()) return false;
  return std::equal(magic.begin(), magic.end(), bytes.begin());
}

Format sniff(std::span<const uint8_t> bytes, bool tga_by_name) {
  if (starts_with(bytes, {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A})) return Format::kPng;
  if (starts_with(bytes, {0xFF, 0xD8, 0xFF})) return Format::kJpeg;
  if (starts_with(bytes, {'B', 'M'})) return Format::kBmp;
  if (tga_by_name || textures::looks_like_tga(bytes)) return Format::kTga;
  return Format::kUnknown;
}

bool decode_sniffed(std::span<const uint8_t> bytes, Image& out, std::string& error,
                    TextureBudget& budget, bool tga_by_name) {
  out = Image{};
  if (std::chrono::steady_clock::now() > budget.deadline) {
    error = "texture decode time budget exhausted";
    return false;
  }
  Image image;
  bool ok = false;
  switch (sniff(bytes, tga_by_name)) {
    case Format::kPng:
      ok = textures::decode_png(bytes, image, error, budget);
      break;
    case Format::kJpeg:
      ok = textures::decode_jpeg(bytes, image, error, budget);
      break;
    case Format::kBmp:
      ok = textures::decode_bmp(bytes, image, error, budget);
      break;
    case Format::kTga:
      ok = textures::decode_tga(bytes, image, error, budget);
      break;
    case Format::kUnknown:
      error = "not a PNG, JPEG, BMP or TGA file";
      break;
  }
  if (!ok) return false;
  budget.pixels_left -= image.texels.size();
  out = std::move(image);
  return true;
}

bool has_tga_extension(const std::string& path) {
  if (path.size() < 4) return false;
  std::string ext = path.substr(path.size() - 4);
  for (char& c : ext) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  return ext == ".tga";
}

// A texture file can hold at most a full-size image uncompressed plus headers; anything
// larger is refused before it is read.
constexpr uint64_t kMaxFileBytes = kMaxTexturePixels * 4 + (1u << 20);

}  // namespace

bool decode_image(std::span<const uint8_t> bytes, Image& out, std::string& error,
                  TextureBudget& budget) {
  return decode_sniffed(bytes, out, error, budget, false);
}

bool decode_image_file(const std::string& path, Image& out, std::string& error,
                       TextureBudget& budget) {
  out = Image{};
  FileBytes file;
  switch (read_regular_file(path, kMaxFileBytes, file, error)) {
    case FileStatus::Ok:
      break;
    case FileStatus::TooLarge:
      error = "too large";
      return false;
    case FileStatus::Failed:
      return false;
  }
  const std::span<const uint8_t> bytes(reinterpret_cast<const uint8_t*>(file.bytes.get()),
                                       file.size);
  return decode_sniffed(bytes, out, error, budget, has_tga_extension(path));
}

}  // namespace znr
