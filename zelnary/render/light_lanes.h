// Vertices lit by their own normals several at a time, for PolygonShader::stored_many. Each lane
// does what stored() does for one vertex, operation for operation and without fused
// multiply-adds, so the shades are the same to the bit; a vertex's light is a chain of square
// roots and divisions, and chains side by side take the time of one. A lane that leaves the
// common path (a normal or a way to the eye too short or too long to scale simply, a light past
// the bounds that at() checks) is shaded again by stored().
//
// Included by one file per instruction set, which first defines ZNR_LIGHT_TARGET (the function
// attribute that selects it) and ZNR_LIGHT_LANES (2 for SSE2, 4 for AVX2).
#pragma once

#include <immintrin.h>

#include <cmath>
#include <cstdint>
#include <span>

#include "zelnary/render/surface_light.h"

namespace znr {
namespace {

using Doubles = double __attribute__((vector_size(8 * ZNR_LIGHT_LANES)));
using Mask = int64_t __attribute__((vector_size(8 * ZNR_LIGHT_LANES)));  // all ones or zero

ZNR_LIGHT_TARGET inline Doubles square_root(Doubles a) {
#if ZNR_LIGHT_LANES == 2
  return reinterpret_cast<Doubles>(_mm_sqrt_pd(reinterpret_cast<__m128d>(a)));
#else
  return reinterpret_cast<Doubles>(_mm256_sqrt_pd(reinterpret_cast<__m256d>(a)));
#endif
}

// The lanes where a length lies where normalized() scales simply.
ZNR_LIGHT_TARGET inline Mask scales_simply(Doubles length) {
  return (length > 1e-150) & (length < 1e150);
}

// Shades in[0..ZNR_LIGHT_LANES) into out; gives the lanes that must be shaded again one by one, a
// bit each. For terms that are finite.
ZNR_LIGHT_TARGET inline unsigned shade_lanes(const LightTerms& t, const StoredVertex* in,
                                             double side, const Vec3& eye, VertexShade* out) {
  const Doubles zero = {};
  Doubles nx, ny, nz, px, py, pz;
  for (int k = 0; k < ZNR_LIGHT_LANES; ++k) {
    nx[k] = in[k].normal.x;
    ny[k] = in[k].normal.y;
    nz[k] = in[k].normal.z;
    px[k] = in[k].position.x;
    py[k] = in[k].position.y;
    pz[k] = in[k].position.z;
  }
  // unit_normal(normal) * side
  const Doubles length = square_root(nx * nx + ny * ny + nz * nz);
  Mask redo = ~scales_simply(length);
  const Doubles inverse = 1.0 / length;
  nx = nx * inverse * side;
  ny = ny * inverse * side;
  nz = nz * inverse * side;
  const Vec3& l = t.to_light;
  Doubles lambert = nx * l.x + ny * l.y + nz * l.z;
  lambert = lambert > zero ? lambert : zero;
  redo |= ~(lambert <= 2.0);

  Doubles shine = zero;
  if (t.shiny) {
    // The way to the eye, then light_terms::highlight_past.
    Mask keep = lambert > zero;
    const Doubles ex = eye.x - px, ey = eye.y - py, ez = eye.z - pz;
    const Doubles eye_length = square_root(ex * ex + ey * ey + ez * ez);
    redo |= keep & ~scales_simply(eye_length);
    const Doubles eye_inverse = 1.0 / eye_length;
    const Doubles sx = l.x + ex * eye_inverse, sy = l.y + ey * eye_inverse,
                  sz = l.z + ez * eye_inverse;
    const Doubles sum_squared = sx * sx + sy * sy + sz * sz;
    if (t.least > 1e-6) {
      const Doubles along = nx * sx + ny * sy + nz * sz;
      keep &=
          ~((along <= 0.0) | (along * along < sum_squared * (t.least * t.least) * (1.0 - 1e-9)));
    }
    bool any = false;
    for (int k = 0; k < ZNR_LIGHT_LANES; ++k) any = any || keep[k] != 0;
    if (any) {  // most vertices are well past the highlight
      const Doubles half_length = square_root(sum_squared);
      redo |= keep & ~scales_simply(half_length);
      const Doubles half_inverse = 1.0 / half_length;
      const Doubles c =
          nx * (sx * half_inverse) + ny * (sy * half_inverse) + nz * (sz * half_inverse);
      keep &= (c > 0.0) & ~(t.shininess * (1.0 - c) > 7.0);
      Doubles power = zero + 1.0;
      if (t.whole >= 0) {
        Doubles base = c;
        for (auto n = static_cast<uint32_t>(t.whole); n != 0; n >>= 1) {
          if ((n & 1u) != 0) power *= base;
          base *= base;
        }
      } else {
        for (int k = 0; k < ZNR_LIGHT_LANES; ++k)
          power[k] = keep[k] != 0 ? std::pow(c[k], t.shininess) : 0.0;
      }
      shine = keep != 0 ? power : zero;
      redo |= ~(shine <= 2.0);
    }
  }

  // PolygonShader::at
  using light_terms::byte_fraction;
  for (int c = 0; c < 3; ++c) {
    Doubles fraction;
    for (int k = 0; k < ZNR_LIGHT_LANES; ++k) fraction[k] = byte_fraction(in[k].color, 16 - 8 * c);
    Doubles mul = t.color[c] * fraction * (t.ambient[c] + lambert * t.sun[c]);
    Doubles add = t.emissive[c] + t.specular_sun[c] * shine;
    mul = mul < 0.0 ? zero : mul;
    mul = 127.0 < mul ? zero + 127.0 : mul;
    add = add < 0.0 ? zero : add;
    add = 1.0 < add ? zero + 1.0 : add;
    for (int k = 0; k < ZNR_LIGHT_LANES; ++k) {
      out[k].mul[c] = static_cast<float>(mul[k]);
      out[k].add[c] = static_cast<float>(add[k]);
    }
  }
  for (int k = 0; k < ZNR_LIGHT_LANES; ++k) {
    const double a = t.opaque ? 1.0 : t.alpha * byte_fraction(in[k].color, 24);
    out[k].alpha = static_cast<float>(std::min(std::max(a, 0.0), 1.0));
  }
  unsigned lanes = 0;
  for (int k = 0; k < ZNR_LIGHT_LANES; ++k) lanes |= redo[k] != 0 ? 1u << k : 0u;
  return lanes;
}

// stored_many's loop: whole groups of lanes, then the rest one by one.
ZNR_LIGHT_TARGET inline void light_in_lanes(const PolygonShader& s,
                                            std::span<const StoredVertex> in, double side,
                                            const Vec3& eye, VertexShade* out) {
  size_t i = 0;
  if (s.terms().finite) {
    for (; i + ZNR_LIGHT_LANES <= in.size(); i += ZNR_LIGHT_LANES) {
      const unsigned redo = shade_lanes(s.terms(), &in[i], side, eye, out + i);
      for (int k = 0; k < ZNR_LIGHT_LANES; ++k) {
        if (((redo >> k) & 1u) != 0) out[i + k] = s.stored(in[i + k], side, eye);
      }
    }
  }
  for (; i < in.size(); ++i) out[i] = s.stored(in[i], side, eye);
}

}  // namespace
}  // namespace znr
