#include "zelnary/render/scene_index.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <future>
#include <limits>
#include <utility>
#include <vector>

#include "zelnary/core/parallel_for.h"
#include "zelnary/render/chunk_lod.h"
#include "zelnary/render/flat_light.h"
#include "zelnary/render/surface_light.h"
#include "zelnary/scene/mip_levels.h"

namespace znr {
namespace {

bool polygon_valid(const Scene& s, const Polygon& p) {
  return p.vertex_count >= 3 &&
         static_cast<size_t>(p.first_vertex) + p.vertex_count <= s.vertices.size();
}

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr size_t kPolygonsPerRun = 65536;  // fewer polygons than this are not worth a thread

}  // namespace

bool SceneIndex::built_for(const Scene& s) const {
  return scene == &s && polygons == s.polygons.data() && vertices == s.vertices.data() &&
         polygon_count == s.polygons.size() && vertex_count == s.vertices.size() &&
         object_count == s.objects.size() && placement_poses.size() == s.placements.size() &&
         mip_levels.size() == s.textures.size();
}

size_t SceneIndex::cell_chunks() const {
  size_t n = 0;
  while (n < chunks.size() && chunks[n].child_count == 0) ++n;
  return n;
}

void build_scene_index(const Scene& s, SceneIndex& out, bool with_levels) {
  out = SceneIndex{};
  out.scene = &s;
  out.polygons = s.polygons.data();
  out.vertices = s.vertices.data();
  out.polygon_count = s.polygons.size();
  out.vertex_count = s.vertices.size();
  out.object_count = s.objects.size();
  // ZELNARY_NO_MIPMAPS set: no levels (full size only), to compare their cost and look. They
  // are made on a thread of their own while the rest of the index is built.
  const bool mipmaps = std::getenv("ZELNARY_NO_MIPMAPS") == nullptr && !s.textures.empty();
  std::future<std::vector<std::vector<Image>>> mip_levels;
  if (mipmaps)
    mip_levels =
        std::async(std::launch::async, [&s] { return build_scene_mip_levels(s.textures); });

  // The polygons in runs, one per core, each run's part of every pass on its own thread.
  const size_t runs = std::clamp<size_t>(s.polygons.size() / kPolygonsPerRun, 1,
                                         static_cast<size_t>(std::max(usable_cores(), 1)));
  auto run_begin = [&](size_t r) { return s.polygons.size() * r / runs; };
  auto is_static = [&](const Polygon& p) { return p.object < 0 && polygon_valid(s, p); };

  // Extent of the static geometry over the ground plane, for the grid.
  std::vector<Vec3> run_lo(runs, Vec3{kInf, kInf, kInf}), run_hi(runs, Vec3{-kInf, -kInf, -kInf});
  std::vector<size_t> run_static(runs, 0);
  parallel_for(runs, [&](size_t r) {
    for (size_t i = run_begin(r); i < run_begin(r + 1); ++i) {
      const Polygon& p = s.polygons[i];
      if (!is_static(p)) continue;
      grow(run_lo[r], run_hi[r], s.vertices[p.first_vertex].position);
      ++run_static[r];
    }
  });
  Vec3 lo{kInf, kInf, kInf}, hi{-kInf, -kInf, -kInf};
  size_t static_count = 0;
  for (size_t r = 0; r < runs; ++r) {
    grow(lo, hi, run_lo[r]);
    grow(lo, hi, run_hi[r]);
    static_count += run_static[r];
  }
  const auto side = static_cast<size_t>(
      std::ceil(std::sqrt(static_cast<double>(static_count) / kPolygonsPerChunk)));
  const size_t grid = std::clamp<size_t>(side, 1, 1024);
  const double cell_x = (hi.x - lo.x) / static_cast<double>(grid);
  const double cell_y = (hi.y - lo.y) / static_cast<double>(grid);
  auto cell_of = [&](const Vec3& p) -> size_t {
    auto axis = [&](double v, double origin, double cell) -> size_t {
      if (!(cell > 0.0)) return 0;
      const double c = std::floor((v - origin) / cell);
      return c <= 0.0 ? 0 : std::min(grid - 1, static_cast<size_t>(c));
    };
    return axis(p.y, lo.y, cell_y) * grid + axis(p.x, lo.x, cell_x);
  };

  // Counting sort of the static polygons by cell, stable: each run counts its own polygons,
  // then fills the cells from where the runs before it end.
  const size_t cells = grid * grid;
  std::vector<std::vector<uint32_t>> fill(runs);
  parallel_for(runs, [&](size_t r) {
    fill[r].assign(cells, 0);
    for (size_t i = run_begin(r); i < run_begin(r + 1); ++i)
      if (is_static(s.polygons[i]))
        ++fill[r][cell_of(s.vertices[s.polygons[i].first_vertex].position)];
  });
  std::vector<uint32_t> count(cells + 1, 0);
  for (size_t c = 0; c < cells; ++c) {
    uint32_t at = count[c];
    for (size_t r = 0; r < runs; ++r) at += std::exchange(fill[r][c], at);
    count[c + 1] = at;
  }
  out.order.resize(static_count);
  parallel_for(runs, [&](size_t r) {
    for (size_t i = run_begin(r); i < run_begin(r + 1); ++i) {
      const Polygon& p = s.polygons[i];
      if (!is_static(p)) continue;
      out.order[fill[r][cell_of(s.vertices[p.first_vertex].position)]++] = static_cast<uint32_t>(i);
    }
  });
  fill = {};
  for (size_t c = 0; c + 1 < count.size(); ++c) {
    if (count[c] == count[c + 1]) continue;
    Chunk chunk;
    chunk.begin = count[c];
    chunk.end = count[c + 1];
    chunk.cell_x = static_cast<uint32_t>(c % grid);
    chunk.cell_y = static_cast<uint32_t>(c / grid);
    chunk.lo = {kInf, kInf, kInf};
    chunk.hi = {-kInf, -kInf, -kInf};
    out.chunks.push_back(chunk);
  }
  // The chunks' boxes and the polygons' light, over runs of the sorted polygons.
  out.light.resize(static_count);
  const size_t chunk_runs = std::min(out.chunks.size(), runs * 8);
  parallel_for(chunk_runs, [&](size_t r) {
    const size_t end = out.chunks.size() * (r + 1) / chunk_runs;
    for (size_t c = out.chunks.size() * r / chunk_runs; c < end; ++c) {
      Chunk& chunk = out.chunks[c];
      for (uint32_t k = chunk.begin; k < chunk.end; ++k) {
        const Polygon& p = s.polygons[out.order[k]];
        for (const Vertex& v : s.vertices_of(p)) grow(chunk.lo, chunk.hi, v.position);
        // Polygons lit per vertex never read a flat light: none is worked out for them.
        out.light[k] =
            needs_vertex_shade(s, p) ? PolygonLight{} : flat_light(s, p, polygon_normal(s, p));
      }
    }
  });
  Vec3 all_lo{kInf, kInf, kInf}, all_hi{-kInf, -kInf, -kInf};
  for (const Chunk& chunk : out.chunks) {
    grow(all_lo, all_hi, chunk.lo);
    grow(all_lo, all_hi, chunk.hi);
  }
  if (!out.chunks.empty()) {
    out.size = std::max({all_hi.x - all_lo.x, all_hi.y - all_lo.y, all_hi.z - all_lo.z});
  }

  out.mip_levels = mipmaps ? mip_levels.get() : std::vector<std::vector<Image>>(s.textures.size());

  // Moving objects: their polygons grouped per object, with a bounding sphere.
  out.objects.resize(s.objects.size());
  std::vector<std::vector<uint32_t>> per_object(s.objects.size());
  for (size_t i = 0; i < s.polygons.size(); ++i) {
    const Polygon& p = s.polygons[i];
    if (p.object < 0 || static_cast<size_t>(p.object) >= s.objects.size() || !polygon_valid(s, p)) {
      continue;
    }
    per_object[static_cast<size_t>(p.object)].push_back(static_cast<uint32_t>(i));
  }
  for (size_t o = 0; o < per_object.size(); ++o) {
    ObjectGroup& g = out.objects[o];
    g.begin = static_cast<uint32_t>(out.order.size());
    Vec3 olo{kInf, kInf, kInf}, ohi{-kInf, -kInf, -kInf};
    for (uint32_t pi : per_object[o]) {
      out.order.push_back(pi);
      for (const Vertex& v : s.vertices_of(s.polygons[pi])) grow(olo, ohi, v.position);
    }
    g.end = static_cast<uint32_t>(out.order.size());
    if (g.begin == g.end) continue;
    g.lo = olo;
    g.hi = ohi;
    g.center = (olo + ohi) * 0.5;
    for (uint32_t pi : per_object[o]) {
      for (const Vertex& v : s.vertices_of(s.polygons[pi])) {
        g.radius = std::max(g.radius, length(v.position - g.center));
      }
    }
    out.size = std::max(out.size, 2.0 * g.radius);
  }

  // Placed meshes: their poses, and the boxes round their spheres grow the scene's.
  out.placement_poses.resize(s.placements.size());
  for (size_t i = 0; i < s.placements.size(); ++i) {
    const Placement& p = s.placements[i];
    const ObjectPose pose = pose_from(p.frame);
    out.placement_poses[i] = pose;
    if (p.object < 0 || static_cast<size_t>(p.object) >= out.objects.size()) continue;
    const ObjectGroup& g = out.objects[static_cast<size_t>(p.object)];
    if (g.begin == g.end) continue;
    const Vec3 c = to_world(pose, g.center);
    const double r = g.radius * largest_stretch(pose);
    grow(all_lo, all_hi, c - Vec3{r, r, r});
    grow(all_lo, all_hi, c + Vec3{r, r, r});
    out.size = std::max({out.size, all_hi.x - all_lo.x, all_hi.y - all_lo.y, all_hi.z - all_lo.z});
  }

  if (with_levels && lod_by_default()) build_chunk_levels(s, out);
}

}  // namespace znr
