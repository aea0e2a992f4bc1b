#include "zelnary/gl/scene_layout.h"

#include <algorithm>
#include <cmath>
#include <span>

#include "zelnary/render/flat_light.h"
#include "zelnary/render/surface_light.h"

namespace znr::gl {
namespace {

uint16_t encode_channel(float m) {
  const float c = std::isfinite(m) ? std::clamp(m, 0.0f, 127.99f) : 0.0f;
  return static_cast<uint16_t>(c * 256.0f + 0.5f);
}

float finite_or_zero(double x) {
  return std::isfinite(x) ? static_cast<float>(x) : 0.0f;
}

// Polygons picked out by k: the scene's, in the index's order, or a level's simplified
// triangles, with their vertices and flat light.
struct PolygonList {
  const Polygon* polygons = nullptr;
  const uint32_t* order = nullptr;  // polygon k is polygons[order[k]]; nullptr: polygons[k]
  std::span<const Vertex> vertices;
  const PolygonLight* light = nullptr;     // per k; nullptr: none
  const uint8_t* vertex_shaded = nullptr;  // per k; nullptr: none is

  const Polygon& at(uint32_t k) const { return polygons[order != nullptr ? order[k] : k]; }
  uint8_t shaded(uint32_t k) const { return vertex_shaded != nullptr ? vertex_shaded[k] : 0; }
};

PolygonList scene_polygons(const Scene& scene, const SceneIndex& index,
                           const std::vector<uint8_t>& vertex_shaded) {
  return {scene.polygons.data(), index.order.data(), scene.vertices, index.light.data(),
          vertex_shaded.data()};
}

// The polygons [begin, end) of list that shaded selects (1: those with a shade per vertex, 0:
// the flat ones), sorted (stably) by draw group, into scratch.
void sort_by_group(const PolygonList& list, uint32_t begin, uint32_t end, uint8_t shaded,
                   const std::vector<bool>& usable, std::vector<uint32_t>& scratch) {
  scratch.clear();
  for (uint32_t k = begin; k < end; ++k) {
    if (list.shaded(k) == shaded) scratch.push_back(k);
  }
  std::stable_sort(scratch.begin(), scratch.end(), [&](uint32_t a, uint32_t b) {
    return group_of(list.at(a), usable) < group_of(list.at(b), usable);
  });
}

// A convex polygon is a fan around its first vertex, as on the CPU.
void append_fan(uint32_t first, uint32_t count, std::vector<uint32_t>& indices) {
  for (uint32_t i = 1; i + 1 < count; ++i) {
    indices.insert(indices.end(), {first, first + i, first + i + 1});
  }
}

void add_to_range(uint32_t group, size_t own_ranges, uint32_t first_index, uint32_t count,
                  std::vector<DrawRange>& ranges) {
  if (ranges.size() == own_ranges || ranges.back().group != group) {
    ranges.push_back({group, first_index, 0});
  }
  ranges.back().index_count += count;
}

// Appends the flat polygons among list's [begin, end) to vertices and indices grouped by draw
// group, and one range per group that has any. vertex_polygon gets each vertex's position
// within [begin, end) when given, light each vertex's light.
void append_grouped(const PolygonList& list, uint32_t begin, uint32_t end,
                    const std::vector<bool>& usable, std::vector<PositionUv>& vertices,
                    std::vector<uint32_t>& indices, std::vector<DrawRange>& ranges,
                    std::vector<uint32_t>* vertex_polygon, std::vector<VertexLight>* light,
                    std::vector<uint32_t>& scratch) {
  sort_by_group(list, begin, end, 0, usable, scratch);
  const size_t own_ranges = ranges.size();  // ranges before these belong to another chunk
  for (const uint32_t k : scratch) {
    const Polygon& p = list.at(k);
    if (p.vertex_count < 3 ||
        static_cast<size_t>(p.first_vertex) + p.vertex_count > list.vertices.size())
      continue;
    const auto first = static_cast<uint32_t>(vertices.size());
    for (const Vertex& v : list.vertices.subspan(p.first_vertex, p.vertex_count)) {
      vertices.push_back({static_cast<float>(v.position.x), static_cast<float>(v.position.y),
                          static_cast<float>(v.position.z), v.u, v.v});
      if (vertex_polygon != nullptr) vertex_polygon->push_back(k - begin);
      if (light != nullptr) light->push_back(encode_light(list.light[k]));
    }
    add_to_range(group_of(p, usable), own_ranges, static_cast<uint32_t>(indices.size()),
                 3 * (p.vertex_count - 2), ranges);
    append_fan(first, p.vertex_count, indices);
  }
}

// The same for the shaded static polygons among order[begin, end); those that blend each get a
// BlendPolygon instead of a place in a range.
void append_shaded(const Scene& scene, const SceneIndex& index, uint32_t begin, uint32_t end,
                   const std::vector<uint8_t>& vertex_shaded, const std::vector<bool>& usable,
                   ShadedLayout& out, std::vector<uint32_t>& scratch) {
  sort_by_group(scene_polygons(scene, index, vertex_shaded), begin, end, 1, usable, scratch);
  const size_t own_ranges = out.ranges.size();
  for (const uint32_t k : scratch) {
    const Polygon& p = scene.polygons[index.order[k]];
    const auto first = static_cast<uint32_t>(out.vertices.size());
    const ShadingNormals normals(scene, p);
    Vec3 center;
    for (uint32_t i = 0; i < p.vertex_count; ++i) {
      const Vertex& v = scene.vertices[p.first_vertex + i];
      out.vertices.push_back({static_cast<float>(v.position.x), static_cast<float>(v.position.y),
                              static_cast<float>(v.position.z), v.u, v.v});
      out.shade.push_back(shade_attributes(scene, p, p.first_vertex + i, normals(i), nullptr));
      center = center + v.position;
    }
    const auto first_index = static_cast<uint32_t>(out.indices.size());
    const uint32_t count = 3 * (p.vertex_count - 2);
    append_fan(first, p.vertex_count, out.indices);
    if (scene.material_of(p).alpha_mode == AlphaMode::Blend) {
      center = center * (1.0 / p.vertex_count);
      out.blend.push_back({group_of(p, usable),
                           first_index,
                           count,
                           {static_cast<float>(center.x), static_cast<float>(center.y),
                            static_cast<float>(center.z)}});
    } else {
      add_to_range(group_of(p, usable), own_ranges, first_index, count, out.ranges);
    }
  }
}

}  // namespace

uint32_t group_of(const Polygon& p, const std::vector<bool>& usable) {
  const bool textured = p.texture >= 0 && static_cast<size_t>(p.texture) < usable.size() &&
                        usable[static_cast<size_t>(p.texture)];
  const uint32_t slot = textured ? static_cast<uint32_t>(p.texture) + 1 : 0;
  return slot * 2 + (p.two_sided ? 0u : 1u);
}

VertexLight encode_light(const PolygonLight& light) {
  VertexLight v{};
  for (int i = 0; i < 3; ++i) {
    v.front[i] = encode_channel(light.front[i]);
    v.back[i] = encode_channel(light.back[i]);
  }
  return v;
}

ShadingNormals::ShadingNormals(const Scene& scene, const Polygon& p)
    : ShadingNormals(scene, p, scene.vertices, scene.normals) {}

ShadingNormals::ShadingNormals(const Scene& scene, const Polygon& p,
                               std::span<const Vertex> vertices, std::span<const Normal> normals)
    : normals_(normals),
      polygon_(p),
      own_(has_vertex_normals(scene, p) && p.first_vertex + p.vertex_count <= normals.size()) {
  if (!own_) plane_ = normalized(polygon_normal(vertices, p));
}

Vec3 ShadingNormals::operator()(uint32_t k) const {
  return own_ ? unit_normal(normals_[polygon_.first_vertex + k]) : plane_;
}

ShadeAttributes shade_attributes(const Scene& scene, const Polygon& p, size_t i, const Vec3& normal,
                                 const Vec3* to_eye) {
  const Vec3 no_eye;
  const VertexShade front = shade_vertex(scene, p, i, normal, to_eye ? *to_eye : no_eye);
  const VertexShade back = shade_vertex(scene, p, i, -normal, to_eye ? *to_eye : no_eye);
  const Material& m = scene.material_of(p);
  const Color& sun = scene.lighting.sun;
  const double emissive[3] = {m.emissive.r, m.emissive.g, m.emissive.b};
  const double specular[3] = {m.specular.r * sun.r, m.specular.g * sun.g, m.specular.b * sun.b};
  ShadeAttributes a{};
  for (int c = 0; c < 3; ++c) {
    a.mul_front[c] = front.mul[c];
    a.mul_back[c] = back.mul[c];
    // Without the eye, the add is the emissive colour; the shader adds the highlight and
    // saturates the sum, as the shade does.
    a.add_front[c] = to_eye ? front.add[c] : finite_or_zero(emissive[c]);
    a.add_back[c] = to_eye ? back.add[c] : finite_or_zero(emissive[c]);
    a.normal[c] = finite_or_zero(c == 0 ? normal.x : c == 1 ? normal.y : normal.z);
    a.specular[c] = to_eye ? 0.0f : finite_or_zero(specular[c]);
  }
  a.shininess = finite_or_zero(m.shininess);
  a.alpha = front.alpha;
  a.cutoff = m.alpha_mode == AlphaMode::Mask ? finite_or_zero(m.cutoff) : -1.0f;
  return a;
}

void lay_out_scene(const Scene& scene, const SceneIndex& index, const std::vector<bool>& usable,
                   SceneLayout& out) {
  out = SceneLayout{};
  out.vertex_shaded.resize(index.order.size());
  for (size_t k = 0; k < index.order.size(); ++k) {
    out.vertex_shaded[k] = needs_vertex_shade(scene, scene.polygons[index.order[k]]) ? 1 : 0;
  }
  std::vector<uint32_t> scratch;
  out.chunk_ranges.push_back(0);
  out.shaded.chunk_ranges.push_back(0);
  out.shaded.chunk_blend.push_back(0);
  const PolygonList polygons = scene_polygons(scene, index, out.vertex_shaded);
  for (const Chunk& c : index.chunks) {
    append_grouped(polygons, c.begin, c.end, usable, out.vertices, out.indices, out.ranges, nullptr,
                   &out.light, scratch);
    out.chunk_ranges.push_back(static_cast<uint32_t>(out.ranges.size()));
    append_shaded(scene, index, c.begin, c.end, out.vertex_shaded, usable, out.shaded, scratch);
    out.shaded.chunk_ranges.push_back(static_cast<uint32_t>(out.shaded.ranges.size()));
    out.shaded.chunk_blend.push_back(static_cast<uint32_t>(out.shaded.blend.size()));
  }
  out.object_range_start.push_back(0);
  out.object_vertex_start.push_back(0);
  for (const ObjectGroup& g : index.objects) {
    append_grouped(polygons, g.begin, g.end, usable, out.object_vertices, out.object_indices,
                   out.object_ranges, &out.object_vertex_polygon, nullptr, scratch);
    out.object_range_start.push_back(static_cast<uint32_t>(out.object_ranges.size()));
    out.object_vertex_start.push_back(static_cast<uint32_t>(out.object_vertices.size()));
  }
}

void lay_out_levels(const SceneIndex& index, const std::vector<bool>& usable, LevelLayout& out) {
  out = LevelLayout{};
  const PolygonList simplified{index.lod_polygons.data(), nullptr, index.lod_vertices,
                               index.lod_light.data(), nullptr};
  std::vector<uint32_t> scratch;
  out.level_ranges.push_back(0);
  for (const ChunkLevel& l : index.levels) {
    if (!l.shaded) {  // shaded levels are not drawn from the card (see SceneGpu)
      append_grouped(simplified, l.begin, l.end, usable, out.vertices, out.indices, out.ranges,
                     nullptr, &out.light, scratch);
    }
    out.level_ranges.push_back(static_cast<uint32_t>(out.ranges.size()));
  }
}

}  // namespace znr::gl
