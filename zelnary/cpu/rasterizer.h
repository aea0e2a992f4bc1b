// The CPU back end: draws a draw list into a framebuffer with a depth buffer.
#pragma once

#include <cstdint>
#include <span>

#include "zelnary/cpu/draw_list.h"
#include "zelnary/cpu/framebuffer.h"
#include "zelnary/cpu/span_mode.h"
#include "zelnary/cpu/worker_pool.h"

namespace znr {

struct PixelRect {
  int32_t x0 = 0, y0 = 0, x1 = 0, y1 = 0;  // [x0, x1) x [y0, y1)
};

// Whether a perspective-correction accuracy draws textures perspective-correct, exact at every
// pixel: any accuracy above 0. 0 (or less, or NaN): affine, u and v linear on screen.
bool perspective_for_accuracy(double accuracy);

// The reference: one pixel at a time, every step spelled out, always perspective-correct.
// Clears the framebuffer first. Slow; used to check the fast path.
void rasterize_reference(const DrawList& list, Framebuffer& fb);

// The fast path over rows [row_begin, row_end) only (the caller clears them first), on the
// calling thread: incremental span walking; perspective as perspective_for_accuracy gives it,
// textured spans drawn by loops (by default the widest this processor runs). The lists are drawn
// one after the other.
void rasterize_spans(std::span<const DrawList> lists, bool perspective, int32_t row_begin,
                     int32_t row_end, Framebuffer& fb,
                     const SpanLoops& loops = span_loops(preferred_span_isa()));
inline void rasterize_spans(const DrawList& list, bool perspective, int32_t row_begin,
                            int32_t row_end, Framebuffer& fb,
                            const SpanLoops& loops = span_loops(preferred_span_isa())) {
  rasterize_spans(std::span(&list, 1), perspective, row_begin, row_end, fb, loops);
}

// One polygon of the list, only its pixels inside clip; each pixel gets the same value as
// when the polygon is drawn unclipped.
void rasterize_polygon(const DrawList& list, const DrawPolygon& poly, bool perspective,
                       const SpanLoops& loops, const PixelRect& clip, Framebuffer& fb);

// Clears (to the list's background) and draws the whole framebuffer with the fast path, the
// screen split in tiles shared between `threads` threads (a pool made for the call; tests).
void rasterize_fast(const DrawList& list, double accuracy, int32_t threads, Framebuffer& fb,
                    const SpanLoops& loops = span_loops(preferred_span_isa()));

}  // namespace znr
