#include "zelnary/render/front_end.h"

#include <algorithm>
#include <cmath>

#include "zelnary/render/chunk_lod.h"
#include "zelnary/render/flat_light.h"

namespace znr {
namespace {

uint32_t pack(const Color& c) {
  auto ch = [](float f) {
    const float v = std::clamp(std::isfinite(f) ? f : 0.0f, 0.0f, 1.0f);
    return static_cast<uint32_t>(std::lround(v * 255.0f));
  };
  return 0xFF000000u | (ch(c.r) << 16) | (ch(c.g) << 8) | ch(c.b);
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
  out.object_light.clear();
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

  const ObjectPose origin{};
  for (size_t o = 0; o < index.objects.size(); ++o) {
    const ObjectGroup& g = index.objects[o];
    if (g.begin == g.end) continue;
    const ObjectPose& pose = o < poses.size() ? poses[o] : origin;
    const double radius = pose.general ? g.radius * largest_stretch(pose) : g.radius;
    if (!sphere_visible(view, to_world(pose, g.center), radius)) continue;
    out.objects.push_back(
        {static_cast<uint32_t>(o), pose, static_cast<uint32_t>(out.object_light.size())});
    // The object turns (about z, or any way for a general pose), and its normals with it.
    for (uint32_t k = g.begin; k < g.end; ++k) {
      const Polygon& p = scene.polygons[index.order[k]];
      out.object_light.push_back(flat_light(scene, p, turn_normal(pose, polygon_normal(scene, p))));
    }
  }
}

}  // namespace znr
