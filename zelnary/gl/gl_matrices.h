// The OpenGL back end's transforms, worked out in double and handed over in float.
#pragma once

#include "zelnary/render/view.h"
#include "zelnary/scene/scene.h"

namespace znr::gl {

struct Mat4 {
  double m[4][4] = {};  // [row][column]
  Mat4 operator*(const Mat4& o) const;
  // Column-major, as OpenGL takes it.
  void to_gl(float out[16]) const;
};

// World to clip space: the camera's axes (right, up, backwards) for GL's eye space, then the
// CPU's perspective (the zoom is the horizontal field, square pixels, the view's near plane)
// with no far plane. reversed: depth is near/distance (1 at the near plane, towards 0 far
// away) for a float depth buffer with a [0, 1] clip range, as precise as the CPU's 1/w;
// otherwise the classic [-1, 1] mapping.
Mat4 view_projection(const View& v, bool reversed);

// An object's frame in the world: turned about z by its heading, then moved.
Mat4 model(const ObjectPose& pose);

}  // namespace znr::gl
