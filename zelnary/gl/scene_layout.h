// How the OpenGL back end lays a scene out in its buffers, worked out on the CPU: every
// polygon a fan of indexed triangles, the static ones grouped by texture and sidedness and,
// inside each group, by the front end's chunk, so that a frame draws each group's visible
// chunks with one call; each moving object's polygons in their own frame, grouped the same
// way, drawn with a model matrix.
#pragma once

#include <cstdint>
#include <vector>

#include "zelnary/render/scene_index.h"
#include "zelnary/scene/scene.h"

namespace znr::gl {

struct PositionUv {
  float x, y, z;  // world, or the object's own frame
  float u, v;
};

// A polygon's light on each side in 8.8 fixed point, as the CPU rasterizer rounds it (at most
// 127.99), one per vertex; the shader multiplies texels by it exactly as the CPU does.
struct VertexLight {
  uint16_t front[4];
  uint16_t back[4];
};
VertexLight encode_light(const PolygonLight& light);

// Triangles of one draw group inside one chunk (or one object).
struct DrawRange {
  uint32_t group = 0;        // see group_of
  uint32_t first_index = 0;  // into the index buffer
  uint32_t index_count = 0;
};

// Textures that can be sampled get groups; the others draw as flat colour, like on the CPU.
// group = (texture + 1) * 2 + one-sided, texture -1 for flat colour.
inline uint32_t group_count(size_t textures) {
  return static_cast<uint32_t>((textures + 1) * 2);
}
inline int32_t group_texture(uint32_t group) {
  return static_cast<int32_t>(group / 2) - 1;
}
inline bool group_one_sided(uint32_t group) {
  return (group & 1u) != 0;
}

struct SceneLayout {
  // The static geometry.
  std::vector<PositionUv> vertices;
  std::vector<VertexLight> light;
  std::vector<uint32_t> indices;
  std::vector<DrawRange> ranges;       // chunk by chunk
  std::vector<uint32_t> chunk_ranges;  // chunk c's ranges: [chunk_ranges[c], chunk_ranges[c + 1])

  // The moving objects' geometry, in their own frames; their light changes every frame.
  std::vector<PositionUv> object_vertices;
  std::vector<uint32_t> object_indices;
  std::vector<uint32_t> object_vertex_polygon;  // the vertex's polygon, counted within its object
  std::vector<DrawRange> object_ranges;         // object by object
  std::vector<uint32_t> object_range_start;     // like chunk_ranges, per object
  std::vector<uint32_t> object_vertex_start;    // object o's vertices start here; one more entry
};

// usable[t]: texture t can be sampled.
void lay_out_scene(const Scene& scene, const SceneIndex& index, const std::vector<bool>& usable,
                   SceneLayout& out);

}  // namespace znr::gl
