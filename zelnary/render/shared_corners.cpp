#include "zelnary/render/shared_corners.h"

#include <algorithm>
#include <bit>
#include <thread>

namespace znr {
namespace {

// The bits that make copies of a vertex the same vertex.
struct VertexKey {
  uint64_t bits[4] = {};  // position; u and v
  uint32_t normal[3] = {};
  uint32_t color = 0;
  bool operator==(const VertexKey&) const = default;
};

VertexKey key_of(const PolygonSource& from, size_t i) {
  const Vertex& v = from.vertices[i];
  VertexKey k;
  k.bits[0] = std::bit_cast<uint64_t>(v.position.x);
  k.bits[1] = std::bit_cast<uint64_t>(v.position.y);
  k.bits[2] = std::bit_cast<uint64_t>(v.position.z);
  k.bits[3] = uint64_t{std::bit_cast<uint32_t>(v.u)} << 32 | std::bit_cast<uint32_t>(v.v);
  if (from.normals.size() == from.vertices.size()) {
    k.normal[0] = std::bit_cast<uint32_t>(from.normals[i].x);
    k.normal[1] = std::bit_cast<uint32_t>(from.normals[i].y);
    k.normal[2] = std::bit_cast<uint32_t>(from.normals[i].z);
  }
  if (!from.colors.empty()) k.color = from.colors[i];
  return k;
}

uint64_t hash_of(const VertexKey& k) {
  uint64_t h = 0;
  for (const uint64_t b : k.bits) h = std::rotl(h ^ b, 23) * 0x9E3779B97F4A7C15ull;
  h ^= (uint64_t{k.normal[0]} << 32 | k.normal[1]) * 0xC2B2AE3D27D4EB4Full;
  h ^= (uint64_t{k.normal[2]} << 32 | k.color) * 0x165667B19E3779F9ull;
  return h ^ (h >> 29);
}

// The polygon of a run's entry, or null where the entry or its vertices are out of bounds.
const Polygon* entry_polygon(const PolygonSource& from, uint32_t entry) {
  size_t at = entry;
  if (!from.order.empty()) {
    if (entry >= from.order.size()) return nullptr;
    at = from.order[entry];
  }
  if (at >= from.polygons.size()) return nullptr;
  const Polygon& p = from.polygons[at];
  return static_cast<size_t>(p.first_vertex) + p.vertex_count <= from.vertices.size() ? &p
                                                                                      : nullptr;
}

// Builds runs into tables of their own, reusing the scratch space between runs.
class RunBuilder {
 public:
  RunBuilder(const PolygonSource& from, SharedCorners& tables) : from_(from), t_(tables) {}

  CornerRun add(uint32_t begin, uint32_t end) {
    CornerRun run;
    run.first_distinct = static_cast<uint32_t>(t_.distinct.size());
    run.first_corner = static_cast<uint32_t>(t_.corners.size());
    run.begin = begin;
    run.end = end;
    const bool colors_fit = from_.colors.empty() || from_.colors.size() == from_.vertices.size();
    size_t copies = 0;
    for (uint32_t e = begin; e < end && colors_fit; ++e) {
      const Polygon* p = entry_polygon(from_, e);
      if (p == nullptr) return run;
      copies += p->vertex_count;
    }
    if (!colors_fit || copies == 0) return run;
    slots_.assign(std::bit_ceil(std::max<size_t>(copies * 2, 16)), kEmpty);
    keys_.clear();
    const size_t mask = slots_.size() - 1;
    for (uint32_t e = begin; e < end; ++e) {
      const Polygon& p = *entry_polygon(from_, e);
      for (uint32_t k = 0; k < p.vertex_count; ++k) {
        const size_t vertex = p.first_vertex + k;
        const VertexKey key = key_of(from_, vertex);
        size_t s = hash_of(key) & mask;
        while (slots_[s] != kEmpty && !(keys_[slots_[s]] == key)) s = (s + 1) & mask;
        if (slots_[s] == kEmpty) {
          if (keys_.size() == kMaxRunVertices) {  // too many for 16 bits: no table
            t_.distinct.resize(run.first_distinct);
            t_.corners.resize(run.first_corner);
            return run;
          }
          slots_[s] = static_cast<uint32_t>(keys_.size());
          keys_.push_back(key);
          t_.distinct.push_back(static_cast<uint32_t>(vertex));
        }
        t_.corners.push_back(static_cast<uint16_t>(slots_[s]));
      }
    }
    run.distinct_count = static_cast<uint32_t>(keys_.size());
    return run;
  }

 private:
  static constexpr uint32_t kEmpty = UINT32_MAX;
  const PolygonSource& from_;
  SharedCorners& t_;
  std::vector<uint32_t> slots_;  // open addressing: an index into keys_, or kEmpty
  std::vector<VertexKey> keys_;  // the run's distinct vertices so far
};

}  // namespace

size_t SharedCorners::bytes() const {
  return (chunks.size() + levels.size()) * sizeof(CornerRun) + distinct.size() * sizeof(uint32_t) +
         corners.size() * sizeof(uint16_t);
}

void add_corner_runs(const PolygonSource& from, std::span<const std::pair<uint32_t, uint32_t>> runs,
                     int32_t threads, SharedCorners& tables, std::vector<CornerRun>& out) {
  // Each thread takes a contiguous share of the runs into tables of its own; the shares are
  // then joined in order.
  const size_t n = runs.size();
  const size_t parts =
      std::clamp<size_t>(static_cast<size_t>(std::max(threads, 1)), 1, std::max<size_t>(n / 64, 1));
  std::vector<SharedCorners> part_tables(parts);
  std::vector<std::vector<CornerRun>> part_runs(parts);
  auto work = [&](size_t t) {
    RunBuilder builder(from, part_tables[t]);
    for (size_t r = n * t / parts; r < n * (t + 1) / parts; ++r)
      part_runs[t].push_back(builder.add(runs[r].first, runs[r].second));
  };
  std::vector<std::thread> workers;
  for (size_t t = 1; t < parts; ++t) workers.emplace_back(work, t);
  work(0);
  for (std::thread& w : workers) w.join();
  for (size_t t = 0; t < parts; ++t) {
    const auto distinct_base = static_cast<uint32_t>(tables.distinct.size());
    const auto corner_base = static_cast<uint32_t>(tables.corners.size());
    for (CornerRun r : part_runs[t]) {
      r.first_distinct += distinct_base;
      r.first_corner += corner_base;
      out.push_back(r);
    }
    tables.distinct.insert(tables.distinct.end(), part_tables[t].distinct.begin(),
                           part_tables[t].distinct.end());
    tables.corners.insert(tables.corners.end(), part_tables[t].corners.begin(),
                          part_tables[t].corners.end());
  }
}

}  // namespace znr
