// A moving object's travel along its looped path of waypoints at a steady speed.
#pragma once

#include <vector>

#include "zelnary/core/vec3.h"
#include "zelnary/scene/scene.h"

namespace znr {

// The path measured once, so a pose at any time is one binary search.
class PathMotion {
 public:
  explicit PathMotion(const MovingObject& object);

  // Where the object is after `seconds` of travel from the first waypoint, facing its
  // direction of travel (backwards along the path for a negative speed). An object with one
  // waypoint, a path of zero length or no speed stays on its first waypoint.
  ObjectPose pose_at(double seconds) const;

  double loop_length() const { return total_; }

 private:
  std::vector<Vec3> points_;   // the waypoints, the first repeated at the end to close the loop
  std::vector<double> start_;  // distance along the loop at which each segment starts
  double total_ = 0.0;
  double speed_ = 0.0;
  double rest_heading_ = 0.0;  // heading while standing still: that of the first real segment
};

// Heading in degrees of a horizontal direction: 0 along world x, positive towards y.
double heading_of(const Vec3& direction);

}  // namespace znr
