// TGA: colour-mapped, true-colour and grey images, plain or run-length encoded, with either
// origin. The format has no magic number, so the header is checked for sense instead.
#include <algorithm>
#include <vector>

#include "zelnary/textures/decoders.h"
#include "zelnary/textures/growing_rows.h"

namespace znr::textures {
namespace {

constexpr size_t kHeaderSize = 18;

enum ImageType : uint8_t {
  kMapped = 1,
  kTrueColor = 2,
  kGray = 3,
  kRleMapped = 9,
  kRleTrueColor = 10,
  kRleGray = 11,
};

struct TgaHeader {
  uint8_t id_length;
  uint8_t map_type;
  uint8_t type;
  uint16_t map_first;
  uint16_t map_length;
  uint8_t map_entry_bits;
  uint16_t width;
  uint16_t height;
  uint8_t depth;
  uint8_t descriptor;

  uint8_t base_type() const { return type & 7; }
  bool rle() const { return type >= kRleMapped; }
  bool top_down() const { return (descriptor & 0x20) != 0; }
  bool right_to_left() const { return (descriptor & 0x10) != 0; }
  bool alpha_bit() const { return (descriptor & 0x0F) != 0; }
};

TgaHeader parse(std::span<const uint8_t> b) {
  return TgaHeader{
      b[0],  b[1], b[2], read_u16(&b[3]), read_u16(&b[5]), b[7], read_u16(&b[12]), read_u16(&b[14]),
      b[16], b[17]};
}

bool fail(std::string& error, std::string message) {
  error = std::move(message);
  return false;
}

bool valid_entry_bits(uint8_t bits) {
  return bits == 15 || bits == 16 || bits == 24 || bits == 32;
}

// "" when the header describes something this decoder reads.
std::string header_problem(const TgaHeader& h) {
  const uint8_t t = h.type;
  if (t != kMapped && t != kTrueColor && t != kGray && t != kRleMapped && t != kRleTrueColor &&
      t != kRleGray) {
    return "unsupported TGA type " + std::to_string(t);
  }
  if (h.map_type > 1) return "unsupported TGA colour map type " + std::to_string(h.map_type);
  if (h.map_type == 1 && !valid_entry_bits(h.map_entry_bits)) {
    return "unsupported TGA colour map entry size " + std::to_string(h.map_entry_bits);
  }
  if ((h.descriptor & 0xC0) != 0) return "unsupported TGA interleaving";
  const uint8_t d = h.depth;
  bool depth_ok = false;
  switch (h.base_type()) {
    case kMapped:
      depth_ok = h.map_type == 1 && (d == 8 || d == 16);
      break;
    case kTrueColor:
      depth_ok = valid_entry_bits(d);
      break;
    case kGray:
      depth_ok = d == 8 || d == 16;
      break;
  }
  if (!depth_ok) {
    return "unsupported TGA bit depth " + std::to_string(d) + " for type " + std::to_string(t);
  }
  return {};
}

// Turns the bytes of one stored colour (a pixel or a colour map entry) into a texel.
struct ColorReader {
  uint8_t bits;
  bool gray;
  bool alpha_bit;

  uint32_t operator()(const uint8_t* p) const {
    if (gray) return bits == 8 ? argb(0xFF, p[0], p[0], p[0]) : argb(p[1], p[0], p[0], p[0]);
    switch (bits) {
      case 15:
      case 16: {
        const uint32_t v = read_u16(p);
        const uint32_t a = bits == 16 && alpha_bit && (v & 0x8000) == 0 ? 0 : 0xFF;
        return argb(a, expand5((v >> 10) & 31), expand5((v >> 5) & 31), expand5(v & 31));
      }
      case 24:
        return argb(0xFF, p[2], p[1], p[0]);
      default:
        return argb(p[3], p[2], p[1], p[0]);
    }
  }
};

size_t bytes_for(uint8_t bits) {
  return (bits + 7u) / 8u;
}

// Reads one pixel's stored bytes into a texel, through the colour map when there is one.
class PixelReader {
 public:
  PixelReader(const TgaHeader& h, std::vector<uint32_t> map)
      : h_(h),
        map_(std::move(map)),
        color_{h.depth, h.base_type() == kGray, h.alpha_bit()},
        size_(bytes_for(h.depth)) {}

  size_t size() const { return size_; }

  bool read(const uint8_t* p, uint32_t& texel, std::string& error) const {
    if (h_.base_type() != kMapped) {
      texel = color_(p);
      return true;
    }
    const uint32_t raw = size_ == 1 ? p[0] : read_u16(p);
    if (raw < h_.map_first || raw - h_.map_first >= map_.size()) {
      return fail(error, "bad palette index");
    }
    texel = map_[raw - h_.map_first];
    return true;
  }

 private:
  const TgaHeader& h_;
  std::vector<uint32_t> map_;
  ColorReader color_;
  size_t size_;
};

// Texels in file order into a picture that grows with them; the origin is fixed afterwards.
bool read_texels(std::span<const uint8_t> b, size_t pos, const TgaHeader& h,
                 const PixelReader& reader, GrowingRows& picture, std::string& error) {
  const size_t width = h.width;
  const size_t total = width * h.height;
  const size_t size = reader.size();
  size_t i = 0;
  while (i < total) {
    size_t count = width - i % width;  // plain data: the rest of the row
    bool run = false;
    if (h.rle()) {
      if (pos >= b.size()) return fail(error, "truncated");
      const uint8_t packet = b[pos++];
      count = (packet & 0x7Fu) + 1u;
      if (count > total - i) return fail(error, "bad RLE data");
      run = (packet & 0x80) != 0;
    }
    const size_t needed = run ? size : size * count;
    if (b.size() - pos < needed) return fail(error, "truncated");
    uint32_t* texels = picture.reach((i + count + width - 1) / width) + i;
    if (run) {
      uint32_t texel = 0;
      if (!reader.read(&b[pos], texel, error)) return false;
      std::fill_n(texels, count, texel);
    } else {
      for (size_t k = 0; k < count; ++k) {
        if (!reader.read(&b[pos + k * size], texels[k], error)) return false;
      }
    }
    i += count;
    pos += needed;
  }
  return true;
}

// Turns rows stored in file order into top-row-first, left-to-right order, in place.
void to_top_left_origin(const TgaHeader& h, Image& image) {
  const size_t w = h.width;
  auto row = [&](size_t y) { return image.texels.begin() + static_cast<ptrdiff_t>(y * w); };
  if (h.right_to_left()) {
    for (size_t y = 0; y < h.height; ++y) std::reverse(row(y), row(y + 1));
  }
  if (!h.top_down()) flip_rows(image);
}

}  // namespace

bool looks_like_tga(std::span<const uint8_t> bytes) {
  return bytes.size() >= kHeaderSize && header_problem(parse(bytes)).empty();
}

bool decode_tga(std::span<const uint8_t> b, Image& out, std::string& error,
                const TextureBudget& budget) {
  if (b.size() < kHeaderSize) return fail(error, "truncated");
  const TgaHeader h = parse(b);
  if (std::string problem = header_problem(h); !problem.empty()) return fail(error, problem);
  if (!check_size(h.width, h.height, budget, error)) return false;

  size_t pos = kHeaderSize + h.id_length;
  const size_t map_bytes = h.map_type == 1 ? h.map_length * bytes_for(h.map_entry_bits) : 0;
  if (b.size() < pos + map_bytes) return fail(error, "truncated");
  const size_t pixels = static_cast<size_t>(h.width) * h.height;
  // Run-length packets cover at most 128 pixels each, which bounds how short the data can be.
  const size_t packets = (pixels + 127) / 128;
  const size_t least = h.rle() ? packets * (1 + bytes_for(h.depth)) : pixels * bytes_for(h.depth);
  if (b.size() - pos - map_bytes < least) return fail(error, "truncated");

  std::vector<uint32_t> map;
  bool wide_alpha = h.depth == 32;
  if (h.base_type() == kMapped) {
    const ColorReader entry{h.map_entry_bits, false, h.alpha_bit()};
    map.resize(h.map_length);
    for (size_t i = 0; i < map.size(); ++i)
      map[i] = entry(&b[pos + i * bytes_for(h.map_entry_bits)]);
    wide_alpha = h.map_entry_bits == 32;
  }
  pos += map_bytes;

  const PixelReader reader(h, std::move(map));
  GrowingRows picture(h.width, h.height);
  if (!read_texels(b, pos, h, reader, picture, error)) return false;
  Image image = picture.finish();
  // 32-bit files whose fourth byte is zero throughout carry no alpha at all.
  if (wide_alpha && std::all_of(image.texels.begin(), image.texels.end(),
                                [](uint32_t t) { return (t >> 24) == 0; })) {
    for (uint32_t& t : image.texels) t |= 0xFF000000u;
  }
  to_top_left_origin(h, image);
  out = std::move(image);
  return true;
}

}  // namespace znr::textures
