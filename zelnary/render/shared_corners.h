// The corners of runs of polygons named by their distinct vertices. A mesh's polygons each
// carry their own copies of the vertices they share (a terrain's vertex is copied into six
// triangles): a back end that transforms and lights a run's distinct vertices once, then reads
// each polygon's corners from them, does a fraction of the work per corner and reads a fraction
// of the memory.
#pragma once

#include <cstdint>
#include <span>
#include <utility>
#include <vector>

#include "zelnary/scene/scene.h"

namespace znr {

// One run's part of SharedCorners.
struct CornerRun {
  uint32_t first_distinct = 0, distinct_count = 0;  // SharedCorners::distinct
  uint32_t first_corner = 0;                        // SharedCorners::corners
  uint32_t begin = 0, end = 0;                      // the entries it was built for
  // Whether it has a table for entries [b, e). Without distinct vertices it has none (too many
  // distinct vertices, a polygon out of bounds, or none at all): its polygons are drawn from
  // their own vertices, as are those of a run that has changed since.
  bool usable_for(uint32_t b, uint32_t e) const {
    return distinct_count > 0 && begin == b && end == e;
  }
};

// The most distinct vertices a run may have: corners name them in 16 bits.
constexpr uint32_t kMaxRunVertices = 65535;

struct SharedCorners {
  std::vector<CornerRun> chunks;   // per grid cell (SceneIndex::chunks[0, cell_chunks()))
  std::vector<CornerRun> levels;   // per SceneIndex::levels entry
  std::vector<uint32_t> distinct;  // per distinct vertex of a run: its first copy's index
  // Per polygon of a run, in the run's order, per vertex: its distinct vertex, counted from the
  // run's first_distinct.
  std::vector<uint16_t> corners;

  size_t bytes() const;
};

// Where a run's polygons come from. Copies of a vertex are the same vertex when their position,
// texture coordinates, normal and colour have the same bits.
struct PolygonSource {
  std::span<const Polygon> polygons;
  std::span<const uint32_t> order;   // a run's entries index this, and this polygons; empty:
                                     // they index polygons
  std::span<const Vertex> vertices;  // the polygons index these
  std::span<const Normal> normals;   // parallel to vertices, else ignored
  std::span<const uint32_t> colors;  // parallel to vertices or empty; otherwise no run is usable
};

// The runs of entries [first, second) of from, built `threads` at once: their distinct
// vertices and corners appended to tables, one CornerRun each appended to out.
void add_corner_runs(const PolygonSource& from, std::span<const std::pair<uint32_t, uint32_t>> runs,
                     int32_t threads, SharedCorners& tables, std::vector<CornerRun>& out);

}  // namespace znr
