// The lanes of stored_many four at a time, for processors with AVX2.
#include "zelnary/render/surface_light.h"

#if defined(__x86_64__)
#define ZNR_LIGHT_TARGET __attribute__((target("avx2")))
#define ZNR_LIGHT_LANES 4
#include "zelnary/render/light_lanes.h"

namespace znr {

ZNR_LIGHT_TARGET void light_in_avx2_lanes(const PolygonShader& s, std::span<const StoredVertex> in,
                                          double side, const Vec3& eye, VertexShade* out) {
  light_in_lanes(s, in, side, eye, out);
}

}  // namespace znr
#endif
