#include "zelnary/render/chunk_lod.h"

#include <meshoptimizer.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
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
// The least error a level counts as having, as a share of its chunk's diagonal: at half a
// pixel of error, levels take over once the chunk spans at most about 100 pixels.
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
  float scale = 0.0f;             // the simplifier's errors are relative to this
  bool finite = true;             // false: a vertex beyond any sense; kept as it is
  bool shaded = false;            // its triangles carry normals and colours
  const Polygon* like = nullptr;  // texture, colour, sidedness and material of all its polygons
};

void weld(const Scene& s, const std::vector<uint32_t>& polys, const Vec3& origin, Group& g) {
  std::vector<Vertex> corners;
  std::vector<Normal> normals;
  std::vector<uint32_t> colors;
  for (uint32_t pi : polys) {
    const Polygon& p = s.polygons[pi];
    const std::span<const Vertex> v = s.vertices_of(p);
    // A polygon short of a normal at any corner is lit by its plane: none at every corner.
    const bool own = g.shaded && has_vertex_normals(s, p);
    for (size_t i = 1; i + 1 < v.size(); ++i) {
      for (const size_t k : {size_t{0}, i, i + 1}) {
        corners.push_back(v[k]);
        if (!g.shaded) continue;
        normals.push_back(own ? s.normals[p.first_vertex + k] : Normal{});
        colors.push_back(vertex_color(s, p.first_vertex + k));
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

// The triangles of indices into the index's level arrays, each with its own vertices.
void append_triangles(const Scene& s, const Group& g, const std::vector<unsigned>& indices,
                      SceneIndex& out) {
  for (size_t i = 0; i + 2 < indices.size(); i += 3) {
    const Vertex& a = g.vertices[indices[i]];
    const Vertex& b = g.vertices[indices[i + 1]];
    const Vertex& c = g.vertices[indices[i + 2]];
    const Vec3 normal = cross(b.position - a.position, c.position - a.position);
    if (!(length(normal) > 0.0)) continue;  // collapsed to a line: draws nothing
    Polygon p = *g.like;
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
    std::stable_sort(polys.begin(), polys.end(), [&](uint32_t a, uint32_t b) {
      return group_key(s.polygons[a]) < group_key(s.polygons[b]);
    });
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

    groups.clear();
    for (size_t a = 0; a < polys.size();) {
      size_t b = a + 1;
      while (b < polys.size() && group_key(s.polygons[polys[b]]) == group_key(s.polygons[polys[a]]))
        ++b;
      groups.emplace_back();
      groups.back().like = &s.polygons[polys[a]];
      groups.back().shaded = coloured;
      weld(s,
           std::vector<uint32_t>(polys.begin() + static_cast<std::ptrdiff_t>(a),
                                 polys.begin() + static_cast<std::ptrdiff_t>(b)),
           chunk.lo, groups.back());
      a = b;
    }

    // Each level is simplified from the one before, so its error adds to theirs. A level that
    // stops well short of its aim is held back by the locked borders: the next would gain
    // little, and is not tried.
    size_t kept_triangles = triangles, aim = triangles;
    double error = 0.0;
    for (size_t level = 0; level < most_levels; ++level) {
      double level_error = 0.0;
      size_t level_triangles = 0;
      for (Group& g : groups) {
        // A stop is heard between two simplifications, so that a world unloaded (or a program
        // ending) does not wait for a large chunk's levels; what is left is thrown away.
        if (stop && stop->load(std::memory_order_relaxed)) return;
        const size_t count = g.indices.size();
        if (count / 3 < kMinGroupTriangles || !g.finite) {
          level_triangles += count / 3;
          continue;
        }
        simplified.resize(count);
        float result_error = 0.0f;
        const size_t target = count / 3 / kLevelDivisor * 3;
        const size_t n = meshopt_simplify(simplified.data(), g.indices.data(), count,
                                          g.positions.data(), g.vertices.size(), sizeof(float) * 3,
                                          target, 1.0f, meshopt_SimplifyLockBorder, &result_error);
        simplified.resize(n);
        g.indices.swap(simplified);
        level_error = std::max(level_error, static_cast<double>(result_error) * g.scale);
        level_triangles += n / 3;
      }
      error += level_error;
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

// The pieces simplified: the chunks, then the shared meshes (as chunks of their own frame).
std::vector<Chunk> pieces(const Scene& s, const SceneIndex& index) {
  std::vector<Chunk> out = index.chunks;
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
    // Pieces from index.chunks.size() on are shared meshes.
    const size_t first = n * t / parts;
    const size_t first_mesh = index.chunks.size() > first ? index.chunks.size() - first : 0;
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
  return out;
}

void apply_chunk_levels(ChunkLevels&& levels, SceneIndex& index) {
  if (index.scene == nullptr) return;
  const Scene& s = *index.scene;
  size_t shared = 0;
  for (size_t o = 0; o < index.objects.size(); ++o)
    shared += s.objects[o].shared && index.objects[o].begin != index.objects[o].end;
  if (levels.chunk_levels.size() != index.chunks.size() + shared) return;  // another index's
  for (size_t i = 0; i < index.chunks.size(); ++i) {
    index.chunks[i].first_level = levels.chunk_levels[i].first;
    index.chunks[i].level_count = levels.chunk_levels[i].second;
  }
  size_t next = index.chunks.size();
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
