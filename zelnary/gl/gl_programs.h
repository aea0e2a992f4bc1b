// The OpenGL back end's two shader programs: texture coordinates interpolated with
// perspective (any accuracy above 0) or linearly on screen (accuracy 0, like the CPU's
// affine mapping); flat light per polygon and side, colour times texel, saturating.
#pragma once

#include <epoxy/gl.h>

#include <string>

namespace znr::gl {

struct Program {
  GLuint id = 0;
  GLint mvp = -1;  // uniform mat4: object (or world) to clip space
};

// false: why holds the compiler's or linker's log.
bool make_program(bool perspective, Program& out, std::string& why);

}  // namespace znr::gl
