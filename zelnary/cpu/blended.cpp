#include "zelnary/cpu/blended.h"

#include <algorithm>
#include <tuple>
#include <vector>

namespace znr {
namespace {

void append(const DrawList& from, const DrawPolygon& p, DrawList& to) {
  DrawPolygon c = p;
  c.first = static_cast<uint32_t>(to.vertices.size());
  to.vertices.insert(to.vertices.end(), from.vertices.begin() + p.first,
                     from.vertices.begin() + p.first + p.count);
  if (p.shade != kNoShade) {
    c.shade = static_cast<uint32_t>(to.shades.size());
    to.shades.insert(to.shades.end(), from.shades.begin() + p.shade,
                     from.shades.begin() + p.shade + p.count);
  }
  to.polygons.push_back(c);
}

}  // namespace

void keep_blended(const DrawList& list, uint32_t batch, DrawList& kept) {
  if (list.blended.empty()) return;
  kept.textures = list.textures;
  kept.mip_levels = list.mip_levels;
  for (DrawPolygon p : list.blended) {
    p.batch = batch;
    append(list, p, kept);
  }
}

void order_blended(std::span<const DrawList> kept, DrawList& out) {
  out.clear();
  struct Ref {
    float depth;
    uint32_t batch, list, index;
  };
  std::vector<Ref> refs;
  for (uint32_t l = 0; l < kept.size(); ++l) {
    const std::vector<DrawPolygon>& ps = kept[l].polygons;
    for (uint32_t i = 0; i < ps.size(); ++i) refs.push_back({ps[i].alpha_key, ps[i].batch, l, i});
    if (!kept[l].polygons.empty()) {
      out.textures = kept[l].textures;
      out.mip_levels = kept[l].mip_levels;
    }
  }
  std::sort(refs.begin(), refs.end(), [](const Ref& a, const Ref& b) {
    return std::make_tuple(-a.depth, a.batch, a.list, a.index) <
           std::make_tuple(-b.depth, b.batch, b.list, b.index);
  });
  for (const Ref& r : refs) append(kept[r.list], kept[r.list].polygons[r.index], out);
}

}  // namespace znr
