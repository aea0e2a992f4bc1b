#include "encoders.h"

#include <png.h>

#include <cstdio>
#include <cstdlib>
#include <map>
// jpeglib.h needs FILE and size_t declared first.
#include <jpeglib.h>

namespace znr::test {
namespace {

void write_bytes(png_structp png, png_bytep data, size_t size) {
  auto* out = static_cast<Bytes*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + size);
}

void abort_on_error(png_structp, png_const_charp message) {
  std::fprintf(stderr, "test PNG encoder: %s\n", message);
  std::abort();
}

uint8_t channel(uint32_t texel, int shift) {
  return static_cast<uint8_t>(texel >> shift);
}

}  // namespace

Bytes encode_png(const Image& image, PngKind kind) {
  Bytes out;
  png_structp png =
      png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, abort_on_error, nullptr);
  png_infop info = png_create_info_struct(png);
  png_set_write_fn(png, &out, write_bytes, nullptr);
  const auto w = static_cast<png_uint_32>(image.width);
  const auto h = static_cast<png_uint_32>(image.height);

  int color_type = PNG_COLOR_TYPE_RGB_ALPHA;
  int depth = 8;
  size_t sample_bytes = 4;
  switch (kind) {
    case PngKind::kRgb8:
      color_type = PNG_COLOR_TYPE_RGB, sample_bytes = 3;
      break;
    case PngKind::kGray8:
      color_type = PNG_COLOR_TYPE_GRAY, sample_bytes = 1;
      break;
    case PngKind::kGrayAlpha8:
      color_type = PNG_COLOR_TYPE_GRAY_ALPHA, sample_bytes = 2;
      break;
    case PngKind::kPalette8:
      color_type = PNG_COLOR_TYPE_PALETTE, sample_bytes = 1;
      break;
    case PngKind::kRgb16:
      color_type = PNG_COLOR_TYPE_RGB, depth = 16, sample_bytes = 6;
      break;
    default:
      break;
  }
  const int interlace =
      kind == PngKind::kRgba8Interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE;
  png_set_IHDR(png, info, w, h, depth, color_type, interlace, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);

  std::map<uint32_t, uint8_t> palette_index;
  if (kind == PngKind::kPalette8) {
    std::vector<png_color> colors;
    std::vector<png_byte> alphas;
    for (uint32_t t : image.texels) {
      if (palette_index.count(t)) continue;
      palette_index[t] = static_cast<uint8_t>(colors.size());
      colors.push_back({channel(t, 16), channel(t, 8), channel(t, 0)});
      alphas.push_back(channel(t, 24));
    }
    png_set_PLTE(png, info, colors.data(), static_cast<int>(colors.size()));
    png_set_tRNS(png, info, alphas.data(), static_cast<int>(alphas.size()), nullptr);
  }

  std::vector<uint8_t> rows(sample_bytes * w * h);
  for (size_t i = 0; i < image.texels.size(); ++i) {
    const uint32_t t = image.texels[i];
    uint8_t* p = &rows[i * sample_bytes];
    const uint8_t a = channel(t, 24), r = channel(t, 16), g = channel(t, 8), b = channel(t, 0);
    switch (kind) {
      case PngKind::kRgb8:
        p[0] = r, p[1] = g, p[2] = b;
        break;
      case PngKind::kGray8:
        p[0] = r;
        break;
      case PngKind::kGrayAlpha8:
        p[0] = r, p[1] = a;
        break;
      case PngKind::kPalette8:
        p[0] = palette_index[t];
        break;
      case PngKind::kRgb16:  // each 8-bit value v becomes v * 257, which scales back to v
        p[0] = p[1] = r, p[2] = p[3] = g, p[4] = p[5] = b;
        break;
      default:
        p[0] = r, p[1] = g, p[2] = b, p[3] = a;
        break;
    }
  }
  std::vector<png_bytep> row_pointers(h);
  for (size_t y = 0; y < h; ++y) row_pointers[y] = &rows[y * w * sample_bytes];
  png_set_rows(png, info, row_pointers.data());
  png_write_png(png, info, PNG_TRANSFORM_IDENTITY, nullptr);
  png_destroy_write_struct(&png, &info);
  return out;
}

Bytes encode_jpeg(const Image& image, int quality, JpegKind kind) {
  jpeg_compress_struct cinfo{};
  jpeg_error_mgr errors{};
  cinfo.err = jpeg_std_error(&errors);  // the default error exit ends the test run
  jpeg_create_compress(&cinfo);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&cinfo, &buffer, &size);
  const bool gray = kind == JpegKind::kGray;
  const bool cmyk = kind == JpegKind::kCmyk;
  const int components = gray ? 1 : cmyk ? 4 : 3;
  cinfo.image_width = static_cast<JDIMENSION>(image.width);
  cinfo.image_height = static_cast<JDIMENSION>(image.height);
  cinfo.input_components = components;
  cinfo.in_color_space = gray ? JCS_GRAYSCALE : cmyk ? JCS_CMYK : JCS_RGB;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, quality, TRUE);
  if (kind == JpegKind::kProgressive) jpeg_simple_progression(&cinfo);
  jpeg_start_compress(&cinfo, TRUE);
  std::vector<uint8_t> row(static_cast<size_t>(image.width) * 4);
  while (cinfo.next_scanline < cinfo.image_height) {
    const auto y = static_cast<int32_t>(cinfo.next_scanline);
    for (int32_t x = 0; x < image.width; ++x) {
      const uint32_t t = image.at(x, y);
      uint8_t* p = &row[static_cast<size_t>(x) * static_cast<size_t>(components)];
      p[0] = channel(t, 16);
      if (!gray) p[1] = channel(t, 8), p[2] = channel(t, 0);
      if (cmyk) p[3] = 255;
    }
    JSAMPROW rows[1] = {row.data()};
    jpeg_write_scanlines(&cinfo, rows, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  Bytes out(buffer, buffer + size);
  std::free(buffer);
  return out;
}

Image make_image(int32_t width, int32_t height, std::initializer_list<uint32_t> texels) {
  Image image;
  image.width = width;
  image.height = height;
  image.texels.assign(texels);
  return image;
}

void put8(Bytes& b, uint32_t v) {
  b.push_back(static_cast<uint8_t>(v));
}
void put16(Bytes& b, uint32_t v) {
  put8(b, v), put8(b, v >> 8);
}
void put32(Bytes& b, uint32_t v) {
  put16(b, v), put16(b, v >> 16);
}
void append(Bytes& b, std::initializer_list<uint8_t> bytes) {
  b.insert(b.end(), bytes.begin(), bytes.end());
}

Bytes bmp_file(const Bytes& dib, const Bytes& rest, const Bytes& pixels) {
  Bytes b = {'B', 'M'};
  const auto offset = static_cast<uint32_t>(14 + dib.size() + rest.size());
  put32(b, offset + static_cast<uint32_t>(pixels.size()));
  put32(b, 0);
  put32(b, offset);
  b.insert(b.end(), dib.begin(), dib.end());
  b.insert(b.end(), rest.begin(), rest.end());
  b.insert(b.end(), pixels.begin(), pixels.end());
  return b;
}

Bytes bmp_info(int32_t width, int32_t height, uint16_t bits, uint32_t compression,
               uint32_t colors_used) {
  Bytes b;
  put32(b, 40);
  put32(b, static_cast<uint32_t>(width));
  put32(b, static_cast<uint32_t>(height));
  put16(b, 1);
  put16(b, bits);
  put32(b, compression);
  put32(b, 0);  // image size: may be zero
  put32(b, 2835);
  put32(b, 2835);
  put32(b, colors_used);
  put32(b, 0);
  return b;
}

Bytes tga_file(const TgaFields& f, const Bytes& map, const Bytes& pixels) {
  Bytes b;
  put8(b, 2);  // ID length
  put8(b, f.map_type);
  put8(b, f.type);
  put16(b, f.map_first);
  put16(b, f.map_length);
  put8(b, f.map_bits);
  put16(b, 0);
  put16(b, 0);
  put16(b, f.width);
  put16(b, f.height);
  put8(b, f.depth);
  put8(b, f.descriptor);
  append(b, {'i', 'd'});
  b.insert(b.end(), map.begin(), map.end());
  b.insert(b.end(), pixels.begin(), pixels.end());
  return b;
}

}  // namespace znr::test

#include <cstdlib>
#include <sstream>

namespace znr::test {

::testing::AssertionResult same_image(const Image& got, const Image& want, int tolerance) {
  if (got.width != want.width || got.height != want.height ||
      got.texels.size() != want.texels.size()) {
    return ::testing::AssertionFailure() << "size " << got.width << "x" << got.height << ", want "
                                         << want.width << "x" << want.height;
  }
  for (int32_t y = 0; y < want.height; ++y) {
    for (int32_t x = 0; x < want.width; ++x) {
      const uint32_t a = got.at(x, y);
      const uint32_t b = want.at(x, y);
      for (int shift = 0; shift < 32; shift += 8) {
        const int diff =
            std::abs(static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF));
        if (diff > tolerance) {
          std::ostringstream text;
          text << std::hex << "texel (" << std::dec << x << "," << y << ") is 0x" << std::hex << a
               << ", want 0x" << b;
          return ::testing::AssertionFailure() << text.str();
        }
      }
    }
  }
  return ::testing::AssertionSuccess();
}

}  // namespace znr::test
