// The CPU back end's first step: the polygons of a frame's visible chunks and objects culled,
// clipped to the view and projected into screen-space draw lists. The visible set can be
// emitted in parts, one per thread.
#pragma once

#include "zelnary/cpu/draw_list.h"
#include "zelnary/render/frame.h"

namespace znr {

// Emits share `part` of `parts` of the frame's polygons into out (cleared first). Parts may
// be emitted at the same time from different threads.
void emit_part(const Frame& frame, int part, int parts, DrawList& out);
// The whole frame into one list.
inline void emit_frame(const Frame& frame, DrawList& out) {
  emit_part(frame, 0, 1, out);
}

}  // namespace znr
