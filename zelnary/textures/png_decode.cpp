// PNG through libpng, read from memory row by row into a picture that grows with the rows.
// libpng reports errors by longjmp, so the functions that call setjmp hold only plain C data
// and hand the work to helpers; the picture and the libpng structs are owned by the caller,
// whose frame a longjmp never crosses.
#include <png.h>

#include <bit>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <vector>

#include "zelnary/textures/decoders.h"
#include "zelnary/textures/growing_rows.h"

namespace znr::textures {
namespace {

constexpr uint64_t kMaxDeflateRatio = 1032;

struct PngSource {
  const uint8_t* data;
  size_t size;
  size_t pos;
  bool over_limit;  // libpng names the size limit only in a warning before its error
  char message[160];
};

void on_error(png_structp png, png_const_charp message) {
  auto* source = static_cast<PngSource*>(png_get_error_ptr(png));
  std::snprintf(source->message, sizeof source->message, "%s", message);
  png_longjmp(png, 1);
}

void on_warning(png_structp png, png_const_charp message) {
  if (std::strstr(message, "exceeds user limit") != nullptr) {
    static_cast<PngSource*>(png_get_error_ptr(png))->over_limit = true;
  }
}

void on_read(png_structp png, png_bytep dst, size_t count) {
  auto* source = static_cast<PngSource*>(png_get_io_ptr(png));
  if (source->size - source->pos < count) png_error(png, "truncated");
  std::memcpy(dst, source->data + source->pos, count);
  source->pos += count;
}

bool read_header(png_structp png, png_infop info, uint32_t* width, uint32_t* height) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_read_info(png, info);
  *width = png_get_image_width(png, info);
  *height = png_get_image_height(png, info);
  return true;
}

// Asks libpng for 8-bit texels laid out in memory as a uint32_t 0xAARRGGBB.
void request_argb(png_structp png, png_infop info) {
  const int color_type = png_get_color_type(png, info);
  const bool has_alpha =
      (color_type & PNG_COLOR_MASK_ALPHA) != 0 || png_get_valid(png, info, PNG_INFO_tRNS) != 0;
  png_set_expand(png);
  if (png_get_bit_depth(png, info) == 16) png_set_scale_16(png);
  if ((color_type & PNG_COLOR_MASK_COLOR) == 0) png_set_gray_to_rgb(png);
  if constexpr (std::endian::native == std::endian::little) {
    png_set_bgr(png);
    if (!has_alpha) png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
  } else {
    if (has_alpha)
      png_set_swap_alpha(png);
    else
      png_set_filler(png, 0xFF, PNG_FILLER_BEFORE);
  }
}

// Where decoded rows go. An interlaced file's first six passes are kept packed until the
// seventh, which holds the odd rows, lets each pair of rows be completed in turn; so the
// picture grows with the data in both layouts.
struct PngTarget {
  GrowingRows picture;
  std::vector<uint32_t> passes[6];  // packed, row after row
  std::vector<uint32_t> scratch;    // libpng writes a full row's bytes even for a pass row
};

// Builds even row y from the packed passes that cover it.
void assemble_even_row(const PngTarget& target, uint32_t y, uint32_t width, uint32_t* out) {
  for (int pass = 0; pass < 6; ++pass) {
    const uint32_t first = PNG_PASS_START_ROW(pass);
    const uint32_t step = 1u << PNG_PASS_ROW_SHIFT(pass);
    if (y < first || (y - first) % step != 0) continue;
    const uint32_t cols = PNG_PASS_COLS(width, pass);
    const uint32_t* src = target.passes[pass].data() + size_t{(y - first) / step} * cols;
    const uint32_t x0 = PNG_PASS_START_COL(pass);
    const uint32_t dx = 1u << PNG_PASS_COL_SHIFT(pass);
    for (uint32_t c = 0; c < cols; ++c) out[x0 + c * dx] = src[c];
  }
}

void decode_interlaced(png_structp png, PngTarget* target, uint32_t width, uint32_t height) {
  target->scratch.resize(width);
  for (int pass = 0; pass < 6; ++pass) {
    const uint32_t cols = PNG_PASS_COLS(width, pass);
    const uint32_t rows = PNG_PASS_ROWS(height, pass);
    if (cols == 0 || rows == 0) continue;  // libpng skips empty passes too
    for (uint32_t r = 0; r < rows; ++r) {
      png_read_row(png, reinterpret_cast<png_bytep>(target->scratch.data()), nullptr);
      target->passes[pass].insert(target->passes[pass].end(), target->scratch.begin(),
                                  target->scratch.begin() + cols);
    }
  }
  for (uint32_t r = 0; r < PNG_PASS_ROWS(height, 6); ++r) {
    assemble_even_row(*target, 2 * r, width, target->picture.row(2 * r));
    png_read_row(png, reinterpret_cast<png_bytep>(target->picture.row(2 * r + 1)), nullptr);
  }
  if (height % 2 == 1) {
    assemble_even_row(*target, height - 1, width, target->picture.row(height - 1));
  }
}

void decode_rows(png_structp png, png_infop info, PngTarget* target, uint32_t width,
                 uint32_t height) {
  request_argb(png, info);
  const bool interlaced = png_get_interlace_type(png, info) != PNG_INTERLACE_NONE;
  png_read_update_info(png, info);
  if (png_get_rowbytes(png, info) != static_cast<size_t>(width) * 4) {
    png_error(png, "unexpected row layout");
  }
  if (interlaced) {
    decode_interlaced(png, target, width, height);
  } else {
    for (uint32_t y = 0; y < height; ++y) {
      png_read_row(png, reinterpret_cast<png_bytep>(target->picture.row(y)), nullptr);
    }
  }
  // Reads up to IEND so that a file cut after its pixels is still reported as truncated.
  png_read_end(png, nullptr);
}

bool read_pixels(png_structp png, png_infop info, PngTarget* target, uint32_t width,
                 uint32_t height) {
  if (setjmp(png_jmpbuf(png))) return false;
  decode_rows(png, info, target, width, height);
  return true;
}

struct PngReader {
  png_structp png = nullptr;
  png_infop info = nullptr;
  ~PngReader() { png_destroy_read_struct(&png, info ? &info : nullptr, nullptr); }
};

std::string png_error_text(const PngSource& source) {
  const char* message = source.message;
  if (std::strcmp(message, "truncated") == 0) return "truncated";
  if (source.over_limit || std::strstr(message, "exceeds user limit") != nullptr) {
    return "too large";
  }
  return std::string("bad PNG: ") + message;
}

}  // namespace

bool decode_png(std::span<const uint8_t> bytes, Image& out, std::string& error,
                const TextureBudget& budget) {
  PngSource source{bytes.data(), bytes.size(), 0, false, {}};
  PngReader reader;
  reader.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &source, on_error, on_warning);
  if (reader.png) reader.info = png_create_info_struct(reader.png);
  if (!reader.png || !reader.info) {
    error = "out of memory";
    return false;
  }
  png_set_read_fn(reader.png, &source, on_read);
  png_set_user_limits(reader.png, kMaxTextureSide, kMaxTextureSide);
  png_set_chunk_malloc_max(reader.png, 8u << 20);

  uint32_t width = 0;
  uint32_t height = 0;
  if (!read_header(reader.png, reader.info, &width, &height)) {
    error = png_error_text(source);
    return false;
  }
  if (!check_size(width, height, budget, error)) return false;
  // Deflate turns a byte into at most 1032, so fewer bytes than the rows need at that ratio
  // cannot fill the picture: refused before it is allocated.
  const uint64_t row_bits = uint64_t{width} * png_get_channels(reader.png, reader.info) *
                            png_get_bit_depth(reader.png, reader.info);
  if (uint64_t{height} * ((row_bits + 7) / 8 + 1) > uint64_t{bytes.size()} * kMaxDeflateRatio) {
    error = "truncated";
    return false;
  }
  PngTarget target{GrowingRows(static_cast<int32_t>(width), static_cast<int32_t>(height)), {}, {}};
  if (!read_pixels(reader.png, reader.info, &target, width, height)) {
    error = png_error_text(source);
    return false;
  }
  out = target.picture.finish();
  return true;
}

}  // namespace znr::textures
