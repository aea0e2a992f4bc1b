#include "zelnary/present/png_writer.h"

#include <png.h>

#include <vector>

namespace znr {

namespace {

struct RgbPng {
  png_image png{};
  std::vector<png_byte> rgb;
};

bool prepare(const Image& image, RgbPng& p, std::string& error) {
  if (image.width <= 0 || image.height <= 0 ||
      image.texels.size() != static_cast<size_t>(image.width) * static_cast<size_t>(image.height)) {
    error = "empty image";
    return false;
  }
  p.rgb.resize(image.texels.size() * 3);
  for (size_t i = 0; i < image.texels.size(); ++i) {
    const uint32_t t = image.texels[i];
    p.rgb[3 * i] = static_cast<png_byte>(t >> 16);
    p.rgb[3 * i + 1] = static_cast<png_byte>(t >> 8);
    p.rgb[3 * i + 2] = static_cast<png_byte>(t);
  }
  p.png.version = PNG_IMAGE_VERSION;
  p.png.width = static_cast<png_uint_32>(image.width);
  p.png.height = static_cast<png_uint_32>(image.height);
  p.png.format = PNG_FORMAT_RGB;
  return true;
}

}  // namespace

bool write_png(const std::string& path, const Image& image, std::string& error) {
  RgbPng p;
  if (!prepare(image, p, error)) return false;
  if (png_image_write_to_file(&p.png, path.c_str(), 0, p.rgb.data(), 0, nullptr) == 0) {
    error = path + ": " + p.png.message;
    png_image_free(&p.png);
    return false;
  }
  return true;
}

bool encode_png(const Image& image, std::vector<uint8_t>& out, std::string& error) {
  RgbPng p;
  if (!prepare(image, p, error)) return false;
  png_alloc_size_t size = 0;
  if (png_image_write_to_memory(&p.png, nullptr, &size, 0, p.rgb.data(), 0, nullptr) == 0) {
    error = p.png.message;
    png_image_free(&p.png);
    return false;
  }
  out.resize(size);
  if (png_image_write_to_memory(&p.png, out.data(), &size, 0, p.rgb.data(), 0, nullptr) == 0) {
    error = p.png.message;
    png_image_free(&p.png);
    return false;
  }
  out.resize(size);
  return true;
}

}  // namespace znr
