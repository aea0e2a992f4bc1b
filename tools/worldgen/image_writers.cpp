#include "image_writers.h"

#include <png.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

namespace worldgen {
namespace {

using File = std::unique_ptr<FILE, int (*)(FILE*)>;

File open_for_writing(const std::string& path, std::string& error) {
  File f(std::fopen(path.c_str(), "wb"), &std::fclose);
  if (!f) error = path + ": " + std::strerror(errno);
  return f;
}

void put_le(std::vector<uint8_t>& out, uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// Kept free of C++ objects: libpng reports errors by longjmp.
bool encode_png(FILE* f, png_uint_32 width, png_uint_32 height, png_bytepp rows) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  if (!png) return false;
  png_infop info = png_create_info_struct(png);
  if (!info || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_init_io(png, f);
  png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_set_compression_level(png, 9);
  png_write_info(png, info);
  png_write_image(png, rows);
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return true;
}

}  // namespace

bool write_png(const std::string& path, const Pixmap& image, std::string& error) {
  File f = open_for_writing(path, error);
  if (!f) return false;
  std::vector<png_bytep> rows(static_cast<size_t>(image.height));
  for (int y = 0; y < image.height; ++y)
    rows[static_cast<size_t>(y)] = reinterpret_cast<png_bytep>(
        const_cast<Rgb*>(&image.pixels[static_cast<size_t>(y) * static_cast<size_t>(image.width)]));
  if (!encode_png(f.get(), static_cast<png_uint_32>(image.width),
                  static_cast<png_uint_32>(image.height), rows.data()) ||
      std::fflush(f.get()) != 0) {
    error = path + ": cannot write the PNG";
    return false;
  }
  return true;
}

// Rows bottom to top, each padded to four bytes, pixels stored blue, green, red.
bool write_bmp(const std::string& path, const Pixmap& image, std::string& error) {
  const auto row_bytes = static_cast<uint32_t>((image.width * 3 + 3) & ~3);
  const uint32_t data_bytes = row_bytes * static_cast<uint32_t>(image.height);
  std::vector<uint8_t> out;
  out.reserve(54 + data_bytes);
  out.push_back('B');
  out.push_back('M');
  put_le(out, 54 + data_bytes, 4);  // file size
  put_le(out, 0, 4);                // reserved
  put_le(out, 54, 4);               // offset of the pixels
  put_le(out, 40, 4);               // BITMAPINFOHEADER
  put_le(out, static_cast<uint32_t>(image.width), 4);
  put_le(out, static_cast<uint32_t>(image.height), 4);
  put_le(out, 1, 2);   // planes
  put_le(out, 24, 2);  // bits per pixel
  put_le(out, 0, 4);   // no compression
  put_le(out, data_bytes, 4);
  put_le(out, 2835, 4);  // 72 DPI
  put_le(out, 2835, 4);
  put_le(out, 0, 4);  // palette colours
  put_le(out, 0, 4);  // important colours
  for (int y = image.height - 1; y >= 0; --y) {
    for (int x = 0; x < image.width; ++x) {
      const Rgb& p = image.at(x, y);
      out.push_back(p.b);
      out.push_back(p.g);
      out.push_back(p.r);
    }
    for (uint32_t pad = static_cast<uint32_t>(image.width) * 3; pad < row_bytes; ++pad)
      out.push_back(0);
  }
  File f = open_for_writing(path, error);
  if (!f) return false;
  if (std::fwrite(out.data(), 1, out.size(), f.get()) != out.size() || std::fflush(f.get()) != 0) {
    error = path + ": " + std::strerror(errno);
    return false;
  }
  return true;
}

}  // namespace worldgen
