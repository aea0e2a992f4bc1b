// The CPU back end's first step: the polygons of a frame's visible chunks and objects culled,
// clipped to the view and projected into screen-space draw lists. The visible set can be
// emitted in pieces, from several threads at once.
#pragma once

#include <span>
#include <vector>

#include "zelnary/cpu/draw_list.h"
#include "zelnary/cpu/occlusion.h"
#include "zelnary/cpu/tiles.h"
#include "zelnary/render/frame.h"
#include "zelnary/render/posed_skins.h"

namespace znr {

// Which of the chunks' polygons to emit: all, or of those drawn from both sides only the ones
// the eye sees from their front (with every one-sided one) or only those it sees from behind.
// Over hills the far slopes are seen from behind and mostly hidden by the near ones: drawn
// last, they can be tested against all the rest.
enum class Sides : uint8_t { both, front, back };

// A polygon of a chunk seen from behind, put aside for the pass of those.
struct BehindPolygon {
  const Polygon* polygon;
  const PolygonLight* light;  // its flat light, as the index keeps it
  float x0, x1, y0, y1;       // its bounds on screen
  float nearest;              // its corners' largest 1/w
  bool level;                 // of a level of detail's polygons, not the scene's
};

// The polygons of frame.chunks[chunk_begin, chunk_end) and frame.objects[object_begin,
// object_end), in that order, into out (cleared first). Ranges may be emitted at the same time
// from different threads. Skinned objects are drawn from posed (posed for this frame); without
// it, in their bind shape at their objects' poses.
void emit_range(const Frame& frame, size_t chunk_begin, size_t chunk_end, size_t object_begin,
                size_t object_end, DrawList& out, const PosedSkins* posed = nullptr);
// The same polygons straight into one thread's tile bins: appended to bins.all (which is not
// cleared), each marked with batch and added to the tiles its bounds touch, as bin_list would
// do with the list emit_range makes, without the copy. Blended polygons are left in
// bins.all.blended for the caller. Of the chunks' polygons only sides are emitted (the objects'
// all); with Sides::front, those seen from behind that hold a pixel go to behind.
void emit_range_binned(const Frame& frame, size_t chunk_begin, size_t chunk_end,
                       size_t object_begin, size_t object_end, uint32_t batch, const TileGrid& grid,
                       TileBins& bins, const PosedSkins* posed = nullptr, Sides sides = Sides::both,
                       std::vector<BehindPolygon>* behind = nullptr);
// The same for polygons put aside as seen from behind, but for those that drawn (the depth
// drawn so far, by blocks) or depth (the same pixel by pixel) hides over all their bounds;
// returns how many were hidden.
uint64_t emit_behind_binned(const Frame& frame, std::span<const BehindPolygon> polygons,
                            uint32_t batch, const TileGrid& grid, TileBins& bins,
                            const CoarseDepth& drawn, const Framebuffer& depth);

// The whole frame into one list.
inline void emit_frame(const Frame& frame, DrawList& out, const PosedSkins* posed = nullptr) {
  emit_range(frame, 0, frame.chunks.size(), 0, frame.objects.size(), out, posed);
}

}  // namespace znr
