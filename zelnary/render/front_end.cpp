#include "zelnary/render/front_end.h"

#include <algorithm>
#include <cmath>

#include "zelnary/render/chunk_lod.h"
#include "zelnary/simulation/skinning.h"

namespace znr {
namespace {

uint32_t pack(const Color& c) {
  auto ch = [](float f) {
    const float v = std::clamp(std::isfinite(f) ? f : 0.0f, 0.0f, 1.0f);
    return static_cast<uint32_t>(std::lround(v * 255.0f));
  };
  return 0xFF000000u | (ch(c.r) << 16) | (ch(c.g) << 8) | ch(c.b);
}

struct Sphere {
  Vec3 center;
  double radius = -1.0;  // < 0: empty
};

// Grows a to hold b too.
void merge(Sphere& a, const Sphere& b) {
  if (b.radius < 0.0) return;
  const double d = length(b.center - a.center);
  if (a.radius < 0.0 || d + a.radius <= b.radius) {
    a = b;
  } else if (d + b.radius > a.radius) {
    const double r = (d + a.radius + b.radius) * 0.5;
    a.center = a.center + (b.center - a.center) * ((r - a.radius) / d);
    a.radius = r;
  }
}

}  // namespace

void find_visible(const Scene& scene, const SceneIndex& index, std::span<const ObjectPose> poses,
                  const View& view, Frame& out, bool lod) {
  out.scene = &scene;
  out.index = &index;
  out.view = view;
  out.background = pack(scene.background);
  out.chunks.clear();
  out.chunk_level.clear();
  out.objects.clear();
  if (view.width <= 0 || view.height <= 0) return;

  for (size_t c = 0; c < index.chunks.size(); ++c) {
    if (box_visible(view, index.chunks[c].lo, index.chunks[c].hi)) {
      out.chunks.push_back(static_cast<uint32_t>(c));
    }
  }
  auto distance = [&](uint32_t c) {
    const Chunk& k = index.chunks[c];
    return length((k.lo + k.hi) * 0.5 - view.eye);
  };
  std::sort(out.chunks.begin(), out.chunks.end(),
            [&](uint32_t a, uint32_t b) { return distance(a) < distance(b); });
  out.chunk_level.resize(out.chunks.size(), 0);
  if (lod) {
    for (size_t i = 0; i < out.chunks.size(); ++i)
      out.chunk_level[i] = choose_level(index, index.chunks[out.chunks[i]], view);
  }

  // Skinned objects: their bones' maps, and a sphere round their posed skins to cull by.
  out.skins.clear();
  out.skin_matrices.clear();
  std::vector<Sphere> skinned;
  if (!scene.skins.empty()) {
    skinned.assign(index.objects.size(), Sphere{});
    for (const Skin& s : scene.skins) {
      const size_t first = out.skin_matrices.size();
      out.skin_matrices.resize(first + s.bones.size());
      const std::span<Affine> m = std::span(out.skin_matrices).subspan(first);
      skin_matrices(s, poses, m);
      if (s.object < 0 || static_cast<size_t>(s.object) >= skinned.size()) continue;
      Sphere b;
      skin_bounds(s, m, b.center, b.radius);
      merge(skinned[static_cast<size_t>(s.object)], b);
    }
  }

  auto in_view = [&](const ObjectGroup& g, const ObjectPose& pose) {
    const double radius = pose.general ? g.radius * largest_stretch(pose) : g.radius;
    return sphere_visible(view, to_world(pose, g.center), radius);
  };
  const ObjectPose origin{};
  for (size_t o = 0; o < index.objects.size(); ++o) {
    const ObjectGroup& g = index.objects[o];
    if (g.begin == g.end) continue;
    const ObjectPose& pose = o < poses.size() ? poses[o] : origin;
    if (o < skinned.size() && skinned[o].radius >= 0.0) {
      if (!sphere_visible(view, skinned[o].center, skinned[o].radius)) continue;
      out.objects.push_back({static_cast<uint32_t>(o), pose, true});
      uint32_t first = 0;
      for (size_t s = 0; s < scene.skins.size(); ++s) {
        if (scene.skins[s].object == static_cast<int32_t>(o))
          out.skins.push_back({static_cast<uint32_t>(s), first});
        first += static_cast<uint32_t>(scene.skins[s].bones.size());
      }
      continue;
    }
    if (scene.objects[o].shared) continue;  // drawn at its placements only
    if (in_view(g, pose)) out.objects.push_back({static_cast<uint32_t>(o), pose});
  }
  for (size_t i = 0; i < scene.placements.size(); ++i) {
    const uint32_t o = static_cast<uint32_t>(scene.placements[i].object);
    if (o >= index.objects.size() || !scene.objects[o].shared) continue;
    const ObjectPose& pose = index.placement_poses[i];
    if (!in_view(index.objects[o], pose)) continue;
    out.objects.push_back({o, pose});
    if (lod) out.objects.back().level = choose_level(index, index.objects[o], pose, view);
  }
}

}  // namespace znr
