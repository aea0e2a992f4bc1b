#include "zelnary/textures/growing_rows.h"

#include <algorithm>
#include <utility>

namespace znr::textures {
namespace {

// The first strip; later ones double what is held, so growing costs at most one extra copy of
// the picture in all and never more than twice the rows decoded.
constexpr size_t kFirstStripTexels = 256u << 10;  // 1 MiB

}  // namespace

GrowingRows::GrowingRows(int32_t width, int32_t height, uint32_t fill)
    : width_(static_cast<size_t>(width)), height_(static_cast<size_t>(height)), fill_(fill) {}

uint32_t* GrowingRows::reach(size_t count) {
  count = std::min(count, height_);
  const size_t needed = count * width_;
  if (needed > texels_.size()) {
    if (needed > texels_.capacity()) {
      const size_t strip = std::max(kFirstStripTexels, 2 * texels_.capacity());
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
