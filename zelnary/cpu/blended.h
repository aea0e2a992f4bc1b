// Blended polygons wait until everything opaque is drawn, and are then drawn far to near, so
// that each mixes over what is really behind it.
#pragma once

#include <cstdint>
#include <span>

#include "zelnary/cpu/draw_list.h"

namespace znr {

// Appends list's blended polygons, with their vertices and shades, to kept as polygons,
// marked with batch.
void keep_blended(const DrawList& list, uint32_t batch, DrawList& kept);

// Every polygon kept (one list per thread) into out's polygons, far to near; equal distances
// keep their batch order, so that the order does not depend on which thread emitted what.
void order_blended(std::span<const DrawList> kept, DrawList& out);

}  // namespace znr
