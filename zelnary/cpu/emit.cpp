#include "zelnary/cpu/emit.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <optional>
#include <vector>

#include "zelnary/render/flat_light.h"
#include "zelnary/render/surface_light.h"

namespace znr {
namespace {

// Whether a texture can be sampled.
bool usable(const Texture& t) {
  const Image& img = t.image;
  return img.width > 0 && img.height > 0 &&
         img.texels.size() == static_cast<size_t>(img.width) * static_cast<size_t>(img.height);
}

struct CamVertex {
  double x, y, z;  // camera space: x forward (depth), y right, z up
  double u, v;
};

// The normal (Newell's, robust when the first vertices happen to be in a line) points to the
// side from which the vertices run counter-clockwise. Camera axes (forward, right, up) are
// left-handed, hence the sign flip at the end.
void add_newell_term(Vec3& n, const CamVertex& a, const CamVertex& b) {
  n.x += (a.y - b.y) * (a.z + b.z);
  n.y += (a.z - b.z) * (a.x + b.x);
  n.z += (a.x - b.x) * (a.y + b.y);
}
// at(i): the polygon's vertex i of count.
template <class At>
Vec3 camera_normal(size_t count, At at) {
  Vec3 n;
  if (count == 3) {  // most polygons: the same sums, without the loop
    add_newell_term(n, at(0), at(1));
    add_newell_term(n, at(1), at(2));
    add_newell_term(n, at(2), at(0));
    return -n;
  }
  for (size_t i = 0; i < count; ++i) add_newell_term(n, at(i), at(i + 1 < count ? i + 1 : 0));
  return -n;
}

// Whether [lo, hi] along one screen axis may hold a pixel centre (k + 1/2). Widened by a
// little more than the rasterizer's snapping, so that nothing it would draw is dropped.
// Coordinates here are on screen (clipped), far above the floor's offset.
bool holds_pixel_centre(float lo, float hi) {
  constexpr double kMargin = 1.0 / 128.0, kOffset = 65536.0;
  auto floor_of = [](double t) { return static_cast<int64_t>(t + kOffset) - int64_t{65536}; };
  // Some k with lo - 1/2 <= k <= hi - 1/2: floor(hi - 1/2) >= ceil(lo - 1/2).
  return floor_of(hi - 0.5 + kMargin) >= -floor_of(0.5 - lo + kMargin);
}

// The shade a fraction t of the way from a to b.
VertexShade mix(const VertexShade& a, const VertexShade& b, float t) {
  VertexShade m;
  for (int c = 0; c < 3; ++c) {
    m.mul[c] = a.mul[c] + (b.mul[c] - a.mul[c]) * t;
    m.add[c] = a.add[c] + (b.add[c] - a.add[c]) * t;
  }
  m.alpha = a.alpha + (b.alpha - a.alpha) * t;
  return m;
}

// Whether the eye (the origin of camera space) is on the normal's side of the plane.
bool facing(const Vec3& n, const CamVertex& on_plane) {
  return n.x * on_plane.x + n.y * on_plane.y + n.z * on_plane.z < 0.0;
}

// A vertex lit lately, found again by what its light depends on: a mesh's polygons each carry
// their own copies of the vertices they share, and neighbours mostly come close together, so
// that most vertices are lit once rather than once for each of their polygons. The eye and the
// scene are those of the emitter whose shader made the entry.
struct LitVertex {
  uint64_t position[3];  // the bits of the doubles
  uint32_t normal[3];    // the bits of the stored floats
  uint32_t color;
  uint64_t tag = 0;  // the shader's number times two, plus one when seen from the front
  VertexShade shade;
};

// The vertices lit lately on this thread, by a hash of their position. Kept from one emitter
// to the next rather than cleared for each batch of chunks: every shader has a number of its
// own, so entries of earlier ones (other frames, other emitters) never match.
struct LitVertices {
  static constexpr int kBits = 10;
  std::vector<LitVertex> slots;  // 2^kBits, made on first use
  uint64_t shaders = 0;          // how many shaders this thread has numbered
};
thread_local LitVertices t_lit;

// A distinct vertex of the run of polygons being emitted: where it is in camera space and on
// screen, and its light once found.
struct SharedVertex {
  CamVertex cam;
  DrawVertex screen;  // where code is 0
  unsigned code;      // the frustum planes it is outside of; 0 in a box wholly in view
  bool finite;        // whether its camera coordinates are (always so in such a box)
  bool normal;        // whether it carries a normal
  uint32_t color;
  uint64_t tag;  // as LitVertex's, for shade; 0 before it is lit
  VertexShade shade;
};

// Where an emitter bins what it draws, when it emits straight into tile bins.
struct BinTarget {
  const TileGrid* grid;
  TileBins* bins;
  uint32_t batch;
  Sides sides;                         // of the chunks' polygons
  std::vector<BehindPolygon>* behind;  // where Sides::front puts those seen from behind
};

// Turns scene polygons into draw-list polygons for one view. Holds the scratch space of one
// thread.
class Emitter {
 public:
  // vertices: those the polygons index, the scene's or those of the chunks' levels of detail.
  // normals, colors: indexed like vertices (the scene's own, a skin's posed normals, or the
  // levels'), or empty.
  // shading: whether polygons may be lit per vertex.
  // bin: where drawn polygons are binned (out is then its bins.all), or null.
  Emitter(const Scene& scene, const View& view, DrawList& out, std::span<const Vertex> vertices,
          std::span<const Normal> normals, std::span<const uint32_t> colors, bool shading,
          const BinTarget* bin)
      : s_(scene),
        v_(view),
        out_(out),
        bin_(bin),
        vertices_(vertices),
        normals_(normals.size() == vertices.size() ? normals : std::span<const Normal>()),
        colors_(colors),
        shading_(shading && (!scene.materials.empty() || !normals_.empty() || !colors_.empty())) {
    usable_.reserve(scene.textures.size());
    for (const Texture& t : scene.textures) usable_.push_back(usable(t));
  }

  // light: the polygon's flat light, found with the index; nullptr for an object's polygon,
  // whose light follows from its plane over these vertices, turned by pose, and is worked out
  // only if the polygon is drawn (most of a large object's polygons are specks or face away).
  // corners: where the polygon's vertices are among those shared() last (then pose is null),
  // else null.
  void emit(const Polygon& p, const ObjectPose* pose, const PolygonLight* light,
            const uint16_t* corners = nullptr);
  // The distinct vertices (indices into vertices) of the run of polygons emitted next with
  // corners, each transformed once here, and those in view with a normal lit for first, the
  // run's first polygon, seen from the front. After set_inside for the run.
  void share(std::span<const uint32_t> distinct, const Polygon& first);
  // Whether the polygons emitted next (without a pose) lie inside a box wholly inside the
  // view: their vertices are then neither tested against the planes nor clipped.
  void set_inside(bool inside) { inside_ = inside; }
  // Which sides of the chunks' polygons to emit; level: whether these are the levels' polygons
  // (for those put aside).
  void set_sides(Sides sides, bool level) {
    sides_ = sides;
    level_ = level;
  }
  // Asks for p's vertices, normals and colours to be brought into the cache.
  void prefetch(const Polygon& p) const {
    const size_t v = p.first_vertex;
    if (p.vertex_count == 0 || v + p.vertex_count > vertices_.size()) return;
    __builtin_prefetch(&vertices_[v]);
    __builtin_prefetch(&vertices_[v + p.vertex_count - 1]);
    if (!normals_.empty()) __builtin_prefetch(&normals_[v]);
    if (v < colors_.size()) __builtin_prefetch(&colors_[v]);
  }

 private:
  void clip(int plane);
  DrawVertex project(const CamVertex& c) const {
    const double iw = 1.0 / c.x;
    return {static_cast<float>(v_.width * 0.5 + v_.focal * c.y * iw),
            static_cast<float>(v_.height * 0.5 - v_.focal * c.z * iw), static_cast<float>(iw),
            static_cast<float>(c.u), static_cast<float>(c.v)};
  }
  // Appends dp to the drawn polygons, and to the tiles its bounds touch when binning.
  void keep(DrawPolygon& dp, float minx, float maxx, float miny, float maxy);
  // The shader of p's colour and material, made anew when the last one's differ.
  const PolygonShader& shader_for(const Polygon& p);
  // The shades of p's vertices, seen from its front or back, into shade_.
  // normals: whether every vertex of p carries a normal of the scene's.
  // corners: as emit's.
  void shade(const Polygon& p, const ObjectPose* pose, bool front, bool normals,
             const uint16_t* corners);

  const Scene& s_;
  const View& v_;
  DrawList& out_;
  const BinTarget* bin_;
  std::span<const Vertex> vertices_;
  std::span<const Normal> normals_;
  std::span<const uint32_t> colors_;
  const bool shading_;
  bool shaded_ = false;  // the polygon being emitted carries shades (parallel to poly_)
  bool inside_ = false;
  Sides sides_ = Sides::both;
  bool level_ = false;
  const Vec3 sun_ = normalized(s_.lighting.sun_direction);  // the way towards the sun
  std::vector<bool> usable_;  // per texture of the scene: whether it can be sampled
  // The light of the last polygon shaded, kept for the next ones of the same colour and
  // material (most of a mesh's polygons share both).
  std::optional<PolygonShader> shader_;
  uint16_t shader_material_ = 0;
  Color shader_color_;
  uint64_t shader_id_ = 0;  // the shader's number in this thread's LitVertices
  std::vector<CamVertex> poly_, scratch_;
  std::vector<VertexShade> shade_, shade_scratch_;
  std::span<const uint32_t> distinct_;  // of the run shared
  std::vector<SharedVertex> shared_;    // parallel to distinct_
  std::vector<StoredVertex> to_light_;  // scratch of share: shared vertices to light
  std::vector<uint32_t> to_light_at_;   // and where they are in shared_
  std::vector<VertexShade> lit_;
};

// A normal in an object's frame turned into world orientation.
Vec3 turned(const ObjectPose* pose, const Vec3& n) {
  return pose ? turn_normal(*pose, n) : n;
}

const PolygonShader& Emitter::shader_for(const Polygon& p) {
  if (!shader_ || shader_material_ != p.material || !(shader_color_ == p.color)) {
    shader_.emplace(s_, p, sun_);
    shader_material_ = p.material;
    shader_color_ = p.color;
    shader_id_ = ++t_lit.shaders;
  }
  return *shader_;
}

void Emitter::shade(const Polygon& p, const ObjectPose* pose, bool front, bool normals,
                    const uint16_t* corners) {
  const size_t n = p.vertex_count;
  shade_.resize(n);
  const bool own = normals && p.first_vertex + n <= normals_.size();
  const PolygonShader& light = shader_for(p);
  // Vertices of the scene's own normals, not posed, are looked up among those lit lately,
  // unless they are shared, and so lit once in their run anyway.
  const bool recall = own && pose == nullptr && corners == nullptr;
  std::vector<LitVertex>& lit = t_lit.slots;
  if (recall && lit.empty()) lit.resize(size_t{1} << LitVertices::kBits);
  const uint64_t tag = shader_id_ * 2u + (front ? 1u : 0u);
  const Vec3 plane = own ? Vec3{} : normalized(turned(pose, polygon_normal(vertices_, p)));
  const double side = front ? 1.0 : -1.0;
  // The slot of a vertex's position among those lit lately.
  auto slot_of = [&lit](const Vec3& position) {
    // Coordinates are often whole numbers, whose low bits are all zero: the high bits are
    // folded down before the multiplication carries every bit into the top ones.
    uint64_t hash = std::bit_cast<uint64_t>(position.x) ^
                    std::rotl(std::bit_cast<uint64_t>(position.y), 21) ^
                    std::rotl(std::bit_cast<uint64_t>(position.z), 42);
    hash ^= hash >> 32;
    hash *= 0x9E3779B97F4A7C15ull;
    return &lit[hash >> (64 - LitVertices::kBits)];
  };
  // The first corners' slots are found first, so that they are on their way from memory while
  // the first corner is lit.
  constexpr size_t kAhead = 4;
  LitVertex* ahead[kAhead] = {};
  if (recall) {
    for (size_t i = 0; i < std::min(n, kAhead); ++i) {
      ahead[i] = slot_of(vertices_[p.first_vertex + i].position);
      __builtin_prefetch(ahead[i], 1);
    }
  }
  for (size_t i = 0; i < n; ++i) {
    // A shared vertex's light is kept for the run's other polygons when it comes from its own
    // normal; lit by the polygon's plane, it is the polygon's alone.
    SharedVertex* shared = corners != nullptr && own ? &shared_[corners[i]] : nullptr;
    if (shared != nullptr && shared->tag == tag) {
      shade_[i] = shared->shade;
      continue;
    }
    // A shared vertex's copies are the same to the bit: the one read is the first.
    const size_t at = shared != nullptr ? distinct_[corners[i]] : p.first_vertex + i;
    const uint32_t color = at < colors_.size() ? colors_[at] : kNoVertexColor;
    LitVertex* slot = nullptr;
    if (recall) {
      const Vec3& at_position = vertices_[at].position;
      const uint64_t position[3] = {std::bit_cast<uint64_t>(at_position.x),
                                    std::bit_cast<uint64_t>(at_position.y),
                                    std::bit_cast<uint64_t>(at_position.z)};
      const uint32_t normal[3] = {std::bit_cast<uint32_t>(normals_[at].x),
                                  std::bit_cast<uint32_t>(normals_[at].y),
                                  std::bit_cast<uint32_t>(normals_[at].z)};
      slot = i < kAhead ? ahead[i] : slot_of(at_position);
      if (slot->tag == tag && slot->color == color &&
          std::equal(position, position + 3, slot->position) &&
          std::equal(normal, normal + 3, slot->normal)) {
        shade_[i] = slot->shade;
        continue;
      }
      std::copy_n(position, 3, slot->position);
      std::copy_n(normal, 3, slot->normal);
      slot->color = color;
      slot->tag = tag;
    }
    // Without a pose the stored normal is used as it is, unit already; a general pose's
    // inverse transpose changes its length.
    const Vec3 normal = (!own   ? plane
                         : pose ? normalized(turned(pose, unit_normal(normals_[at])))
                                : unit_normal(normals_[at])) *
                        side;
    const Vec3 world = pose ? to_world(*pose, vertices_[at].position) : vertices_[at].position;
    shade_[i] = light.at_point(color, normal, world, v_.eye);
    if (slot != nullptr) slot->shade = shade_[i];
    if (shared != nullptr) {
      shared->tag = tag;
      shared->shade = shade_[i];
    }
  }
}

void Emitter::share(std::span<const uint32_t> distinct, const Polygon& first) {
  distinct_ = distinct;
  shared_.resize(distinct.size());
  const bool normals = !normals_.empty();
  to_light_.clear();
  to_light_at_.clear();
  for (size_t i = 0; i < distinct.size(); ++i) {
    if (i + 8 < distinct.size() && distinct[i + 8] < vertices_.size()) {
      const uint32_t ahead = distinct[i + 8];
      __builtin_prefetch(&vertices_[ahead]);
      if (normals) __builtin_prefetch(&normals_[ahead]);
      if (ahead < colors_.size()) __builtin_prefetch(&colors_[ahead]);
    }
    const uint32_t at = distinct[i];
    SharedVertex& v = shared_[i];
    v.tag = 0;
    if (at >= vertices_.size()) {  // never so in a run's table: drawn as outside everything
      v.code = 0x1F;
      v.finite = false;
      continue;
    }
    const Vertex& src = vertices_[at];
    const Vec3 d = src.position - v_.eye;
    v.cam = {dot(d, v_.forward), dot(d, v_.right), dot(d, v_.up), src.u, src.v};
    v.code = inside_ ? 0 : outside_planes(v_, v.cam.x, v.cam.y, v.cam.z);
    v.finite = inside_ || std::fabs(v.cam.x) + std::fabs(v.cam.y) + std::fabs(v.cam.z) < 1e30;
    if (v.code == 0) v.screen = project(v.cam);
    v.normal = normals && !normals_[at].none();
    v.color = at < colors_.size() ? colors_[at] : kNoVertexColor;
    if (v.normal && v.code == 0 && shading_) {
      to_light_.push_back({normals_[at], src.position, v.color});
      to_light_at_.push_back(static_cast<uint32_t>(i));
    }
  }
  // Most of a run's vertices in view are corners of polygons drawn from the front in the
  // shader of the first (a mesh's polygons mostly share colour and material): lit together
  // here, several at a time, rather than one by one as their polygons come. Those lit for
  // another side or shader are lit again when asked for.
  if (to_light_.empty()) return;
  const PolygonShader& light = shader_for(first);
  lit_.resize(to_light_.size());
  light.stored_many(to_light_, 1.0, v_.eye, lit_.data());
  const uint64_t tag = shader_id_ * 2u + 1u;
  for (size_t i = 0; i < to_light_at_.size(); ++i) {
    SharedVertex& v = shared_[to_light_at_[i]];
    v.tag = tag;
    v.shade = lit_[i];
  }
}

void Emitter::emit(const Polygon& p, const ObjectPose* pose, const PolygonLight* light,
                   const uint16_t* corners) {
  if (p.vertex_count < 3 ||
      static_cast<size_t>(p.first_vertex) + p.vertex_count > vertices_.size()) {
    return;  // not a polygon; the loader never makes one, but a scene may be hand-built
  }
  const Vertex* src = vertices_.data() + p.first_vertex;
  const uint32_t n = p.vertex_count;

  // Into camera space, noting which frustum planes each vertex is outside of. Shared corners
  // are there already, and copied out only to be clipped.
  unsigned all_out = 0x1F, any_out = 0;
  bool finite = true;
  const bool inside = inside_ && pose == nullptr;
  if (inside) all_out = 0;
  for (uint32_t i = 0; corners != nullptr && i < n; ++i) {
    const SharedVertex& v = shared_[corners[i]];
    all_out &= v.code;
    any_out |= v.code;
    finite = finite && v.finite;
  }
  const bool copied = corners == nullptr || any_out != 0;  // poly_ holds the polygon
  if (copied) poly_.resize(n);
  for (uint32_t i = 0; corners != nullptr && copied && i < n; ++i)
    poly_[i] = shared_[corners[i]].cam;
  for (uint32_t i = 0; corners == nullptr && i < n; ++i) {
    const Vec3 d = (pose ? to_world(*pose, src[i].position) : src[i].position) - v_.eye;
    CamVertex& c = poly_[i];
    c = {dot(d, v_.forward), dot(d, v_.right), dot(d, v_.up), src[i].u, src[i].v};
    if (inside) continue;
    const unsigned code = outside_planes(v_, c.x, c.y, c.z);
    all_out &= code;
    any_out |= code;
    finite = finite && std::fabs(c.x) + std::fabs(c.y) + std::fabs(c.z) < 1e30;  // NaN: false
  }
  if (all_out != 0 || !finite) return;  // wholly outside one plane, or beyond any sense
  // Which side of the polygon (as clipped so far) the eye sees.
  auto facing_side = [&] {
    if (copied) {
      return facing(
          camera_normal(poly_.size(), [&](size_t i) -> const CamVertex& { return poly_[i]; }),
          poly_[0]);
    }
    auto at = [&](size_t i) -> const CamVertex& { return shared_[corners[i]].cam; };
    return facing(camera_normal(n, at), at(0));
  };

  // One-sided polygons seen from behind, and two-sided ones of the side not asked for, are
  // dropped before any more work; the others learn their facing side later, and only if they
  // are big enough to draw.
  bool front = true;
  bool facing_known = false;
  if (!p.two_sided) {
    front = facing_side();
    facing_known = true;
    if (!front) return;
  }
  // Whether a two-sided polygon shows the side not asked for. One seen from behind in a pass of
  // the front sides is put aside with its bounds once they are known.
  auto other_side = [&] {
    if (sides_ == Sides::both || !p.two_sided) return false;
    if (!facing_known) front = facing_side();
    facing_known = true;
    return front != (sides_ == Sides::front);
  };
  // Polygons lit per vertex are shaded before clipping when they are clipped, since clipping
  // carries their shades; otherwise only once they are known to be drawn (most polygons of a
  // large world are specks), and only then are their normals and colours read.
  // As needs_vertex_shade decides, with the normals' answer kept for shade().
  bool normals = false;
  auto shade_if_lit_per_vertex = [&] {
    if (!shading_) {
      shaded_ = false;
      return;
    }
    if (corners != nullptr) {
      normals = true;
      bool colors = false;
      for (uint32_t i = 0; i < n; ++i) {
        const SharedVertex& v = shared_[corners[i]];
        normals = normals && v.normal;
        colors = colors || v.color != kNoVertexColor;
      }
      shaded_ = normals || colors || !s_.material_of(p).plain();
    } else {
      normals = has_vertex_normals(normals_, p);
      shaded_ = normals || !s_.material_of(p).plain() || has_vertex_colors(colors_, p);
    }
    if (!shaded_) return;
    if (!facing_known) front = facing_side();
    shade(p, pose, front, normals, corners);
  };
  shaded_ = false;
  bool put_aside = false;  // seen from behind, clipped: put aside once projected
  if (any_out != 0) {
    if (other_side()) {
      if (front || sides_ != Sides::front) return;
      put_aside = true;
    }
    if (!put_aside) shade_if_lit_per_vertex();
    for (int plane = 0; plane < 5 && poly_.size() >= 3; ++plane) {
      if (any_out & (1u << plane)) clip(plane);
    }
    if (poly_.size() < 3) return;
  }

  // Project; drop polygons too small to hold a pixel centre (1M-triangle worlds are mostly
  // such specks at a distance).
  // Shared vertices inside every plane are on screen already.
  const bool projected = corners != nullptr && any_out == 0;
  const auto first = static_cast<uint32_t>(out_.vertices.size());
  float minx = 1e30f, maxx = -1e30f, miny = 1e30f, maxy = -1e30f, sum = 0.0f, nearest = 0.0f;
  const size_t count = copied ? poly_.size() : n;
  for (size_t i = 0; i < count; ++i) {
    const DrawVertex d = projected ? shared_[corners[i]].screen : project(poly_[i]);
    minx = std::min(minx, d.x);
    maxx = std::max(maxx, d.x);
    miny = std::min(miny, d.y);
    maxy = std::max(maxy, d.y);
    nearest = std::max(nearest, d.inv_w);
    sum += d.x + d.y;  // not finite if any coordinate is not
    out_.vertices.push_back(d);
  }
  if (!std::isfinite(sum) || !holds_pixel_centre(minx, maxx) || !holds_pixel_centre(miny, maxy)) {
    out_.vertices.resize(first);
    return;
  }
  if (put_aside || (any_out == 0 && other_side())) {
    out_.vertices.resize(first);
    if (!front && sides_ == Sides::front && bin_ != nullptr && bin_->behind != nullptr)
      bin_->behind->push_back({&p, light, minx, maxx, miny, maxy, nearest, level_});
    return;
  }

  if (any_out == 0) shade_if_lit_per_vertex();
  DrawPolygon dp;
  dp.first = first;
  dp.count = static_cast<uint32_t>(count);
  // The polygon's texture when it names one that can be sampled, else none.
  dp.texture = p.texture >= 0 && static_cast<size_t>(p.texture) < usable_.size() &&
                       usable_[static_cast<size_t>(p.texture)]
                   ? p.texture
                   : -1;
  if (shaded_) {
    dp.shade = static_cast<uint32_t>(out_.shades.size());
    out_.shades.insert(out_.shades.end(), shade_.begin(), shade_.end());
    const Material& m = s_.material_of(p);
    dp.alpha_mode = m.alpha_mode;
    if (m.alpha_mode == AlphaMode::Mask) dp.alpha_key = m.cutoff;
    if (m.alpha_mode == AlphaMode::Blend) {
      double depth = 0.0;
      for (size_t i = 0; i < count; ++i) depth += copied ? poly_[i].x : shared_[corners[i]].cam.x;
      dp.alpha_key = static_cast<float>(depth / static_cast<double>(count));
      out_.blended.push_back(dp);
      return;
    }
    keep(dp, minx, maxx, miny, maxy);
    return;
  }
  if (!facing_known) front = facing_side();

  // The flat light of the side the eye sees, found by the front end.
  const PolygonLight lit =
      light ? *light : flat_light(s_, p, turned(pose, polygon_normal(vertices_, p)));
  std::copy_n(front ? lit.front : lit.back, 3, dp.mul);
  keep(dp, minx, maxx, miny, maxy);
}

void Emitter::keep(DrawPolygon& dp, float minx, float maxx, float miny, float maxy) {
  const auto at = static_cast<uint32_t>(out_.polygons.size());
  if (bin_ != nullptr) dp.batch = bin_->batch;
  out_.polygons.push_back(dp);
  if (bin_ != nullptr) bin_bounds(at, minx, maxx, miny, maxy, *bin_->grid, *bin_->bins);
}

// Sutherland-Hodgman against one frustum plane, in camera space; texture coordinates are
// interpolated along with the position, which is exact there.
void Emitter::clip(int plane) {
  auto inside = [&](const CamVertex& c) { return plane_side(v_, plane, c.x, c.y, c.z); };
  scratch_.clear();
  shade_scratch_.clear();
  for (size_t i = 0; i < poly_.size(); ++i) {
    const size_t j = (i + 1) % poly_.size();
    const CamVertex& a = poly_[i];
    const CamVertex& b = poly_[j];
    const double fa = inside(a), fb = inside(b);
    if (fa >= 0.0) {
      scratch_.push_back(a);
      if (shaded_) shade_scratch_.push_back(shade_[i]);
    }
    if ((fa >= 0.0) != (fb >= 0.0)) {
      const double t = fa / (fa - fb);
      scratch_.push_back({a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t, a.z + (b.z - a.z) * t,
                          a.u + (b.u - a.u) * t, a.v + (b.v - a.v) * t});
      if (shaded_) shade_scratch_.push_back(mix(shade_[i], shade_[j], static_cast<float>(t)));
    }
  }
  poly_.swap(scratch_);
  shade_.swap(shade_scratch_);
}

}  // namespace

namespace {

// The polygons of the ranges appended to out, binned as bin says when given.
// Gives out the frame's background and textures; false when the frame has no scene to draw.
bool start_list(const Frame& frame, DrawList& out) {
  out.background = frame.background;
  if (frame.scene == nullptr || frame.index == nullptr) return false;
  out.textures = frame.scene->textures;
  out.mip_levels = frame.index->mip_levels;
  return true;
}

// The emitters of a frame's chunk polygons into out: the scene's own and the levels'.
struct ChunkEmitters {
  Emitter own, levels;

  ChunkEmitters(const Frame& frame, DrawList& out, const BinTarget* bin)
      : own(*frame.scene, frame.view, out, frame.scene->vertices, frame.scene->normals,
            frame.scene->vertex_colors, true, bin),
        // Levels are lit flat, but for those of chunks with highlights, glow or vertex colours.
        levels(*frame.scene, frame.view, out, frame.index->lod_vertices, frame.index->lod_normals,
               frame.index->lod_colors, !frame.index->lod_normals.empty(), bin) {}
  void set_sides(Sides sides) {
    own.set_sides(sides, false);
    levels.set_sides(sides, true);
  }
};

// The corners of entries [begin, end), their distinct vertices shared with e, when runs[at] is
// their table; else null.
const uint16_t* share_run(Emitter& e, const SharedCorners& tables,
                          const std::vector<CornerRun>& runs, size_t at, uint32_t begin,
                          uint32_t end, const Polygon& first) {
  if (at >= runs.size() || !runs[at].usable_for(begin, end)) return nullptr;
  const CornerRun& r = runs[at];
  e.share(std::span(tables.distinct).subspan(r.first_distinct, r.distinct_count), first);
  return tables.corners.data() + r.first_corner;
}

void emit_into(const Frame& frame, size_t chunk_begin, size_t chunk_end, size_t object_begin,
               size_t object_end, DrawList& out, const PosedSkins* posed, const BinTarget* bin) {
  if (!start_list(frame, out)) return;
  const Scene& scene = *frame.scene;
  const SceneIndex& index = *frame.index;
  ChunkEmitters emitters(frame, out, bin);
  Emitter& e = emitters.own;
  Emitter& simplified = emitters.levels;
  if (bin != nullptr) emitters.set_sides(bin->sides);
  const Polygon* polygons = scene.polygons.data();
  const Vertex* vertices = scene.vertices.data();
  const size_t vertex_count = scene.vertices.size();
  for (size_t i = chunk_begin; i < std::min(chunk_end, frame.chunks.size()); ++i) {
    const Chunk& c = index.chunks[frame.chunks[i]];
    const bool inside = box_inside(frame.view, c.lo, c.hi);
    e.set_inside(inside);
    simplified.set_inside(inside);
    // Through the run's corner table where it has one (null: each polygon's own vertices).
    if (const uint8_t level = i < frame.chunk_level.size() ? frame.chunk_level[i] : 0) {
      const uint32_t at = c.first_level + level - 1u;
      const ChunkLevel& l = index.levels[at];
      const uint16_t* corners = l.begin < l.end
                                    ? share_run(simplified, index.shared, index.shared.levels, at,
                                                l.begin, l.end, index.lod_polygons[l.begin])
                                    : nullptr;
      for (uint32_t k = l.begin; k < l.end; ++k) {
        const Polygon& p = index.lod_polygons[k];
        simplified.emit(p, nullptr, &index.lod_light[k], corners);
        if (corners != nullptr) corners += p.vertex_count;
      }
      continue;
    }
    const uint16_t* corners = c.begin < c.end
                                  ? share_run(e, index.shared, index.shared.chunks, frame.chunks[i],
                                              c.begin, c.end, polygons[index.order[c.begin]])
                                  : nullptr;
    for (uint32_t k = c.begin; k < c.end; ++k) {
      // Large worlds are bound by memory: ask for polygons (and vertices, where not shared) a
      // little ahead.
      if (k + 16 < c.end) __builtin_prefetch(&polygons[index.order[k + 16]]);
      if (corners == nullptr && k + 8 < c.end) {
        const uint32_t v = polygons[index.order[k + 8]].first_vertex;
        if (v < vertex_count) __builtin_prefetch(vertices + v);
      }
      const Polygon& p = polygons[index.order[k]];
      e.emit(p, nullptr, &index.light[k], corners);
      if (corners != nullptr) corners += p.vertex_count;
    }
  }
  e.set_inside(false);
  simplified.set_inside(false);
  emitters.set_sides(Sides::both);
  for (size_t i = object_begin; i < std::min(object_end, frame.objects.size()); ++i) {
    const VisibleObject& o = frame.objects[i];
    const ObjectGroup& g = index.objects[o.object];
    if (o.skinned && posed != nullptr) {
      // In world coordinates already; the light of the posed shape.
      Emitter skinned(scene, frame.view, out, posed->vertices(), posed->normals(),
                      scene.vertex_colors, true, bin);
      for (uint32_t k = g.begin; k < g.end; ++k) {
        const Polygon& p = polygons[index.order[k]];
        skinned.emit(p, nullptr, nullptr);
      }
      continue;
    }
    if (o.level > 0 && o.level <= g.level_count) {
      const ChunkLevel& l = index.levels[g.first_level + o.level - 1u];
      for (uint32_t k = l.begin; k < l.end; ++k) {
        const Polygon& p = index.lod_polygons[k];
        simplified.emit(p, &o.pose, nullptr);
      }
      continue;
    }
    for (uint32_t k = g.begin; k < g.end; ++k) {
      const Polygon& p = polygons[index.order[k]];
      e.emit(p, &o.pose, nullptr);
    }
  }
}

}  // namespace

void emit_range(const Frame& frame, size_t chunk_begin, size_t chunk_end, size_t object_begin,
                size_t object_end, DrawList& out, const PosedSkins* posed) {
  out.clear();
  emit_into(frame, chunk_begin, chunk_end, object_begin, object_end, out, posed, nullptr);
}

void emit_range_binned(const Frame& frame, size_t chunk_begin, size_t chunk_end,
                       size_t object_begin, size_t object_end, uint32_t batch, const TileGrid& grid,
                       TileBins& bins, const PosedSkins* posed, Sides sides,
                       std::vector<BehindPolygon>* behind) {
  if (grid.count() == 0) return;  // nothing to draw into
  const BinTarget bin{&grid, &bins, batch, sides, behind};
  emit_into(frame, chunk_begin, chunk_end, object_begin, object_end, bins.all, posed, &bin);
}

uint64_t emit_behind_binned(const Frame& frame, std::span<const BehindPolygon> polygons,
                            uint32_t batch, const TileGrid& grid, TileBins& bins,
                            const CoarseDepth& drawn, const Framebuffer& depth) {
  if (grid.count() == 0 || !start_list(frame, bins.all)) return 0;
  const BinTarget bin{&grid, &bins, batch, Sides::back, nullptr};
  ChunkEmitters emitters(frame, bins.all, &bin);
  emitters.set_sides(Sides::back);
  uint64_t hidden = 0;
  // By the bounds they were put aside with, before their vertices are read again; then those
  // shown, their records and vertices asked for a few polygons ahead: they lie scattered over
  // the scene, and few are still in the cache.
  thread_local std::vector<const BehindPolygon*> shown;
  shown.clear();
  for (const BehindPolygon& b : polygons) {
    if (drawn.hides_rect(b.x0, b.x1, b.y0, b.y1, b.nearest) ||
        CoarseDepth::hides_pixels(depth, b.x0, b.x1, b.y0, b.y1, b.nearest)) {
      ++hidden;
    } else {
      shown.push_back(&b);
    }
  }
  auto emitter = [&](const BehindPolygon& b) -> Emitter& {
    return b.level ? emitters.levels : emitters.own;
  };
  constexpr size_t kRecordsAhead = 8, kVerticesAhead = 4;
  for (size_t i = 0; i < shown.size(); ++i) {
    if (i + kRecordsAhead < shown.size()) __builtin_prefetch(shown[i + kRecordsAhead]->polygon);
    if (i + kVerticesAhead < shown.size()) {
      const BehindPolygon& ahead = *shown[i + kVerticesAhead];
      emitter(ahead).prefetch(*ahead.polygon);
    }
    emitter(*shown[i]).emit(*shown[i]->polygon, nullptr, shown[i]->light);
  }
  return hidden;
}

}  // namespace znr
