#include "zelnary/render/front_end.h"

#include <algorithm>
#include <cmath>

#include "zelnary/render/chunk_lod.h"
#include "zelnary/simulation/morphing.h"
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
                  const View& view, Frame& out, bool lod, std::span<const float> morph_weights) {
  out.scene = &scene;
  out.index = &index;
  out.view = view;
  out.background = pack(scene.background);
  out.chunks.clear();
  out.chunk_level.clear();
  out.objects.clear();
  if (view.width <= 0 || view.height <= 0) return;

  // A block of chunks far enough off to be drawn at its level stands for them all; otherwise
  // its chunks are looked at one by one. Without levels, only the grid's chunks are drawn.
  // Looked at in the index's order (last pushed first); a block's parts come before it.
  std::vector<uint32_t> look;
  for (size_t c = index.chunks.size(); c-- > 0;) {
    const Chunk& k = index.chunks[c];
    if (lod ? k.parent == kNoChunk : k.child_count == 0) look.push_back(static_cast<uint32_t>(c));
  }
  while (!look.empty()) {
    const uint32_t c = look.back();
    look.pop_back();
    const Chunk& k = index.chunks[c];
    if (!box_visible(view, k.lo, k.hi)) continue;
    if (k.child_count == 0 || choose_level(index, k, view) > 0) {
      out.chunks.push_back(c);
      continue;
    }
    for (uint32_t i = k.first_child + k.child_count; i-- > k.first_child;)
      if (i < index.children.size() && index.children[i] < c) look.push_back(index.children[i]);
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

  // Skinned and morphed objects: their bones' maps, and a sphere round their posed shapes to
  // cull by. A morph under a skin moves each vertex by at most its growth, which a bone's map
  // stretches by at most its largest stretch.
  out.skins.clear();
  out.skin_matrices.clear();
  out.morphs.clear();
  out.morph_weights.clear();
  std::vector<Sphere> deformed;
  std::vector<int32_t> skin_morph(scene.skins.size(), -1);
  std::vector<bool> morph_skinned(scene.morphs.size(), false);
  if (!scene.skins.empty() || !scene.morphs.empty()) {
    deformed.assign(index.objects.size(), Sphere{});
    out.morph_weights = default_morph_weights(scene);
    if (morph_weights.size() == out.morph_weights.size())
      out.morph_weights.assign(morph_weights.begin(), morph_weights.end());
    // A skin and a morph of one mesh cover the same range.
    for (size_t k = 0; k < scene.skins.size(); ++k)
      for (size_t m = 0; m < scene.morphs.size(); ++m)
        if (const Morph& x = scene.morphs[m]; x.object == scene.skins[k].object &&
                                              x.first_vertex == scene.skins[k].first_vertex &&
                                              x.vertex_count == scene.skins[k].vertex_count) {
          skin_morph[k] = static_cast<int32_t>(m);
          morph_skinned[m] = true;
        }
  }
  auto growth = [&](size_t m) {
    const Morph& morph = scene.morphs[m];
    return morph_growth(morph, weights_of(morph, out.morph_weights));
  };
  for (size_t k = 0; k < scene.skins.size(); ++k) {
    const Skin& s = scene.skins[k];
    const size_t first = out.skin_matrices.size();
    out.skin_matrices.resize(first + s.bones.size());
    const std::span<Affine> m = std::span(out.skin_matrices).subspan(first);
    skin_matrices(s, poses, m);
    if (s.object < 0 || static_cast<size_t>(s.object) >= deformed.size()) continue;
    Sphere b;
    skin_bounds(s, m, b.center, b.radius);
    if (skin_morph[k] >= 0 && b.radius >= 0.0) {
      double stretch = 0.0;
      for (const Affine& a : m) stretch = std::max(stretch, largest_stretch(pose_from(a)));
      b.radius += growth(static_cast<size_t>(skin_morph[k])) * stretch;
    }
    merge(deformed[static_cast<size_t>(s.object)], b);
  }
  const ObjectPose origin{};
  for (size_t k = 0; k < scene.morphs.size(); ++k) {
    const Morph& morph = scene.morphs[k];
    const auto o = static_cast<size_t>(morph.object);
    if (morph_skinned[k] || morph.object < 0 || o >= deformed.size()) continue;
    const ObjectPose& pose = o < poses.size() ? poses[o] : origin;
    const double stretch = largest_stretch(pose);
    merge(deformed[o], {to_world(pose, morph.center), (morph.radius + growth(k)) * stretch});
  }

  auto in_view = [&](const ObjectGroup& g, const ObjectPose& pose) {
    const double radius = pose.general ? g.radius * largest_stretch(pose) : g.radius;
    return sphere_visible(view, to_world(pose, g.center), radius);
  };
  for (size_t o = 0; o < index.objects.size(); ++o) {
    const ObjectGroup& g = index.objects[o];
    if (g.begin == g.end) continue;
    const ObjectPose& pose = o < poses.size() ? poses[o] : origin;
    if (o < deformed.size() && deformed[o].radius >= 0.0) {
      if (!sphere_visible(view, deformed[o].center, deformed[o].radius)) continue;
      out.objects.push_back({static_cast<uint32_t>(o), pose, true});
      uint32_t first = 0;
      for (size_t s = 0; s < scene.skins.size(); ++s) {
        if (scene.skins[s].object == static_cast<int32_t>(o))
          out.skins.push_back({static_cast<uint32_t>(s), first, skin_morph[s]});
        first += static_cast<uint32_t>(scene.skins[s].bones.size());
      }
      for (size_t m = 0; m < scene.morphs.size(); ++m)
        if (scene.morphs[m].object == static_cast<int32_t>(o) && !morph_skinned[m])
          out.morphs.push_back({static_cast<uint32_t>(m), pose});
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
