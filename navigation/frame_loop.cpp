#include "navigation/frame_loop.h"

#include "navigation/ground_clamp.h"
#include "navigation/screen_center.h"
#include "platform/error_modes.h"
#include "platform/virtual_keys.h"

namespace kwellor {

void FrameLoop::Run(const bool& quitRequested) {
  ResumeNext(
      [&] { centre_.x = ScreenCenter(platform_.screenWidthTwips(), platform_.twipsPerPixelX()); });
  ResumeNext(
      [&] { centre_.y = ScreenCenter(platform_.screenHeightTwips(), platform_.twipsPerPixelY()); });
  ResumeNext([&] { cameras_.CreateViewerCamera(); });
  ResumeNext([&] { engine_.ZNR_camera_set_zoom(cameras_.viewerCamera(), 55.0); });
  ResumeNext([&] { cameras_.ShowFirst(); });

  for (;;) {
    bool escape = false;
    ResumeNext([&] { escape = platform_.GetAsyncKeyState(kVkEscape) < 0; });
    if (escape) {
      if (!quitRequested) ResumeNext([&] { platform_.unload(); });
      return;
    }
    // The window was unloaded inside the pump: the engine is closed, end without a call.
    if (quitRequested) platform_.endProgram(0);
    Frame();
  }
}

void FrameLoop::Frame() {
  ResumeNext([&] { frameMs_ = clock_.Tick(platform_.GetTickCount()); });

  const int32_t scheme = scheme_.type();
  const FrameInputs inputs = SampleInputs(platform_, scheme, centre_);
  // Steering hands the view to the free-flight camera before this frame moves it; each later
  // call in the same frame finds it on screen and does nothing.
  for (int i = SteeringInputs(inputs, scheme); i > 0; --i) {
    ResumeNext([&] { cameras_.TakeOver(); });
  }
  motion_ = Step(motion_, inputs, scheme, frameMs_);

  const CameraHandle viewer = cameras_.viewerCamera();
  ResumeNext([&] { engine_.ZNR_camera_rotate_z(viewer, motion_.turnRate, 0); });
  ResumeNext([&] { engine_.ZNR_camera_move(viewer, 2, 0.0, motion_.strafeRate, 0.0); });
  ResumeNext([&] { engine_.ZNR_camera_rotate_y(viewer, motion_.pitchRate, 2); });
  // Forward along the direction as the engine gives it, vertical part included.
  ResumeNext([&] { engine_.ZNR_camera_get_location1(viewer, location_.data()); });
  ResumeNext([&] { engine_.ZNR_camera_get_direction1(viewer, direction_.data()); });
  for (int i = 0; i < 3; ++i) location_[i] = location_[i] + motion_.speed * direction_[i];
  ResumeNext([&] { engine_.ZNR_camera_set_location1(viewer, location_.data()); });

  bool clamp = false;
  ResumeNext([&] { clamp = platform_.menuChecked("mnuMiscAbvGnd"); });
  if (clamp) ResumeNext([&] { StayAboveGround(engine_, viewer); });

  ResumeNext(
      [&] { engine_.ZNR_engine_render(platform_.pictureWindowHandle(), cameras_.activeCamera()); });
  ResumeNext([&] { platform_.doEvents(); });
}

}  // namespace kwellor
