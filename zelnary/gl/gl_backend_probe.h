// What tests look at inside the OpenGL back end, kept off its public class.
#pragma once

#include <cstdint>

#include "zelnary/gl/gl_backend.h"

namespace znr {

struct GlBackendProbe {
  // GL objects (buffers, textures, vertex arrays, programs, framebuffers) alive now.
  static int32_t live_objects(const GlBackend& gl);
  // Frames swapped into its window so far.
  static int64_t frames_shown(const GlBackend& gl);
};

}  // namespace znr
