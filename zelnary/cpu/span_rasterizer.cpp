// The fast path: each triangle is walked row by row; the span's ends come from integer edge
// walkers stepped once per row, and colour, depth and texture coordinates step along the
// span. Coverage is decided by the same exact edge functions as the reference. Triangles are
// drawn one screen tile at a time (tiles.h), cut to the tile. Textured spans go to the loops of
// span_loops.h through the table the caller chose (span_mode.h); this file compiles them for one
// pixel at a time and for SSE2, span_loops_avx2.cpp for AVX2. Where the table has them, small
// triangles (most of a large world's), flat, textured or lit per vertex, go whole to a loop that
// finds each row's pixels from the edge functions a group of lanes at a time, without the
// walkers and their divisions.
#define ZNR_SPAN_TARGET  // the baseline build's instruction set

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "zelnary/cpu/mip_footprint.h"
#include "zelnary/cpu/rasterizer.h"
#include "zelnary/cpu/shaded_span.h"
#include "zelnary/cpu/shading.h"
#include "zelnary/cpu/span_loops.h"
#include "zelnary/cpu/span_mode.h"
#include "zelnary/cpu/tiles.h"
#include "zelnary/cpu/triangle_setup.h"

namespace znr {
namespace {

// floor(n / d) for n stepping by a constant each row, kept as quotient and remainder.
struct FloorWalker {
  int64_t q = 0, r = 0, d = 1, step_q = 0, step_r = 0;

  // stepping: false when the triangle has one row only, which spares a division.
  void init(int64_t n, int64_t divisor, int64_t step, bool stepping) {
    d = divisor;
    q = floor_div(n, d);
    r = n - q * d;
    if (stepping) {
      step_q = floor_div(step, d);
      step_r = step - step_q * d;
    }
  }
  // Without a branch: whether the remainder wraps changes from row to row at random.
  void next() {
    r += step_r;
    const int64_t wrap = r >= d ? 1 : 0;
    q += step_q + wrap;
    r -= d & -wrap;
  }
  int64_t floor() const { return q; }
  int64_t ceil() const { return q + (r != 0 ? 1 : 0); }
};

// One edge's limit on the span in each row. Edge condition at pixel x of a row:
// k - D * x >= 0, where k moves by dx * kSubpixel per row (see edge_value).
struct EdgeLimit {
  enum Kind { Lower, Upper, Horizontal } kind = Horizontal;
  FloorWalker walk;
  int64_t k = 0, k_step = 0;  // for horizontal edges: the row is in when k >= 0

  void init(const TriangleSetup& t, int i, int32_t row, bool stepping) {
    const int a = (i + 1) % 3, b = (i + 2) % 3;
    const int64_t dx = t.x[b] - t.x[a], dy = t.y[b] - t.y[a];
    const int64_t py = row * kSubpixel + kSubpixel / 2;
    // E(x) = dx (py - ay) - dy (x S + S/2 - ax); covered when E - bias >= 0.
    k = dx * (py - t.y[a]) + dy * (t.x[a] - kSubpixel / 2) - (t.top_left[i] ? 0 : 1);
    k_step = dx * kSubpixel;
    if (dy > 0) {  // x <= floor(k / (dy S))
      kind = Upper;
      walk.init(k, dy * kSubpixel, k_step, stepping);
    } else if (dy < 0) {  // x >= ceil(k / (dy S)) = ceil(-k / (-dy S))
      kind = Lower;
      walk.init(-k, -dy * kSubpixel, -k_step, stepping);
    } else {
      kind = Horizontal;
    }
  }
  void next() {
    if (kind == Horizontal) {
      k += k_step;
    } else {
      walk.next();
    }
  }
};

void draw_span(const SpanContext& s, int32_t y, int32_t xl, int32_t lo, int32_t hi) {
  const size_t row = static_cast<size_t>(y) * static_cast<size_t>(s.fb->width);
  uint32_t* color = s.fb->color.data() + row;
  float* depth = s.fb->depth.data() + row;
  const float iw_row = s.inv_w.row(y), diw = static_cast<float>(s.inv_w.dx);
  if (s.level.tex == nullptr) {
    for (int32_t x = lo; x <= hi; ++x) {
      const float iw = iw_row + diw * static_cast<float>(x);
      if (iw > depth[x]) {
        depth[x] = iw;
        color[x] = s.flat;
      }
    }
    return;
  }
  s.textured[s.level.pow2 ? 1 : 0](s, y, xl, lo, hi, color, depth, iw_row, diw);
}

// Triangles at most this many pixels wide and high pick their mip level once.
constexpr int64_t kSmallTriangle = 16;

// Whether the loops draw t whole, row by row: at most as wide as they take, inside the tile
// across, and its corners at most that many pixels apart each way too, so that its edge
// functions stay far inside 32 bits (a few times 2^27 at most).
// wide, tall: how far apart its corners are across and down, fixed point.
bool fits_small_loop(const TriangleSetup& t, int64_t wide, int64_t tall, const PixelRect& clip,
                     const SpanLoops& loops) {
  const int64_t side = int64_t{loops.small_columns} * kSubpixel;
  return t.x1 - t.x0 < loops.small_columns && t.x0 >= clip.x0 && t.x1 < clip.x1 && wide <= side &&
         tall <= side;
}

// Which of the small-triangle loops draws a level: -1 for none (textures of other sizes, and
// ones too large for 32-bit texel indices, go span by span).
int small_kind(const Level& level, bool perspective) {
  if (level.tex == nullptr) return 0;
  if (!level.pow2) return -1;
  if (!perspective) return 1;
  const Image& tex = *level.tex;
  const bool indexable = tex.width <= 65536 && tex.height <= 65536 &&
                         static_cast<int64_t>(tex.width) * tex.height < (int64_t{1} << 31);
  return indexable ? 2 : -1;
}

// t's edge functions as the small-triangle loops step them, from the first pixel of its box, in
// the tile clip.
// Edge i at pixel x of row y is k - dy S x (see EdgeLimit), k moving by dx S a row.
TriangleRows triangle_rows(const TriangleSetup& t, const PixelRect& clip) {
  TriangleRows r;
  r.x_limit = clip.x1;
  r.x0 = t.x0;
  r.y0 = t.y0;
  r.y1 = t.y1;
  r.columns = t.x1 - t.x0 + 1;
  const int64_t py = int64_t{t.y0} * kSubpixel + kSubpixel / 2;
  for (int i = 0; i < 3; ++i) {
    const int a = (i + 1) % 3, b = (i + 2) % 3;
    const int64_t dx = t.x[b] - t.x[a], dy = t.y[b] - t.y[a];
    const int64_t k = dx * (py - t.y[a]) + dy * (t.x[a] - kSubpixel / 2) - (t.top_left[i] ? 0 : 1);
    r.edge[i] = static_cast<int32_t>(k - dy * kSubpixel * t.x0);
    r.edge_dx[i] = static_cast<int32_t>(-dy * kSubpixel);
    r.edge_dy[i] = static_cast<int32_t>(dx * kSubpixel);
  }
  return r;
}

// The triangle's pixels inside clip. Spans are found over the whole screen width and then cut
// to clip, so that every pixel gets the same value whichever tile draws it.
// shades: those of the polygon's vertices (from first on), for a polygon lit per vertex; else
// null.
void draw_triangle(const DrawPolygon& poly, const Image* tex, std::span<const Image> levels,
                   const DrawVertex* first, const VertexShade* shades, const DrawVertex& a,
                   const DrawVertex& b, const DrawVertex& c, bool perspective,
                   const SpanLoops& loops, const PixelRect& clip, Framebuffer& fb) {
  TriangleSetup t;
  if (!setup_triangle(a, b, c, 0, clip.y0, fb.width, clip.y1, t)) return;
  if (t.x1 < clip.x0 || t.x0 >= clip.x1) return;
  SpanContext s;  // planes set below, the ones the span needs only
  s.fb = &fb;
  s.textured = loops.textured[perspective ? 1 : 0];
  s.level = Level(tex);
  s.mul = fixed_lanes(to_fixed(poly.mul));
  s.flat = 0;
  if (tex == nullptr) s.flat = modulate(0xFFFFFFFFu, s.mul);
  double px[3], py[3], iw[3];
  for (int i = 0; i < 3; ++i) {
    px[i] = static_cast<double>(t.x[i]) / kSubpixel;
    py[i] = static_cast<double>(t.y[i]) / kSubpixel;
    iw[i] = t.v[i]->inv_w;
  }
  const double area = static_cast<double>(t.area2) / (kSubpixel * kSubpixel);
  const double inv_area = 1.0 / area;
  s.inv_w.init(px, py, iw, inv_area);
  const auto deepest = tex == nullptr ? 0 : static_cast<int32_t>(levels.size());
  LevelPicker picker;  // its footprint anchored at vertex 0, whose values are exact
  MipFootprint& foot = picker.foot;
  if (tex != nullptr) {
    double attr[3];
    if (!perspective) {
      for (int i = 0; i < 3; ++i) attr[i] = t.v[i]->u;
      s.u.init(px, py, attr, inv_area);
      for (int i = 0; i < 3; ++i) attr[i] = t.v[i]->v;
      s.v.init(px, py, attr, inv_area);
      const double u[3] = {t.v[0]->u, s.u.dx, s.u.dy}, v[3] = {t.v[0]->v, s.v.dx, s.v.dy};
      const double one[3] = {1.0, 0.0, 0.0};
      if (deepest > 0) foot.init(px[0] - 0.5, py[0] - 0.5, u, v, one, tex->width, tex->height);
    } else {
      for (int i = 0; i < 3; ++i) attr[i] = static_cast<double>(t.v[i]->u) * iw[i];
      s.uw.init(px, py, attr, inv_area);
      const double uw[3] = {attr[0], s.uw.dx, s.uw.dy};
      for (int i = 0; i < 3; ++i) attr[i] = static_cast<double>(t.v[i]->v) * iw[i];
      s.vw.init(px, py, attr, inv_area);
      const double vw[3] = {attr[0], s.vw.dx, s.vw.dy};
      const double w[3] = {iw[0], s.inv_w.dx, s.inv_w.dy};
      if (deepest > 0) foot.init(px[0] - 0.5, py[0] - 0.5, uw, vw, w, tex->width, tex->height);
    }
  }
  // The level: one for the whole triangle where its footprint is the same everywhere
  // (affine) or barely changes (small triangles: at the centroid), else one per span, at the
  // whole span's middle. Neither depends on the clip, so tiles and threads change nothing.
  ShadedSpan shaded;
  if (shades != nullptr) {
    shaded.mode = poly.alpha_mode;
    shaded.cutoff = poly.alpha_key;
    shaded.perspective = perspective;
    shaded.inv_w = s.inv_w;
    if (tex != nullptr) {
      shaded.u = shaded.perspective ? s.uw : s.u;
      shaded.v = shaded.perspective ? s.vw : s.v;
    }
    const VertexShade* sh[3] = {&shades[t.v[0] - first], &shades[t.v[1] - first],
                                &shades[t.v[2] - first]};
    // The plane of one part, from its value at each corner (over w where perspective).
    auto part_plane = [&](Plane& plane, auto part) {
      double attr[3];
      for (int i = 0; i < 3; ++i) attr[i] = part(*sh[i]);
      if (perspective) {
        for (int i = 0; i < 3; ++i) attr[i] *= iw[i];
      }
      plane.init(px, py, attr, inv_area);
    };
    for (int k = 0; k < 3; ++k)
      part_plane(shaded.part[k], [k](const VertexShade& v) { return v.mul[k]; });
    // Parts the same at all three corners and zero (no highlight or glow here; alpha is one
    // for opaque polygons) have the plane that init would give them, without the arithmetic.
    auto zero_add = [](const VertexShade* v) {
      return v->add[0] == 0.0f && v->add[1] == 0.0f && v->add[2] == 0.0f;
    };
    shaded.add = !(zero_add(sh[0]) && zero_add(sh[1]) && zero_add(sh[2]));
    if (!shaded.add) {
      for (int k = 3; k < 6; ++k) shaded.part[k] = Plane{0.0, 0.0, 0.0};
    } else {
      for (int k = 3; k < 6; ++k)
        part_plane(shaded.part[k], [k](const VertexShade& v) { return v.add[k - 3]; });
    }
    if (poly.alpha_mode == AlphaMode::Opaque) {
      shaded.part[6] = Plane{1.0, 0.0, 0.0};
    } else {
      part_plane(shaded.part[6], [](const VertexShade& v) { return v.alpha; });
    }
  }
  picker.deepest = deepest;
  picker.level = deepest > 0 ? -1 : 0;  // -1: not chosen yet (many triangles draw nothing)
  picker.full = tex;
  picker.levels = levels;
  const int32_t& level = picker.level;
  auto choose = [&](double x, double y) {
    const int32_t before = level;
    const Image* image = picker.at(x, y);
    if (level != before) s.level = Level(image);
  };
  const int64_t small = kSmallTriangle * kSubpixel;
  const int64_t wide = std::max({t.x[0], t.x[1], t.x[2]}) - std::min({t.x[0], t.x[1], t.x[2]});
  const int64_t tall = std::max({t.y[0], t.y[1], t.y[2]}) - std::min({t.y[0], t.y[1], t.y[2]});
  const bool per_span = deepest > 0 && perspective && (wide > small || tall > small);
  const bool opaque_or_flat = shades == nullptr || shaded.mode == AlphaMode::Opaque;
  const bool small_loop = opaque_or_flat && fits_small_loop(t, wide, tall, clip, loops);
  if (small_loop && !per_span) {
    if (level < 0) choose((px[0] + px[1] + px[2]) / 3.0 - 0.5, (py[0] + py[1] + py[2]) / 3.0 - 0.5);
    // Shaded spans find texels from texture coordinates whether exact or affine.
    const int kind = small_kind(s.level, perspective || shades != nullptr);
    if (shades == nullptr && kind >= 0) {
      loops.small[kind](s, triangle_rows(t, clip), nullptr);
      return;
    }
    if (shades != nullptr && (kind == 0 || kind == 2) && loops.shaded_small[kind] != nullptr) {
      shaded.tex = s.level.tex;
      loops.shaded_small[kind](shaded, triangle_rows(t, clip), fb, nullptr);
      return;
    }
  }
  // A level per row, picked by the loop as the spans below would pick it: every level of a
  // power-of-two texture is one too.
  if (small_loop && per_span && small_kind(s.level, true) == 2) {
    if (shades == nullptr && loops.small[2] != nullptr) {
      loops.small[2](s, triangle_rows(t, clip), &picker);
      return;
    }
    if (shades != nullptr && loops.shaded_small[2] != nullptr) {
      shaded.tex = s.level.tex;
      loops.shaded_small[2](shaded, triangle_rows(t, clip), fb, &picker);
      return;
    }
  }
  auto span = [&](int32_t y, int64_t xl, int64_t xr) {
    const int64_t lo = std::max<int64_t>(xl, clip.x0), hi = std::min<int64_t>(xr, clip.x1 - 1);
    if (lo > hi) return;
    if (per_span) {
      choose(LevelPicker::span_middle(xl, xr), y);
    } else if (level < 0) {
      choose((px[0] + px[1] + px[2]) / 3.0 - 0.5, (py[0] + py[1] + py[2]) / 3.0 - 0.5);
    }
    if (shades != nullptr) {
      shaded.tex = s.level.tex;
      if (shaded.mode == AlphaMode::Opaque) {
        const int kind = shaded.tex == nullptr ? 0 : s.level.pow2 ? 2 : 1;
        loops.shaded[kind](shaded, y, static_cast<int32_t>(lo), static_cast<int32_t>(hi), fb);
      } else {
        draw_shaded_span(shaded, y, static_cast<int32_t>(lo), static_cast<int32_t>(hi), fb);
      }
      return;
    }
    draw_span(s, y, static_cast<int32_t>(xl), static_cast<int32_t>(lo), static_cast<int32_t>(hi));
  };
  EdgeLimit edges[3];
  for (int i = 0; i < 3; ++i) edges[i].init(t, i, t.y0, t.y1 > t.y0);
  for (int32_t y = t.y0; y <= t.y1; ++y) {
    int64_t xl = t.x0, xr = t.x1;
    for (const EdgeLimit& e : edges) {
      if (e.kind == EdgeLimit::Lower) {
        xl = std::max(xl, e.walk.ceil());
      } else if (e.kind == EdgeLimit::Upper) {
        xr = std::min(xr, e.walk.floor());
      } else if (e.k < 0) {
        xr = xl - 1;  // a horizontal edge rules the whole row out
      }
    }
    span(y, xl, xr);
    for (EdgeLimit& e : edges) e.next();
  }
}

}  // namespace

bool span_isa_supported(SpanIsa isa) {
  switch (isa) {
    case SpanIsa::scalar:
      return true;
    case SpanIsa::sse2:
#if defined(__SSE2__)
      return true;
#else
      return false;
#endif
    case SpanIsa::avx2:
#if defined(__x86_64__) && defined(__GNUC__)
      __builtin_cpu_init();
      return __builtin_cpu_supports("avx2") != 0;
#else
      return false;
#endif
  }
  return false;
}

SpanIsa preferred_span_isa() {
  const char* v = std::getenv("ZELNARY_SCALAR_SPANS");
  if (v != nullptr && *v != '\0' && std::strcmp(v, "0") != 0) return SpanIsa::scalar;
  for (const SpanIsa isa : {SpanIsa::avx2, SpanIsa::sse2}) {
    if (span_isa_supported(isa)) return isa;
  }
  return SpanIsa::scalar;
}

const SpanLoops& span_loops(SpanIsa isa) {
  static constexpr SpanLoops scalar = span_loops_of<Lanes<1>, Lanes<1>>();
#if defined(__SSE2__)
  static constexpr SpanLoops sse2 = span_loops_of<Lanes<4>, Lanes<4>>();
#endif
  if (!span_isa_supported(isa)) return scalar;
  switch (isa) {
    case SpanIsa::scalar:
      return scalar;
#if defined(__SSE2__)
    case SpanIsa::sse2:
      return sse2;
#endif
    case SpanIsa::avx2:
      return avx2_span_loops();
    default:
      return scalar;
  }
}

bool perspective_for_accuracy(double accuracy) {
  return accuracy > 0.0;  // not for NaN
}

void rasterize_polygon(const DrawList& list, const DrawPolygon& poly, bool perspective,
                       const SpanLoops& loops, const PixelRect& clip, Framebuffer& fb) {
  if (poly.count < 3 || poly.first + poly.count > list.vertices.size()) return;
  const DrawVertex* v = &list.vertices[poly.first];
  const Image* tex = list.texture_of(poly);
  const std::span<const Image> levels = list.levels_of(poly);
  const VertexShade* shades = nullptr;
  if (poly.shade != kNoShade) {
    if (poly.shade > list.shades.size() || list.shades.size() - poly.shade < poly.count) return;
    shades = &list.shades[poly.shade];
  }
  for (uint32_t i = 1; i + 1 < poly.count; ++i) {
    draw_triangle(poly, tex, levels, v, shades, v[0], v[i], v[i + 1], perspective, loops, clip, fb);
  }
}

void rasterize_spans(std::span<const DrawList> lists, bool perspective, int32_t row_begin,
                     int32_t row_end, Framebuffer& fb, const SpanLoops& loops) {
  const PixelRect clip{0, std::max(row_begin, 0), fb.width, std::min(row_end, fb.height)};
  if (clip.y0 >= clip.y1) return;
  for (const DrawList& list : lists) {
    for (const DrawPolygon& poly : list.polygons)
      rasterize_polygon(list, poly, perspective, loops, clip, fb);
  }
}

void rasterize_fast(const DrawList& list, double accuracy, int32_t threads, Framebuffer& fb,
                    const SpanLoops& loops) {
  WorkerPool pool(threads);
  TileGrid grid(fb.width, fb.height);
  std::vector<TileBins> bins(1);
  bins[0].reset(grid);
  bin_list(list, 0, grid, bins[0]);
  rasterize_tiles(bins, grid, list.background, perspective_for_accuracy(accuracy), loops, pool, fb);
}

}  // namespace znr
