// Which loops the span rasterizer draws textured spans with: one pixel at a time, four side by
// side (SSE2) or eight (AVX2), all giving bit for bit the same picture. The CPU back end picks
// once, when it is made; tests run each against the one-pixel loops.
#pragma once

namespace znr {

enum class SpanIsa { scalar, sse2, avx2 };

struct SpanLoops;  // the span functions of one instruction set (span_loops.h)

// Whether this build and processor can run isa's loops.
bool span_isa_supported(SpanIsa isa);

// The widest supported; scalar where the environment has ZELNARY_SCALAR_SPANS=1 (to compare
// the two in benchmarks).
SpanIsa preferred_span_isa();

// isa's span functions, or the scalar ones where isa is not supported.
const SpanLoops& span_loops(SpanIsa isa);

}  // namespace znr
