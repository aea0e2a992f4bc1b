// The roster of the world's chase cameras, and the free-flight camera's take-over of the view.
#include <cmath>
#include <limits>
#include <stdexcept>
#include <unordered_set>

#include "app/form1.h"

namespace kwellor {
namespace {

// A bound on the enumeration, so that an engine that never answers 0 cannot hang start-up.
constexpr size_t kMaxCamerasWalked = size_t{1} << 20;

}  // namespace

void Form1::CollectChaseCameras() {
  std::unordered_set<CameraHandle> seen;
  CameraHandle camera = engine_.ZNR_camera_get_first_camera();
  while (camera != 0) {
    // A handle seen before means the enumeration has turned into a cycle.
    if (!seen.insert(camera).second || seen.size() > kMaxCamerasWalked) break;
    if (engine_.ZNR_camera_get_chase_type(camera) != 0) {
      ++chaseCameraCount;
      chaseCameras.resize(static_cast<size_t>(chaseCameraCount));
      chaseCameras[static_cast<size_t>(chaseCameraCount) - 1] = camera;
    }
    camera = engine_.ZNR_camera_get_next_camera(camera);
  }
}

void Form1::TakeOverCamera() {
  if (activeCamera == viewerCamera) return;

  WorldPoint location;
  WorldPoint direction;
  engine_.ZNR_camera_get_location1(activeCamera, location.data());
  engine_.ZNR_camera_get_direction1(activeCamera, direction.data());
  // The zoom carries over as a whole number, halves to even: 54.5 -> 54, 55.5 -> 56.
  const double rounded = std::nearbyint(engine_.ZNR_camera_get_zoom(activeCamera));
  if (!(rounded >= std::numeric_limits<int32_t>::min() &&
        rounded <= std::numeric_limits<int32_t>::max())) {
    throw std::range_error("the camera's zoom is out of range");
  }
  const auto zoom = static_cast<int32_t>(rounded);
  const double distance = engine_.ZNR_camera_get_distance_from_eye(activeCamera);

  activeCamera = viewerCamera;
  engine_.ZNR_camera_set_location1(viewerCamera, location.data());
  engine_.ZNR_camera_set_direction1(viewerCamera, direction.data());
  engine_.ZNR_camera_set_zoom(viewerCamera, static_cast<double>(zoom));
  engine_.ZNR_camera_set_distance_from_eye(viewerCamera, distance);
}

}  // namespace kwellor
