#include "zelnary/render/front_end.h"

#include <algorithm>
#include <cmath>

namespace znr {
namespace {

uint32_t pack(const Color& c) {
  auto ch = [](float f) {
    return static_cast<uint32_t>(
        std::lround(std::clamp(std::isfinite(f) ? f : 0.0f, 0.0f, 1.0f) * 255.0f));
  };
  return 0xFF000000u | (ch(c.r) << 16) | (ch(c.g) << 8) | ch(c.b);
}

// Newell's normal of a polygon: robust when the first vertices happen to be in a line. It
// points to the side from which the vertices run counter-clockwise.
Vec3 polygon_normal(const std::vector<Vec3>& p) {
  Vec3 n;
  for (size_t i = 0; i < p.size(); ++i) {
    const Vec3& a = p[i];
    const Vec3& b = p[(i + 1) % p.size()];
    n.x += (a.y - b.y) * (a.z + b.z);
    n.y += (a.z - b.z) * (a.x + b.x);
    n.z += (a.x - b.x) * (a.y + b.y);
  }
  return n;
}

const Image* usable_texture(const Scene& s, int32_t index) {
  if (index < 0 || static_cast<size_t>(index) >= s.textures.size()) return nullptr;
  const Image& img = s.textures[static_cast<size_t>(index)].image;
  if (img.width <= 0 || img.height <= 0 ||
      img.texels.size() != static_cast<size_t>(img.width) * static_cast<size_t>(img.height)) {
    return nullptr;
  }
  return &img;
}

}  // namespace

void FrontEnd::build(const Scene& scene, const SceneIndex& index, std::span<const ObjectPose> poses,
                     const View& view, DrawList& out) {
  out.clear();
  out.background = pack(scene.background);
  view_ = &view;
  sun_ = normalized(scene.lighting.sun_direction);
  if (view.width <= 0 || view.height <= 0) return;

  // Chunks in view, nearest first, so that the depth test rejects most hidden pixels early.
  visible_chunks_.clear();
  for (size_t c = 0; c < index.chunks.size(); ++c) {
    if (box_visible(view, index.chunks[c].lo, index.chunks[c].hi)) {
      visible_chunks_.push_back(static_cast<uint32_t>(c));
    }
  }
  auto distance = [&](uint32_t c) {
    const Chunk& k = index.chunks[c];
    return length((k.lo + k.hi) * 0.5 - view.eye);
  };
  std::sort(visible_chunks_.begin(), visible_chunks_.end(),
            [&](uint32_t a, uint32_t b) { return distance(a) < distance(b); });
  for (uint32_t c : visible_chunks_) {
    for (uint32_t k = index.chunks[c].begin; k < index.chunks[c].end; ++k) {
      emit(scene, scene.polygons[index.order[k]], nullptr, out);
    }
  }

  const ObjectPose origin{};
  for (size_t o = 0; o < index.objects.size(); ++o) {
    const ObjectGroup& g = index.objects[o];
    if (g.begin == g.end) continue;
    const ObjectPose& pose = o < poses.size() ? poses[o] : origin;
    if (!sphere_visible(view, to_world(pose, g.center), g.radius)) continue;
    for (uint32_t k = g.begin; k < g.end; ++k)
      emit(scene, scene.polygons[index.order[k]], &pose, out);
  }
}

void FrontEnd::emit(const Scene& scene, const Polygon& p, const ObjectPose* pose, DrawList& out) {
  const View& v = *view_;
  if (p.vertex_count < 3 ||
      static_cast<size_t>(p.first_vertex) + p.vertex_count > scene.vertices.size()) {
    return;  // not a polygon; the loader never makes one, but the scene may be hand-built
  }
  const auto src = scene.vertices_of(p);
  world_.clear();
  for (const Vertex& vx : src) world_.push_back(pose ? to_world(*pose, vx.position) : vx.position);

  // Which side the eye sees; one-sided polygons seen from behind are dropped.
  Vec3 n = polygon_normal(world_);
  const bool front = dot(n, v.eye - world_[0]) > 0.0;
  if (!front && !p.two_sided) return;

  // Into camera space, noting which frustum planes each vertex is outside of.
  poly_.clear();
  unsigned all_out = 0x1F, any_out = 0;
  for (size_t i = 0; i < world_.size(); ++i) {
    const Vec3 d = world_[i] - v.eye;
    CamVertex c{dot(d, v.forward), dot(d, v.right), dot(d, v.up), src[i].u, src[i].v};
    unsigned code = 0;
    if (c.x < kNearPlane) code |= 1;
    if (c.y < -c.x * v.tan_h) code |= 2;
    if (c.y > c.x * v.tan_h) code |= 4;
    if (c.z > c.x * v.tan_v) code |= 8;
    if (c.z < -c.x * v.tan_v) code |= 16;
    all_out &= code;
    any_out |= code;
    poly_.push_back(c);
  }
  if (all_out != 0) return;  // wholly outside one plane
  for (int plane = 0; plane < 5 && poly_.size() >= 3; ++plane) {
    if (any_out & (1u << plane)) clip(plane);
  }
  if (poly_.size() < 3) return;

  // Flat light from the side the eye sees: ambient plus the sun by the cosine of its angle.
  n = normalized(front ? n : -n);
  const double lambert = std::max(0.0, dot(n, sun_));
  const Lighting& l = scene.lighting;
  DrawPolygon dp;
  dp.first = static_cast<uint32_t>(out.vertices.size());
  dp.count = static_cast<uint32_t>(poly_.size());
  dp.texture = usable_texture(scene, p.texture);
  dp.mul[0] = static_cast<float>(p.color.r * (l.ambient.r + lambert * l.sun.r));
  dp.mul[1] = static_cast<float>(p.color.g * (l.ambient.g + lambert * l.sun.g));
  dp.mul[2] = static_cast<float>(p.color.b * (l.ambient.b + lambert * l.sun.b));
  for (float& m : dp.mul) m = std::isfinite(m) ? m : 0.0f;

  const double cx = v.width * 0.5, cy = v.height * 0.5;
  for (const CamVertex& c : poly_) {
    const double iw = 1.0 / c.x;
    out.vertices.push_back({static_cast<float>(cx + v.focal * c.y * iw),
                            static_cast<float>(cy - v.focal * c.z * iw), static_cast<float>(iw),
                            static_cast<float>(c.u), static_cast<float>(c.v)});
  }
  out.polygons.push_back(dp);
}

// Sutherland-Hodgman against one frustum plane, in camera space; texture coordinates are
// interpolated along with the position, which is exact there.
void FrontEnd::clip(int plane) {
  const View& v = *view_;
  auto inside = [&](const CamVertex& c) {
    switch (plane) {
      case 0:
        return c.x - kNearPlane;
      case 1:
        return c.y + c.x * v.tan_h;
      case 2:
        return c.x * v.tan_h - c.y;
      case 3:
        return c.x * v.tan_v - c.z;
      default:
        return c.z + c.x * v.tan_v;
    }
  };
  scratch_.clear();
  for (size_t i = 0; i < poly_.size(); ++i) {
    const CamVertex& a = poly_[i];
    const CamVertex& b = poly_[(i + 1) % poly_.size()];
    const double fa = inside(a), fb = inside(b);
    if (fa >= 0.0) scratch_.push_back(a);
    if ((fa >= 0.0) != (fb >= 0.0)) {
      const double t = fa / (fa - fb);
      scratch_.push_back({a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t, a.z + (b.z - a.z) * t,
                          a.u + (b.u - a.u) * t, a.v + (b.v - a.v) * t});
    }
  }
  poly_.swap(scratch_);
}

}  // namespace znr
