#include "zelnary/scene/scene.h"

#include <cmath>
#include <numbers>

namespace znr {

Vec3 to_world(const ObjectPose& pose, const Vec3& local) {
  const double a = pose.heading_deg * std::numbers::pi / 180.0;
  const double c = std::cos(a), s = std::sin(a);
  return {pose.position.x + c * local.x - s * local.y, pose.position.y + s * local.x + c * local.y,
          pose.position.z + local.z};
}

}  // namespace znr
