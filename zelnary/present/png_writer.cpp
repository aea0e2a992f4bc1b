#include "zelnary/present/png_writer.h"

#include <fcntl.h>
#include <png.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "zelnary/core/write_all.h"

namespace znr {

namespace {

// libpng reports errors by longjmp: nothing with a destructor may live between setjmp and the
// calls that can fail, so the rows and the output are made by the caller.
bool encode_rows(const Image& image, const std::vector<png_bytep>& rows, int level,
                 std::vector<uint8_t>& out, std::string& error) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (info == nullptr) {
    png_destroy_write_struct(&png, nullptr);
    error = "out of memory";
    return false;
  }
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    error = "libpng could not encode the picture";
    return false;
  }
  png_set_write_fn(
      png, &out,
      [](png_structp p, png_bytep data, png_size_t n) {
        auto* o = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(p));
        o->insert(o->end(), data, data + n);
      },
      nullptr);
  png_set_IHDR(png, info, static_cast<png_uint_32>(image.width),
               static_cast<png_uint_32>(image.height), 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_set_compression_level(png, level);
  // One filter for every row: trying each of them per row costs more than it saves.
  if (level <= kPngFast) png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_SUB);
  png_write_info(png, info);
  png_write_image(png, const_cast<png_bytepp>(rows.data()));
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return true;
}

std::string cause(const std::string& path, int code) {
  return path + ": " + std::strerror(code);
}

}  // namespace

bool encode_png(const Image& image, std::vector<uint8_t>& out, std::string& error, int level) {
  out.clear();
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
  std::vector<png_bytep> rows(static_cast<size_t>(image.height));
  for (size_t y = 0; y < rows.size(); ++y) rows[y] = rgb.data() + y * 3 * image.width;
  out.reserve(rgb.size() / 4);
  return encode_rows(image, rows, level, out, error);
}

bool write_png(const std::string& path, const Image& image, std::string& error, int level) {
  std::vector<uint8_t> bytes;
  if (!encode_png(image, bytes, error, level)) return false;
  // Written beside the file and moved over it whole: a failure leaves what was there.
  const std::filesystem::path target(path);
  std::string name = ".";
  name += target.filename().string();
  name += ".XXXXXX";
  std::string temp = (target.parent_path() / name).string();
  const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) {
    error = cause(path, errno);
    return false;
  }
  ::fchmod(fd, 0644);
  const bool written = write_all_and_sync(fd, bytes.data(), bytes.size());
  const int code = errno;
  if (::close(fd) != 0 || !written || ::rename(temp.c_str(), path.c_str()) != 0) {
    error = cause(path, written ? errno : code);
    ::unlink(temp.c_str());
    return false;
  }
  return true;
}

}  // namespace znr
