// Occlusion culling: after the nearest chunks are drawn, the framebuffer's depth is kept per
// block of pixels as the farthest depth in the block, and a chunk whose box is wholly behind
// that depth over every block it could touch is skipped before its polygons are transformed.
// Depth is 1/w (larger is nearer) and a pixel is drawn only when strictly nearer, so a chunk
// whose nearest point is no nearer than the farthest already drawn pixel of each block it
// covers cannot change the picture.
#pragma once

#include <cstdint>
#include <vector>

#include "zelnary/core/vec3.h"
#include "zelnary/cpu/framebuffer.h"
#include "zelnary/cpu/rasterizer.h"
#include "zelnary/render/view.h"

namespace znr {

constexpr int32_t kDepthBlock = 4;  // pixels per side; a divisor of the tile sides

class CoarseDepth {
 public:
  // Sized for a framebuffer; every block as far as can be (nothing hidden).
  void reset(int32_t width, int32_t height);
  // Takes the farthest depth of every block within rect from fb; rect's corner is on the
  // block grid (a tile's rectangle is).
  void update(const Framebuffer& fb, const PixelRect& rect);
  // Marks every block within rect as empty: the background, behind which nothing hides.
  void clear(const PixelRect& rect);
  // True when nothing inside the box [lo, hi] can pass the depth test anywhere on screen.
  bool hides(const View& view, const Vec3& lo, const Vec3& hi) const;
  // True when nothing within the screen bounds [x0, x1] x [y0, y1] (pixel edges; a polygon's
  // projected corners) and no nearer than depth nearest (its corners' largest 1/w) can pass the
  // depth test.
  bool hides_rect(double x0, double x1, double y0, double y1, double nearest) const;
  // The same, pixel by pixel against fb's depth (what the blocks were taken from, or drawn
  // since): finer where a block also holds the far side of an edge. Bounds of more than
  // kMaxPixelTest pixels are left to hides_rect.
  static bool hides_pixels(const Framebuffer& fb, double x0, double x1, double y0, double y1,
                           double nearest);
  static constexpr int64_t kMaxPixelTest = 1024;

 private:
  int32_t width_ = 0, height_ = 0, columns_ = 0, rows_ = 0;
  std::vector<float> farthest_;  // per block, rows top first
};

}  // namespace znr
