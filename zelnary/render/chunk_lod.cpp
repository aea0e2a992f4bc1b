#include "zelnary/render/chunk_lod.h"

#include <meshoptimizer.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "zelnary/render/flat_light.h"
#include "zelnary/render/surface_light.h"

namespace znr {
namespace {

// Each level aims at this share of the triangles of the one before it, and is kept only if it
// has at most kKeepShare of them: a level that gains less is not worth its memory.
constexpr size_t kLevelDivisor = 4;
constexpr size_t kLevels = 2;
// A shared mesh is whole, with no chunk borders holding it back, and its placements may stand
// far beyond a chunk's reach: it goes on down, a quarter at a time, while a level still pays.
constexpr size_t kMeshLevels = 6;
constexpr double kKeepShare = 0.6;
// Groups smaller than this are kept as they are at every level.
constexpr size_t kMinGroupTriangles = 8;
// The least error a level counts as having, as a share of its chunk's diagonal: at three
// quarters of a pixel of error, levels take over once the chunk spans at most about 150
// pixels.
constexpr double kMinErrorShare = 0.005;

// Polygons that may be merged: the same texture, colour, sidedness and material.
auto group_key(const Polygon& p) {
  return std::make_tuple(p.texture, p.two_sided, p.color.r, p.color.g, p.color.b, p.material);
}

// One group's triangles, welded: vertices equal in position and texture coordinates (and in a
// shaded group, normal and colour) are shared, so that seams in the texture, creases and
// colour edges stay open borders, which the simplifier keeps.
struct Group {
  std::vector<Vertex> vertices;
  std::vector<Normal> normals;   // shaded groups: parallel to vertices (none: lit by its plane)
  std::vector<uint32_t> colors;  // shaded groups: parallel to vertices
  std::vector<unsigned> indices;
  std::vector<float> positions;  // x, y, z relative to the chunk's corner, for the simplifier
  // Per vertex, the normals (area-weighted) of the full-detail triangles around it:
  // around[first_around[v], first_around[v + 1]).
  std::vector<uint32_t> first_around;
  std::vector<Vec3> around;
  float scale = 0.0f;   // the simplifier's errors are relative to this
  bool finite = true;   // false: a vertex beyond any sense; kept as it is
  bool shaded = false;  // its triangles carry normals and colours
  Polygon like;         // texture, colour, sidedness and material of all its polygons
};

// Where a group's polygons come from: the scene's, or the levels already built.
struct Source {
  std::span<const Polygon> polygons;
  std::span<const Vertex> vertices;
  std::span<const Normal> normals;  // indexed as vertices; may be short (none)
  std::span<const uint32_t> colors;
};

void weld(const Source& s, const std::vector<uint32_t>& polys, const Vec3& origin, Group& g) {
  std::vector<Vertex> corners;
  std::vector<Normal> normals;
  std::vector<uint32_t> colors;
  for (uint32_t pi : polys) {
    const Polygon& p = s.polygons[pi];
    if (static_cast<size_t>(p.first_vertex) + p.vertex_count > s.vertices.size()) continue;
    const std::span<const Vertex> v = s.vertices.subspan(p.first_vertex, p.vertex_count);
    // A polygon short of a normal at any corner is lit by its plane: none at every corner.
    const bool own = g.shaded && has_vertex_normals(s.normals, p);
    for (size_t i = 1; i + 1 < v.size(); ++i) {
      for (const size_t k : {size_t{0}, i, i + 1}) {
        corners.push_back(v[k]);
        if (!g.shaded) continue;
        const size_t at = p.first_vertex + k;
        normals.push_back(own ? s.normals[at] : Normal{});
        colors.push_back(at < s.colors.size() ? s.colors[at] : kNoVertexColor);
      }
    }
  }
  std::vector<unsigned> remap(corners.size());
  const meshopt_Stream streams[] = {{corners.data(), sizeof(Vertex), sizeof(Vertex)},
                                    {normals.data(), sizeof(Normal), sizeof(Normal)},
                                    {colors.data(), sizeof(uint32_t), sizeof(uint32_t)}};
  const size_t unique = meshopt_generateVertexRemapMulti(remap.data(), nullptr, corners.size(),
                                                         corners.size(), streams, g.shaded ? 3 : 1);
  g.vertices.resize(unique);
  meshopt_remapVertexBuffer(g.vertices.data(), corners.data(), corners.size(), sizeof(Vertex),
                            remap.data());
  if (g.shaded) {
    g.normals.resize(unique);
    meshopt_remapVertexBuffer(g.normals.data(), normals.data(), corners.size(), sizeof(Normal),
                              remap.data());
    g.colors.resize(unique);
    meshopt_remapVertexBuffer(g.colors.data(), colors.data(), corners.size(), sizeof(uint32_t),
                              remap.data());
  }
  g.indices.resize(corners.size());
  meshopt_remapIndexBuffer(g.indices.data(), nullptr, corners.size(), remap.data());
  g.positions.resize(unique * 3);
  for (size_t i = 0; i < unique; ++i) {
    const Vec3 d = g.vertices[i].position - origin;
    g.positions[i * 3] = static_cast<float>(d.x);
    g.positions[i * 3 + 1] = static_cast<float>(d.y);
    g.positions[i * 3 + 2] = static_cast<float>(d.z);
    for (size_t k = 0; k < 3; ++k) g.finite = g.finite && std::isfinite(g.positions[i * 3 + k]);
  }
  g.scale = meshopt_simplifyScale(g.positions.data(), unique, sizeof(float) * 3);
  g.first_around.assign(unique + 1, 0);
  for (unsigned v : g.indices) ++g.first_around[v + 1];
  for (size_t v = 0; v < unique; ++v) g.first_around[v + 1] += g.first_around[v];
  g.around.resize(g.indices.size());
  std::vector<uint32_t> next(g.first_around.begin(), g.first_around.end() - 1);
  for (size_t i = 0; i + 2 < g.indices.size(); i += 3) {
    const unsigned a = g.indices[i], b = g.indices[i + 1], c = g.indices[i + 2];
    const Vec3 n = cross(g.vertices[b].position - g.vertices[a].position,
                         g.vertices[c].position - g.vertices[a].position);
    for (unsigned k : {a, b, c}) g.around[next[k]++] = n;
  }
}

// The normal to light a simplified triangle by. Its own, when it faces about like the
// full-detail surface around its corners (within 15 degrees): flat faces and gentle ground
// keep the light they had. Over curved ground a simplified triangle may be a steep sliver
// whose own normal would light it far too dark: it takes the normals of the full-detail
// triangles around its corners that face like it, or failing those all of them. Only alike
// ones where there are any, so that the corners of a box do not blend its walls' light.
Vec3 light_normal(const Group& g, const unsigned corners[3], const Vec3& own) {
  constexpr double kCos15 = 0.966;
  const Vec3 unit = normalized(own);
  Vec3 alike, all;
  for (int k = 0; k < 3; ++k) {
    for (uint32_t j = g.first_around[corners[k]]; j < g.first_around[corners[k] + 1]; ++j) {
      const Vec3& n = g.around[j];
      all = all + n;
      if (dot(n, unit) > kCos15 * length(n)) alike = alike + n;
    }
  }
  if (!(length(all) > 0.0) || dot(all, unit) > kCos15 * length(all)) return own;
  return length(alike) > 0.0 ? alike : all;
}

// The triangles of indices into the level arrays (a SceneIndex's or a ChunkLevels'), each with
// its own vertices.
template <class Levels>
void append_triangles(const Scene& s, const Group& g, const std::vector<unsigned>& indices,
                      Levels& out) {
  for (size_t i = 0; i + 2 < indices.size(); i += 3) {
    const Vertex& a = g.vertices[indices[i]];
    const Vertex& b = g.vertices[indices[i + 1]];
    const Vertex& c = g.vertices[indices[i + 2]];
    const Vec3 normal = cross(b.position - a.position, c.position - a.position);
    if (!(length(normal) > 0.0)) continue;  // collapsed to a line: draws nothing
    Polygon p = g.like;
    p.first_vertex = static_cast<uint32_t>(out.lod_vertices.size());
    p.vertex_count = 3;
    out.lod_vertices.insert(out.lod_vertices.end(), {a, b, c});
    if (g.shaded || !out.lod_normals.empty()) {
      // Normals and colours run beside the vertices from the first shaded triangle on.
      out.lod_normals.resize(p.first_vertex);
      out.lod_colors.resize(p.first_vertex, kNoVertexColor);
      for (size_t k = i; k < i + 3; ++k) {
        out.lod_normals.push_back(g.shaded ? g.normals[indices[k]] : Normal{});
        out.lod_colors.push_back(g.shaded ? g.colors[indices[k]] : kNoVertexColor);
      }
    }
    out.lod_polygons.push_back(p);
    out.lod_light.push_back(flat_light(s, p, light_normal(g, &indices[i], normal)));
  }
}

// The polygons polys (into src.polygons) in groups of one key, each welded.
void make_groups(const Source& src, std::vector<uint32_t>& polys, bool shaded, const Vec3& origin,
                 std::vector<Group>& groups) {
  std::stable_sort(polys.begin(), polys.end(), [&](uint32_t a, uint32_t b) {
    return group_key(src.polygons[a]) < group_key(src.polygons[b]);
  });
  groups.clear();
  for (size_t a = 0; a < polys.size();) {
    size_t b = a + 1;
    while (b < polys.size() &&
           group_key(src.polygons[polys[b]]) == group_key(src.polygons[polys[a]]))
      ++b;
    groups.emplace_back();
    groups.back().like = src.polygons[polys[a]];
    groups.back().shaded = shaded;
    weld(src,
         std::vector<uint32_t>(polys.begin() + static_cast<std::ptrdiff_t>(a),
                               polys.begin() + static_cast<std::ptrdiff_t>(b)),
         origin, groups.back());
    a = b;
  }
}

struct Simplified {
  size_t triangles = 0;
  double error = 0.0;  // world units, the largest of any group's
};

// Each group's triangles simplified to about a quarter, or with most_error given (world
// units), as far as that error allows; borders locked. Nothing when stop was heard: it is
// heard between two simplifications, so that a world unloaded (or a program ending) does not
// wait for a large chunk's levels.
std::optional<Simplified> simplify(std::vector<Group>& groups, const std::atomic<bool>* stop,
                                   std::vector<unsigned>& scratch, double most_error = -1.0) {
  Simplified out;
  for (Group& g : groups) {
    if (stop && stop->load(std::memory_order_relaxed)) return std::nullopt;
    const size_t count = g.indices.size();
    if (count / 3 < kMinGroupTriangles || !g.finite) {
      out.triangles += count / 3;
      continue;
    }
    scratch.resize(count);
    float result_error = 0.0f;
    const size_t target = most_error >= 0.0 ? 0 : count / 3 / kLevelDivisor * 3;
    const float bound =
        most_error >= 0.0 && g.scale > 0.0f ? static_cast<float>(most_error / g.scale) : 1.0f;
    const size_t n = meshopt_simplify(scratch.data(), g.indices.data(), count, g.positions.data(),
                                      g.vertices.size(), sizeof(float) * 3, target, bound,
                                      meshopt_SimplifyLockBorder, &result_error);
    scratch.resize(n);
    g.indices.swap(scratch);
    out.error = std::max(out.error, static_cast<double>(result_error) * g.scale);
    out.triangles += n / 3;
  }
  return out;
}

}  // namespace

bool lod_by_default() {
  static const bool on = [] {
    const char* v = std::getenv("ZELNARY_NO_LOD");
    return v == nullptr || std::string(v) == "0" || *v == '\0';
  }();
  return on;
}

namespace {

// The levels of out.chunks, whose polygons order lists (out.order may be empty); those from
// first_mesh on are shared meshes.
void build_levels(const Scene& s, std::span<const uint32_t> order, SceneIndex& out,
                  const std::atomic<bool>* stop, size_t first_mesh) {
  const Source scene_source{s.polygons, s.vertices, s.normals, s.vertex_colors};
  std::vector<uint32_t> polys;
  std::vector<Group> groups;
  std::vector<unsigned> simplified;
  for (size_t piece = 0; piece < out.chunks.size(); ++piece) {
    Chunk& chunk = out.chunks[piece];
    const size_t most_levels = piece >= first_mesh ? kMeshLevels : kLevels;
    chunk.first_level = static_cast<uint32_t>(out.levels.size());
    chunk.level_count = 0;
    if (stop && stop->load(std::memory_order_relaxed)) continue;
    polys.assign(order.begin() + chunk.begin, order.begin() + chunk.end);
    size_t triangles = 0;
    bool coloured = false, see_through = false;
    for (uint32_t pi : polys) {
      const Polygon& p = s.polygons[pi];
      const Material& m = s.material_of(p);
      triangles += p.vertex_count - 2;
      coloured = coloured || !m.plain() || has_vertex_colors(s, p);
      see_through = see_through || m.alpha_mode != AlphaMode::Opaque;
    }
    // Simplified chunks are lit flat (from the normals around each vertex, close to smooth
    // light at a distance), unless some of their polygons have vertex colours, highlights or
    // glow: those chunks' levels carry their vertices' normals and colours and are lit per
    // vertex. Blended and cut-out polygons keep their full detail: their edges are the
    // picture.
    if (triangles < kMinGroupTriangles * kLevelDivisor || see_through) continue;

    make_groups(scene_source, polys, coloured, chunk.lo, groups);

    // Each level is simplified from the one before, so its error adds to theirs. A level that
    // stops well short of its aim is held back by the locked borders: the next would gain
    // little, and is not tried.
    size_t kept_triangles = triangles, aim = triangles;
    double error = 0.0;
    for (size_t level = 0; level < most_levels; ++level) {
      const std::optional<Simplified> step = simplify(groups, stop, simplified);
      if (!step) return;
      const size_t level_triangles = step->triangles;
      error += step->error;
      aim /= kLevelDivisor;
      if (static_cast<double>(level_triangles) > kKeepShare * static_cast<double>(kept_triangles))
        break;
      kept_triangles = level_triangles;
      ChunkLevel l;
      l.begin = static_cast<uint32_t>(out.lod_polygons.size());
      for (const Group& g : groups) append_triangles(s, g, g.indices, out);
      l.end = static_cast<uint32_t>(out.lod_polygons.size());
      // Flat surfaces simplify without error, yet a new triangulation moves the texture's
      // affine approximation and the chosen mip level; so a level counts as at least a small
      // share of the chunk's size off, and takes over only once the chunk is small on screen.
      l.error = std::max(error, kMinErrorShare * length(chunk.hi - chunk.lo));
      l.shaded = coloured;
      out.levels.push_back(l);
      ++chunk.level_count;
      if (level_triangles > 2 * aim) break;
    }
  }
}

// Blocks of 2 by 2 grid cells' chunks, then of 2 by 2 such blocks, and so on up to
// kBlockDepths times, each simplified as one from its parts' coarsest levels. A part's levels
// keep every vertex of its border; inside a block the borders between its parts are free, so a
// far block draws far fewer triangles than its parts would. Only the block's outer border is
// locked, and it is its parts' own at full detail, so a block meets any neighbour (a chunk or
// a block, at any level) without a crack. A block is kept only if it pays as a level does.
constexpr size_t kBlockDepths = 3;
// A block may stray from its parts' coarsest levels by this share of their error, so that
// its own error grows with its size as theirs did (it is chosen from about twice as far
// off). Its parts' triangles are few already: it pays at a smaller gain than a chunk's level.
constexpr double kBlockErrorShare = 0.75;
constexpr double kBlockKeepShare = 0.8;

void build_blocks(const Scene& s, const SceneIndex& index, int32_t threads, ChunkLevels& out,
                  const std::atomic<bool>& stop) {
  struct Part {
    uint32_t chunk;  // into index.chunks, or from cells on into out.blocks
    uint32_t level;  // its coarsest, into out.levels
    uint32_t x, y;   // its cell at this depth
    Vec3 lo, hi;
  };
  // A block made by a thread, its level in the thread's own arrays, from parts[first, end).
  struct Made {
    ChunkLevel level;
    Vec3 lo, hi;
    size_t first, end;
  };
  const size_t cells = index.cell_chunks();
  out.parents.assign(cells, kNoChunk);
  std::vector<Part> parts;
  for (size_t c = 0; c < cells && c < out.chunk_levels.size(); ++c) {
    const auto [first, count] = out.chunk_levels[c];
    if (count == 0) continue;
    const Chunk& k = index.chunks[c];
    parts.push_back({static_cast<uint32_t>(c), first + count - 1, k.cell_x, k.cell_y, k.lo, k.hi});
  }
  for (size_t depth = 0; depth < kBlockDepths && parts.size() > 1; ++depth) {
    std::sort(parts.begin(), parts.end(), [](const Part& a, const Part& b) {
      return std::make_tuple(a.y / 2, a.x / 2, a.chunk) <
             std::make_tuple(b.y / 2, b.x / 2, b.chunk);
    });
    // Runs of two or more parts that share a cell at the next depth: the blocks to try.
    std::vector<std::pair<size_t, size_t>> runs;
    for (size_t a = 0; a < parts.size();) {
      size_t b = a + 1;
      while (b < parts.size() && parts[b].x / 2 == parts[a].x / 2 &&
             parts[b].y / 2 == parts[a].y / 2)
        ++b;
      if (b - a >= 2) runs.emplace_back(a, b);
      a = b;
    }
    // Each thread tries a contiguous share of them into arrays of its own; they are joined in
    // order, so that the blocks do not depend on the number of threads.
    const size_t shares = std::clamp<size_t>(static_cast<size_t>(std::max(threads, 1)), 1,
                                             std::max<size_t>(runs.size(), 1));
    std::vector<ChunkLevels> made_levels(shares);
    std::vector<std::vector<Made>> made(shares);
    auto work = [&](size_t t) {
      std::vector<uint32_t> polys;
      std::vector<Group> groups;
      std::vector<unsigned> scratch;
      for (size_t r = runs.size() * t / shares; r < runs.size() * (t + 1) / shares; ++r) {
        if (stop.load(std::memory_order_relaxed)) return;
        polys.clear();
        double error = 0.0;
        bool shaded = false;  // some part is lit per vertex: so is the block
        Vec3 lo = parts[runs[r].first].lo, hi = parts[runs[r].first].hi;
        for (size_t i = runs[r].first; i < runs[r].second; ++i) {
          const ChunkLevel& l = out.levels[parts[i].level];
          for (uint32_t k = l.begin; k < l.end; ++k) polys.push_back(k);
          error = std::max(error, l.error);
          shaded = shaded || l.shaded;
          grow(lo, hi, parts[i].lo);
          grow(lo, hi, parts[i].hi);
        }
        const size_t triangles = polys.size();  // levels hold triangles only
        make_groups({out.lod_polygons, out.lod_vertices, out.lod_normals, out.lod_colors}, polys,
                    shaded, lo, groups);
        const std::optional<Simplified> step =
            simplify(groups, &stop, scratch, error * kBlockErrorShare);
        if (!step) return;
        if (static_cast<double>(step->triangles) > kBlockKeepShare * static_cast<double>(triangles))
          continue;
        ChunkLevels& mine = made_levels[t];
        Made m{{}, lo, hi, runs[r].first, runs[r].second};
        m.level.begin = static_cast<uint32_t>(mine.lod_polygons.size());
        for (const Group& g : groups) append_triangles(s, g, g.indices, mine);
        m.level.end = static_cast<uint32_t>(mine.lod_polygons.size());
        m.level.error = error + step->error;
        m.level.shaded = shaded;
        made[t].push_back(m);
      }
    };
    std::vector<std::thread> workers;
    for (size_t t = 1; t < shares; ++t) workers.emplace_back(work, t);
    work(0);
    for (std::thread& w : workers) w.join();
    if (stop.load(std::memory_order_relaxed)) return;

    std::vector<Part> next;
    for (size_t t = 0; t < shares; ++t) {
      const auto polygon_base = static_cast<uint32_t>(out.lod_polygons.size());
      const auto vertex_base = static_cast<uint32_t>(out.lod_vertices.size());
      for (Polygon p : made_levels[t].lod_polygons) {
        p.first_vertex += vertex_base;
        out.lod_polygons.push_back(p);
      }
      ChunkLevels& mine = made_levels[t];
      // Normals and colours run beside every vertex once any level is lit per vertex.
      if (!out.lod_normals.empty() || !mine.lod_normals.empty()) {
        out.lod_normals.resize(vertex_base);
        out.lod_colors.resize(vertex_base, kNoVertexColor);
        mine.lod_normals.resize(mine.lod_vertices.size());
        mine.lod_colors.resize(mine.lod_vertices.size(), kNoVertexColor);
        out.lod_normals.insert(out.lod_normals.end(), mine.lod_normals.begin(),
                               mine.lod_normals.end());
        out.lod_colors.insert(out.lod_colors.end(), mine.lod_colors.begin(), mine.lod_colors.end());
      }
      out.lod_vertices.insert(out.lod_vertices.end(), mine.lod_vertices.begin(),
                              mine.lod_vertices.end());
      out.lod_light.insert(out.lod_light.end(), mine.lod_light.begin(), mine.lod_light.end());
      for (Made& m : made[t]) {
        Chunk block;
        block.lo = m.lo;
        block.hi = m.hi;
        block.first_level = static_cast<uint32_t>(out.levels.size());
        block.level_count = 1;
        block.cell_x = parts[m.first].x / 2;
        block.cell_y = parts[m.first].y / 2;
        block.first_child = static_cast<uint32_t>(out.children.size());
        block.child_count = static_cast<uint32_t>(m.end - m.first);
        const auto id = static_cast<uint32_t>(cells + out.blocks.size());
        for (size_t i = m.first; i < m.end; ++i) {
          const uint32_t c = parts[i].chunk;
          out.children.push_back(c);
          (c < cells ? out.parents[c] : out.blocks[c - cells].parent) = id;
        }
        next.push_back({id, block.first_level, block.cell_x, block.cell_y, m.lo, m.hi});
        m.level.begin += polygon_base;
        m.level.end += polygon_base;
        out.levels.push_back(m.level);
        out.blocks.push_back(block);
      }
    }
    parts = std::move(next);
  }
}

// The pieces simplified: the grid's chunks, then the shared meshes (as chunks of their own
// frame).
std::vector<Chunk> pieces(const Scene& s, const SceneIndex& index) {
  std::vector<Chunk> out(index.chunks.begin(),
                         index.chunks.begin() + static_cast<std::ptrdiff_t>(index.cell_chunks()));
  for (size_t o = 0; o < index.objects.size() && o < s.objects.size(); ++o) {
    const ObjectGroup& g = index.objects[o];
    if (!s.objects[o].shared || g.begin == g.end) continue;
    Chunk c;
    c.lo = g.lo;
    c.hi = g.hi;
    c.begin = g.begin;
    c.end = g.end;
    out.push_back(c);
  }
  return out;
}

// The corner tables of the grid's chunks and of the levels.
void add_shared_corners(const Scene& s, const SceneIndex& index, int32_t threads,
                        ChunkLevels& out) {
  std::vector<std::pair<uint32_t, uint32_t>> runs;
  for (size_t i = 0; i < index.cell_chunks(); ++i)
    runs.emplace_back(index.chunks[i].begin, index.chunks[i].end);
  add_corner_runs({s.polygons, index.order, s.vertices, s.normals, s.vertex_colors}, runs, threads,
                  out.shared, out.shared.chunks);
  runs.clear();
  for (const ChunkLevel& l : out.levels) runs.emplace_back(l.begin, l.end);
  add_corner_runs({out.lod_polygons, {}, out.lod_vertices, out.lod_normals, out.lod_colors}, runs,
                  threads, out.shared, out.shared.levels);
}

}  // namespace

void build_chunk_levels(const Scene& s, SceneIndex& out) {
  const std::atomic<bool> never{false};
  apply_chunk_levels(build_chunk_levels(s, out, 1, never), out);
}

ChunkLevels build_chunk_levels(const Scene& s, const SceneIndex& index, int32_t threads,
                               const std::atomic<bool>& stop) {
  // Each thread takes a contiguous run of pieces into an index of its own, so that nothing is
  // shared while they work; the runs are then joined in order.
  const std::vector<Chunk> all = pieces(s, index);
  const size_t n = all.size();
  const size_t parts =
      std::clamp<size_t>(static_cast<size_t>(std::max(threads, 1)), 1, std::max<size_t>(n, 1));
  std::vector<SceneIndex> runs(parts);
  std::vector<std::thread> workers;
  for (size_t t = 0; t < parts; ++t) {
    runs[t].chunks.assign(all.begin() + static_cast<std::ptrdiff_t>(n * t / parts),
                          all.begin() + static_cast<std::ptrdiff_t>(n * (t + 1) / parts));
    // Pieces from index.cell_chunks() on are shared meshes.
    const size_t first = n * t / parts;
    const size_t first_mesh = index.cell_chunks() > first ? index.cell_chunks() - first : 0;
    auto work = [&s, &index, &stop, &run = runs[t], first_mesh] {
      build_levels(s, index.order, run, &stop, first_mesh);
    };
    if (t + 1 < parts) {
      workers.emplace_back(work);
    } else {
      work();
    }
  }
  for (std::thread& w : workers) w.join();
  ChunkLevels out;
  const bool shaded = std::any_of(runs.begin(), runs.end(),
                                  [](const SceneIndex& r) { return !r.lod_normals.empty(); });
  for (SceneIndex& run : runs) {
    if (shaded) {
      run.lod_normals.resize(run.lod_vertices.size());
      run.lod_colors.resize(run.lod_vertices.size(), kNoVertexColor);
      out.lod_normals.insert(out.lod_normals.end(), run.lod_normals.begin(), run.lod_normals.end());
      out.lod_colors.insert(out.lod_colors.end(), run.lod_colors.begin(), run.lod_colors.end());
    }
    const auto level_base = static_cast<uint32_t>(out.levels.size());
    const auto polygon_base = static_cast<uint32_t>(out.lod_polygons.size());
    const auto vertex_base = static_cast<uint32_t>(out.lod_vertices.size());
    for (const Chunk& c : run.chunks)
      out.chunk_levels.push_back({c.first_level + level_base, c.level_count});
    for (ChunkLevel l : run.levels) {
      l.begin += polygon_base;
      l.end += polygon_base;
      out.levels.push_back(l);
    }
    for (Polygon p : run.lod_polygons) {
      p.first_vertex += vertex_base;
      out.lod_polygons.push_back(p);
    }
    out.lod_vertices.insert(out.lod_vertices.end(), run.lod_vertices.begin(),
                            run.lod_vertices.end());
    out.lod_light.insert(out.lod_light.end(), run.lod_light.begin(), run.lod_light.end());
  }
  build_blocks(s, index, threads, out, stop);
  if (!stop) add_shared_corners(s, index, threads, out);
  return out;
}

void apply_chunk_levels(ChunkLevels&& levels, SceneIndex& index) {
  if (index.scene == nullptr) return;
  const Scene& s = *index.scene;
  size_t shared = 0;
  for (size_t o = 0; o < index.objects.size(); ++o)
    shared += s.objects[o].shared && index.objects[o].begin != index.objects[o].end;
  const size_t cells = index.cell_chunks();
  if (levels.chunk_levels.size() != cells + shared) return;  // another index's
  index.chunks.resize(cells);
  for (size_t i = 0; i < cells; ++i) {
    index.chunks[i].first_level = levels.chunk_levels[i].first;
    index.chunks[i].level_count = levels.chunk_levels[i].second;
    index.chunks[i].parent = i < levels.parents.size() ? levels.parents[i] : kNoChunk;
  }
  index.chunks.insert(index.chunks.end(), levels.blocks.begin(), levels.blocks.end());
  index.children = std::move(levels.children);
  size_t next = cells;
  for (size_t o = 0; o < index.objects.size(); ++o) {
    ObjectGroup& g = index.objects[o];
    if (!s.objects[o].shared || g.begin == g.end) continue;
    g.first_level = levels.chunk_levels[next].first;
    g.level_count = levels.chunk_levels[next].second;
    ++next;
  }
  index.levels = std::move(levels.levels);
  index.lod_polygons = std::move(levels.lod_polygons);
  index.lod_vertices = std::move(levels.lod_vertices);
  index.lod_light = std::move(levels.lod_light);
  index.lod_normals = std::move(levels.lod_normals);
  index.lod_colors = std::move(levels.lod_colors);
  index.shared = std::move(levels.shared);
}

uint8_t choose_level(const SceneIndex& index, const Chunk& chunk, const View& view) {
  auto gap = [](double e, double lo, double hi) { return std::max({lo - e, 0.0, e - hi}); };
  const Vec3 d{gap(view.eye.x, chunk.lo.x, chunk.hi.x), gap(view.eye.y, chunk.lo.y, chunk.hi.y),
               gap(view.eye.z, chunk.lo.z, chunk.hi.z)};
  const double distance = length(d);
  for (uint32_t k = chunk.level_count; k > 0; --k) {
    if (index.levels[chunk.first_level + k - 1].error * view.focal <=
        kMaxLevelErrorPixels * distance) {
      return static_cast<uint8_t>(k);
    }
  }
  return 0;
}

uint8_t choose_level(const SceneIndex& index, const ObjectGroup& mesh, const ObjectPose& pose,
                     const View& view) {
  const double stretch = pose.general ? largest_stretch(pose) : 1.0;
  const double distance =
      std::max(0.0, length(to_world(pose, mesh.center) - view.eye) - mesh.radius * stretch);
  for (uint32_t k = mesh.level_count; k > 0; --k) {
    if (index.levels[mesh.first_level + k - 1].error * stretch * view.focal <=
        kMaxLevelErrorPixels * distance) {
      return static_cast<uint8_t>(k);
    }
  }
  return 0;
}

}  // namespace znr
