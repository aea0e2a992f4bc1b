// The screen split into small tiles, so that the render threads share the raster work evenly:
// each polygon is copied into the bins of the tiles its bounds touch (so that a tile reads its
// polygons from consecutive memory), and whichever thread is free takes the next tile from a
// shared queue and draws the polygons of its bins, cut to the tile. Polygons keep their order
// within a tile, so the picture does not depend on the number of threads.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "zelnary/cpu/draw_list.h"
#include "zelnary/cpu/framebuffer.h"
#include "zelnary/cpu/occlusion.h"
#include "zelnary/cpu/rasterizer.h"
#include "zelnary/cpu/worker_pool.h"

namespace znr {

// Wide and short: a polygon crossing several tiles is set up again in each, so few columns
// keep that rare, while rows of tiles still give the threads pieces to share (136 at 1920 x
// 1080). Rows of 64 rather than 32 pixels halve the polygons set up twice (about one in eight
// of a large world's at 32), and a tile's colour and depth (128 KiB) still stay in the cache
// while it is drawn.
constexpr int32_t kTileWidth = 256, kTileHeight = 64;  // pixels, powers of two

struct TileGrid {
  int32_t width = 0, height = 0;  // pixels
  int32_t columns = 0, rows = 0;

  TileGrid(int32_t w, int32_t h)
      : width(w),
        height(h),
        columns((w + kTileWidth - 1) / kTileWidth),
        rows((h + kTileHeight - 1) / kTileHeight) {}
  int32_t count() const { return columns * rows; }
  PixelRect rect(int32_t tile) const;
};

// One thread's bins: every polygon binned, copied once with its vertices, and per tile the
// indices of those that touch it. Only the indices are per tile, so the memory a bin keeps
// between frames follows the busiest recent frame (see trim) rather than each tile's busiest
// frame. On a cache line of its own, since every thread writes its own while the others write
// theirs.
struct alignas(64) TileBins {
  DrawList all;  // in batch order
  std::vector<std::vector<uint32_t>> tiles;

  void reset(const TileGrid& grid);  // empties every bin, keeping their memory
  // Empties every bin and gives back the memory that no pass since the last trim needed: a
  // busy view's bins are kept only until quieter views have been drawn for a while, so that
  // memory follows what is being drawn rather than the busiest view ever drawn. True when any
  // memory was given back.
  bool trim();

 private:
  void note_use();  // the passes' high-water marks, taken before the bins are emptied
  size_t peak_vertices_ = 0, peak_polygons_ = 0, peak_shades_ = 0, peak_indices_ = 0;
};

// Copies every polygon of list into the bins of the tiles its screen bounds touch, marked with
// batch. Within one TileBins, batches must be binned in increasing order.
void bin_list(const DrawList& list, uint32_t batch, const TileGrid& grid, TileBins& bins);

// Adds bins.all.polygons[at] (appended there already) to the tiles that its screen bounds
// touch. For polygons emitted straight into the bins, which saves copying them.
void bin_bounds(uint32_t at, float minx, float maxx, float miny, float maxy, const TileGrid& grid,
                TileBins& bins);

// Copies every polygon of list into the bins, each its own batch in the list's order.
void bin_in_order(const DrawList& list, const TileGrid& grid, TileBins& bins);

// Clears every tile to background and draws the polygons of its bins, taken from all bins in
// batch order; tiles go to whichever thread is free, the busiest first. Without a background,
// draws over what is there and leaves tiles without polygons alone. busy_ms, when not empty,
// gets each thread's working time added; coarse, when given, gets the depth of every tile
// drawn (or cleared).
void rasterize_tiles(std::span<const TileBins> bins, const TileGrid& grid,
                     std::optional<uint32_t> background, bool perspective, const SpanLoops& loops,
                     WorkerPool& pool, Framebuffer& fb, std::span<double> busy_ms = {},
                     CoarseDepth* coarse = nullptr);

}  // namespace znr
