// How the OpenGL back end lays a scene out in its buffers, worked out on the CPU: every
// polygon a fan of indexed triangles, the static ones grouped by texture and sidedness and,
// inside each group, by the front end's chunk, so that a frame draws each group's visible
// chunks with one call; each moving object's polygons in their own frame, grouped the same
// way, drawn with a model matrix.
#pragma once

#include <cstdint>
#include <span>
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

// The light of one vertex of a polygon drawn with a shade per vertex (surface_light.h), for
// both sides: the texel times mul plus add, per channel. The highlight is either worked out
// here (specular zero, add complete) or by the vertex shader from the normal, the eye and
// specular (the material's times the sun's) with the shininess, and added to add there.
struct ShadeAttributes {
  float mul_front[3], mul_back[3];
  float add_front[3], add_back[3];
  float normal[3];  // unit, world orientation, of the front side
  float specular[3];
  float shininess;
  float alpha;
  float cutoff;  // pixels with less alpha are cut out; below 0 for all but AlphaMode::Mask
};

// The shade of vertex i (into Scene::vertices) of p, whose front normal (unit, world
// orientation) is normal. to_eye: unit, from the vertex to the eye, for the highlight worked
// out here; nullptr leaves the highlight to the shader.
ShadeAttributes shade_attributes(const Scene& scene, const Polygon& p, size_t i, const Vec3& normal,
                                 const Vec3* to_eye);

// The front normals of a shaded polygon's vertices, unit, in its own frame: each vertex's own
// where all of them have one, else the polygon's plane.
class ShadingNormals {
 public:
  ShadingNormals(const Scene& scene, const Polygon& p);
  // Over other vertices and normals indexed like the scene's (a skin's posed ones).
  ShadingNormals(const Scene& scene, const Polygon& p, std::span<const Vertex> vertices,
                 std::span<const Normal> normals);
  Vec3 operator()(uint32_t k) const;  // k: the vertex's place in the polygon

 private:
  std::span<const Normal> normals_;
  const Polygon& polygon_;
  bool own_;
  Vec3 plane_;
};

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

// A polygon mixed over what is behind it: drawn on its own, far to near.
struct BlendPolygon {
  uint32_t group = 0;
  uint32_t first_index = 0;
  uint32_t index_count = 0;
  float center[3] = {};  // the mean of its vertices, world
};

// The static polygons drawn with a shade per vertex, laid out like the flat ones; those that
// blend apart, chunk by chunk, to be sorted each frame.
struct ShadedLayout {
  std::vector<PositionUv> vertices;
  std::vector<ShadeAttributes> shade;
  std::vector<uint32_t> indices;
  std::vector<DrawRange> ranges;       // opaque and cut-out, chunk by chunk
  std::vector<uint32_t> chunk_ranges;  // like SceneLayout::chunk_ranges
  std::vector<BlendPolygon> blend;
  std::vector<uint32_t> chunk_blend;  // chunk c's: [chunk_blend[c], chunk_blend[c + 1])
};

// The draw group of a polygon.
uint32_t group_of(const Polygon& p, const std::vector<bool>& usable);

struct SceneLayout {
  // The static geometry with flat light.
  std::vector<PositionUv> vertices;
  std::vector<VertexLight> light;
  std::vector<uint32_t> indices;
  std::vector<DrawRange> ranges;       // chunk by chunk
  std::vector<uint32_t> chunk_ranges;  // chunk c's ranges: [chunk_ranges[c], chunk_ranges[c + 1])

  ShadedLayout shaded;
  // Parallel to SceneIndex::order: 1 where the polygon is drawn with a shade per vertex. Those
  // of moving objects are left out of the object meshes and made afresh every frame.
  std::vector<uint8_t> vertex_shaded;

  // The moving objects' flat geometry, in their own frames; their light changes every frame.
  std::vector<PositionUv> object_vertices;
  std::vector<uint32_t> object_indices;
  std::vector<uint32_t> object_vertex_polygon;  // the vertex's polygon, counted within its object
  std::vector<DrawRange> object_ranges;         // object by object
  std::vector<uint32_t> object_range_start;     // like chunk_ranges, per object
  std::vector<uint32_t> object_vertex_start;    // object o's vertices start here; one more entry
};

// The chunks' levels of detail (SceneIndex::levels), flat-lit like the static geometry and laid
// out the same way, level by level instead of chunk by chunk.
struct LevelLayout {
  std::vector<PositionUv> vertices;
  std::vector<VertexLight> light;
  std::vector<uint32_t> indices;
  std::vector<DrawRange> ranges;       // level by level
  std::vector<uint32_t> level_ranges;  // level l's ranges: [level_ranges[l], level_ranges[l + 1])
};

// usable[t]: texture t can be sampled.
void lay_out_levels(const SceneIndex& index, const std::vector<bool>& usable, LevelLayout& out);

// usable[t]: texture t can be sampled.
void lay_out_scene(const Scene& scene, const SceneIndex& index, const std::vector<bool>& usable,
                   SceneLayout& out);

}  // namespace znr::gl
