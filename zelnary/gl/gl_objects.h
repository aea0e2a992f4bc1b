// Counts the GL objects one owner makes and deletes, so that tests can see that none is left
// behind. Only for gl/*.cpp (needs the GL header).
#pragma once

#include <epoxy/gl.h>

#include <cstdint>

namespace znr::gl {

class GlObjects {
 public:
  // make: glGenBuffers, glGenTextures, glGenVertexArrays, glGenFramebuffers, ...
  GLuint make(decltype(glGenBuffers) generate) {
    GLuint id = 0;
    generate(1, &id);
    ++live_;
    return id;
  }
  // remove: the matching glDelete...; id becomes 0.
  void drop(decltype(glDeleteBuffers) remove, GLuint& id) {
    if (id == 0) return;
    remove(1, &id);
    --live_;
    id = 0;
  }
  void count_one() { ++live_; }  // made some other way (a program)
  void forget() { live_ = 0; }   // the context went, and its objects with it
  int32_t live() const { return live_; }

 private:
  int32_t live_ = 0;
};

}  // namespace znr::gl
