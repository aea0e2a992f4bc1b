// Pixels side by side for the span loops (span_loops.h): Lanes<1> is plain scalars, Lanes<4>
// SSE2 (the x86-64 baseline) and Lanes<8> AVX2 (only in functions compiled for it). Each has
//   F  floats, one per pixel (1/w, texture coordinates);
//   I  integers: 16.16 texel coordinates (their low 32 bits in the vector lanes; wide enough for
//      power-of-two textures, see span_loops.h) and texel indices;
//   M  which pixels (a mask), Mul the colour multiplier ready for shade();
// and the same operations, each doing in every lane exactly what the one-pixel version does
// (no fused multiply-add: products and sums are rounded one by one). Lanes<8> also masks its
// last group: first(count) and the loads and stores that take `inside` touch no pixel past it.
#pragma once

#include <cstdint>

#include "zelnary/cpu/shading.h"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace znr {

template <int N>
struct Lanes;

template <>
struct Lanes<1> {
  static constexpr int32_t n = 1;
  static constexpr bool kMaskedTail = false;
  using F = float;
  using I = int64_t;  // the whole coordinate: any texture size, wrapped or not
  using M = bool;
  using Mul = MulLanes;

  static F splat(float v) { return v; }
  static F column(int32_t x) { return static_cast<float>(x); }
  static F add(F a, F b) { return a + b; }
  static F mul(F a, F b) { return a * b; }
  static F reciprocal_or_zero(F w) { return w > 0.0f ? 1.0f / w : 0.0f; }
  static F load(const float* p) { return *p; }
  static M greater(F a, F b) { return a > b; }
  static bool any(M m) { return m; }
  static void store(float* p, M pass, F value, F) {
    if (pass) *p = value;
  }

  static I coords(int64_t u, int64_t) { return u; }
  static I stride(int64_t step) { return step; }  // n times a step
  static I splat_int(int32_t v) { return v; }
  static I add(I a, I b) { return a + b; }
  static I bits(I a, I mask) { return a & mask; }
  template <int kCount>
  static I shift_right(I a) {
    return a >> kCount;
  }
  static I shift_left(I a, int32_t count) { return a << count; }

  static Mul multiplier(const MulLanes& m) { return m; }
  static uint32_t shade(const uint32_t* texels, I at, const Mul& m) {
    return modulate(texels[static_cast<size_t>(at)], m);
  }
  static void store(uint32_t* p, M pass, uint32_t colour) {
    if (pass) *p = colour;
  }
};

#if defined(__SSE2__)
template <>
struct Lanes<4> {
  static constexpr int32_t n = 4;
  static constexpr bool kMaskedTail = false;  // SSE2 has no masked loads: the rest goes one by one
  using F = __m128;
  using I = __m128i;
  using M = __m128;
  using Mul = __m128i;

  static F splat(float v) { return _mm_set1_ps(v); }
  static F column(int32_t x) {
    return _mm_cvtepi32_ps(_mm_add_epi32(_mm_set1_epi32(x), _mm_setr_epi32(0, 1, 2, 3)));
  }
  static F add(F a, F b) { return _mm_add_ps(a, b); }
  static F sub(F a, F b) { return _mm_sub_ps(a, b); }
  static F mul(F a, F b) { return _mm_mul_ps(a, b); }
  static F reciprocal_or_zero(F w) {
    return _mm_and_ps(_mm_cmpgt_ps(w, _mm_setzero_ps()), _mm_div_ps(_mm_set1_ps(1.0f), w));
  }
  static F abs(F a) { return _mm_andnot_ps(_mm_set1_ps(-0.0f), a); }
  static F bits(F a, M m) { return _mm_and_ps(a, m); }
  static F to_float(I a) { return _mm_cvtepi32_ps(a); }
  static I truncate(F a) { return _mm_cvttps_epi32(a); }
  static F load(const float* p) { return _mm_loadu_ps(p); }
  static M greater(F a, F b) { return _mm_cmpgt_ps(a, b); }
  static M less(F a, F b) { return _mm_cmplt_ps(a, b); }
  static I as_int(M m) { return _mm_castps_si128(m); }
  static bool any(M m) { return _mm_movemask_ps(m) != 0; }
  static void store(float* p, M pass, F value, F old) {
    _mm_storeu_ps(p, _mm_or_ps(_mm_and_ps(pass, value), _mm_andnot_ps(pass, old)));
  }

  static I coords(int64_t u, int64_t du) {
    const auto lane = [&](int64_t i) {
      return static_cast<int>(static_cast<uint32_t>(u + du * i));
    };
    return _mm_setr_epi32(lane(0), lane(1), lane(2), lane(3));
  }
  static I stride(int64_t step) {
    return _mm_set1_epi32(static_cast<int>(static_cast<uint32_t>(4 * step)));
  }
  static I splat_int(int32_t v) { return _mm_set1_epi32(v); }
  static I add(I a, I b) { return _mm_add_epi32(a, b); }
  static I bits(I a, I mask) { return _mm_and_si128(a, mask); }
  template <int kCount>
  static I shift_right(I a) {
    return _mm_srli_epi32(a, kCount);
  }
  static I shift_left(I a, int32_t count) { return _mm_sll_epi32(a, _mm_cvtsi32_si128(count)); }

  static F min(F a, F b) { return _mm_min_ps(a, b); }
  static F max(F a, F b) { return _mm_max_ps(a, b); }  // b where a is NaN
  static I gather(const uint32_t* texels, I at) {
    alignas(16) int32_t i[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(i), at);
    return _mm_setr_epi32(static_cast<int>(texels[i[0]]), static_cast<int>(texels[i[1]]),
                          static_cast<int>(texels[i[2]]), static_cast<int>(texels[i[3]]));
  }

  static Mul multiplier(const MulLanes& m) { return _mm_unpacklo_epi64(m, m); }
  // Texels at four indices (a gather, by hand), each times the multiplier.
  static I shade(const uint32_t* texels, I at, const Mul& m) {
    alignas(16) int32_t i[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(i), at);
    const __m128i texel =
        _mm_setr_epi32(static_cast<int>(texels[i[0]]), static_cast<int>(texels[i[1]]),
                       static_cast<int>(texels[i[2]]), static_cast<int>(texels[i[3]]));
    const __m128i zero = _mm_setzero_si128();
    const __m128i lo = _mm_mulhi_epu16(_mm_slli_epi16(_mm_unpacklo_epi8(texel, zero), 8), m);
    const __m128i hi = _mm_mulhi_epu16(_mm_slli_epi16(_mm_unpackhi_epi8(texel, zero), 8), m);
    return _mm_or_si128(_mm_packus_epi16(lo, hi), _mm_set1_epi32(static_cast<int>(0xFF000000u)));
  }
  static void store(uint32_t* p, M pass, I colour) {
    const __m128i keep = _mm_castps_si128(pass);
    auto* out = reinterpret_cast<__m128i*>(p);
    _mm_storeu_si128(out, _mm_or_si128(_mm_and_si128(keep, colour),
                                       _mm_andnot_si128(keep, _mm_loadu_si128(out))));
  }

  // floor(x) exactly for |x| < 2^51 (SSE2 has no rounding instruction): adding and taking away
  // 1.5 * 2^52 rounds to the nearest integer, then one down where that rounded up.
  static __m128d floor(__m128d x) {
    const __m128d magic = _mm_set1_pd(6755399441055744.0);
    const __m128d r = _mm_sub_pd(_mm_add_pd(x, magic), magic);
    return _mm_sub_pd(r, _mm_and_pd(_mm_cmpgt_pd(r, x), _mm_set1_pd(1.0)));
  }

  // The texel column (or row) of two coordinates on a texture of any size, as the one-pixel
  // path finds it (the 16.16 coordinate shifted down, then wrapped): floor of the clamped
  // coordinate times the size (exact in double: 24 by at most 24 bits), repeated into
  // [0, size). NaN gives 0.
  static __m128d wrapped(__m128d t, __m128d size, __m128d inv_size) {
    t = _mm_and_pd(_mm_cmpord_pd(t, t), t);
    t = _mm_max_pd(_mm_min_pd(t, _mm_set1_pd(1.0e7)), _mm_set1_pd(-1.0e7));
    const __m128d f = floor(_mm_mul_pd(t, size));
    // The quotient rounded to nearest is off by at most one; the remainder is fixed up.
    const __m128d magic = _mm_set1_pd(6755399441055744.0);
    const __m128d q = _mm_sub_pd(_mm_add_pd(_mm_mul_pd(f, inv_size), magic), magic);
    __m128d r = _mm_sub_pd(f, _mm_mul_pd(q, size));
    r = _mm_add_pd(r, _mm_and_pd(_mm_cmplt_pd(r, _mm_setzero_pd()), size));
    return _mm_sub_pd(r, _mm_and_pd(_mm_cmpge_pd(r, size), size));
  }

  // Texel indices (row * width + column) of four pixels' coordinates on a texture of any size,
  // two pixels at a time in double.
  static I wrapped_index(F ut, F vt, double width, double inv_width, double height,
                         double inv_height) {
    const __m128d w = _mm_set1_pd(width), inv_w = _mm_set1_pd(inv_width);
    const __m128d h = _mm_set1_pd(height), inv_h = _mm_set1_pd(inv_height);
    const auto half = [&](F u, F v) {
      return _mm_cvttpd_epi32(_mm_add_pd(_mm_mul_pd(wrapped(_mm_cvtps_pd(v), h, inv_h), w),
                                         wrapped(_mm_cvtps_pd(u), w, inv_w)));
    };
    return _mm_unpacklo_epi64(half(ut, vt), half(_mm_movehl_ps(ut, ut), _mm_movehl_ps(vt, vt)));
  }
};
#endif

#if defined(__x86_64__) && defined(__GNUC__)
#define ZNR_LANES8 __attribute__((target("avx2"), always_inline)) inline

template <>
struct Lanes<8> {
  static constexpr int32_t n = 8;
  static constexpr bool kMaskedTail = true;
  using F = __m256;
  using I = __m256i;
  using M = __m256;
  using Mul = __m256i;

  ZNR_LANES8 static I iota() { return _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7); }
  ZNR_LANES8 static F splat(float v) { return _mm256_set1_ps(v); }
  ZNR_LANES8 static F column(int32_t x) {
    return _mm256_cvtepi32_ps(_mm256_add_epi32(_mm256_set1_epi32(x), iota()));
  }
  ZNR_LANES8 static F add(F a, F b) { return _mm256_add_ps(a, b); }
  ZNR_LANES8 static F sub(F a, F b) { return _mm256_sub_ps(a, b); }
  ZNR_LANES8 static F mul(F a, F b) { return _mm256_mul_ps(a, b); }
  ZNR_LANES8 static F reciprocal_or_zero(F w) {
    return _mm256_and_ps(_mm256_cmp_ps(w, _mm256_setzero_ps(), _CMP_GT_OQ),
                         _mm256_div_ps(_mm256_set1_ps(1.0f), w));
  }
  ZNR_LANES8 static F abs(F a) { return _mm256_andnot_ps(_mm256_set1_ps(-0.0f), a); }
  ZNR_LANES8 static F bits(F a, M m) { return _mm256_and_ps(a, m); }
  ZNR_LANES8 static F to_float(I a) { return _mm256_cvtepi32_ps(a); }
  ZNR_LANES8 static I truncate(F a) { return _mm256_cvttps_epi32(a); }
  ZNR_LANES8 static F load(const float* p) { return _mm256_loadu_ps(p); }
  ZNR_LANES8 static M greater(F a, F b) { return _mm256_cmp_ps(a, b, _CMP_GT_OQ); }
  ZNR_LANES8 static M less(F a, F b) { return _mm256_cmp_ps(a, b, _CMP_LT_OQ); }
  ZNR_LANES8 static I as_int(M m) { return _mm256_castps_si256(m); }
  ZNR_LANES8 static bool any(M m) { return _mm256_movemask_ps(m) != 0; }
  ZNR_LANES8 static void store(float* p, M pass, F value, F old) {
    _mm256_storeu_ps(p, _mm256_blendv_ps(old, value, pass));
  }

  // The last group: its first `count` pixels (1 to 7), and masked loads and stores.
  ZNR_LANES8 static M first(int32_t count) {
    return _mm256_castsi256_ps(_mm256_cmpgt_epi32(_mm256_set1_epi32(count), iota()));
  }
  ZNR_LANES8 static M both(M a, M b) { return _mm256_and_ps(a, b); }
  ZNR_LANES8 static F load(const float* p, M inside) {
    return _mm256_maskload_ps(p, _mm256_castps_si256(inside));
  }
  ZNR_LANES8 static void store_masked(float* p, M pass, F value) {
    _mm256_maskstore_ps(p, _mm256_castps_si256(pass), value);
  }
  ZNR_LANES8 static void store_masked(uint32_t* p, M pass, I colour) {
    _mm256_maskstore_epi32(reinterpret_cast<int*>(p), _mm256_castps_si256(pass), colour);
  }

  ZNR_LANES8 static I coords(int64_t u, int64_t du) {
    return _mm256_add_epi32(
        _mm256_set1_epi32(static_cast<int>(static_cast<uint32_t>(u))),
        _mm256_mullo_epi32(_mm256_set1_epi32(static_cast<int>(static_cast<uint32_t>(du))), iota()));
  }
  ZNR_LANES8 static I stride(int64_t step) {
    return _mm256_set1_epi32(static_cast<int>(static_cast<uint32_t>(8 * step)));
  }
  ZNR_LANES8 static I splat_int(int32_t v) { return _mm256_set1_epi32(v); }
  ZNR_LANES8 static I add(I a, I b) { return _mm256_add_epi32(a, b); }
  ZNR_LANES8 static I bits(I a, I mask) { return _mm256_and_si256(a, mask); }
  ZNR_LANES8 static I bits_or(I a, I b) { return _mm256_or_si256(a, b); }
  // Bit i set where lane i is below zero.
  ZNR_LANES8 static int32_t negative(I a) { return _mm256_movemask_ps(_mm256_castsi256_ps(a)); }
  template <int kCount>
  ZNR_LANES8 static I shift_right(I a) {
    return _mm256_srli_epi32(a, kCount);
  }
  ZNR_LANES8 static I shift_left(I a, int32_t count) {
    return _mm256_sll_epi32(a, _mm_cvtsi32_si128(count));
  }

  ZNR_LANES8 static F min(F a, F b) { return _mm256_min_ps(a, b); }
  ZNR_LANES8 static F max(F a, F b) { return _mm256_max_ps(a, b); }  // b where a is NaN
  ZNR_LANES8 static I gather(const uint32_t* texels, I at) {
    return _mm256_i32gather_epi32(reinterpret_cast<const int*>(texels), at, 4);
  }

  ZNR_LANES8 static Mul multiplier(const MulLanes& m) {
    return _mm256_broadcastsi128_si256(_mm_unpacklo_epi64(m, m));
  }
  ZNR_LANES8 static I shade(const uint32_t* texels, I at, const Mul& m) {
    const __m256i texel = _mm256_i32gather_epi32(reinterpret_cast<const int*>(texels), at, 4);
    const __m256i z = _mm256_setzero_si256();
    const __m256i lo = _mm256_mulhi_epu16(_mm256_slli_epi16(_mm256_unpacklo_epi8(texel, z), 8), m);
    const __m256i hi = _mm256_mulhi_epu16(_mm256_slli_epi16(_mm256_unpackhi_epi8(texel, z), 8), m);
    return _mm256_or_si256(_mm256_packus_epi16(lo, hi),
                           _mm256_set1_epi32(static_cast<int>(0xFF000000u)));
  }
  ZNR_LANES8 static void store(uint32_t* p, M pass, I colour) {
    auto* out = reinterpret_cast<__m256i*>(p);
    _mm256_storeu_si256(
        out, _mm256_blendv_epi8(_mm256_loadu_si256(out), colour, _mm256_castps_si256(pass)));
  }
};
#undef ZNR_LANES8
#endif

}  // namespace znr
