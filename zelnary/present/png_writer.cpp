#include "zelnary/present/png_writer.h"

#include <png.h>

#include <vector>

namespace znr {

bool write_png(const std::string& path, const Image& image, std::string& error) {
  if (image.width <= 0 || image.height <= 0 ||
      image.texels.size() != static_cast<size_t>(image.width) * static_cast<size_t>(image.height)) {
    error = "empty image";
    return false;
  }
  std::vector<png_byte> rgb(image.texels.size() * 3);
  for (size_t i = 0; i < image.texels.size(); ++i) {
    const uint32_t t = image.texels[i];
    rgb[3 * i] = static_cast<png_byte>(t >> 16);
    rgb[3 * i + 1] = static_cast<png_byte>(t >> 8);
    rgb[3 * i + 2] = static_cast<png_byte>(t);
  }
  png_image png{};
  png.version = PNG_IMAGE_VERSION;
  png.width = static_cast<png_uint_32>(image.width);
  png.height = static_cast<png_uint_32>(image.height);
  png.format = PNG_FORMAT_RGB;
  if (png_image_write_to_file(&png, path.c_str(), 0, rgb.data(), 0, nullptr) == 0) {
    error = path + ": " + png.message;
    png_image_free(&png);
    return false;
  }
  return true;
}

}  // namespace znr
