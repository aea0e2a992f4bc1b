#include "zelnary/cpu/framebuffer.h"

#include <algorithm>

namespace znr {

void Framebuffer::clear_rows(uint32_t background, int32_t row_begin, int32_t row_end) {
  row_begin = std::max(row_begin, 0);
  row_end = std::min(row_end, height);
  if (row_begin >= row_end) return;
  const size_t a = index(0, row_begin), b = index(0, row_end);
  std::fill(color.begin() + static_cast<std::ptrdiff_t>(a),
            color.begin() + static_cast<std::ptrdiff_t>(b), background);
  std::fill(depth.begin() + static_cast<std::ptrdiff_t>(a),
            depth.begin() + static_cast<std::ptrdiff_t>(b), 0.0f);
}

void Framebuffer::clear_rect(uint32_t background, int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
  for (int32_t y = y0; y < y1; ++y) {
    std::fill_n(color.begin() + static_cast<std::ptrdiff_t>(index(x0, y)), x1 - x0, background);
    std::fill_n(depth.begin() + static_cast<std::ptrdiff_t>(index(x0, y)), x1 - x0, 0.0f);
  }
}

}  // namespace znr
