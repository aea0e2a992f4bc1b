#include "zelnary/cpu/tiles.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <numeric>

namespace znr {
namespace {

// Tiles cover whole depth blocks, so that each tile keeps its own blocks up to date.
static_assert(kTileWidth % kDepthBlock == 0 && kTileHeight % kDepthBlock == 0);

// The first and last tile columns (or rows) holding a pixel whose centre (k + 1/2) may lie in
// [lo, hi], with a margin of a little more than the rasterizer's snapping (1/512 pixel), so
// that a polygon goes only to tiles where it may draw; first > last where no centre can lie
// between them. lo and hi are finite; on screens up to 2^15 pixels across, rounding in float
// moves them by at most 1/256 pixel, within what the margin leaves over the snapping.
void tile_range(float lo, float hi, int32_t size, int32_t tile_size, int32_t& first,
                int32_t& last) {
  constexpr float kMargin = 1.0f / 128.0f;
  const float a = std::min(lo - 0.5f - kMargin, static_cast<float>(size));
  const float b = std::min(hi - 0.5f + kMargin, static_cast<float>(size - 1));
  int32_t p0 = 0;  // ceil(a), at least 0
  if (a > 0.0f) {
    const auto t = static_cast<int32_t>(a);
    p0 = t + (static_cast<float>(t) < a ? 1 : 0);
  }
  const int32_t p1 = b >= 0.0f ? static_cast<int32_t>(b) : -1;  // floor(b)
  first = p0 / tile_size;
  last = p0 <= p1 ? p1 / tile_size : first - 1;
}

}  // namespace

PixelRect TileGrid::rect(int32_t tile) const {
  const int32_t x = (tile % columns) * kTileWidth, y = (tile / columns) * kTileHeight;
  return {x, y, std::min(x + kTileWidth, width), std::min(y + kTileHeight, height)};
}

namespace {

// Bins holding less than this are never trimmed: giving it back would not be worth growing
// it again.
constexpr size_t kTrimFloorBytes = 256 * 1024;

// Replaces v's storage with room for peak elements when it holds more than twice that;
// v's contents are dropped.
template <typename T>
bool shrink_to_peak(std::vector<T>& v, size_t peak) {
  v.clear();
  if (v.capacity() * sizeof(T) < kTrimFloorBytes || v.capacity() <= 2 * peak) return false;
  std::vector<T> smaller;
  smaller.reserve(peak);
  v.swap(smaller);
  return true;
}

}  // namespace

void TileBins::note_use() {
  peak_vertices_ = std::max(peak_vertices_, all.vertices.size());
  peak_polygons_ = std::max(peak_polygons_, all.polygons.size());
  peak_shades_ = std::max(peak_shades_, all.shades.size());
  size_t indices = 0;
  for (const std::vector<uint32_t>& t : tiles) indices += t.size();
  peak_indices_ = std::max(peak_indices_, indices);
}

bool TileBins::trim() {
  note_use();
  bool gave = shrink_to_peak(all.vertices, peak_vertices_);
  gave = shrink_to_peak(all.polygons, peak_polygons_) || gave;
  gave = shrink_to_peak(all.shades, peak_shades_) || gave;
  size_t held = 0;
  for (const std::vector<uint32_t>& t : tiles) held += t.capacity();
  for (std::vector<uint32_t>& t : tiles) t.clear();
  if (held * sizeof(uint32_t) >= kTrimFloorBytes && held > 2 * peak_indices_) {
    for (std::vector<uint32_t>& t : tiles) std::vector<uint32_t>().swap(t);
    gave = true;
  }
  peak_vertices_ = peak_polygons_ = peak_shades_ = peak_indices_ = 0;
  return gave;
}

void TileBins::reset(const TileGrid& grid) {
  note_use();
  all.clear();
  tiles.resize(static_cast<size_t>(grid.count()));
  for (std::vector<uint32_t>& t : tiles) t.clear();
}

namespace {

void bin_polygon(const DrawList& list, const DrawPolygon& poly, uint32_t batch,
                 const TileGrid& grid, TileBins& bins) {
  if (poly.count < 3 || poly.first + poly.count > list.vertices.size()) return;
  if (poly.shade != kNoShade &&
      (poly.shade > list.shades.size() || list.shades.size() - poly.shade < poly.count)) {
    return;
  }
  float minx = INFINITY, maxx = -INFINITY, miny = INFINITY, maxy = -INFINITY;
  bool finite = true;
  for (uint32_t i = 0; i < poly.count; ++i) {
    const DrawVertex& v = list.vertices[poly.first + i];
    finite = finite && std::isfinite(v.x) && std::isfinite(v.y);
    minx = std::min(minx, v.x);
    maxx = std::max(maxx, v.x);
    miny = std::min(miny, v.y);
    maxy = std::max(maxy, v.y);
  }
  if (!finite) return;  // no triangle of it survives set-up's checks whole; drop it
  DrawList& all = bins.all;
  all.textures = list.textures;
  all.mip_levels = list.mip_levels;
  const auto at = static_cast<uint32_t>(all.polygons.size());
  all.append(list, poly, batch);
  bin_bounds(at, minx, maxx, miny, maxy, grid, bins);
}

}  // namespace

void bin_bounds(uint32_t at, float minx, float maxx, float miny, float maxy, const TileGrid& grid,
                TileBins& bins) {
  int32_t tx0, tx1, ty0, ty1;
  tile_range(minx, maxx, grid.width, kTileWidth, tx0, tx1);
  tile_range(miny, maxy, grid.height, kTileHeight, ty0, ty1);
  if (tx0 == tx1 && ty0 == ty1) {  // most polygons of a large world
    bins.tiles[static_cast<size_t>(ty0 * grid.columns + tx0)].push_back(at);
    return;
  }
  for (int32_t ty = ty0; ty <= ty1; ++ty) {
    for (int32_t tx = tx0; tx <= tx1; ++tx)
      bins.tiles[static_cast<size_t>(ty * grid.columns + tx)].push_back(at);
  }
}

void bin_list(const DrawList& list, uint32_t batch, const TileGrid& grid, TileBins& bins) {
  if (grid.count() == 0) return;
  for (const DrawPolygon& poly : list.polygons) bin_polygon(list, poly, batch, grid, bins);
}

void bin_in_order(const DrawList& list, const TileGrid& grid, TileBins& bins) {
  if (grid.count() == 0) return;
  for (uint32_t p = 0; p < list.polygons.size(); ++p)
    bin_polygon(list, list.polygons[p], p, grid, bins);
}

namespace {

// Asks for the vertices and shades of poly to be brought into the cache.
void prefetch_corners(const DrawList& list, const DrawPolygon& poly) {
  if (poly.count == 0) return;
  if (poly.first + poly.count <= list.vertices.size()) {
    __builtin_prefetch(&list.vertices[poly.first]);
    __builtin_prefetch(&list.vertices[poly.first + poly.count - 1]);
  }
  if (poly.shade != kNoShade && poly.shade + poly.count <= list.shades.size()) {
    __builtin_prefetch(&list.shades[poly.shade]);
    __builtin_prefetch(&list.shades[poly.shade + poly.count - 1]);
  }
}

}  // namespace

void rasterize_tiles(std::span<const TileBins> bins, const TileGrid& grid,
                     std::optional<uint32_t> background, bool perspective, const SpanLoops& loops,
                     WorkerPool& pool, Framebuffer& fb, std::span<double> busy_ms,
                     CoarseDepth* coarse) {
  // The fullest tiles first, so that no thread is left with a big one at the end.
  std::vector<int32_t> order(static_cast<size_t>(grid.count()));
  std::vector<size_t> load(order.size(), 0);
  for (const TileBins& b : bins) {
    for (size_t t = 0; t < b.tiles.size() && t < load.size(); ++t) {
      load[t] += b.tiles[t].size();
    }
  }
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(), [&](int32_t a, int32_t b) {
    return load[static_cast<size_t>(a)] > load[static_cast<size_t>(b)];
  });

  std::atomic<size_t> next{0};
  pool.run([&](int32_t thread) {
    const auto start = std::chrono::steady_clock::now();
    std::vector<size_t> at(bins.size());
    for (size_t k; (k = next.fetch_add(1, std::memory_order_relaxed)) < order.size();) {
      const auto tile = static_cast<size_t>(order[k]);
      const PixelRect clip = grid.rect(order[k]);
      if (load[tile] == 0) {  // the fullest first: only empty tiles are left
        if (!background) break;
        fb.clear_rect(*background, clip.x0, clip.y0, clip.x1, clip.y1);
        if (coarse != nullptr) coarse->clear(clip);
        continue;
      }
      if (background) fb.clear_rect(*background, clip.x0, clip.y0, clip.x1, clip.y1);
      // Each thread's bin is in batch order and no batch is in two bins: merge by batch.
      std::fill(at.begin(), at.end(), 0);
      for (;;) {
        size_t pick = bins.size();
        uint32_t first = UINT32_MAX;
        for (size_t b = 0; b < bins.size(); ++b) {
          const std::vector<uint32_t>& mine = bins[b].tiles[tile];
          if (at[b] < mine.size() && bins[b].all.polygons[mine[at[b]]].batch <= first) {
            first = bins[b].all.polygons[mine[at[b]]].batch;
            pick = b;
          }
        }
        if (pick == bins.size()) break;
        const DrawList& all = bins[pick].all;
        const std::vector<uint32_t>& mine = bins[pick].tiles[tile];
        for (; at[pick] < mine.size() && all.polygons[mine[at[pick]]].batch == first; ++at[pick]) {
          // The polygons' records and then their vertices and shades asked for ahead: a tile's
          // polygons lie scattered over the lists, mostly no longer in the cache.
          const size_t i = at[pick];
          if (i + 8 < mine.size()) __builtin_prefetch(&all.polygons[mine[i + 8]]);
          if (i + 4 < mine.size()) prefetch_corners(all, all.polygons[mine[i + 4]]);
          rasterize_polygon(all, all.polygons[mine[i]], perspective, loops, clip, fb);
        }
      }
      if (coarse != nullptr) coarse->update(fb, clip);
    }
    if (static_cast<size_t>(thread) < busy_ms.size()) {
      busy_ms[static_cast<size_t>(thread)] +=
          std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
              .count();
    }
  });
}

}  // namespace znr
