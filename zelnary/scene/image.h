// A decoded picture: rows top to bottom, texels 0xAARRGGBB.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace znr {

struct Image {
  int32_t width = 0;
  int32_t height = 0;
  std::vector<uint32_t> texels;  // width * height, row-major, top row first

  uint32_t at(int32_t x, int32_t y) const {
    return texels[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)];
  }
};

}  // namespace znr
