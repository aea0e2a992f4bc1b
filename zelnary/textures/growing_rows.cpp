#include "zelnary/textures/growing_rows.h"

#include <algorithm>
#include <utility>

namespace znr::textures {
namespace {

// The first strip; each later one makes room for four times what is held, so growing copies
// about a third of the picture in all (copies cost as much as decoding on a large picture)
// while holding at most four times the rows decoded.
constexpr size_t kFirstStripTexels = 16u << 10;  // 64 KiB
constexpr size_t kGrowth = 4;

}  // namespace

GrowingRows::GrowingRows(int32_t width, int32_t height, uint32_t fill)
    : width_(static_cast<size_t>(width)), height_(static_cast<size_t>(height)), fill_(fill) {}

uint32_t* GrowingRows::reach(size_t count) {
  count = std::min(count, height_);
  const size_t needed = count * width_;
  if (needed > texels_.size()) {
    if (needed > texels_.capacity()) {
      const size_t strip = std::max(kFirstStripTexels, kGrowth * texels_.capacity());
      const size_t strip_rows = std::max<size_t>(1, strip / width_);
      texels_.reserve(std::min(height_, std::max(count, strip_rows)) * width_);
    }
    texels_.resize(needed, fill_);
  }
  return texels_.data();
}

Image GrowingRows::finish() {
  reach(height_);
  Image image;
  image.width = static_cast<int32_t>(width_);
  image.height = static_cast<int32_t>(height_);
  image.texels = std::move(texels_);
  texels_.clear();
  return image;
}

void flip_rows(Image& image) {
  const auto w = static_cast<size_t>(image.width);
  const auto h = static_cast<size_t>(image.height);
  auto row = [&](size_t y) { return image.texels.begin() + static_cast<ptrdiff_t>(y * w); };
  for (size_t y = 0; y < h / 2; ++y) std::swap_ranges(row(y), row(y + 1), row(h - 1 - y));
}

}  // namespace znr::textures
