// The loops that draw a textured span, each written once over Lanes<N> (lanes.h): one pixel at a
// time, four, or eight side by side, with the same values in every case. A file that includes
// this defines ZNR_SPAN_TARGET first, as the function attribute of the instruction set it
// compiles the loops for (nothing for the baseline); the loops are in an unnamed namespace, so
// that each such file has its own copy, compiled for its instruction set only.
#pragma once

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <type_traits>

#include "zelnary/cpu/framebuffer.h"
#include "zelnary/cpu/lanes.h"
#include "zelnary/cpu/mip_footprint.h"
#include "zelnary/cpu/plane.h"
#include "zelnary/cpu/shaded_span.h"
#include "zelnary/cpu/shading.h"
#include "zelnary/scene/image.h"

#if !defined(ZNR_SPAN_TARGET)
#error "ZNR_SPAN_TARGET must name the span loops' instruction set (or be empty) before span_loops.h"
#endif

namespace znr {

// The texture level a span samples; tex null: flat colour.
struct Level {
  const Image* tex = nullptr;
  double inv_width = 0.0, inv_height = 0.0;  // for wrapping without a division
  bool pow2 = false;                         // both sides: wrap with a mask

  explicit Level(const Image* t = nullptr) : tex(t) {
    if (tex == nullptr) return;
    pow2 = (tex->width & (tex->width - 1)) == 0 && (tex->height & (tex->height - 1)) == 0;
    if (!pow2) {
      inv_width = 1.0 / tex->width;
      inv_height = 1.0 / tex->height;
    }
  }
};

struct SpanContext;

// Pixels [lo, hi] of the span from xl of row y, textured; iw_row and diw give 1/w along the row.
using TexturedSpan = void (*)(const SpanContext& s, int32_t y, int32_t xl, int32_t lo, int32_t hi,
                              uint32_t* color, float* depth, float iw_row, float diw);

struct SpanContext {
  Framebuffer* fb;
  const TexturedSpan* textured;  // the table's row for affine or perspective spans: [pow2]
  Level level;                   // what this span samples
  MulLanes mul;
  uint32_t flat;
  Plane inv_w, uw, vw, u, v;
};

// A triangle no wider than a few groups of lanes, wholly inside the tile across: each row's
// pixels are those of the lanes from x0 where all three edge functions are >= 0. An edge
// function is exact (integers, the fill rule's bias taken off) and small enough for 32 bits,
// since the triangle is.
struct TriangleRows {
  int32_t x0 = 0, y0 = 0, y1 = -1;  // the lanes' first column; rows [y0, y1]
  int32_t columns = 0;  // the box's columns; lanes past them are left out (past the screen's edge
                        // the edge functions alone would not stop them)
  int32_t x_limit = 0;  // the tile's end: pixels from here on belong to others
  int32_t edge[3] = {}, edge_dx[3] = {}, edge_dy[3] = {};  // at (x0, y0), per column, per row
};

// Every row of such a triangle, each pixel as the span loops give it for the span of its row:
// in the level s.level, or (exact only) in the one each row's span picks where `per_row` is
// given.
using TriangleLoop = void (*)(const SpanContext& s, const TriangleRows& r, LevelPicker* per_row);

// Pixels [lo, hi] of row y of an opaque polygon lit per vertex.
using ShadedOpaqueSpan = void (*)(const ShadedSpan& s, int32_t y, int32_t lo, int32_t hi,
                                  Framebuffer& fb);

// A small opaque triangle lit per vertex, every row of it: in the level s.tex, or in the one
// each row's span picks where `per_row` is given.
using ShadedTriangleLoop = void (*)(const ShadedSpan& s, const TriangleRows& r, Framebuffer& fb,
                                    LevelPicker* per_row);

// One instruction set's span functions, chosen when the CPU back end is made: [perspective][pow2],
// perspective 0 affine and 1 exact at every pixel, pow2 1 for power-of-two textures; shaded[0]
// without a texture, [1] with one of another size, [2] with a power-of-two one.
// small: whole small triangles, flat [0], affine [1] or exact [2] on a power-of-two texture; null
// where the instruction set has no masked loads and stores (those triangles go span by span).
// shaded_small: small opaque triangles lit per vertex, indexed as shaded (none for textures of
// other sizes).
struct SpanLoops {
  TexturedSpan textured[2][2];
  ShadedOpaqueSpan shaded[3];
  TriangleLoop small[3];
  ShadedTriangleLoop shaded_small[3];
  int32_t small_columns;  // the most columns a triangle small takes may span (0: none)
};

// The span functions compiled for AVX2 (span_loops_avx2.cpp): eight pixels at a time for
// power-of-two textures, four for others. Only for processors with AVX2.
const SpanLoops& avx2_span_loops();

// Texture coordinates in texels with 16 fractional bits, stepped as integers along a span.
constexpr double kTexelOne = 65536.0;

inline int64_t to_texel_fixed(float t, int32_t size) {
  if (std::isnan(t)) return 0;
  const double c = std::clamp(static_cast<double>(t), -1.0e7, 1.0e7) * size * kTexelOne;
  const auto i = static_cast<int64_t>(c);  // toward zero; made a floor below, without a call
  return c < static_cast<double>(i) ? i - 1 : i;
}

// n mod size in [0, size), without a division: the quotient from a multiplication by the
// reciprocal is off by at most one for any |n| below 2^50, and the remainder is fixed up.
inline int64_t wrap(int64_t n, int64_t size, double inv_size) {
  const auto q = static_cast<int64_t>(static_cast<double>(n) * inv_size);
  int64_t r = n - q * size;
  r += r < 0 ? size : 0;
  r -= r >= size ? size : 0;
  return r;
}

namespace {

// Texel indices (row * width + column, repeating) from 16.16 coordinates (linear runs) or from
// texture coordinates (1.0 = one texture) where they are found exactly. One pixel at a time they
// are worked out in 64 bits; side by side a power-of-two texture needs only the low 32 bits of
// a 16.16 coordinate (the bits from 16 up to 16 + log2(size) pick the texel, sizes go up to
// 2^16, and the low 32 bits of a sum depend only on the low 32 bits of its terms).
template <class L, bool kPow2>
struct Texels;

template <class L>
struct Texels<L, true> {
  using F = typename L::F;
  using I = typename L::I;
  int32_t width, height, shift;
  I w_mask, h_mask;
  F w, h;

  ZNR_SPAN_TARGET explicit Texels(const Level& level) : Texels(*level.tex) {}
  ZNR_SPAN_TARGET explicit Texels(const Image& tex) : Texels(tex.width, tex.height) {}
  ZNR_SPAN_TARGET Texels(int32_t width_, int32_t height_)
      : width(width_),
        height(height_),
        shift(std::countr_zero(static_cast<uint32_t>(width_))),
        w_mask(L::splat_int(width_ - 1)),
        h_mask(L::splat_int(height_ - 1)),
        w(L::splat(static_cast<float>(width_))),
        h(L::splat(static_cast<float>(height_))) {}

  ZNR_SPAN_TARGET I from_fixed(I u, I v) const {
    return L::add(L::shift_left(L::bits(L::template shift_right<16>(v), h_mask), shift),
                  L::bits(L::template shift_right<16>(u), w_mask));
  }

  ZNR_SPAN_TARGET I from_float(F ut, F vt) const {
    if constexpr (L::n == 1) {
      return from_fixed(to_texel_fixed(ut, width), to_texel_fixed(vt, height));
    } else {
      return L::add(L::shift_left(repeat(vt, h, h_mask), shift), repeat(ut, w, w_mask));
    }
  }

  // The column (or row) of coordinate t, in float and every step exact: with t = k + f (k
  // whole, |f| < 1), floor(t size) = k size + floor(f size), and the first term drops out of
  // the repeat. |t| >= 1e7 (whole numbers) and NaN give texel 0, as the 16.16 clamp does.
  ZNR_SPAN_TARGET static I repeat(F t, F size, I size_mask) {
    t = L::bits(t, L::less(L::abs(t), L::splat(1.0e7f)));
    const F n = L::mul(L::sub(t, L::to_float(L::truncate(t))), size);
    const I whole = L::truncate(n);  // toward zero; one less below zero (mask -1)
    const I below = L::as_int(L::greater(L::to_float(whole), n));
    return L::bits(L::add(whole, below), size_mask);
  }
};

// Other sizes: 16.16 coordinates one pixel at a time; texture coordinates four at a time too.
template <class L>
struct Texels<L, false> {
  using F = typename L::F;
  using I = typename L::I;
  int32_t width, height;
  double inv_width, inv_height;

  ZNR_SPAN_TARGET explicit Texels(const Level& level)
      : width(level.tex->width),
        height(level.tex->height),
        inv_width(level.inv_width),
        inv_height(level.inv_height) {}

  ZNR_SPAN_TARGET I from_fixed(I u, I v) const {
    static_assert(L::n == 1, "16.16 coordinates of other sizes need 64 bits");
    return wrap(v >> 16, height, inv_height) * width + wrap(u >> 16, width, inv_width);
  }

  ZNR_SPAN_TARGET I from_float(F ut, F vt) const {
    if constexpr (L::n == 1) {
      return from_fixed(to_texel_fixed(ut, width), to_texel_fixed(vt, height));
    } else {
      return L::wrapped_index(ut, vt, width, inv_width, height, inv_height);
    }
  }
};

// A span's pixels L::n at a time: what stays the same along it is set up once. The depth test
// comes first, and the texel only for the pixels that pass; groups where none passes are skipped
// whole. Hidden pixels of a group find a texel too (any coordinates give an index inside the
// texture) but write nothing. Where L has no masked last group, the pixels after the last whole
// group go one at a time.
template <class L, bool kPow2>
struct SpanRow {
  using F = typename L::F;
  using I = typename L::I;
  using M = typename L::M;

  const SpanContext& s;
  float iw_row, diw_row;
  F iw0, diw;
  typename L::Mul mul;
  Texels<L, kPow2> texels;
  const uint32_t* data;

  ZNR_SPAN_TARGET SpanRow(const SpanContext& context, float iw_row_, float diw_)
      : s(context),
        iw_row(iw_row_),
        diw_row(diw_),
        iw0(L::splat(iw_row_)),
        diw(L::splat(diw_)),
        mul(L::multiplier(context.mul)),
        texels(context.level),
        data(context.level.tex->texels.data()) {}

  // Pixels [x, end) with 16.16 coordinates u + du * i, v + dv * i at the i-th.
  ZNR_SPAN_TARGET void linear(uint32_t* color, float* depth, int32_t x, int32_t end, int64_t u,
                              int64_t v, int64_t du, int64_t dv) const {
    const int32_t from = x;
    I uu = L::coords(u, du), vv = L::coords(v, dv);
    const I step_u = L::stride(du), step_v = L::stride(dv);
    for (; x + L::n <= end; x += L::n) {
      F iw, d;
      const M pass = depth_test<false>(depth, x, end, iw, d);
      if (L::any(pass)) write<false>(color, depth, x, pass, iw, d, texels.from_fixed(uu, vv));
      uu = L::add(uu, step_u);
      vv = L::add(vv, step_v);
    }
    if (x >= end) return;
    if constexpr (L::kMaskedTail) {
      F iw, d;
      const M pass = depth_test<true>(depth, x, end, iw, d);
      if (L::any(pass)) write<true>(color, depth, x, pass, iw, d, texels.from_fixed(uu, vv));
    } else if constexpr (L::n > 1) {
      const int64_t done = x - from;
      SpanRow<Lanes<1>, kPow2>(s, iw_row, diw_row)
          .linear(color, depth, x, end, u + du * done, v + dv * done, du, dv);
    }
  }

  // Pixels [x, end) with a division at each (where the depth test passes).
  ZNR_SPAN_TARGET void perspective(uint32_t* color, float* depth, float uw_row, float vw_row,
                                   int32_t x, int32_t end) const {
    const F uw0 = L::splat(uw_row), duw = L::splat(static_cast<float>(s.uw.dx));
    const F vw0 = L::splat(vw_row), dvw = L::splat(static_cast<float>(s.vw.dx));
    for (; x + L::n <= end; x += L::n) divided<false>(color, depth, x, end, uw0, duw, vw0, dvw);
    if (x >= end) return;
    if constexpr (L::kMaskedTail) {
      divided<true>(color, depth, x, end, uw0, duw, vw0, dvw);
    } else if constexpr (L::n > 1) {
      SpanRow<Lanes<1>, kPow2>(s, iw_row, diw_row)
          .perspective(color, depth, uw_row, vw_row, x, end);
    }
  }

 private:
  // 1/w of the group at x against the depth there: the pixels that pass (kLast: of those
  // before end only, touching none after it).
  template <bool kLast>
  ZNR_SPAN_TARGET M depth_test(const float* depth, int32_t x, int32_t end, F& iw, F& d) const {
    iw = L::add(iw0, L::mul(diw, L::column(x)));
    if constexpr (kLast) {
      const M inside = L::first(end - x);
      d = L::load(depth + x, inside);
      return L::both(inside, L::greater(iw, d));
    } else {
      d = L::load(depth + x);
      return L::greater(iw, d);
    }
  }

  // The new depth and the texel at `at` where pass is set; old depth d elsewhere.
  template <bool kLast>
  ZNR_SPAN_TARGET void write(uint32_t* color, float* depth, int32_t x, M pass, F iw, F d,
                             I at) const {
    const auto shaded = L::shade(data, at, mul);
    if constexpr (kLast) {
      L::store_masked(depth + x, pass, iw);
      L::store_masked(color + x, pass, shaded);
    } else {
      L::store(depth + x, pass, iw, d);
      L::store(color + x, pass, shaded);
    }
  }

  template <bool kLast>
  ZNR_SPAN_TARGET void divided(uint32_t* color, float* depth, int32_t x, int32_t end, F uw0, F duw,
                               F vw0, F dvw) const {
    F iw, d;
    const M pass = depth_test<kLast>(depth, x, end, iw, d);
    if (!L::any(pass)) return;
    const F fx = L::column(x);
    const F inv = L::reciprocal_or_zero(iw);  // behind the eye, or NaN: 0
    const F ut = L::mul(L::add(uw0, L::mul(duw, fx)), inv);
    const F vt = L::mul(L::add(vw0, L::mul(dvw, fx)), inv);
    write<kLast>(color, depth, x, pass, iw, d, texels.from_float(ut, vt));
  }
};

// The two kinds of textured span, each for power-of-two textures (lanes P) and others (lanes
// O), pixels [lo, hi] of the whole span from xl (the part inside the tile being drawn). Linear
// runs go side by side for power-of-two textures only.

// Affine (accuracy 0): u and v themselves step linearly across the triangle.
template <class L, bool kPow2>
ZNR_SPAN_TARGET void affine_span(const SpanContext& s, int32_t y, int32_t xl, int32_t lo,
                                 int32_t hi, uint32_t* color, float* depth, float iw_row,
                                 float diw) {
  using Linear = std::conditional_t<kPow2, L, Lanes<1>>;
  const Image& tex = *s.level.tex;
  const auto fx = static_cast<float>(xl);
  const int64_t u = to_texel_fixed(s.u.row(y) + static_cast<float>(s.u.dx) * fx, tex.width);
  const int64_t v = to_texel_fixed(s.v.row(y) + static_cast<float>(s.v.dx) * fx, tex.height);
  const auto du = static_cast<int64_t>(std::clamp(s.u.dx * tex.width, -1e6, 1e6) * kTexelOne);
  const auto dv = static_cast<int64_t>(std::clamp(s.v.dx * tex.height, -1e6, 1e6) * kTexelOne);
  const int64_t skip = lo - xl;
  SpanRow<Linear, kPow2>(s, iw_row, diw)
      .linear(color, depth, lo, hi + 1, u + du * skip, v + dv * skip, du, dv);
}

// Perspective: exact at every pixel, dividing only where the depth test passes.
template <class L, bool kPow2>
ZNR_SPAN_TARGET void exact_span(const SpanContext& s, int32_t y, int32_t, int32_t lo, int32_t hi,
                                uint32_t* color, float* depth, float iw_row, float diw) {
  const Image& tex = *s.level.tex;
  const float uw_row = s.uw.row(y), vw_row = s.vw.row(y);
  // Side by side, indices are 32-bit; any texture the loader accepts is far smaller.
  const bool small = tex.width <= 65536 && tex.height <= 65536 &&
                     static_cast<int64_t>(tex.width) * tex.height < (int64_t{1} << 31);
  if (L::n > 1 && !small) {
    SpanRow<Lanes<1>, kPow2>(s, iw_row, diw).perspective(color, depth, uw_row, vw_row, lo, hi + 1);
  } else {
    SpanRow<L, kPow2>(s, iw_row, diw).perspective(color, depth, uw_row, vw_row, lo, hi + 1);
  }
}

// A shaded opaque span L::n pixels at a time, each pixel worked out as draw_shaded_span does
// (kTexture: 0 none, 1 another size, 2 a power of two).
template <class L, int kTexture>
struct ShadedRow {
  using F = typename L::F;
  using I = typename L::I;
  using M = typename L::M;

  using Sampler = Texels<L, kTexture != 1>;  // none (not sampled) is taken as 1 x 1

  const ShadedSpan& s;
  Framebuffer& fb;
  const Image* tex;  // the level sampled
  uint32_t* color = nullptr;
  float* depth = nullptr;
  const Plane* planes[8];
  F rows[8] = {}, steps[8] = {};
  F iw0, diw;
  Sampler texels;

  // What stays the same over the triangle; at() picks the row.
  ZNR_SPAN_TARGET ShadedRow(const ShadedSpan& span, Framebuffer& framebuffer)
      : s(span),
        fb(framebuffer),
        tex(span.tex),
        planes{&s.part[0], &s.part[1], &s.part[2], &s.part[3], &s.part[4], &s.part[5], &s.u, &s.v},
        texels(sampler(span.tex)) {
    for (int k = 0; k < 8; ++k) {
      if (used(k)) steps[k] = L::splat(static_cast<float>(planes[k]->dx));
    }
    diw = L::splat(static_cast<float>(s.inv_w.dx));
  }
  ZNR_SPAN_TARGET ShadedRow(const ShadedSpan& span, int32_t y, Framebuffer& framebuffer)
      : ShadedRow(span, framebuffer) {
    at(y);
  }

  ZNR_SPAN_TARGET void at(int32_t y) {
    const size_t first = static_cast<size_t>(y) * static_cast<size_t>(fb.width);
    color = fb.color.data() + first;
    depth = fb.depth.data() + first;
    for (int k = 0; k < 8; ++k) {
      if (used(k)) rows[k] = L::splat(planes[k]->row(y));
    }
    iw0 = L::splat(s.inv_w.row(y));
  }

  ZNR_SPAN_TARGET static Sampler sampler(const Image* level) {
    if constexpr (kTexture == 0) {
      return Sampler(1, 1);  // not sampled
    } else {
      return Sampler(Level(level));
    }
  }
  // Samples another level from here on.
  ZNR_SPAN_TARGET void sample(const Image* level) {
    tex = level;
    texels = sampler(level);
  }

  // Whether the span reads part k (u and v are 6 and 7): the added colour only where the
  // triangle has any (zero added changes nothing), texture coordinates only with a texture.
  ZNR_SPAN_TARGET bool used(int k) const { return k < 3 || (k < 6 ? s.add : kTexture != 0); }

  // Texel channel (in the low byte) times mul plus add (none where null), rounded down and
  // saturated.
  ZNR_SPAN_TARGET static I channel(I texel, F mul, const F* add) {
    const F full = L::splat(255.0f);
    const F t = L::to_float(L::bits(texel, L::splat_int(0xFF)));
    F c = L::mul(t, mul);
    if (add != nullptr) c = L::add(c, L::mul(*add, full));
    return L::truncate(L::min(L::max(c, L::splat(0.0f)), full));
  }

  // The group at x; kLast: only the pixels in inside. whole: the group lies wholly in the
  // tile, and is read and written whole, its pixels outside `inside` as they were (masked
  // stores are slow on some processors; no other thread draws in this tile).
  template <bool kLast>
  ZNR_SPAN_TARGET void group(int32_t x, M inside, bool whole = false) const {
    const F fx = L::column(x);
    const F iw = L::add(iw0, L::mul(diw, fx));
    F d;
    M pass;
    if constexpr (kLast) {
      d = whole ? L::load(depth + x) : L::load(depth + x, inside);
      pass = L::both(inside, L::greater(iw, d));
    } else {
      d = L::load(depth + x);
      pass = L::greater(iw, d);
    }
    if (!L::any(pass)) return;
    const F w = s.perspective ? L::reciprocal_or_zero(iw) : L::splat(1.0f);
    F a[8] = {};
    for (int k = 0; k < 8; ++k) {
      if (used(k)) a[k] = L::mul(L::add(rows[k], L::mul(steps[k], fx)), w);
    }
    I texel = L::splat_int(-1);
    if constexpr (kTexture != 0) {
      texel = L::gather(tex->texels.data(), texels.from_float(a[6], a[7]));
    }
    const bool add = s.add;
    const I r = channel(L::template shift_right<16>(texel), a[0], add ? &a[3] : nullptr);
    const I g = channel(L::template shift_right<8>(texel), a[1], add ? &a[4] : nullptr);
    const I b = channel(texel, a[2], add ? &a[5] : nullptr);
    const I colour = L::add(L::add(L::shift_left(r, 16), L::shift_left(g, 8)),
                            L::add(b, L::splat_int(static_cast<int32_t>(0xFF000000u))));
    if constexpr (kLast) {
      if (!whole) {
        L::store_masked(depth + x, pass, iw);
        L::store_masked(color + x, pass, colour);
        return;
      }
    }
    L::store(depth + x, pass, iw, d);
    L::store(color + x, pass, colour);
  }
};

// One at a time it is draw_shaded_span itself.
template <class L, int kTexture>
ZNR_SPAN_TARGET void shaded_opaque_span(const ShadedSpan& s, int32_t y, int32_t lo, int32_t hi,
                                        Framebuffer& fb) {
  const bool wide =
      kTexture != 0 && (s.tex->width > 65536 || s.tex->height > 65536 ||
                        static_cast<int64_t>(s.tex->width) * s.tex->height >= (int64_t{1} << 31));
  if (L::n == 1 || wide) {  // side by side, texel indices are 32-bit
    draw_shaded_span(s, y, lo, hi, fb);
    return;
  }
  if constexpr (L::n > 1) {
    const ShadedRow<L, kTexture> row(s, y, fb);
    int32_t x = lo;
    for (; x + L::n <= hi + 1; x += L::n) row.template group<false>(x, typename L::M{});
    if (x > hi) return;
    if constexpr (L::kMaskedTail) {
      row.template group<true>(x, L::first(hi + 1 - x));
    } else {
      draw_shaded_span(s, y, x, hi, fb);
    }
  }
}

// Groups of lanes a small triangle may be wide.
constexpr int32_t kSmallTriangleGroups = 4;

// A small triangle's covered pixels row by row, from its edge functions a group of lanes at a
// time. kGroups: the groups of lanes whose edge functions are stepped, known when compiled so
// that they stay in registers.
template <class L, int32_t kGroups>
struct RowCoverage {
  using I = typename L::I;
  static_assert(kGroups * L::n <= 32, "a row's coverage is one 32-bit mask");
  I edge[kGroups][3], row_step[3];
  uint32_t columns;

  ZNR_SPAN_TARGET explicit RowCoverage(const TriangleRows& r)
      : columns(r.columns >= 32 ? ~uint32_t{0} : (uint32_t{1} << std::max(r.columns, 0)) - 1u) {
    for (int i = 0; i < 3; ++i) {
      row_step[i] = L::splat_int(r.edge_dy[i]);
      for (int32_t g = 0; g < kGroups; ++g)
        edge[g][i] = L::coords(r.edge[i] + r.edge_dx[i] * L::n * g, r.edge_dx[i]);
    }
  }

  // The pixels of this row where all three edge functions are >= 0 (bit i: column x0 + i);
  // steps on to the next row.
  ZNR_SPAN_TARGET uint32_t next_row() {
    uint32_t covered = 0;
    for (int32_t g = 0; g < kGroups; ++g) {
      const auto out = static_cast<uint32_t>(
          L::negative(L::bits_or(L::bits_or(edge[g][0], edge[g][1]), edge[g][2])));
      covered |= (~out & ((1u << L::n) - 1u)) << (g * L::n);
      for (int i = 0; i < 3; ++i) edge[g][i] = L::add(edge[g][i], row_step[i]);
    }
    return covered & columns;
  }
};

// A small triangle's rows in one loop (kKind: 0 flat, 1 affine, 2 exact, power-of-two
// textures): each row's covered pixels are drawn in groups of lanes from the first, with the
// values that draw_span, affine_span and exact_span give that span, and what stays the same over
// the triangle set up once rather than for every row.
template <class L, int kKind, int32_t kGroups>
ZNR_SPAN_TARGET void small_triangle_rows(const SpanContext& s, const TriangleRows& r,
                                         LevelPicker* per_row) {
  using F = typename L::F;
  using I = typename L::I;
  using M = typename L::M;
  RowCoverage<L, kGroups> rows(r);
  const F diw = L::splat(static_cast<float>(s.inv_w.dx));
  const typename L::Mul mul = L::multiplier(s.mul);
  const Image* tex = s.level.tex;
  int64_t du = 0, dv = 0;
  if constexpr (kKind == 1) {
    du = static_cast<int64_t>(std::clamp(s.u.dx * tex->width, -1e6, 1e6) * kTexelOne);
    dv = static_cast<int64_t>(std::clamp(s.v.dx * tex->height, -1e6, 1e6) * kTexelOne);
  }
  const I step_u = L::stride(du), step_v = L::stride(dv);
  Texels<L, true> texels(tex != nullptr ? tex->width : 1, tex != nullptr ? tex->height : 1);
  const uint32_t* texel_data = tex != nullptr ? tex->texels.data() : nullptr;
  const F duw = L::splat(static_cast<float>(s.uw.dx)), dvw = L::splat(static_cast<float>(s.vw.dx));
  const size_t width = static_cast<size_t>(s.fb->width);
  for (int32_t y = r.y0; y <= r.y1; ++y) {
    const uint32_t covered = rows.next_row();
    if (covered == 0) continue;
    const int32_t first = std::countr_zero(covered);
    const int32_t xl = r.x0 + first, end = r.x0 + std::bit_width(covered);
    if (kKind == 2 && per_row != nullptr) {
      // Its ends are the edge walkers' ends of the row's span.
      const Image* level = per_row->at(LevelPicker::span_middle(xl, end - 1), y);
      if (level != tex) {
        tex = level;
        texels = Texels<L, true>(*tex);
        texel_data = tex->texels.data();
      }
    }
    float* depth = s.fb->depth.data() + static_cast<size_t>(y) * width;
    uint32_t* color = s.fb->color.data() + static_cast<size_t>(y) * width;
    const F iw0 = L::splat(s.inv_w.row(y));
    I uu{}, vv{};
    F uw0{}, vw0{};
    if constexpr (kKind == 1) {
      const auto fxl = static_cast<float>(xl);
      uu = L::coords(to_texel_fixed(s.u.row(y) + static_cast<float>(s.u.dx) * fxl, tex->width), du);
      vv =
          L::coords(to_texel_fixed(s.v.row(y) + static_cast<float>(s.v.dx) * fxl, tex->height), dv);
    } else if constexpr (kKind == 2) {
      uw0 = L::splat(s.uw.row(y));
      vw0 = L::splat(s.vw.row(y));
    }
    for (int32_t x = xl; x < end; x += L::n) {
      const F fx = L::column(x);
      const F iw = L::add(iw0, L::mul(diw, fx));
      // A group wholly inside the tile is read and written whole (masked stores are slow on
      // some processors): its pixels past the span are written back as they were, and no other
      // thread draws in this tile.
      const bool whole = x + L::n <= r.x_limit;
      const M inside = L::first(end - x);
      const F old = whole ? L::load(depth + x) : L::load(depth + x, inside);
      const M pass = L::both(inside, L::greater(iw, old));
      if (L::any(pass)) {
        if (whole) {
          L::store(depth + x, pass, iw, old);
        } else {
          L::store_masked(depth + x, pass, iw);
        }
        I colour;
        if constexpr (kKind == 0) {
          colour = L::splat_int(static_cast<int32_t>(s.flat));
        } else if constexpr (kKind == 1) {
          colour = L::shade(texel_data, texels.from_fixed(uu, vv), mul);
        } else {
          const F inv = L::reciprocal_or_zero(iw);
          const F ut = L::mul(L::add(uw0, L::mul(duw, fx)), inv);
          const F vt = L::mul(L::add(vw0, L::mul(dvw, fx)), inv);
          colour = L::shade(texel_data, texels.from_float(ut, vt), mul);
        }
        if (whole) {
          L::store(color + x, pass, colour);
        } else {
          L::store_masked(color + x, pass, colour);
        }
      }
      if constexpr (kKind == 1) {
        uu = L::add(uu, step_u);
        vv = L::add(vv, step_v);
      }
    }
  }
}

template <class L, int kKind>
ZNR_SPAN_TARGET void small_triangle(const SpanContext& s, const TriangleRows& r,
                                    LevelPicker* per_row) {
  const int32_t groups = (r.columns + L::n - 1) / L::n;
  if (groups <= 1) {
    small_triangle_rows<L, kKind, 1>(s, r, per_row);
  } else if (groups == 2) {
    small_triangle_rows<L, kKind, 2>(s, r, per_row);
  } else {
    small_triangle_rows<L, kKind, kSmallTriangleGroups>(s, r, per_row);
  }
}

template <class L, int kKind>
constexpr TriangleLoop small_triangle_loop() {
  if constexpr (L::kMaskedTail) {
    return &small_triangle<L, kKind>;
  } else {
    return nullptr;
  }
}

// A small opaque triangle lit per vertex (kTexture: 0 none, 2 a power of two), row by row as
// small_triangle_rows finds its pixels, each as shaded_opaque_span gives it for its row's span:
// without the edge walkers' divisions and a call for every row.
template <class L, int kTexture, int32_t kGroups>
ZNR_SPAN_TARGET void shaded_small_rows(const ShadedSpan& s, const TriangleRows& r, Framebuffer& fb,
                                       LevelPicker* per_row) {
  RowCoverage<L, kGroups> rows(r);
  ShadedRow<L, kTexture> row(s, fb);
  for (int32_t y = r.y0; y <= r.y1; ++y) {
    const uint32_t covered = rows.next_row();
    if (covered == 0) continue;
    const int32_t end = r.x0 + std::bit_width(covered);
    if (kTexture != 0 && per_row != nullptr) {
      // Its ends are the edge walkers' ends of the row's span.
      const int32_t first = r.x0 + std::countr_zero(covered);
      const Image* level = per_row->at(LevelPicker::span_middle(first, end - 1), y);
      if (level != row.tex) row.sample(level);
    }
    row.at(y);
    for (int32_t x = r.x0 + std::countr_zero(covered); x < end; x += L::n)
      row.template group<true>(x, L::first(end - x), x + L::n <= r.x_limit);
  }
}

template <class L, int kTexture>
ZNR_SPAN_TARGET void shaded_small_triangle(const ShadedSpan& s, const TriangleRows& r,
                                           Framebuffer& fb, LevelPicker* per_row) {
  const int32_t groups = (r.columns + L::n - 1) / L::n;
  if (groups <= 1) {
    shaded_small_rows<L, kTexture, 1>(s, r, fb, per_row);
  } else if (groups == 2) {
    shaded_small_rows<L, kTexture, 2>(s, r, fb, per_row);
  } else {
    shaded_small_rows<L, kTexture, kSmallTriangleGroups>(s, r, fb, per_row);
  }
}

template <class L, int kTexture>
constexpr ShadedTriangleLoop shaded_small_loop() {
  if constexpr (L::kMaskedTail) {
    return &shaded_small_triangle<L, kTexture>;
  } else {
    return nullptr;
  }
}

// The table of the loops above: P lanes for power-of-two textures, O for others.
template <class P, class O>
constexpr SpanLoops span_loops_of() {
  return {{{&affine_span<O, false>, &affine_span<P, true>},
           {&exact_span<O, false>, &exact_span<P, true>}},
          {&shaded_opaque_span<P, 0>, &shaded_opaque_span<O, 1>, &shaded_opaque_span<P, 2>},
          {small_triangle_loop<P, 0>(), small_triangle_loop<P, 1>(), small_triangle_loop<P, 2>()},
          {shaded_small_loop<P, 0>(), nullptr, shaded_small_loop<P, 2>()},
          P::kMaskedTail ? P::n * kSmallTriangleGroups : 0};
}

}  // namespace
}  // namespace znr
