// Levels of detail for static chunks: each chunk's polygons simplified once at load into
// coarser triangle meshes whose borders are kept exactly (so neighbouring chunks, drawn at
// different levels, never open a crack), then blocks of neighbouring chunks simplified as one
// past the borders between them; and the choice per frame of the coarsest level whose error,
// seen from the eye, stays under a pixel.
#pragma once

#include <atomic>
#include <cstdint>
#include <utility>
#include <vector>

#include "zelnary/render/scene_index.h"
#include "zelnary/render/view.h"
#include "zelnary/scene/scene.h"

namespace znr {

// Levels are built and chosen unless ZELNARY_NO_LOD is set (to anything but 0), read once.
bool lod_by_default();

// Fills index.levels, lod_polygons, lod_vertices, lod_light, lod_normals, lod_colors and shared,
// and each chunk's (and each shared mesh's) first_level and level_count, from their polygons, and
// appends the blocks over the grid's chunks to index.chunks (with index.children).
// index must hold the chunks and object groups already.
void build_chunk_levels(const Scene& scene, SceneIndex& index);

// The same levels built apart from the index, which is only read (by `threads` threads, the
// caller's included), so that frames may go on drawing full detail from it meanwhile. stop
// set: the build ends soon, with levels for the chunks done so far only.
struct ChunkLevels {
  // first_level, level_count: per chunk, then per shared mesh with polygons, in object order.
  std::vector<std::pair<uint32_t, uint32_t>> chunk_levels;
  std::vector<ChunkLevel> levels;
  std::vector<Polygon> lod_polygons;
  std::vector<Vertex> lod_vertices;
  std::vector<PolygonLight> lod_light;
  std::vector<Normal> lod_normals;
  std::vector<uint32_t> lod_colors;
  SharedCorners shared;  // of the grid's chunks and of levels
  // The blocks over the grid's chunks (SceneIndex::chunks from the cells on), the chunks each
  // stands for (SceneIndex::children), and per grid cell the block that stands for it.
  std::vector<Chunk> blocks;
  std::vector<uint32_t> children;
  std::vector<uint32_t> parents;
};
ChunkLevels build_chunk_levels(const Scene& scene, const SceneIndex& index, int32_t threads,
                               const std::atomic<bool>& stop);
// Puts levels built for index into it.
void apply_chunk_levels(ChunkLevels&& levels, SceneIndex& index);

// The largest projected error, in pixels, a chosen level may show. Three quarters of a pixel
// keep all but about 1% of a rolling terrain's pixels as they are in full detail (those on
// the hills' outlines move by a pixel at most), while the far terrain, where most triangles
// cover no pixel at all, goes coarse: a whole terrain seen from above draws a third fewer
// triangles than at half a pixel. At a whole pixel, 3% of the pixels change.
constexpr double kMaxLevelErrorPixels = 0.75;

// 0 for full detail, else k for index.levels[chunk.first_level + k - 1]: the coarsest level
// whose error, projected at the box's nearest distance to the eye, is within
// kMaxLevelErrorPixels.
uint8_t choose_level(const SceneIndex& index, const Chunk& chunk, const View& view);
// The same for a shared mesh where pose places it, by its sphere's nearest distance, its levels'
// errors stretched as the pose stretches.
uint8_t choose_level(const SceneIndex& index, const ObjectGroup& mesh, const ObjectPose& pose,
                     const View& view);

}  // namespace znr
