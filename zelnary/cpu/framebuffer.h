// The CPU back end's target: a colour buffer (0xFFRRGGBB, top row first) and a depth buffer
// holding 1/w per pixel (larger is nearer; 0 is infinitely far).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace znr {

struct Framebuffer {
  int32_t width = 0;
  int32_t height = 0;
  std::vector<uint32_t> color;
  std::vector<float> depth;

  void resize(int32_t w, int32_t h) {
    width = w > 0 ? w : 0;
    height = h > 0 ? h : 0;
    const size_t n = static_cast<size_t>(width) * static_cast<size_t>(height);
    if (color.capacity() > 2 * n) {  // a much smaller window gives the larger buffers back
      std::vector<uint32_t>().swap(color);
      std::vector<float>().swap(depth);
    }
    color.resize(n);
    depth.resize(n);
  }
  // Clears rows [row_begin, row_end) to the background colour and infinite depth.
  void clear_rows(uint32_t background, int32_t row_begin, int32_t row_end);
  // Clears columns [x0, x1) of rows [y0, y1) the same way; the rectangle must lie inside.
  void clear_rect(uint32_t background, int32_t x0, int32_t y0, int32_t x1, int32_t y1);
  size_t index(int32_t x, int32_t y) const {
    return static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x);
  }
};

}  // namespace znr
