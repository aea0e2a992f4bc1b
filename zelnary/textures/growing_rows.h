// The picture a decoder fills, grown a strip of rows at a time as its data reaches them, so
// that a file whose header claims a large picture costs memory in proportion to the rows its
// data really fills before it fails, not to the size it claims.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "zelnary/scene/image.h"

namespace znr::textures {

class GrowingRows {
 public:
  // width x height must have passed check_size. New rows hold `fill`.
  GrowingRows(int32_t width, int32_t height, uint32_t fill = 0);

  // Makes rows [0, count) present (count at most the height) and returns the first texel.
  uint32_t* reach(size_t count);
  // Row y in decode order, with every row before it present.
  uint32_t* row(size_t y) { return reach(y + 1) + y * width_; }
  size_t rows() const { return texels_.size() / width_; }

  // Fills the rows never reached and hands the texels over as a picture.
  Image finish();

 private:
  size_t width_;
  size_t height_;
  uint32_t fill_;
  std::vector<uint32_t> texels_;
};

// Reverses the order of an image's rows, for formats stored bottom row first.
void flip_rows(Image& image);

}  // namespace znr::textures
