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

const SpanLoops& avx2_span_loops() {
#if defined(__x86_64__) && defined(__GNUC__)
  // Other sizes keep four lanes: their texel addresses are worked out in double, two at a time.
  static constexpr SpanLoops loops = span_loops_of<Lanes<8>, Lanes<4>>();
#else
  static constexpr SpanLoops loops = span_loops_of<Lanes<1>, Lanes<1>>();
#endif
  return loops;
}

}  // namespace znr
