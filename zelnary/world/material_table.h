// Materials kept once each, so that polygons with equal materials share one index. Index 0 is
// always the plain material: a polygon without a material keeps Polygon::material 0, and a
// scene whose polygons are all plain keeps an empty table.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <unordered_map>
#include <vector>

#include "zelnary/scene/scene.h"

namespace znr {

class MaterialTable {
 public:
  static constexpr size_t kMaxMaterials = 65536;  // Polygon::material is 16 bits

  explicit MaterialTable(std::vector<Material>& out) : out_(out) {}

  // The index of m in the table, added when new; false when the table is full.
  bool index(const Material& m, uint16_t& index) {
    if (m.plain()) {
      index = 0;
      return true;
    }
    if (out_.empty()) {
      out_.push_back(Material{});
      seen_.emplace(Material{}, uint16_t{0});
    }
    if (const auto it = seen_.find(m); it != seen_.end()) {
      index = it->second;
      return true;
    }
    if (out_.size() >= kMaxMaterials) return false;
    index = static_cast<uint16_t>(out_.size());
    seen_.emplace(m, index);
    out_.push_back(m);
    return true;
  }

 private:
  struct Hash {
    size_t operator()(const Material& m) const {
      // + 0.0f: -0 and 0 compare equal and must hash alike. NaN never reaches the table.
      const float f[] = {
          m.specular.r, m.specular.g, m.specular.b, m.shininess, m.emissive.r,
          m.emissive.g, m.emissive.b, m.alpha,      m.cutoff,    static_cast<float>(m.alpha_mode)};
      uint64_t h = 1469598103934665603ull;
      for (const float v : f) h = (h ^ std::bit_cast<uint32_t>(v + 0.0f)) * 1099511628211ull;
      return static_cast<size_t>(h);
    }
  };

  std::vector<Material>& out_;
  std::unordered_map<Material, uint16_t, Hash> seen_;
};

}  // namespace znr
