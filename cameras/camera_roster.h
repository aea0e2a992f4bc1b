// The cameras the view can show: the world's chase cameras in the engine's order, the
// free-flight camera, which of them is on screen, and the moves between them.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/engine.h"

namespace kwellor {

class CameraRoster {
 public:
  explicit CameraRoster(Engine& engine) : engine_(engine) {}

  // Appends every camera with a non-zero chase type, in enumeration order.
  void Collect();
  // Creates the free-flight camera "ViewerCam"; a failed call leaves the handle as it was.
  void CreateViewerCamera();
  // The first camera shown: chase camera 1 when there is one, else the free-flight camera.
  void ShowFirst();
  // Hands the view to the free-flight camera in the pose of the camera on screen; nothing
  // when the free-flight camera is on screen already.
  void TakeOver();

  // Step through the roster (wrapping) or return to the current chase camera; nothing with an
  // empty roster. The index moves even while the view is in free flight.
  void Next();
  void Previous();
  void ShowCurrent();
  // Back to position 1, as at start-up.
  void RewindIndex() { index_ = 1; }

  // The free-flight camera back to the origin, or looking along -x; the view stays as it is.
  void ResetViewerLocation();
  void ResetViewerDirection();

  CameraHandle viewerCamera() const { return viewer_; }
  CameraHandle activeCamera() const { return active_; }
  const std::vector<CameraHandle>& chaseCameras() const { return chase_; }
  int32_t chaseCameraCount() const { return static_cast<int32_t>(chase_.size()); }
  int32_t chaseCameraIndex() const { return index_; }

 private:
  CameraHandle ChaseCamera(int32_t position) const;

  Engine& engine_;
  CameraHandle viewer_ = 0;
  CameraHandle active_ = 0;
  std::vector<CameraHandle> chase_;  // position p is chase_[p - 1]
  int32_t index_ = 0;                // 1-based while the roster is not empty
};

}  // namespace kwellor
