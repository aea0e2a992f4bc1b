// The fast path: each triangle is walked row by row; the span's ends come from integer edge
// walkers stepped once per row, and colour, depth and texture coordinates step along the
// span. Coverage is decided by the same exact edge functions as the reference. Triangles are
// drawn one screen tile at a time (tiles.h), cut to the tile.
#include <algorithm>
#include <atomic>
#include <bit>
#include <cmath>
#include <cstdlib>
#include <cstring>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include "zelnary/cpu/mip_footprint.h"
#include "zelnary/cpu/rasterizer.h"
#include "zelnary/cpu/shading.h"
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
  void next() {
    q += step_q;
    r += step_r;
    if (r >= d) {
      r -= d;
      ++q;
    }
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

// An attribute's plane over the screen: value = row_base(y) + dx * x at pixel centres.
// Left uninitialised until init(): zeroing the context's planes for every triangle costs
// more than a small triangle's pixels.
struct Plane {
  double c, dx, dy;  // value at pixel (0, 0)'s centre and its gradients

  void init(const double px[3], const double py[3], const double a[3], double inv_area) {
    dx = ((a[1] - a[0]) * (py[2] - py[0]) - (a[2] - a[0]) * (py[1] - py[0])) * inv_area;
    dy = ((a[2] - a[0]) * (px[1] - px[0]) - (a[1] - a[0]) * (px[2] - px[0])) * inv_area;
    c = a[0] + dx * (0.5 - px[0]) + dy * (0.5 - py[0]);
  }
  float row(int32_t y) const { return static_cast<float>(c + dy * y); }
};

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

struct SpanContext {
  Framebuffer* fb;
  Level level;  // what this span samples
  MulLanes mul;
  uint32_t flat;
  int32_t span_length;
  Plane inv_w, uw, vw, u, v;
};

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

// Fetches texel (U, V), repeating. Power-of-two textures wrap with a mask; others by wrap().
template <bool kPow2>
inline uint32_t fetch(const SpanContext& s, int64_t u, int64_t v) {
  const Image& tex = *s.level.tex;
  int64_t tx = u >> 16, ty = v >> 16;
  if constexpr (kPow2) {
    tx &= tex.width - 1;
    ty &= tex.height - 1;
  } else {
    tx = wrap(tx, tex.width, s.level.inv_width);
    ty = wrap(ty, tex.height, s.level.inv_height);
  }
  return tex
      .texels[static_cast<size_t>(ty) * static_cast<size_t>(tex.width) + static_cast<size_t>(tx)];
}

std::atomic<bool> g_vector_spans{[] {
  const char* v = std::getenv("ZELNARY_SCALAR_SPANS");
  return v == nullptr || *v == '\0' || std::strcmp(v, "0") == 0;
}()};

#if defined(__SSE2__)
// modulate() of four texels at once; mul2: the multiplier lanes twice.
inline __m128i modulate4(__m128i texels, __m128i mul2) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i lo = _mm_mulhi_epu16(_mm_slli_epi16(_mm_unpacklo_epi8(texels, zero), 8), mul2);
  const __m128i hi = _mm_mulhi_epu16(_mm_slli_epi16(_mm_unpackhi_epi8(texels, zero), 8), mul2);
  return _mm_or_si128(_mm_packus_epi16(lo, hi), _mm_set1_epi32(static_cast<int>(0xFF000000u)));
}

// Where pass is set, the pixels' new colour and depth; elsewhere they stay.
inline void write4(uint32_t* color, float* depth, __m128 pass, __m128 iw, __m128 old_depth,
                   __m128i shaded) {
  _mm_storeu_ps(depth, _mm_or_ps(_mm_and_ps(pass, iw), _mm_andnot_ps(pass, old_depth)));
  const __m128i keep = _mm_castps_si128(pass);
  auto* out = reinterpret_cast<__m128i*>(color);
  _mm_storeu_si128(
      out, _mm_or_si128(_mm_and_si128(keep, shaded), _mm_andnot_si128(keep, _mm_loadu_si128(out))));
}

#endif

// With a power-of-two texture only bits 16 and up to 16 + log2(size) of a 16.16 coordinate pick
// the texel, so the vector loops step the coordinates in 32-bit lanes: the low 32 bits of a sum
// depend only on the low 32 bits of its terms, and sizes go up to 2^16.
#if defined(__SSE2__)
// Four pixels at a time. Returns where it stopped.
inline int32_t textured_run4(const SpanContext& s, uint32_t* color, float* depth, float iw_row,
                             float diw, int32_t x, int32_t end, uint32_t u, uint32_t v, uint32_t du,
                             uint32_t dv) {
  const Image& tex = *s.level.tex;
  const __m128 iw0 = _mm_set1_ps(iw_row), diw4 = _mm_set1_ps(diw);
  const __m128i lanes = _mm_setr_epi32(0, 1, 2, 3);
  const __m128i w_mask = _mm_set1_epi32(tex.width - 1), h_mask = _mm_set1_epi32(tex.height - 1);
  const __m128i width_shift = _mm_cvtsi32_si128(std::countr_zero(static_cast<uint32_t>(tex.width)));
  const __m128i mul2 = _mm_unpacklo_epi64(s.mul, s.mul);
  const uint32_t* texels = tex.texels.data();
  auto i32 = [](uint32_t n) { return static_cast<int>(n); };
  __m128i uu = _mm_setr_epi32(i32(u), i32(u + du), i32(u + 2 * du), i32(u + 3 * du));
  __m128i vv = _mm_setr_epi32(i32(v), i32(v + dv), i32(v + 2 * dv), i32(v + 3 * dv));
  const __m128i du4 = _mm_set1_epi32(i32(4 * du)), dv4 = _mm_set1_epi32(i32(4 * dv));
  for (; x + 4 <= end; x += 4) {
    const __m128 fx = _mm_cvtepi32_ps(_mm_add_epi32(_mm_set1_epi32(x), lanes));
    const __m128 iw = _mm_add_ps(iw0, _mm_mul_ps(diw4, fx));
    const __m128 d = _mm_loadu_ps(depth + x);
    const __m128 pass = _mm_cmpgt_ps(iw, d);
    if (_mm_movemask_ps(pass) != 0) {
      const __m128i column = _mm_and_si128(_mm_srli_epi32(uu, 16), w_mask);
      const __m128i row = _mm_and_si128(_mm_srli_epi32(vv, 16), h_mask);
      alignas(16) int32_t i[4];
      _mm_store_si128(reinterpret_cast<__m128i*>(i),
                      _mm_add_epi32(_mm_sll_epi32(row, width_shift), column));
      const __m128i fetched =
          _mm_setr_epi32(static_cast<int>(texels[i[0]]), static_cast<int>(texels[i[1]]),
                         static_cast<int>(texels[i[2]]), static_cast<int>(texels[i[3]]));
      write4(color + x, depth + x, pass, iw, d, modulate4(fetched, mul2));
    }
    uu = _mm_add_epi32(uu, du4);
    vv = _mm_add_epi32(vv, dv4);
  }
  return x;
}
#endif

#if defined(__x86_64__) && defined(__GNUC__)
#define ZNR_AVX2 __attribute__((target("avx2")))

// The texels at indices `at`, modulated by the multiplier lanes mul2 (modulate4, eight wide).
ZNR_AVX2 inline __m256i fetch_modulate8(const int* texels, __m256i at, __m256i mul2) {
  const __m256i texel = _mm256_i32gather_epi32(texels, at, 4);
  const __m256i z = _mm256_setzero_si256();
  const __m256i lo = _mm256_mulhi_epu16(_mm256_slli_epi16(_mm256_unpacklo_epi8(texel, z), 8), mul2);
  const __m256i hi = _mm256_mulhi_epu16(_mm256_slli_epi16(_mm256_unpackhi_epi8(texel, z), 8), mul2);
  return _mm256_or_si256(_mm256_packus_epi16(lo, hi),
                         _mm256_set1_epi32(static_cast<int>(0xFF000000u)));
}

// textured_run4, eight pixels at a time, for machines with AVX2; the last group of a run masks
// the pixels past its end. What stays the same along a row is set up once.
struct Runs8 {
  __m256 iw0, diw8;
  __m256i lanes, w_mask, h_mask, mul2;
  __m128i width_shift;
  const int* texels;

  ZNR_AVX2 Runs8(const SpanContext& s, float iw_row, float diw) {
    const Image& tex = *s.level.tex;
    iw0 = _mm256_set1_ps(iw_row);
    diw8 = _mm256_set1_ps(diw);
    lanes = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
    w_mask = _mm256_set1_epi32(tex.width - 1);
    h_mask = _mm256_set1_epi32(tex.height - 1);
    width_shift = _mm_cvtsi32_si128(std::countr_zero(static_cast<uint32_t>(tex.width)));
    mul2 = _mm256_broadcastsi128_si256(_mm_unpacklo_epi64(s.mul, s.mul));
    texels = reinterpret_cast<const int*>(tex.texels.data());
  }

  // The texels of eight pixels, modulated.
  ZNR_AVX2 __m256i shade(__m256i uu, __m256i vv) const {
    const __m256i column = _mm256_and_si256(_mm256_srli_epi32(uu, 16), w_mask);
    const __m256i row = _mm256_and_si256(_mm256_srli_epi32(vv, 16), h_mask);
    return fetch_modulate8(texels, _mm256_add_epi32(_mm256_sll_epi32(row, width_shift), column),
                           mul2);
  }

  // Pixels [x, end) with coordinates u + du * i (low 32 bits).
  ZNR_AVX2 void run(uint32_t* color, float* depth, int32_t x, int32_t end, uint32_t u, uint32_t v,
                    uint32_t du, uint32_t dv) const {
    __m256i uu =
        _mm256_add_epi32(_mm256_set1_epi32(static_cast<int>(u)),
                         _mm256_mullo_epi32(_mm256_set1_epi32(static_cast<int>(du)), lanes));
    __m256i vv =
        _mm256_add_epi32(_mm256_set1_epi32(static_cast<int>(v)),
                         _mm256_mullo_epi32(_mm256_set1_epi32(static_cast<int>(dv)), lanes));
    const __m256i du8 = _mm256_set1_epi32(static_cast<int>(8 * du));
    const __m256i dv8 = _mm256_set1_epi32(static_cast<int>(8 * dv));
    for (; x + 8 <= end; x += 8) {
      const __m256 fx = _mm256_cvtepi32_ps(_mm256_add_epi32(_mm256_set1_epi32(x), lanes));
      const __m256 iw = _mm256_add_ps(iw0, _mm256_mul_ps(diw8, fx));
      const __m256 d = _mm256_loadu_ps(depth + x);
      const __m256 pass = _mm256_cmp_ps(iw, d, _CMP_GT_OQ);
      if (_mm256_movemask_ps(pass) != 0) {
        _mm256_storeu_ps(depth + x, _mm256_blendv_ps(d, iw, pass));
        auto* out = reinterpret_cast<__m256i*>(color + x);
        _mm256_storeu_si256(out, _mm256_blendv_epi8(_mm256_loadu_si256(out), shade(uu, vv),
                                                    _mm256_castps_si256(pass)));
      }
      uu = _mm256_add_epi32(uu, du8);
      vv = _mm256_add_epi32(vv, dv8);
    }
    if (x >= end) return;
    // Masked loads and stores touch no pixel past the end, not even to read it.
    const __m256i inside = _mm256_cmpgt_epi32(_mm256_set1_epi32(end - x), lanes);
    const __m256 fx = _mm256_cvtepi32_ps(_mm256_add_epi32(_mm256_set1_epi32(x), lanes));
    const __m256 iw = _mm256_add_ps(iw0, _mm256_mul_ps(diw8, fx));
    const __m256 d = _mm256_maskload_ps(depth + x, inside);
    const __m256i pass =
        _mm256_and_si256(inside, _mm256_castps_si256(_mm256_cmp_ps(iw, d, _CMP_GT_OQ)));
    if (_mm256_testz_si256(pass, pass)) return;
    _mm256_maskstore_ps(depth + x, pass, iw);
    _mm256_maskstore_epi32(reinterpret_cast<int*>(color + x), pass, shade(uu, vv));
  }
};

// Asked during static initialisation, so the feature table is filled first.
const bool g_avx2 = [] {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2") != 0;
}();

ZNR_AVX2 void run8(const SpanContext& s, uint32_t* color, float* depth, float iw_row, float diw,
                   int32_t x, int32_t end, uint32_t u, uint32_t v, uint32_t du, uint32_t dv) {
  Runs8(s, iw_row, diw).run(color, depth, x, end, u, v, du, dv);
}
#endif

// Pixels [x, end) of a row: depth first, and the texel only for pixels that pass. Power-of-two
// textures go eight or four pixels at a time, with the same values.
template <bool kPow2>
inline void textured_run(const SpanContext& s, uint32_t* color, float* depth, float iw_row,
                         float diw, int32_t x, int32_t end, int64_t u, int64_t v, int64_t du,
                         int64_t dv) {
#if defined(__SSE2__)
  if (kPow2 && g_vector_spans.load(std::memory_order_relaxed)) {
    const auto low = [](int64_t n) { return static_cast<uint32_t>(n); };
#if defined(ZNR_AVX2)
    if (g_avx2) {
      run8(s, color, depth, iw_row, diw, x, end, low(u), low(v), low(du), low(dv));
      return;
    }
#endif
    const int32_t from = x;
    x = textured_run4(s, color, depth, iw_row, diw, x, end, low(u), low(v), low(du), low(dv));
    u += du * (x - from);
    v += dv * (x - from);
  }
#endif
  for (; x < end; ++x, u += du, v += dv) {
    const float iw = iw_row + diw * static_cast<float>(x);
    if (iw > depth[x]) {
      depth[x] = iw;
      color[x] = modulate(fetch<kPow2>(s, u, v), s.mul);
    }
  }
}

// Texture coordinates exactly at pixel x of a row.
inline void exact_uv(const SpanContext& s, float iw_row, float uw_row, float vw_row, int32_t x,
                     float& u, float& v) {
  const auto fx = static_cast<float>(x);
  const float iw = iw_row + static_cast<float>(s.inv_w.dx) * fx;
  const float inv = iw > 0.0f ? 1.0f / iw : 0.0f;
  u = (uw_row + static_cast<float>(s.uw.dx) * fx) * inv;
  v = (vw_row + static_cast<float>(s.vw.dx) * fx) * inv;
}

// Pixel x, which passed the depth test, sampled at texture coordinates (ut, vt).
template <bool kPow2>
inline void sample_pixel(const SpanContext& s, uint32_t* color, int32_t x, float ut, float vt) {
  const int64_t u = to_texel_fixed(ut, s.level.tex->width);
  const int64_t v = to_texel_fixed(vt, s.level.tex->height);
  color[x] = modulate(fetch<kPow2>(s, u, v), s.mul);
}

// Pixels [x, end) with a division at each, only where the depth test passes: the reference,
// one pixel at a time.
template <bool kPow2>
inline void perspective_scalar(const SpanContext& s, uint32_t* color, float* depth, float iw_row,
                               float diw, float uw_row, float vw_row, int32_t x, int32_t end) {
  const auto duw = static_cast<float>(s.uw.dx), dvw = static_cast<float>(s.vw.dx);
  for (; x < end; ++x) {
    const auto fx = static_cast<float>(x);
    const float iw = iw_row + diw * fx;
    if (iw > depth[x]) {
      depth[x] = iw;
      const float inv = iw > 0.0f ? 1.0f / iw : 0.0f;
      sample_pixel<kPow2>(s, color, x, (uw_row + duw * fx) * inv, (vw_row + dvw * fx) * inv);
    }
  }
}

#if defined(__SSE2__)
// floor(x) exactly for |x| < 2^51, in SSE2 (which has no rounding instruction): adding and
// taking away 1.5 * 2^52 rounds to the nearest integer, then one down where that rounded up.
inline __m128d floor_pd(__m128d x) {
  const __m128d magic = _mm_set1_pd(6755399441055744.0);
  const __m128d r = _mm_sub_pd(_mm_add_pd(x, magic), magic);
  return _mm_sub_pd(r, _mm_and_pd(_mm_cmpgt_pd(r, x), _mm_set1_pd(1.0)));
}

// The texel column (or row) of two coordinates, as to_texel_fixed and fetch find it: floor of
// the clamped coordinate times the size (exact in double: 24 by at most 24 bits; the 16
// fractional bits there are shifted out again), repeated into [0, size). NaN gives 0.
inline __m128d texel_pd(__m128d t, __m128d size, __m128d inv_size) {
  t = _mm_and_pd(_mm_cmpord_pd(t, t), t);
  t = _mm_max_pd(_mm_min_pd(t, _mm_set1_pd(1.0e7)), _mm_set1_pd(-1.0e7));
  const __m128d n = _mm_mul_pd(t, size);
  const __m128d f = floor_pd(n);
  // The quotient rounded to nearest is off by at most one; the remainder is fixed up.
  const __m128d magic = _mm_set1_pd(6755399441055744.0);
  const __m128d q = _mm_sub_pd(_mm_add_pd(_mm_mul_pd(f, inv_size), magic), magic);
  __m128d r = _mm_sub_pd(f, _mm_mul_pd(q, size));
  r = _mm_add_pd(r, _mm_and_pd(_mm_cmplt_pd(r, _mm_setzero_pd()), size));
  return _mm_sub_pd(r, _mm_and_pd(_mm_cmpge_pd(r, size), size));
}

// Texel indices (row * width + column) of four pixels' coordinates.
inline __m128i texel_index4(__m128 ut, __m128 vt, __m128d w, __m128d inv_w, __m128d h,
                            __m128d inv_h) {
  const __m128 ut_hi = _mm_movehl_ps(ut, ut), vt_hi = _mm_movehl_ps(vt, vt);
  const __m128d lo = _mm_add_pd(_mm_mul_pd(texel_pd(_mm_cvtps_pd(vt), h, inv_h), w),
                                texel_pd(_mm_cvtps_pd(ut), w, inv_w));
  const __m128d hi = _mm_add_pd(_mm_mul_pd(texel_pd(_mm_cvtps_pd(vt_hi), h, inv_h), w),
                                texel_pd(_mm_cvtps_pd(ut_hi), w, inv_w));
  return _mm_unpacklo_epi64(_mm_cvttpd_epi32(lo), _mm_cvttpd_epi32(hi));
}

// The same for a power-of-two size, in float and four at a time, every step exact: with
// t = k + f (k whole, |f| < 1), floor(t size) = k size + floor(f size), and the first term
// drops out of the repeat. |t| >= 1e7 (whole numbers) and NaN give texel 0, as the clamp does.
inline __m128i texel_pow2_ps(__m128 t, __m128 size, __m128i size_mask) {
  const __m128 magnitude = _mm_andnot_ps(_mm_set1_ps(-0.0f), t);
  t = _mm_and_ps(_mm_cmplt_ps(magnitude, _mm_set1_ps(1.0e7f)), t);
  const __m128 n = _mm_mul_ps(_mm_sub_ps(t, _mm_cvtepi32_ps(_mm_cvttps_epi32(t))), size);
  const __m128i whole = _mm_cvttps_epi32(n);  // toward zero; one less below zero (mask -1)
  const __m128i below = _mm_castps_si128(_mm_cmpgt_ps(_mm_cvtepi32_ps(whole), n));
  return _mm_and_si128(_mm_add_epi32(whole, below), size_mask);
}

#endif

#if defined(ZNR_AVX2)
// texel_pow2_ps, eight at a time.
ZNR_AVX2 inline __m256i texel_pow2_8(__m256 t, __m256 size, __m256i size_mask) {
  const __m256 magnitude = _mm256_andnot_ps(_mm256_set1_ps(-0.0f), t);
  t = _mm256_and_ps(_mm256_cmp_ps(magnitude, _mm256_set1_ps(1.0e7f), _CMP_LT_OQ), t);
  const __m256 n =
      _mm256_mul_ps(_mm256_sub_ps(t, _mm256_cvtepi32_ps(_mm256_cvttps_epi32(t))), size);
  const __m256i whole = _mm256_cvttps_epi32(n);
  const __m256i below =
      _mm256_castps_si256(_mm256_cmp_ps(_mm256_cvtepi32_ps(whole), n, _CMP_GT_OQ));
  return _mm256_and_si256(_mm256_add_epi32(whole, below), size_mask);
}

// perspective_run's loop eight pixels at a time, power-of-two textures, for machines with
// AVX2 (no FMA: products and sums stay rounded one by one, as in the scalar loop), to the end of
// the run.
ZNR_AVX2 void perspective_run8(const SpanContext& s, uint32_t* color, float* depth, float iw_row,
                               float diw, float uw_row, float vw_row, int32_t x, int32_t end) {
  const Image& tex = *s.level.tex;
  const __m256 iw0 = _mm256_set1_ps(iw_row), diw8 = _mm256_set1_ps(diw);
  const __m256 uw0 = _mm256_set1_ps(uw_row), duw8 = _mm256_set1_ps(static_cast<float>(s.uw.dx));
  const __m256 vw0 = _mm256_set1_ps(vw_row), dvw8 = _mm256_set1_ps(static_cast<float>(s.vw.dx));
  const __m256 zero = _mm256_setzero_ps(), one = _mm256_set1_ps(1.0f);
  const __m256i lanes = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
  const __m256 w = _mm256_set1_ps(static_cast<float>(tex.width));
  const __m256 h = _mm256_set1_ps(static_cast<float>(tex.height));
  const __m256i w_mask = _mm256_set1_epi32(tex.width - 1);
  const __m256i h_mask = _mm256_set1_epi32(tex.height - 1);
  const __m128i width_shift = _mm_cvtsi32_si128(std::countr_zero(static_cast<uint32_t>(tex.width)));
  const __m256i mul2 = _mm256_broadcastsi128_si256(_mm_unpacklo_epi64(s.mul, s.mul));
  const auto* texels = reinterpret_cast<const int*>(tex.texels.data());
  // The last group masks the pixels past the end: masked loads and stores do not touch them.
  for (; x < end; x += 8) {
    const bool whole = x + 8 <= end;
    const __m256i inside =
        whole ? _mm256_set1_epi32(-1) : _mm256_cmpgt_epi32(_mm256_set1_epi32(end - x), lanes);
    const __m256 fx = _mm256_cvtepi32_ps(_mm256_add_epi32(_mm256_set1_epi32(x), lanes));
    const __m256 iw = _mm256_add_ps(iw0, _mm256_mul_ps(diw8, fx));
    const __m256 d = whole ? _mm256_loadu_ps(depth + x) : _mm256_maskload_ps(depth + x, inside);
    const __m256 pass =
        _mm256_and_ps(_mm256_cmp_ps(iw, d, _CMP_GT_OQ), _mm256_castsi256_ps(inside));
    if (_mm256_movemask_ps(pass) == 0) continue;
    const __m256 inv = _mm256_and_ps(_mm256_cmp_ps(iw, zero, _CMP_GT_OQ), _mm256_div_ps(one, iw));
    const __m256 ut = _mm256_mul_ps(_mm256_add_ps(uw0, _mm256_mul_ps(duw8, fx)), inv);
    const __m256 vt = _mm256_mul_ps(_mm256_add_ps(vw0, _mm256_mul_ps(dvw8, fx)), inv);
    const __m256i at = _mm256_add_epi32(_mm256_sll_epi32(texel_pow2_8(vt, h, h_mask), width_shift),
                                        texel_pow2_8(ut, w, w_mask));
    const __m256i shaded = fetch_modulate8(texels, at, mul2);
    if (whole) {
      _mm256_storeu_ps(depth + x, _mm256_blendv_ps(d, iw, pass));
      auto* out = reinterpret_cast<__m256i*>(color + x);
      _mm256_storeu_si256(
          out, _mm256_blendv_epi8(_mm256_loadu_si256(out), shaded, _mm256_castps_si256(pass)));
    } else {
      _mm256_maskstore_ps(depth + x, _mm256_castps_si256(pass), iw);
      _mm256_maskstore_epi32(reinterpret_cast<int*>(color + x), _mm256_castps_si256(pass), shaded);
    }
  }
}
#endif

// The same four pixels at a time in SSE2 (the x86-64 baseline, so no dispatch): depth test,
// one packed division, texel addresses, modulation and both writes, by the very operations of
// the scalar loop, so every value is bit for bit the same. Hidden lanes fetch a texel too
// (their address is in range whatever their coordinates) but write nothing.
template <bool kPow2>
void perspective_run(const SpanContext& s, uint32_t* color, float* depth, float iw_row, float diw,
                     float uw_row, float vw_row, int32_t x, int32_t end) {
#if defined(__SSE2__)
  const Image& tex = *s.level.tex;
  // Indices in 32 bits; any texture the loader accepts is far smaller.
  const bool small = tex.width <= 65536 && tex.height <= 65536 &&
                     static_cast<int64_t>(tex.width) * tex.height < (int64_t{1} << 31);
  if (g_vector_spans.load(std::memory_order_relaxed) && small) {
#if defined(ZNR_AVX2)
    if (kPow2 && g_avx2) {  // the whole run, last group masked
      perspective_run8(s, color, depth, iw_row, diw, uw_row, vw_row, x, end);
      return;
    }
#endif
    const __m128 iw0 = _mm_set1_ps(iw_row), diw4 = _mm_set1_ps(diw);
    const __m128 uw0 = _mm_set1_ps(uw_row), duw4 = _mm_set1_ps(static_cast<float>(s.uw.dx));
    const __m128 vw0 = _mm_set1_ps(vw_row), dvw4 = _mm_set1_ps(static_cast<float>(s.vw.dx));
    const __m128 zero = _mm_setzero_ps(), one = _mm_set1_ps(1.0f);
    const __m128i lanes = _mm_setr_epi32(0, 1, 2, 3);
    const __m128d w = _mm_set1_pd(tex.width), inv_w = _mm_set1_pd(1.0 / tex.width);
    const __m128d h = _mm_set1_pd(tex.height), inv_h = _mm_set1_pd(1.0 / tex.height);
    const __m128 w4 = _mm_set1_ps(static_cast<float>(tex.width));
    const __m128 h4 = _mm_set1_ps(static_cast<float>(tex.height));
    const __m128i w_mask = _mm_set1_epi32(tex.width - 1), h_mask = _mm_set1_epi32(tex.height - 1);
    const __m128i width_shift =
        _mm_cvtsi32_si128(std::countr_zero(static_cast<uint32_t>(tex.width)));
    const __m128i mul2 = _mm_unpacklo_epi64(s.mul, s.mul);
    const uint32_t* texels = tex.texels.data();
    for (; x + 4 <= end; x += 4) {
      const __m128 fx = _mm_cvtepi32_ps(_mm_add_epi32(_mm_set1_epi32(x), lanes));
      const __m128 iw = _mm_add_ps(iw0, _mm_mul_ps(diw4, fx));
      const __m128 d = _mm_loadu_ps(depth + x);
      const __m128 pass = _mm_cmpgt_ps(iw, d);
      if (_mm_movemask_ps(pass) == 0) continue;
      // 1/iw where iw > 0, else 0 (behind the eye, or NaN).
      const __m128 inv = _mm_and_ps(_mm_cmpgt_ps(iw, zero), _mm_div_ps(one, iw));
      const __m128 ut = _mm_mul_ps(_mm_add_ps(uw0, _mm_mul_ps(duw4, fx)), inv);
      const __m128 vt = _mm_mul_ps(_mm_add_ps(vw0, _mm_mul_ps(dvw4, fx)), inv);
      alignas(16) int32_t at[4];
      if constexpr (kPow2) {
        const __m128i column = texel_pow2_ps(ut, w4, w_mask), row = texel_pow2_ps(vt, h4, h_mask);
        _mm_store_si128(reinterpret_cast<__m128i*>(at),
                        _mm_add_epi32(_mm_sll_epi32(row, width_shift), column));
      } else {
        _mm_store_si128(reinterpret_cast<__m128i*>(at), texel_index4(ut, vt, w, inv_w, h, inv_h));
      }
      const __m128i fetched =
          _mm_setr_epi32(static_cast<int>(texels[at[0]]), static_cast<int>(texels[at[1]]),
                         static_cast<int>(texels[at[2]]), static_cast<int>(texels[at[3]]));
      write4(color + x, depth + x, pass, iw, d, modulate4(fetched, mul2));
    }
  }
#endif
  perspective_scalar<kPow2>(s, color, depth, iw_row, diw, uw_row, vw_row, x, end);
}

// Pixels [lo, hi] of the span [xl, xr] at perspective accuracy span_length > 1: exact u, v every
// span_length pixels from xl and at the span's last pixel, linear in between; run(from, end, u,
// v, du, dv) draws each piece. Starts at the step that holds lo.
template <class Run>
inline void stepped_span(const SpanContext& s, float iw_row, float uw_row, float vw_row, int32_t xl,
                         int32_t xr, int32_t lo, int32_t hi, const Run& run) {
  const Image& tex = *s.level.tex;
  int32_t x = xl + (lo - xl) / s.span_length * s.span_length;
  float uf = 0.0f, vf = 0.0f;
  exact_uv(s, iw_row, uw_row, vw_row, x, uf, vf);
  int64_t u0 = to_texel_fixed(uf, tex.width), v0 = to_texel_fixed(vf, tex.height);
  while (x < xr && x <= hi) {
    const int32_t e = std::min(xr, x + s.span_length);
    exact_uv(s, iw_row, uw_row, vw_row, e, uf, vf);
    const int64_t u1 = to_texel_fixed(uf, tex.width), v1 = to_texel_fixed(vf, tex.height);
    const int64_t len = e - x;
    const int64_t du = (u1 - u0) / len, dv = (v1 - v0) / len;
    const int32_t from = std::max(x, lo);
    run(from, std::min(e, hi + 1), u0 + du * (from - x), v0 + dv * (from - x), du, dv);
    x = e;
    u0 = u1;
    v0 = v1;
  }
  if (xr <= hi) run(xr, xr + 1, u0, v0, 0, 0);
}

#if defined(ZNR_AVX2)
// stepped_span's pieces eight pixels at a time, with the row's set-up done once.
struct Pieces8 {
  const Runs8& runs;
  uint32_t* color;
  float* depth;
  ZNR_AVX2 void operator()(int32_t from, int32_t end, int64_t u, int64_t v, int64_t du,
                           int64_t dv) const {
    runs.run(color, depth, from, end, static_cast<uint32_t>(u), static_cast<uint32_t>(v),
             static_cast<uint32_t>(du), static_cast<uint32_t>(dv));
  }
};

ZNR_AVX2 void stepped_span8(const SpanContext& s, uint32_t* color, float* depth, float iw_row,
                            float diw, float uw_row, float vw_row, int32_t xl, int32_t xr,
                            int32_t lo, int32_t hi) {
  const Runs8 runs(s, iw_row, diw);
  stepped_span(s, iw_row, uw_row, vw_row, xl, xr, lo, hi, Pieces8{runs, color, depth});
}
#endif

// Pixels [lo, hi] of the span [xl, xr] (the part inside the tile being drawn). The steps are
// anchored at the whole span's start, so a span cut by tile borders gets exactly the values it
// would get whole.
template <bool kPow2>
void draw_textured_span(const SpanContext& s, int32_t y, int32_t xl, int32_t xr, int32_t lo,
                        int32_t hi, uint32_t* color, float* depth, float iw_row, float diw) {
  const Image& tex = *s.level.tex;
  if (s.span_length <= 0) {  // affine: u and v themselves step linearly across the triangle
    const auto fx = static_cast<float>(xl);
    const int64_t u = to_texel_fixed(s.u.row(y) + static_cast<float>(s.u.dx) * fx, tex.width);
    const int64_t v = to_texel_fixed(s.v.row(y) + static_cast<float>(s.v.dx) * fx, tex.height);
    const auto du = static_cast<int64_t>(std::clamp(s.u.dx * tex.width, -1e6, 1e6) * kTexelOne);
    const auto dv = static_cast<int64_t>(std::clamp(s.v.dx * tex.height, -1e6, 1e6) * kTexelOne);
    const int64_t skip = lo - xl;
    textured_run<kPow2>(s, color, depth, iw_row, diw, lo, hi + 1, u + du * skip, v + dv * skip, du,
                        dv);
    return;
  }
  const float uw_row = s.uw.row(y), vw_row = s.vw.row(y);
  if (s.span_length == 1) {  // exact at every pixel: divide only where the depth test passes
    perspective_run<kPow2>(s, color, depth, iw_row, diw, uw_row, vw_row, lo, hi + 1);
    return;
  }
#if defined(ZNR_AVX2)
  if (kPow2 && g_avx2 && g_vector_spans.load(std::memory_order_relaxed)) {
    stepped_span8(s, color, depth, iw_row, diw, uw_row, vw_row, xl, xr, lo, hi);
    return;
  }
#endif
  stepped_span(s, iw_row, uw_row, vw_row, xl, xr, lo, hi,
               [&](int32_t from, int32_t end, int64_t u, int64_t v, int64_t du, int64_t dv) {
                 textured_run<kPow2>(s, color, depth, iw_row, diw, from, end, u, v, du, dv);
               });
}

void draw_span(const SpanContext& s, int32_t y, int32_t xl, int32_t xr, int32_t lo, int32_t hi) {
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
  if (s.level.pow2) {
    draw_textured_span<true>(s, y, xl, xr, lo, hi, color, depth, iw_row, diw);
  } else {
    draw_textured_span<false>(s, y, xl, xr, lo, hi, color, depth, iw_row, diw);
  }
}

// Triangles at most this many pixels wide and high pick their mip level once.
constexpr int64_t kSmallTriangle = 16;

// The triangle's pixels inside clip. Spans are found over the whole screen width and then cut
// to clip, so that every pixel gets the same value whichever tile draws it.
void draw_triangle(const DrawPolygon& poly, const Image* tex, std::span<const Image> levels,
                   const DrawVertex& a, const DrawVertex& b, const DrawVertex& c,
                   int32_t span_length, const PixelRect& clip, Framebuffer& fb) {
  TriangleSetup t;
  if (!setup_triangle(a, b, c, 0, clip.y0, fb.width, clip.y1, t)) return;
  if (t.x1 < clip.x0 || t.x0 >= clip.x1) return;
  SpanContext s;  // planes set below, the ones the span needs only
  s.fb = &fb;
  s.level = Level(tex);
  s.mul = fixed_lanes(to_fixed(poly.mul));
  s.flat = 0;
  s.span_length = span_length;
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
  MipFootprint foot;  // anchored at vertex 0, whose values are exact
  if (tex != nullptr) {
    double attr[3];
    if (span_length <= 0) {
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
  const Level full = s.level;
  int32_t level = deepest > 0 ? -1 : 0;  // -1: not chosen yet (many triangles draw nothing)
  auto choose = [&](double x, double y) {
    const int32_t n = foot.level_at(x, y, deepest, level);
    if (n == level) return;
    level = n;
    s.level = n == 0 ? full : Level(&levels[static_cast<size_t>(n - 1)]);
  };
  const int64_t small = kSmallTriangle * kSubpixel;
  const bool per_span =
      deepest > 0 && span_length > 0 &&
      (std::max({t.x[0], t.x[1], t.x[2]}) - std::min({t.x[0], t.x[1], t.x[2]}) > small ||
       std::max({t.y[0], t.y[1], t.y[2]}) - std::min({t.y[0], t.y[1], t.y[2]}) > small);
  auto span = [&](int32_t y, int64_t xl, int64_t xr) {
    const int64_t lo = std::max<int64_t>(xl, clip.x0), hi = std::min<int64_t>(xr, clip.x1 - 1);
    if (lo > hi) return;
    if (per_span) {
      choose(static_cast<double>(xl + (xr - xl) / 2), y);
    } else if (level < 0) {
      choose((px[0] + px[1] + px[2]) / 3.0 - 0.5, (py[0] + py[1] + py[2]) / 3.0 - 0.5);
    }
    draw_span(s, y, static_cast<int32_t>(xl), static_cast<int32_t>(xr), static_cast<int32_t>(lo),
              static_cast<int32_t>(hi));
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

bool vector_spans() {
  return g_vector_spans.load(std::memory_order_relaxed);
}

void set_vector_spans(bool on) {
  g_vector_spans.store(on, std::memory_order_relaxed);
}

int32_t span_length_for_accuracy(double accuracy) {
  if (!(accuracy > 0.0)) return 0;  // 0, negative or NaN: affine
  const double n = std::ceil(48.0 / accuracy);
  return static_cast<int32_t>(std::clamp(n, 1.0, 64.0));
}

void rasterize_polygon(const DrawList& list, const DrawPolygon& poly, int32_t span_length,
                       const PixelRect& clip, Framebuffer& fb) {
  if (poly.count < 3 || poly.first + poly.count > list.vertices.size()) return;
  const DrawVertex* v = &list.vertices[poly.first];
  const Image* tex = list.texture_of(poly);
  const std::span<const Image> levels = list.levels_of(poly);
  for (uint32_t i = 1; i + 1 < poly.count; ++i) {
    draw_triangle(poly, tex, levels, v[0], v[i], v[i + 1], span_length, clip, fb);
  }
}

void rasterize_spans(std::span<const DrawList> lists, int32_t span_length, int32_t row_begin,
                     int32_t row_end, Framebuffer& fb) {
  const PixelRect clip{0, std::max(row_begin, 0), fb.width, std::min(row_end, fb.height)};
  if (clip.y0 >= clip.y1) return;
  for (const DrawList& list : lists) {
    for (const DrawPolygon& poly : list.polygons)
      rasterize_polygon(list, poly, span_length, clip, fb);
  }
}

void rasterize_fast(const DrawList& list, double accuracy, int32_t threads, Framebuffer& fb) {
  WorkerPool pool(threads);
  TileGrid grid(fb.width, fb.height);
  std::vector<TileBins> bins(1);
  bins[0].reset(grid);
  bin_list(list, 0, grid, bins[0]);
  rasterize_tiles(bins, grid, list.background, span_length_for_accuracy(accuracy), pool, fb);
}

}  // namespace znr
