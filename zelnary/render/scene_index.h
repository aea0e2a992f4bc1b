// What the front end keeps about a scene between frames to find the visible polygons fast:
// static polygons grouped into chunks on a grid over the ground plane, each with its
// bounding box, and the moving objects' polygons grouped per object with a bounding sphere
// in the object's own frame, and the flat light of every static polygon. Back ends read it to
// lay out their own copies of the geometry.
#pragma once

#include <cstdint>
#include <vector>

#include "zelnary/core/vec3.h"
#include "zelnary/render/shared_corners.h"
#include "zelnary/scene/scene.h"

namespace znr {

// A polygon's colour times its flat light, per channel (0xFF = 1.0 times the texel), as seen
// from its front (the side from which its vertices run counter-clockwise) and from its back.
struct PolygonLight {
  float front[3] = {1.0f, 1.0f, 1.0f};
  float back[3] = {1.0f, 1.0f, 1.0f};
};

constexpr uint32_t kNoChunk = 0xFFFFFFFFu;

// A chunk is either a cell of the grid (its polygons in order[begin, end)) or, once levels of
// detail are built, a block of neighbouring chunks simplified as one (begin == end: it has
// only levels, and stands for its children where it is far enough off).
struct Chunk {
  Vec3 lo, hi;                  // bounding box of its polygons' vertices
  uint32_t begin = 0, end = 0;  // into SceneIndex::order
  // Its simplified versions, finest first: SceneIndex::levels[first_level, + level_count).
  uint32_t first_level = 0, level_count = 0;
  uint32_t cell_x = 0, cell_y = 0;  // its grid cell; a block's in the grid halved per depth
  uint32_t parent = kNoChunk;       // the block that stands for it, if any
  // A block's chunks: SceneIndex::children[first_child, + child_count); none for a grid cell.
  uint32_t first_child = 0, child_count = 0;
};

// A chunk simplified: triangles in SceneIndex::lod_polygons[begin, end), with their light in
// lod_light and their vertices in lod_vertices; its border is the chunk's own, vertex for
// vertex.
struct ChunkLevel {
  uint32_t begin = 0, end = 0;
  double error = 0.0;  // world units: how far its surface may lie from the chunk's
  // Some of its triangles are lit per vertex, from lod_normals and lod_colors, as the chunk's
  // own polygons are (highlights, glow, vertex colours).
  bool shaded = false;
};

struct ObjectGroup {
  Vec3 center;  // bounding sphere, object frame
  double radius = 0.0;
  Vec3 lo, hi;                  // bounding box, object frame
  uint32_t begin = 0, end = 0;  // into SceneIndex::order
  // A shared mesh's levels of detail, like a chunk's (in its own frame, lit as placed).
  uint32_t first_level = 0, level_count = 0;
};

struct SceneIndex {
  std::vector<uint32_t> order;       // polygon indices, chunk by chunk, then object by object
  std::vector<Chunk> chunks;         // the grid's cells, then the blocks over them
  std::vector<uint32_t> children;    // the blocks' chunks (Chunk::first_child)
  std::vector<ObjectGroup> objects;  // one per Scene::objects entry
  std::vector<ObjectPose> placement_poses;  // parallel to Scene::placements
  // The static polygons' light, parallel to order[0, light.size()) (the chunks' part); zero
  // for those lit per vertex (needs_vertex_shade), which back ends light themselves.
  // Objects turn, so back ends find theirs as they draw them (placed_light in flat_light.h).
  std::vector<PolygonLight> light;
  // Each scene texture's mip levels below its full size (zelnary/scene/mip_levels.h), built
  // with the index; empty for a texture without levels.
  std::vector<std::vector<Image>> mip_levels;
  // The chunks' and the shared meshes' levels of detail (see chunk_lod.h); empty with
  // ZELNARY_NO_LOD. lod_light holds the chunks' levels' light; the meshes' follows their pose.
  std::vector<ChunkLevel> levels;
  std::vector<Polygon> lod_polygons;
  std::vector<Vertex> lod_vertices;
  std::vector<PolygonLight> lod_light;
  // Parallel to lod_vertices where some level is shaded, else empty: the normals (none where
  // the triangle is lit by its plane) and colours that shaded levels' vertices carry.
  std::vector<Normal> lod_normals;
  std::vector<uint32_t> lod_colors;
  // The grid's chunks' and the levels' corners by their distinct vertices, built with the
  // levels; empty before them.
  SharedCorners shared;
  // How large the scene is: the longest side of the box around the static geometry and the
  // placed meshes, or the widest object if that is larger. 0 for an empty scene.
  double size = 0.0;

  // The scene it was built for; checked before reuse.
  const Scene* scene = nullptr;
  const Polygon* polygons = nullptr;
  const Vertex* vertices = nullptr;
  size_t polygon_count = 0, vertex_count = 0, object_count = 0;

  bool built_for(const Scene& s) const;
  // How many of chunks are grid cells: those before the first block.
  size_t cell_chunks() const;
};

// About kPolygonsPerChunk polygons per chunk on average. A chunk's simplified levels keep
// every vertex of its border, so a smaller chunk bottoms out at a larger share of its
// polygons; 256 draws a tenth fewer polygons than 128 over a large terrain seen whole, while
// still small enough for occlusion culling to find hidden chunks behind a near hill.
constexpr size_t kPolygonsPerChunk = 256;
// with_levels: the chunks' levels of detail too (chunk_lod.h); the renderer builds them after
// its first frame instead.
void build_scene_index(const Scene& scene, SceneIndex& out, bool with_levels = true);

}  // namespace znr
