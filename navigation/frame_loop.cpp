// The frame loop: input, motion of the free-flight camera, ground clamp, render, events.
// Every statement runs in resume-next mode: a failing call is skipped and the loop goes on.
#include "app/error_modes.h"
#include "app/form1.h"
#include "app/virtual_keys.h"
#include "navigation/screen_center.h"

namespace kwellor {

void Form1::UserControl() {
  motion = MotionState{};
  // Scratch points, reused by every frame.
  WorldPoint location;
  WorldPoint direction;

  ResumeNext([&] {
    screenCenterX = ScreenCenter(platform_.screenWidthTwips(), platform_.twipsPerPixelX());
  });
  ResumeNext([&] {
    screenCenterY = ScreenCenter(platform_.screenHeightTwips(), platform_.twipsPerPixelY());
  });
  ResumeNext([&] { viewerCamera = engine_.ZNR_camera_create("ViewerCam"); });
  ResumeNext([&] { engine_.ZNR_camera_set_zoom(viewerCamera, 55.0); });
  ResumeNext([&] { activeCamera = chaseCameraCount != 0 ? chaseCameras.at(0) : viewerCamera; });

  bool firstFrame = true;
  for (;;) {
    if (IsKeyDown(kVkEscape)) {
      if (!quitRequested) ResumeNext([&] { platform_.unload(); });
      return;
    }
    // The window was unloaded inside the pump: the engine is closed, end without a call.
    if (quitRequested) platform_.endProgram();

    ResumeNext([&] {
      const int32_t tick = platform_.GetTickCount();
      // The first frame has no previous one to measure from.
      motion.frameMs = firstFrame ? 0 : TicksBetween(motion.lastTick, tick);
      motion.lastTick = tick;
      firstFrame = false;
    });

    if (controlType == 1) {
      KeyboardInputStep();
    } else if (controlType == 2) {
      MouseLookInputStep();
    }

    ResumeNext([&] { engine_.ZNR_camera_rotate_z(viewerCamera, motion.turnRate, 0); });
    ResumeNext([&] { engine_.ZNR_camera_move(viewerCamera, 2, 0.0, motion.strafeRate, 0.0); });
    ResumeNext([&] { engine_.ZNR_camera_rotate_y(viewerCamera, motion.pitchRate, 2); });
    // Forward along the direction as the engine gives it, vertical part included.
    ResumeNext([&] { engine_.ZNR_camera_get_location1(viewerCamera, location.data()); });
    ResumeNext([&] { engine_.ZNR_camera_get_direction1(viewerCamera, direction.data()); });
    for (int i = 0; i < 3; ++i) location[i] = location[i] + motion.speed * direction[i];
    ResumeNext([&] { engine_.ZNR_camera_set_location1(viewerCamera, location.data()); });

    bool clamp = false;
    ResumeNext([&] { clamp = platform_.menuChecked("mnuMiscAbvGnd"); });
    if (clamp) ResumeNext([&] { StayAboveGround(); });

    ResumeNext([&] { engine_.ZNR_engine_render(platform_.pictureWindowHandle(), activeCamera); });
    ResumeNext([&] { platform_.doEvents(); });
  }
}

}  // namespace kwellor
