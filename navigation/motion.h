// The free-flight camera's motion per frame and the pure steps by which each control scheme
// changes it from one frame's inputs.
#pragma once

#include <cstdint>

namespace kwellor {

// Control schemes, as the Control menu numbers them.
constexpr int32_t kKeyboardScheme = 1;
constexpr int32_t kMouseLookScheme = 2;

struct MotionState {
  double speed = 0.0;       // forward step per frame, world units; negative goes backwards
  double turnRate = 0.0;    // yaw per frame, degrees; positive turns left
  double pitchRate = 0.0;   // pitch per frame, degrees; positive looks up
  double strafeRate = 0.0;  // sideways step per frame, world units; negative goes left
};

// The first key of a group found down; the later keys of that group are not read.
enum class Throttle { kNone, kUp, kDown };
enum class Sideways { kNone, kLeft, kRight };  // keyboard: turn (or pan); mouse look: strafe
enum class Pitch { kNone, kUp, kDown };        // keyboard only: A, else Z

// What one frame read from the keys and the pointer.
struct FrameInputs {
  Throttle throttle = Throttle::kNone;
  Sideways sideways = Sideways::kNone;
  Pitch pitch = Pitch::kNone;
  // Keyboard: read once Left or Right is down (it pans). Mouse look: read once neither Up nor
  // Down is (it holds the speed).
  bool shift = false;
  // Mouse look: the screen centre less the pointer position, in pixels.
  int64_t mouseDx = 0;
  int64_t mouseDy = 0;
};

// The motion after one frame of the scheme; any other scheme leaves it unchanged.
MotionState Step(const MotionState& motion, const FrameInputs& inputs, int32_t scheme,
                 int32_t frameMs);

// How many of the frame's inputs steer, each handing the view to the free-flight camera:
// keyboard: Up or Down, Left or Right without Shift; mouse look: any pointer offset, Up or
// Down, Left or Right.
int SteeringInputs(const FrameInputs& inputs, int32_t scheme);

// Milliseconds between two frames from a wrapping 32-bit tick count; 0 for the first frame,
// which has no previous one to measure from.
class FrameClock {
 public:
  int32_t Tick(int32_t now);

 private:
  bool started_ = false;
  int32_t last_ = 0;
};

}  // namespace kwellor
