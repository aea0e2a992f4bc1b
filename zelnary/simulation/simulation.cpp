#include "zelnary/simulation/simulation.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "zelnary/cameras/camera_math.h"
#include "zelnary/simulation/morphing.h"

namespace znr {

Vec3 behind_eye(const ObjectPose& target, double distance_from_eye) {
  const double h = target.heading_deg * std::numbers::pi / 180.0;
  const double e = kBehindElevationDeg * std::numbers::pi / 180.0;
  const double d = std::max(distance_from_eye, 0.0);
  const Vec3 back{-std::cos(h) * std::cos(e), -std::sin(h) * std::cos(e), std::sin(e)};
  return target.position + back * d;
}

void follow_behind(Camera& cam, const ObjectPose& before, const ObjectPose& target,
                   double dt_seconds, bool snap) {
  const Vec3 ideal = behind_eye(target, cam.distance_from_eye) - target.position;
  const Vec3 offset = cam.location - before.position;
  const double keep = snap ? 0.0 : std::exp(-std::max(dt_seconds, 0.0) / kBehindSmoothingSeconds);
  camera_set_location(cam, target.position + ideal + (offset - ideal) * keep);
  const Vec3 look = target.position - cam.location;
  if (length(look) > 1e-9) {
    camera_set_direction(cam, look);
  } else {
    const double h = target.heading_deg * std::numbers::pi / 180.0;
    camera_set_direction(cam, {std::cos(h), std::sin(h), 0.0});
  }
}

void watch_target(Camera& cam, const ObjectPose& target) {
  camera_set_direction(cam, target.position - cam.location);  // ignored when on the target
}

void Simulation::reset(const Scene& scene, size_t animation) {
  paths_.clear();
  paths_.reserve(scene.objects.size());
  for (const MovingObject& object : scene.objects) paths_.emplace_back(object);
  poses_.assign(paths_.size(), ObjectPose{});
  for (size_t i = 0; i < paths_.size(); ++i) poses_[i] = paths_[i].pose_at(0.0);
  nodes_.emplace(scene, animation);
  if (!nodes_->any()) nodes_.reset();
  if (nodes_) nodes_->pose(0.0, poses_);
  weights_ = default_morph_weights(scene);
  if (nodes_) nodes_->weights(0.0, weights_);
  time_ = 0.0;
  started_ = false;
}

void Simulation::advance_to(double seconds, std::span<Camera> cameras) {
  const double dt = std::isfinite(seconds) ? std::max(seconds - time_, 0.0) : 0.0;
  time_ += dt;
  before_.assign(poses_.begin(), poses_.end());
  for (size_t i = 0; i < paths_.size(); ++i) poses_[i] = paths_[i].pose_at(time_);
  if (nodes_) nodes_->pose(time_, poses_);
  if (nodes_ && nodes_->animates_morphs()) nodes_->weights(time_, weights_);
  for (Camera& cam : cameras) {
    if (cam.target < 0 || static_cast<size_t>(cam.target) >= poses_.size()) continue;
    const size_t k = static_cast<size_t>(cam.target);
    if (cam.chase == ChaseType::Behind) follow_behind(cam, before_[k], poses_[k], dt, !started_);
    if (cam.chase == ChaseType::Watch) watch_target(cam, poses_[k]);
  }
  started_ = true;
}

}  // namespace znr
