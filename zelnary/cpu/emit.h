// The CPU back end's first step: the polygons of a frame's visible chunks and objects culled,
// clipped to the view and projected into screen-space draw lists. The visible set can be
// emitted in pieces, from several threads at once.
#pragma once

#include "zelnary/cpu/draw_list.h"
#include "zelnary/cpu/tiles.h"
#include "zelnary/render/frame.h"
#include "zelnary/render/posed_skins.h"

namespace znr {

// The polygons of frame.chunks[chunk_begin, chunk_end) and frame.objects[object_begin,
// object_end), in that order, into out (cleared first). Ranges may be emitted at the same time
// from different threads. Skinned objects are drawn from posed (posed for this frame); without
// it, in their bind shape at their objects' poses.
void emit_range(const Frame& frame, size_t chunk_begin, size_t chunk_end, size_t object_begin,
                size_t object_end, DrawList& out, const PosedSkins* posed = nullptr);
// The same polygons straight into one thread's tile bins: appended to bins.all (which is not
// cleared), each marked with batch and added to the tiles its bounds touch, as bin_list would
// do with the list emit_range makes, without the copy. Blended polygons are left in
// bins.all.blended for the caller.
void emit_range_binned(const Frame& frame, size_t chunk_begin, size_t chunk_end,
                       size_t object_begin, size_t object_end, uint32_t batch, const TileGrid& grid,
                       TileBins& bins, const PosedSkins* posed = nullptr);

// The whole frame into one list.
inline void emit_frame(const Frame& frame, DrawList& out, const PosedSkins* posed = nullptr) {
  emit_range(frame, 0, frame.chunks.size(), 0, frame.objects.size(), out, posed);
}

}  // namespace znr
