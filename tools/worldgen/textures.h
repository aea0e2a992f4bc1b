// The sample world's textures, painted procedurally: no downloaded art.
#pragma once

#include "pixmap.h"

namespace worldgen {

Pixmap paint_grass();    // 128x128, tiles
Pixmap paint_road();     // 64x128: u across the road, v along it; edge lines and a dashed centre
Pixmap paint_bricks();   // 128x128 brick courses
Pixmap paint_windows();  // 128x128 concrete facade, 2x2 windows per tile
Pixmap paint_roof();     // 64x64 roof tiles
Pixmap paint_paving();   // 128x128 square paving stones
Pixmap paint_bus();      // 128x64 a bus side: windows over a coloured band
Pixmap paint_terrain();  // 64x64 two-tone grass for the generated benchmark terrain

}  // namespace worldgen
