// The frame loop: input, motion of the free-flight camera, ground clamp, render, events,
// repeated until Escape or until the window has been unloaded inside the event pump.
#pragma once

#include "cameras/camera_roster.h"
#include "engine/engine.h"
#include "navigation/control_schemes.h"
#include "navigation/input_sampler.h"
#include "navigation/motion.h"
#include "platform/platform.h"

namespace kwellor {

class FrameLoop {
 public:
  FrameLoop(Engine& engine, Platform& platform, CameraRoster& cameras, ControlScheme& scheme)
      : engine_(engine), platform_(platform), cameras_(cameras), scheme_(scheme) {}

  // Creates the free-flight camera, picks the first camera shown, then runs frames. Escape
  // unloads the window and returns; a quitRequested found set at the top of a frame ends the
  // program at once, with no further engine call. Every statement runs in resume-next mode.
  void Run(const bool& quitRequested);

  const MotionState& motion() const { return motion_; }

 private:
  void Frame();

  Engine& engine_;
  Platform& platform_;
  CameraRoster& cameras_;
  ControlScheme& scheme_;
  MotionState motion_;
  FrameClock clock_;
  int32_t frameMs_ = 0;
  ScreenPoint centre_;
  // Scratch points, reused by every frame.
  WorldPoint location_;
  WorldPoint direction_;
};

}  // namespace kwellor
