// Texel lookup and colour modulation shared by both rasterizers, so that they differ only
// in how they walk the triangle.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "zelnary/scene/image.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace znr {

// The texel column (or row) for coordinate t on a repeating texture of the given size:
// nearest sampling, 1.0 = one whole texture.
inline int32_t wrap_texel(float t, int32_t size) {
  if (!(std::fabs(t) < 1.0e7f)) return 0;  // NaN or too far out to have a fraction left
  const float f = t - std::floor(t);       // [0, 1)
  const auto i = static_cast<int32_t>(f * static_cast<float>(size));
  return i < size ? i : size - 1;
}

inline uint32_t sample_nearest(const Image& tex, float u, float v) {
  return tex.at(wrap_texel(u, tex.width), wrap_texel(v, tex.height));
}

// Colour multiplier in 8.8 fixed point, for the fast path; below 128 so that texel times
// multiplier stays within a signed 16-bit lane.
struct FixedMul {
  uint32_t r = 256, g = 256, b = 256;
};

inline uint32_t to_fixed_channel(float m) {
  const float c = std::clamp(m, 0.0f, 127.99f) * 256.0f;
  return static_cast<uint32_t>(c + 0.5f);
}

inline FixedMul to_fixed(const float mul[3]) {
  return {to_fixed_channel(mul[0]), to_fixed_channel(mul[1]), to_fixed_channel(mul[2])};
}

#if defined(__SSE2__)
using MulLanes = __m128i;

// The multiplier as four 16-bit lanes matching a texel unpacked to b, g, r, a.
inline __m128i fixed_lanes(const FixedMul& m) {
  return _mm_setr_epi16(static_cast<int16_t>(m.b), static_cast<int16_t>(m.g),
                        static_cast<int16_t>(m.r), 0, 0, 0, 0, 0);
}

// Texel times multiplier per channel, saturating at 255, in one go.
inline uint32_t modulate(uint32_t texel, __m128i lanes) {
  __m128i t = _mm_unpacklo_epi8(_mm_cvtsi32_si128(static_cast<int>(texel)), _mm_setzero_si128());
  t = _mm_mulhi_epu16(_mm_slli_epi16(t, 8), lanes);  // (t * 256 * m) >> 16 = (t * m) >> 8
  return 0xFF000000u | static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_packus_epi16(t, t)));
}
#else
using MulLanes = FixedMul;
inline FixedMul fixed_lanes(const FixedMul& m) {
  return m;
}

inline uint32_t modulate(uint32_t texel, const FixedMul& m) {
  const uint32_t r = std::min<uint32_t>(255u, (((texel >> 16) & 0xFFu) * m.r) >> 8);
  const uint32_t g = std::min<uint32_t>(255u, (((texel >> 8) & 0xFFu) * m.g) >> 8);
  const uint32_t b = std::min<uint32_t>(255u, ((texel & 0xFFu) * m.b) >> 8);
  return 0xFF000000u | (r << 16) | (g << 8) | b;
}
#endif

}  // namespace znr
