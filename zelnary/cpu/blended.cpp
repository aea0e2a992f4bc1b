#include "zelnary/cpu/blended.h"

#include <algorithm>
#include <tuple>
#include <vector>

namespace znr {

void keep_blended(const DrawList& list, uint32_t batch, DrawList& kept) {
  if (list.blended.empty()) return;
  kept.textures = list.textures;
  kept.mip_levels = list.mip_levels;
  for (const DrawPolygon& p : list.blended) kept.append(list, p, batch);
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
  for (const Ref& r : refs) {
    const DrawPolygon& p = kept[r.list].polygons[r.index];
    out.append(kept[r.list], p, p.batch);
  }
}

}  // namespace znr
