// The offscreen presentation: the finished frame copied into an image (tests, tools).
#pragma once

#include "zelnary/cpu/framebuffer.h"
#include "zelnary/scene/image.h"

namespace znr {

inline void present_to_image(const Framebuffer& fb, Image& out) {
  out.width = fb.width;
  out.height = fb.height;
  out.texels = fb.color;
}

}  // namespace znr
