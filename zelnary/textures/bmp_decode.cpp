// BMP: 1/4/8-bit palettes, 16/24/32-bit direct colour, RLE4 and RLE8, bit fields.
#include <algorithm>
#include <array>
#include <bit>

#include "zelnary/textures/decoders.h"
#include "zelnary/textures/growing_rows.h"

namespace znr::textures {
namespace {

constexpr uint32_t kRgb = 0;
constexpr uint32_t kRle8 = 1;
constexpr uint32_t kRle4 = 2;
constexpr uint32_t kBitFields = 3;
constexpr uint32_t kAlphaBitFields = 6;
constexpr size_t kFileHeaderSize = 14;
// A byte pair draws at most 255 pixels; this leaves four times that for rows the stream skips
// with end-of-row and move escapes, which cost almost nothing.
constexpr uint64_t kMaxRlePixelsPerByte = 512;

// One colour channel of a direct-colour pixel, told by its mask.
struct Channel {
  uint32_t mask = 0;
  int shift = 0;
  int bits = 0;

  uint32_t to8(uint32_t pixel, uint32_t absent) const {
    if (bits == 0) return absent;
    const uint32_t v = (pixel & mask) >> shift;
    if (bits >= 8) return v >> (bits - 8);
    const uint32_t max = (1u << bits) - 1;
    return (v * 255 + max / 2) / max;
  }
};

struct BmpHeader {
  int64_t width = 0;
  int64_t height = 0;
  bool top_down = false;
  uint32_t bit_depth = 0;
  uint32_t compression = 0;
  uint32_t masks[4] = {};  // red, green, blue, alpha
  bool has_masks = false;
  size_t palette_offset = 0;
  size_t palette_entry_size = 4;
  uint32_t palette_count = 0;
  size_t data_offset = 0;
};

bool fail(std::string& error, std::string message) {
  error = std::move(message);
  return false;
}

bool parse_header(std::span<const uint8_t> b, BmpHeader& h, std::string& error) {
  if (b.size() < kFileHeaderSize + 4) return fail(error, "truncated");
  h.data_offset = read_u32(&b[10]);
  const uint32_t dib_size = read_u32(&b[14]);
  const uint32_t used_colors_field_offset = 46;
  uint32_t colors_used = 0;
  if (dib_size == 12) {
    if (b.size() < kFileHeaderSize + 12) return fail(error, "truncated");
    h.width = read_u16(&b[18]);
    h.height = read_u16(&b[20]);
    h.bit_depth = read_u16(&b[24]);
    h.compression = kRgb;
    h.palette_entry_size = 3;
  } else if (dib_size == 40 || dib_size == 52 || dib_size == 56 || dib_size == 108 ||
             dib_size == 124) {
    if (b.size() < kFileHeaderSize + dib_size) return fail(error, "truncated");
    h.width = static_cast<int32_t>(read_u32(&b[18]));
    const int64_t height = static_cast<int32_t>(read_u32(&b[22]));
    h.top_down = height < 0;
    h.height = height < 0 ? -height : height;
    h.bit_depth = read_u16(&b[28]);
    h.compression = read_u32(&b[30]);
    colors_used = read_u32(&b[used_colors_field_offset]);
  } else {
    return fail(error, "unsupported BMP header size " + std::to_string(dib_size));
  }
  h.palette_offset = kFileHeaderSize + dib_size;

  const uint32_t c = h.compression;
  if (c != kRgb && c != kRle8 && c != kRle4 && c != kBitFields && c != kAlphaBitFields) {
    return fail(error, "unsupported BMP compression " + std::to_string(c));
  }
  const uint32_t d = h.bit_depth;
  if (d != 1 && d != 4 && d != 8 && d != 16 && d != 24 && d != 32) {
    return fail(error, "unsupported BMP bit depth " + std::to_string(d));
  }
  const bool fields = c == kBitFields || c == kAlphaBitFields;
  if ((c == kRle8 && d != 8) || (c == kRle4 && d != 4) || (fields && d != 16 && d != 32)) {
    return fail(error, "unsupported BMP compression " + std::to_string(c) + " at " +
                           std::to_string(d) + " bits");
  }
  if (h.top_down && (c == kRle8 || c == kRle4)) return fail(error, "bad BMP: top-down RLE");

  if (fields) {
    // Masks follow a 40-byte header; larger headers hold them inside.
    const size_t count = c == kAlphaBitFields || dib_size >= 56 ? 4 : 3;
    const size_t at = kFileHeaderSize + 40;
    if (b.size() < at + count * 4) return fail(error, "truncated");
    for (size_t i = 0; i < count; ++i) h.masks[i] = read_u32(&b[at + i * 4]);
    h.has_masks = true;
    if (dib_size == 40) h.palette_offset += count * 4;
  }

  if (d <= 8) {
    const uint32_t full = 1u << d;
    if (colors_used > full) return fail(error, "bad BMP palette size");
    // Without a count, the palette fills the gap before the pixels, up to its full size.
    const size_t gap = h.data_offset > h.palette_offset ? h.data_offset - h.palette_offset : 0;
    const auto fits = static_cast<uint32_t>(std::min<size_t>(full, gap / h.palette_entry_size));
    h.palette_count = colors_used ? colors_used : fits;
    if (h.palette_count == 0) return fail(error, "bad BMP: no palette");
    if (b.size() < h.palette_offset + h.palette_count * h.palette_entry_size) {
      return fail(error, "truncated");
    }
    if (h.data_offset < h.palette_offset + h.palette_count * h.palette_entry_size) {
      return fail(error, "bad BMP data offset");
    }
  } else if (h.data_offset < h.palette_offset) {
    return fail(error, "bad BMP data offset");
  }
  if (h.data_offset > b.size()) return fail(error, "truncated");
  return true;
}

bool make_channels(const BmpHeader& h, std::array<Channel, 4>& channels, std::string& error) {
  uint32_t masks[4] = {};
  if (h.has_masks) {
    std::copy(std::begin(h.masks), std::end(h.masks), masks);
  } else if (h.bit_depth == 16) {
    masks[0] = 0x7C00, masks[1] = 0x03E0, masks[2] = 0x001F;
  } else {
    masks[0] = 0xFF0000, masks[1] = 0xFF00, masks[2] = 0xFF, masks[3] = 0xFF000000;
  }
  const uint64_t limit = h.bit_depth == 16 ? 0xFFFFu : 0xFFFFFFFFu;
  for (int i = 0; i < 4; ++i) {
    Channel& ch = channels[static_cast<size_t>(i)];
    ch.mask = masks[i];
    if (ch.mask == 0) continue;
    ch.shift = std::countr_zero(ch.mask);
    ch.bits = std::popcount(ch.mask);
    const bool contiguous = std::countr_one(ch.mask >> ch.shift) == ch.bits;
    if (!contiguous || ch.mask > limit) return fail(error, "bad BMP bit masks");
  }
  return true;
}

void read_palette(std::span<const uint8_t> b, const BmpHeader& h, std::array<uint32_t, 256>& out) {
  for (uint32_t i = 0; i < h.palette_count; ++i) {
    const uint8_t* p = &b[h.palette_offset + i * h.palette_entry_size];
    out[i] = argb(0xFF, p[2], p[1], p[0]);
  }
}

uint64_t row_stride(const BmpHeader& h) {
  return ((static_cast<uint64_t>(h.width) * h.bit_depth + 31) / 32) * 4;
}

class RowWriter {
 public:
  RowWriter(const BmpHeader& h, Image& image) : h_(h), image_(image) {}
  // File row r (0 = first in the file) as a pointer to the image row it lands on.
  uint32_t* row(int64_t r) const {
    const int64_t y = h_.top_down ? r : h_.height - 1 - r;
    return image_.texels.data() + static_cast<size_t>(y) * static_cast<size_t>(h_.width);
  }

 private:
  const BmpHeader& h_;
  Image& image_;
};

bool decode_uncompressed(std::span<const uint8_t> b, const BmpHeader& h,
                         const std::array<uint32_t, 256>& palette, Image& image,
                         std::string& error) {
  const uint64_t stride = row_stride(h);
  std::array<Channel, 4> channels;
  if (h.bit_depth >= 16 && !make_channels(h, channels, error)) return false;
  // Plain 32-bit files often leave the fourth byte zero: then it is not alpha.
  const bool guess_alpha = h.bit_depth == 32 && !h.has_masks;
  bool any_alpha = false;
  const RowWriter writer(h, image);
  for (int64_t r = 0; r < h.height; ++r) {
    const uint8_t* src = &b[h.data_offset + static_cast<size_t>(r) * stride];
    uint32_t* dst = writer.row(r);
    for (int64_t x = 0; x < h.width; ++x) {
      uint32_t texel = 0;
      if (h.bit_depth <= 8) {
        const auto bit = static_cast<uint64_t>(x) * h.bit_depth;
        const uint32_t index =
            (src[bit / 8] >> (8 - h.bit_depth - bit % 8)) & ((1u << h.bit_depth) - 1);
        if (index >= h.palette_count) return fail(error, "bad palette index");
        texel = palette[index];
      } else if (h.bit_depth == 24) {
        const uint8_t* p = src + x * 3;
        texel = argb(0xFF, p[2], p[1], p[0]);
      } else {
        const uint32_t v = h.bit_depth == 16 ? read_u16(src + x * 2) : read_u32(src + x * 4);
        const uint32_t a = channels[3].to8(v, 0xFF);
        any_alpha = any_alpha || a != 0;
        texel = argb(a, channels[0].to8(v, 0), channels[1].to8(v, 0), channels[2].to8(v, 0));
      }
      dst[x] = texel;
    }
  }
  if (guess_alpha && !any_alpha) {
    for (uint32_t& t : image.texels) t |= 0xFF000000u;
  }
  return true;
}

// Rows are decoded in file order (bottom-up for RLE) into a picture that grows with them and
// are turned over at the end. Pixels the stream skips keep palette entry 0.
bool decode_rle(std::span<const uint8_t> b, const BmpHeader& h,
                const std::array<uint32_t, 256>& palette, GrowingRows& picture,
                std::string& error) {
  const bool four = h.compression == kRle4;
  size_t pos = h.data_offset;
  const size_t end = b.size();
  int64_t x = 0;
  int64_t y = 0;
  // Draws `count` pixels of row y from x on, index i given by index_of(i).
  auto draw = [&](uint32_t count, auto index_of) {
    if (y >= h.height || x + count > h.width) return fail(error, "bad RLE data");
    uint32_t* row = picture.row(static_cast<size_t>(y));
    for (uint32_t i = 0; i < count; ++i) {
      const uint32_t index = index_of(i);
      if (index >= h.palette_count) return fail(error, "bad palette index");
      row[x++] = palette[index];
    }
    return true;
  };
  while (true) {
    if (end - pos < 2) return fail(error, "truncated");  // no end-of-picture mark
    const uint32_t count = b[pos];
    const uint32_t value = b[pos + 1];
    pos += 2;
    if (count > 0) {  // a run of one value, or of two alternating nibbles
      auto index = [&](uint32_t i) {
        return !four ? value : (i % 2 == 0 ? value >> 4 : value & 0x0F);
      };
      if (!draw(count, index)) return false;
    } else if (value == 0) {  // end of row
      x = 0;
      if (++y > h.height) return fail(error, "bad RLE data");
    } else if (value == 1) {  // end of picture
      return true;
    } else if (value == 2) {  // move right and up
      if (end - pos < 2) return fail(error, "truncated");
      x += b[pos];
      y += b[pos + 1];
      pos += 2;
      if (x > h.width || y >= h.height) return fail(error, "bad RLE data");
    } else {  // literal pixels, padded to an even byte count
      const size_t bytes = four ? (value + 1) / 2 : value;
      const size_t padded = (bytes + 1) & ~size_t{1};
      if (end - pos < padded) return fail(error, "truncated");
      const uint8_t* literal = &b[pos];
      auto index = [&](uint32_t i) -> uint32_t {
        const uint8_t byte = literal[four ? i / 2 : i];
        return !four ? byte : (i % 2 == 0 ? byte >> 4 : byte & 0x0F);
      };
      if (!draw(value, index)) return false;
      pos += padded;
    }
  }
}

}  // namespace

bool decode_bmp(std::span<const uint8_t> bytes, Image& out, std::string& error,
                const TextureBudget& budget) {
  BmpHeader h;
  if (!parse_header(bytes, h, error)) return false;
  if (!check_size(h.width, h.height, budget, error)) return false;
  const bool rle = h.compression == kRle8 || h.compression == kRle4;
  if (!rle && bytes.size() - h.data_offset < row_stride(h) * static_cast<uint64_t>(h.height)) {
    return fail(error, "truncated");
  }
  // Run-length data may skip rows, so it has no true minimum size; it is held to at most
  // kMaxRlePixelsPerByte so that a tiny file cannot claim a large share of the budget.
  const uint64_t pixels = static_cast<uint64_t>(h.width) * static_cast<uint64_t>(h.height);
  if (rle && pixels > (bytes.size() - h.data_offset) * kMaxRlePixelsPerByte) {
    return fail(error, "truncated");
  }
  std::array<uint32_t, 256> palette{};
  palette[0] = 0xFF000000u;
  read_palette(bytes, h, palette);
  const auto width = static_cast<int32_t>(h.width);
  const auto height = static_cast<int32_t>(h.height);
  if (rle) {
    GrowingRows picture(width, height, palette[0]);
    if (!decode_rle(bytes, h, palette, picture, error)) return false;
    out = picture.finish();
    flip_rows(out);
    return true;
  }
  // Every byte of an uncompressed picture is present (checked above), so it is sized at once.
  Image image;
  allocate(image, width, height);
  if (!decode_uncompressed(bytes, h, palette, image, error)) return false;
  out = std::move(image);
  return true;
}

}  // namespace znr::textures
