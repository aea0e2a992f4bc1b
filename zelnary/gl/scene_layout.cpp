#include "zelnary/gl/scene_layout.h"

#include <algorithm>
#include <cmath>

namespace znr::gl {
namespace {

uint16_t encode_channel(float m) {
  const float c = std::isfinite(m) ? std::clamp(m, 0.0f, 127.99f) : 0.0f;
  return static_cast<uint16_t>(c * 256.0f + 0.5f);
}

uint32_t group_of(const Polygon& p, const std::vector<bool>& usable) {
  const bool textured = p.texture >= 0 && static_cast<size_t>(p.texture) < usable.size() &&
                        usable[static_cast<size_t>(p.texture)];
  const uint32_t slot = textured ? static_cast<uint32_t>(p.texture) + 1 : 0;
  return slot * 2 + (p.two_sided ? 0u : 1u);
}

// Appends the polygons order[begin, end) to vertices and indices grouped (stably) by draw
// group, and one range per group that has any. vertex_polygon gets each vertex's position
// within [begin, end) when given.
void append_grouped(const Scene& scene, const SceneIndex& index, uint32_t begin, uint32_t end,
                    const std::vector<bool>& usable, std::vector<PositionUv>& vertices,
                    std::vector<uint32_t>& indices, std::vector<DrawRange>& ranges,
                    std::vector<uint32_t>* vertex_polygon, std::vector<VertexLight>* light,
                    std::vector<uint32_t>& scratch) {
  scratch.clear();
  for (uint32_t k = begin; k < end; ++k) scratch.push_back(k);
  std::stable_sort(scratch.begin(), scratch.end(), [&](uint32_t a, uint32_t b) {
    return group_of(scene.polygons[index.order[a]], usable) <
           group_of(scene.polygons[index.order[b]], usable);
  });
  const size_t own_ranges = ranges.size();  // ranges before these belong to another chunk
  for (const uint32_t k : scratch) {
    const Polygon& p = scene.polygons[index.order[k]];
    const uint32_t group = group_of(p, usable);
    if (ranges.size() == own_ranges || ranges.back().group != group) {
      ranges.push_back({group, static_cast<uint32_t>(indices.size()), 0});
    }
    const auto first = static_cast<uint32_t>(vertices.size());
    for (const Vertex& v : scene.vertices_of(p)) {
      vertices.push_back({static_cast<float>(v.position.x), static_cast<float>(v.position.y),
                          static_cast<float>(v.position.z), v.u, v.v});
      if (vertex_polygon != nullptr) vertex_polygon->push_back(k - begin);
      if (light != nullptr) light->push_back(encode_light(index.light[k]));
    }
    // A convex polygon is a fan around its first vertex, as on the CPU.
    for (uint32_t i = 1; i + 1 < p.vertex_count; ++i) {
      indices.insert(indices.end(), {first, first + i, first + i + 1});
    }
    ranges.back().index_count += 3 * (p.vertex_count - 2);
  }
}

}  // namespace

VertexLight encode_light(const PolygonLight& light) {
  VertexLight v{};
  for (int i = 0; i < 3; ++i) {
    v.front[i] = encode_channel(light.front[i]);
    v.back[i] = encode_channel(light.back[i]);
  }
  return v;
}

void lay_out_scene(const Scene& scene, const SceneIndex& index, const std::vector<bool>& usable,
                   SceneLayout& out) {
  out = SceneLayout{};
  std::vector<uint32_t> scratch;
  out.chunk_ranges.push_back(0);
  for (const Chunk& c : index.chunks) {
    append_grouped(scene, index, c.begin, c.end, usable, out.vertices, out.indices, out.ranges,
                   nullptr, &out.light, scratch);
    out.chunk_ranges.push_back(static_cast<uint32_t>(out.ranges.size()));
  }
  out.object_range_start.push_back(0);
  out.object_vertex_start.push_back(0);
  for (const ObjectGroup& g : index.objects) {
    append_grouped(scene, index, g.begin, g.end, usable, out.object_vertices, out.object_indices,
                   out.object_ranges, &out.object_vertex_polygon, nullptr, scratch);
    out.object_range_start.push_back(static_cast<uint32_t>(out.object_ranges.size()));
    out.object_vertex_start.push_back(static_cast<uint32_t>(out.object_vertices.size()));
  }
}

}  // namespace znr::gl
