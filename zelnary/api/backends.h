// The back ends this engine draws with, in order of preference: OpenGL (only with the 3D card
// on; it gives way to the CPU when it cannot run), the CPU rasterizer, and the null back end,
// used only when named. ZELNARY_BACKEND=opengl|cpu|null draws with the one named, whatever the
// settings say.
#pragma once

#include "zelnary/render/backend.h"

namespace znr {

BackendTable engine_backends();

}  // namespace znr
