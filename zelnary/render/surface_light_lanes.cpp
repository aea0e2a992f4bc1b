// PolygonShader::stored_many in the lanes of SSE2 (the x86-64 baseline), or of AVX2 where the
// processor has it (surface_light_avx2.cpp).
#include "zelnary/render/surface_light.h"

#if defined(__x86_64__)
#define ZNR_LIGHT_TARGET
#define ZNR_LIGHT_LANES 2
#include "zelnary/render/light_lanes.h"
#endif

namespace znr {

#if defined(__x86_64__)
void light_in_avx2_lanes(const PolygonShader& s, std::span<const StoredVertex> in, double side,
                         const Vec3& eye, VertexShade* out);
#endif

void PolygonShader::stored_many(std::span<const StoredVertex> in, double side, const Vec3& eye,
                                VertexShade* out, Lanes lanes) const {
#if defined(__x86_64__)
  static const bool avx2 = __builtin_cpu_supports("avx2") != 0;
  if (avx2 && lanes == Lanes::widest) return light_in_avx2_lanes(*this, in, side, eye, out);
  light_in_lanes(*this, in, side, eye, out);
#else
  (void)lanes;
  for (size_t i = 0; i < in.size(); ++i) out[i] = stored(in[i], side, eye);
#endif
}

}  // namespace znr
