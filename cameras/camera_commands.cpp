// The Camera and Reset menu commands.
#include "app/error_modes.h"
#include "app/form1.h"

namespace kwellor {

void Form1::mnuNextCam_Click() {
  SilentTrap([&] {
    if (chaseCameraCount == 0) return;
    ++chaseCameraIndex;
    if (chaseCameraIndex > chaseCameraCount) chaseCameraIndex = 1;
    activeCamera = chaseCameras.at(static_cast<size_t>(chaseCameraIndex) - 1);
  });
}

void Form1::mnuPrevCam_Click() {
  SilentTrap([&] {
    if (chaseCameraCount == 0) return;
    --chaseCameraIndex;
    if (chaseCameraIndex < 1) chaseCameraIndex = chaseCameraCount;
    activeCamera = chaseCameras.at(static_cast<size_t>(chaseCameraIndex) - 1);
  });
}

void Form1::mnuViewAutoMode_Click() {
  SilentTrap([&] {
    if (chaseCameraCount == 0) return;
    activeCamera = chaseCameras.at(static_cast<size_t>(chaseCameraIndex) - 1);
  });
}

void Form1::mnuResetLoc_Click() {
  engine_.ZNR_camera_set_location(viewerCamera, 0.0, 0.0, 0.0);
}

void Form1::mnuResetDir_Click() {
  engine_.ZNR_camera_set_direction(viewerCamera, -1.0, 0.0, 0.0);
}

void Form1::mnuResetBoth_Click() {
  mnuResetDir_Click();
  mnuResetLoc_Click();
}

}  // namespace kwellor
