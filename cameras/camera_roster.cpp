#include "cameras/camera_roster.h"

#include <cmath>
#include <limits>
#include <stdexcept>
#include <unordered_set>

namespace kwellor {
namespace {

// A bound on the enumeration, so that an engine that never answers 0 cannot hang start-up.
constexpr size_t kMaxCamerasWalked = size_t{1} << 20;

}  // namespace

void CameraRoster::Collect() {
  std::unordered_set<CameraHandle> seen;
  CameraHandle camera = engine_.ZNR_camera_get_first_camera();
  while (camera != 0) {
    // A handle seen before means the enumeration has turned into a cycle.
    if (!seen.insert(camera).second || seen.size() > kMaxCamerasWalked) break;
    if (engine_.ZNR_camera_get_chase_type(camera) != 0) chase_.push_back(camera);
    camera = engine_.ZNR_camera_get_next_camera(camera);
  }
}

void CameraRoster::CreateViewerCamera() {
  viewer_ = engine_.ZNR_camera_create("ViewerCam");
}

void CameraRoster::ShowFirst() {
  active_ = chase_.empty() ? viewer_ : chase_.front();
}

void CameraRoster::TakeOver() {
  if (active_ == viewer_) return;

  WorldPoint location;
  WorldPoint direction;
  engine_.ZNR_camera_get_location1(active_, location.data());
  engine_.ZNR_camera_get_direction1(active_, direction.data());
  // The zoom carries over as a whole number, halves to even: 54.5 -> 54, 55.5 -> 56.
  const double rounded = std::nearbyint(engine_.ZNR_camera_get_zoom(active_));
  if (!(rounded >= std::numeric_limits<int32_t>::min() &&
        rounded <= std::numeric_limits<int32_t>::max())) {
    throw std::range_error("the camera's zoom is out of range");
  }
  const auto zoom = static_cast<int32_t>(rounded);
  const double distance = engine_.ZNR_camera_get_distance_from_eye(active_);

  active_ = viewer_;
  engine_.ZNR_camera_set_location1(viewer_, location.data());
  engine_.ZNR_camera_set_direction1(viewer_, direction.data());
  engine_.ZNR_camera_set_zoom(viewer_, static_cast<double>(zoom));
  engine_.ZNR_camera_set_distance_from_eye(viewer_, distance);
}

CameraHandle CameraRoster::ChaseCamera(int32_t position) const {
  return chase_.at(static_cast<size_t>(position) - 1);
}

void CameraRoster::Next() {
  if (chase_.empty()) return;
  ++index_;
  if (index_ > chaseCameraCount()) index_ = 1;
  active_ = ChaseCamera(index_);
}

void CameraRoster::Previous() {
  if (chase_.empty()) return;
  --index_;
  if (index_ < 1) index_ = chaseCameraCount();
  active_ = ChaseCamera(index_);
}

void CameraRoster::ShowCurrent() {
  if (chase_.empty()) return;
  active_ = ChaseCamera(index_);
}

void CameraRoster::ResetViewerLocation() {
  engine_.ZNR_camera_set_location(viewer_, 0.0, 0.0, 0.0);
}

void CameraRoster::ResetViewerDirection() {
  engine_.ZNR_camera_set_direction(viewer_, -1.0, 0.0, 0.0);
}

}  // namespace kwellor
