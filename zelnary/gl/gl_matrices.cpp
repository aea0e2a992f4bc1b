#include "zelnary/gl/gl_matrices.h"

#include <cmath>
#include <numbers>

namespace znr::gl {

Mat4 Mat4::operator*(const Mat4& o) const {
  Mat4 r;
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j)
      for (int k = 0; k < 4; ++k) r.m[i][j] += m[i][k] * o.m[k][j];
  return r;
}

void Mat4::to_gl(float out[16]) const {
  for (int c = 0; c < 4; ++c)
    for (int r = 0; r < 4; ++r) out[c * 4 + r] = static_cast<float>(m[r][c]);
}

Mat4 view_projection(const View& v, bool reversed) {
  Mat4 view;
  const Vec3 rows[3] = {v.right, v.up, -v.forward};
  for (int i = 0; i < 3; ++i) {
    view.m[i][0] = rows[i].x;
    view.m[i][1] = rows[i].y;
    view.m[i][2] = rows[i].z;
    view.m[i][3] = -dot(rows[i], v.eye);
  }
  view.m[3][3] = 1.0;
  Mat4 projection;
  projection.m[0][0] = 1.0 / v.tan_h;
  projection.m[1][1] = 1.0 / v.tan_v;
  if (reversed) {
    projection.m[2][3] = v.near_plane;
  } else {
    projection.m[2][2] = -1.0;
    projection.m[2][3] = -2.0 * v.near_plane;
  }
  projection.m[3][2] = -1.0;
  return projection * view;
}

Mat4 model(const ObjectPose& pose) {
  if (pose.general) {
    Mat4 m;
    for (int r = 0; r < 3; ++r)
      for (int c = 0; c < 3; ++c) m.m[r][c] = pose.linear[r][c];
    m.m[0][3] = pose.position.x;
    m.m[1][3] = pose.position.y;
    m.m[2][3] = pose.position.z;
    m.m[3][3] = 1.0;
    return m;
  }
  const double a = pose.heading_deg * std::numbers::pi / 180.0;
  Mat4 m;
  m.m[0][0] = std::cos(a);
  m.m[0][1] = -std::sin(a);
  m.m[1][0] = std::sin(a);
  m.m[1][1] = std::cos(a);
  m.m[2][2] = 1.0;
  m.m[0][3] = pose.position.x;
  m.m[1][3] = pose.position.y;
  m.m[2][3] = pose.position.z;
  m.m[3][3] = 1.0;
  return m;
}

}  // namespace znr::gl
