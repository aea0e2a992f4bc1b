#include "zelnary/gl/frame_stream.h"

#include <array>
#include <bit>
#include <cmath>
#include <optional>

#include "zelnary/render/surface_light.h"

namespace znr::gl {
namespace {

ShadeAttributes lerp(const ShadeAttributes& a, const ShadeAttributes& b, double t) {
  using Floats = std::array<float, sizeof(ShadeAttributes) / sizeof(float)>;
  const auto fa = std::bit_cast<Floats>(a), fb = std::bit_cast<Floats>(b);
  Floats out;
  for (size_t i = 0; i < out.size(); ++i) out[i] = static_cast<float>(fa[i] + (fb[i] - fa[i]) * t);
  return std::bit_cast<ShadeAttributes>(out);
}

}  // namespace

bool box_inside_view(const View& view, const Vec3& lo, const Vec3& hi) {
  for (int corner = 0; corner < 8; ++corner) {
    const Vec3 p{corner & 1 ? hi.x : lo.x, corner & 2 ? hi.y : lo.y, corner & 4 ? hi.z : lo.z};
    const Vec3 d = p - view.eye;
    if (outside_planes(view, dot(d, view.forward), dot(d, view.right), dot(d, view.up)) != 0) {
      return false;
    }
  }
  return true;
}

void FrameStream::begin(const Scene& scene, const View& view, const std::vector<bool>& usable) {
  scene_ = &scene;
  view_ = view;
  usable_ = &usable;
  const size_t groups = group_count(scene.textures.size());
  flat_by_group_.resize(groups);
  shaded_by_group_.resize(groups);
  for (auto& g : flat_by_group_) g.clear();
  for (auto& g : shaded_by_group_) g.clear();
  blend_indices_.clear();
  for (auto* v : {&flat_vertices, &shaded_vertices}) v->clear();
  for (auto* v : {&flat_indices, &shaded_indices}) v->clear();
  flat_light.clear();
  shade.clear();
  flat_ranges.clear();
  shaded_ranges.clear();
  blend.clear();
}

void FrameStream::add(const Polygon& p, const ObjectPose* pose, const PolygonLight& light,
                      bool cut_to_view) {
  add(p, scene_->vertices, needs_vertex_shade(*scene_, p), pose, light, cut_to_view);
}

void FrameStream::add_simplified(const Polygon& p, std::span<const Vertex> vertices,
                                 const PolygonLight& light, const ObjectPose* pose) {
  add(p, vertices, false, pose, light, true);
}

void FrameStream::add_skinned(const Polygon& p, std::span<const Vertex> vertices,
                              std::span<const Normal> normals, const PolygonLight& light,
                              bool cut_to_view) {
  add(p, vertices, needs_vertex_shade(*scene_, p), nullptr, light, cut_to_view, normals);
}

void FrameStream::add(const Polygon& p, std::span<const Vertex> vertices, bool shaded,
                      const ObjectPose* pose, const PolygonLight& light, bool cut_to_view,
                      std::span<const Normal> normals_in) {
  const Scene& s = *scene_;
  if (p.vertex_count < 3 || static_cast<size_t>(p.first_vertex) + p.vertex_count > vertices.size())
    return;
  std::optional<ShadingNormals> normals;
  if (shaded)
    normals.emplace(s, p, vertices, normals_in.empty() ? std::span(s.normals) : normals_in);
  const Vec3 origin = pose ? to_world(*pose, Vec3{}) : Vec3{};
  poly_.resize(p.vertex_count);
  unsigned all_out = 0x1F, any_out = 0;
  Vec3 center;
  for (uint32_t k = 0; k < p.vertex_count; ++k) {
    const Vertex& src = vertices[p.first_vertex + k];
    const Vec3 world = pose ? to_world(*pose, src.position) : src.position;
    const Vec3 d = world - view_.eye;
    CutVertex& c = poly_[k];
    c.x = dot(d, view_.forward);
    c.y = dot(d, view_.right);
    c.z = dot(d, view_.up);
    c.u = src.u;
    c.v = src.v;
    c.shade = {};
    if (!(std::fabs(c.x) + std::fabs(c.y) + std::fabs(c.z) < 1e30)) return;  // NaN too
    const unsigned code = outside_planes(view_, c.x, c.y, c.z);
    all_out &= code;
    any_out |= code;
    center += world;
    if (shaded) {
      const Vec3 n = !pose           ? (*normals)(k)
                     : pose->general ? normalized(turn_normal(*pose, (*normals)(k)))
                                     : to_world(*pose, (*normals)(k)) - origin;
      const Vec3 to_eye = normalized(view_.eye - world);
      c.shade = shade_attributes(s, p, p.first_vertex + k, n, &to_eye);
    }
  }
  if (all_out != 0) return;  // wholly outside one plane
  const bool was_cut = cut_to_view && any_out != 0;
  if (was_cut) {
    for (int plane = 0; plane < 5 && poly_.size() >= 3; ++plane) {
      if (any_out & (1u << plane)) cut(plane);
    }
    if (poly_.size() < 3) return;
  }

  std::vector<PositionUv>& out = shaded ? shaded_vertices : flat_vertices;
  const auto first = static_cast<uint32_t>(out.size());
  for (size_t k = 0; k < poly_.size(); ++k) {
    const CutVertex& c = poly_[k];
    Vec3 world = view_.eye + view_.forward * c.x + view_.right * c.y + view_.up * c.z;
    if (!was_cut) {  // exactly where the scene has it
      const Vec3& local = vertices[p.first_vertex + k].position;
      world = pose ? to_world(*pose, local) : local;
    }
    out.push_back({static_cast<float>(world.x), static_cast<float>(world.y),
                   static_cast<float>(world.z), static_cast<float>(c.u), static_cast<float>(c.v)});
    if (shaded) {
      shade.push_back(c.shade);
    } else {
      flat_light.push_back(encode_light(light));
    }
  }
  const auto count = static_cast<uint32_t>(poly_.size());
  const uint32_t group = group_of(p, *usable_);
  const bool blends = shaded && s.material_of(p).alpha_mode == AlphaMode::Blend;
  std::vector<uint32_t>& indices =
      blends ? blend_indices_ : (shaded ? shaded_by_group_ : flat_by_group_)[group];
  if (blends) {
    center = center * (1.0 / p.vertex_count);
    blend.push_back({group,
                     static_cast<uint32_t>(indices.size()),
                     3 * (count - 2),
                     {static_cast<float>(center.x), static_cast<float>(center.y),
                      static_cast<float>(center.z)}});
  }
  // Fanned around the first vertex of what is left, as on the CPU.
  for (uint32_t i = 1; i + 1 < count; ++i) {
    indices.insert(indices.end(), {first, first + i, first + i + 1});
  }
}

void FrameStream::gather(std::vector<std::vector<uint32_t>>& by_group,
                         std::vector<uint32_t>& indices, std::vector<DrawRange>& ranges) {
  for (uint32_t g = 0; g < by_group.size(); ++g) {
    if (by_group[g].empty()) continue;
    ranges.push_back(
        {g, static_cast<uint32_t>(indices.size()), static_cast<uint32_t>(by_group[g].size())});
    indices.insert(indices.end(), by_group[g].begin(), by_group[g].end());
  }
}

void FrameStream::finish() {
  gather(flat_by_group_, flat_indices, flat_ranges);
  gather(shaded_by_group_, shaded_indices, shaded_ranges);
  const auto blend_start = static_cast<uint32_t>(shaded_indices.size());
  shaded_indices.insert(shaded_indices.end(), blend_indices_.begin(), blend_indices_.end());
  for (BlendPolygon& b : blend) b.first_index += blend_start;
}

// Sutherland-Hodgman against one frustum plane, in camera space, as the CPU back end cuts;
// texture coordinates and shades are interpolated along with the position.
void FrameStream::cut(int plane) {
  auto inside = [&](const CutVertex& c) { return plane_side(view_, plane, c.x, c.y, c.z); };
  scratch_.clear();
  for (size_t i = 0; i < poly_.size(); ++i) {
    const CutVertex& a = poly_[i];
    const CutVertex& b = poly_[(i + 1) % poly_.size()];
    const double fa = inside(a), fb = inside(b);
    if (fa >= 0.0) scratch_.push_back(a);
    if ((fa >= 0.0) != (fb >= 0.0)) {
      const double t = fa / (fa - fb);
      scratch_.push_back({a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t, a.z + (b.z - a.z) * t,
                          a.u + (b.u - a.u) * t, a.v + (b.v - a.v) * t, lerp(a.shade, b.shade, t)});
    }
  }
  poly_.swap(scratch_);
}

}  // namespace znr::gl
