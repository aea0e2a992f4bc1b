#include "zelnary/simulation/path_motion.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace znr {

double heading_of(const Vec3& direction) {
  if (direction.x == 0.0 && direction.y == 0.0) return 0.0;
  return std::atan2(direction.y, direction.x) * 180.0 / std::numbers::pi;
}

PathMotion::PathMotion(const MovingObject& object) : speed_(object.speed) {
  if (!std::isfinite(speed_)) speed_ = 0.0;
  if (object.path.empty()) {
    points_.push_back(Vec3{});
    return;
  }
  points_ = object.path;
  points_.push_back(object.path.front());
  start_.reserve(points_.size());
  bool have_rest_heading = false;
  for (size_t i = 0; i + 1 < points_.size(); ++i) {
    start_.push_back(total_);
    const Vec3 d = points_[i + 1] - points_[i];
    total_ += length(d);
    if (!have_rest_heading && (d.x != 0.0 || d.y != 0.0)) {
      rest_heading_ = heading_of(d);
      have_rest_heading = true;
    }
  }
  if (!std::isfinite(total_)) total_ = 0.0;
}

ObjectPose PathMotion::pose_at(double seconds) const {
  if (total_ <= 0.0 || speed_ == 0.0 || !std::isfinite(seconds)) {
    return {points_.front(), rest_heading_};
  }
  double s = std::fmod(speed_ * seconds, total_);
  if (s < 0.0) s += total_;
  // The last segment starting at or before s; zero-length segments are passed over because
  // a later segment with the same start wins.
  const auto it = std::upper_bound(start_.begin(), start_.end(), s);
  const size_t i = static_cast<size_t>(std::max<std::ptrdiff_t>(it - start_.begin() - 1, 0));
  const Vec3 a = points_[i], b = points_[i + 1];
  const double seg = length(b - a);
  const double f = seg > 0.0 ? std::clamp((s - start_[i]) / seg, 0.0, 1.0) : 0.0;
  const Vec3 travel = speed_ > 0.0 ? b - a : a - b;
  const double heading = (travel.x != 0.0 || travel.y != 0.0) ? heading_of(travel)
                         : speed_ > 0.0                       ? rest_heading_
                                                              : rest_heading_ + 180.0;
  return {a + (b - a) * f, heading};
}

}  // namespace znr
