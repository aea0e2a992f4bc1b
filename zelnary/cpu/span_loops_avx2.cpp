// The span loops eight pixels at a time, compiled for AVX2 (no FMA: products and sums stay
// rounded one by one, as one pixel at a time) without raising what the rest of the build asks
// of the processor; called only where the processor has AVX2.
#if defined(__x86_64__) && defined(__GNUC__)
#define ZNR_SPAN_TARGET __attribute__((target("avx2")))
#else
#define ZNR_SPAN_TARGET
#endif

#include "zelnary/cpu/span_loops.h"

namespace znr {

#if defined(__x86_64__) && defined(__GNUC__)
void textured_span_avx2(const SpanContext& s, int32_t y, int32_t xl, int32_t xr, int32_t lo,
                        int32_t hi, uint32_t* color, float* depth, float iw_row, float diw) {
  textured_span<Lanes<8>, true>(s, y, xl, xr, lo, hi, color, depth, iw_row, diw);
}
#endif

}  // namespace znr
