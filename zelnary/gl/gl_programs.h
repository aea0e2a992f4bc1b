// The OpenGL back end's shader programs: texture coordinates interpolated with perspective
// (any accuracy above 0) or linearly on screen (accuracy 0, like the CPU's affine mapping);
// either flat light per polygon and side, colour times texel, saturating, or a shade per
// vertex (texel times mul plus add, with alpha) interpolated like the texture coordinates.
#pragma once

#include <epoxy/gl.h>

#include <string>

namespace znr::gl {

struct Program {
  GLuint id = 0;
  GLint mvp = -1;  // uniform mat4: object (or world) to clip space
  // Shaded programs only: uniform vec3s, world.
  GLint eye = -1;
  GLint to_light = -1;  // unit
};

// false: why holds the compiler's or linker's log. shaded: a shade per vertex.
bool make_program(bool perspective, bool shaded, Program& out, std::string& why);

}  // namespace znr::gl
