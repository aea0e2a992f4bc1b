#include "navigation/motion.h"

#include <cmath>

namespace kwellor {
namespace {

constexpr double kAccelerationGain = 20.0;
constexpr double kBrakingGain = 60.0;  // keyboard Down; mouse look brakes with kAccelerationGain
constexpr int64_t kKeyRateGain = 3;
constexpr int64_t kStrafeGain = 300;
constexpr double kSpeedCap = 10000.0;
constexpr double kCruiseThreshold = 0.5;
constexpr double kDeadZone = 0.01;
constexpr double kDecayExponent = 0.04;
constexpr double kMouseDivisor = 10.0;

// The throttle scales with the magnitude of the speed, so Up always pushes towards forward.
double ThrottleUp(double speed, double gain, int32_t frameMs) {
  return speed + (std::fabs(speed) / 10.0 + 1.0) * gain * frameMs / 1000.0;
}

double ThrottleDown(double speed, double gain, int32_t frameMs) {
  return speed - (std::fabs(speed) / 10.0 + 1.0) * gain * frameMs / 1000.0;
}

// (frameMs * gain) / 1000, the product formed in 64 bits so long pauses cannot overflow it.
double KeyTerm(int32_t frameMs, int64_t gain) {
  return static_cast<double>(int64_t{frameMs} * gain) / 1000.0;
}

double Decay(double x, int32_t frameMs) {
  const int64_t base = int64_t{frameMs} + 1;
  if (base <= 0) return x;  // no real power: leave the value as it is
  return x / std::pow(static_cast<double>(base), kDecayExponent);
}

double DecayWithDeadZone(double x, int32_t frameMs) {
  const double decayed = Decay(x, frameMs);
  return std::fabs(decayed) < kDeadZone ? 0.0 : decayed;
}

double CapSpeed(double speed) {
  return speed > kSpeedCap ? kSpeedCap : speed;
}

MotionState KeyboardStep(MotionState m, const FrameInputs& in, int32_t frameMs) {
  const double key = KeyTerm(frameMs, kKeyRateGain);
  if (in.throttle == Throttle::kUp) {
    m.speed = ThrottleUp(m.speed, kAccelerationGain, frameMs);
  } else if (in.throttle == Throttle::kDown) {
    m.speed = ThrottleDown(m.speed, kBrakingGain, frameMs);
  } else if (m.speed < kCruiseThreshold) {
    m.speed = Decay(m.speed, frameMs);
  }  // else the speed holds: cruise
  m.speed = CapSpeed(m.speed);

  // A held turning key stops both the turn and the pan from decaying.
  if (in.sideways == Sideways::kNone) {
    m.turnRate = DecayWithDeadZone(m.turnRate, frameMs);
    m.strafeRate = DecayWithDeadZone(m.strafeRate, frameMs);
  } else {
    const double sign = in.sideways == Sideways::kLeft ? 1.0 : -1.0;
    if (in.shift) {
      m.strafeRate -= sign * key;
    } else {
      m.turnRate += sign * key;
    }
  }

  if (in.pitch == Pitch::kUp) {
    m.pitchRate += key;
  } else if (in.pitch == Pitch::kDown) {
    m.pitchRate -= key;
  } else {
    m.pitchRate = DecayWithDeadZone(m.pitchRate, frameMs);
  }
  return m;
}

MotionState MouseLookStep(MotionState m, const FrameInputs& in, int32_t frameMs) {
  // Plain assignments: the view turns by this frame's offset only, with no coasting.
  m.turnRate = static_cast<double>(in.mouseDx) / kMouseDivisor;
  m.pitchRate = static_cast<double>(in.mouseDy) / kMouseDivisor;

  if (in.throttle == Throttle::kUp) {
    m.speed = ThrottleUp(m.speed, kAccelerationGain, frameMs);
  } else if (in.throttle == Throttle::kDown) {
    m.speed = ThrottleDown(m.speed, kAccelerationGain, frameMs);
  } else if (!in.shift) {
    m.speed = Decay(m.speed, frameMs);
  }  // else Shift holds the speed
  m.speed = CapSpeed(m.speed);

  if (in.sideways == Sideways::kLeft) {
    m.strafeRate -= KeyTerm(frameMs, kStrafeGain);
  } else if (in.sideways == Sideways::kRight) {
    m.strafeRate += KeyTerm(frameMs, kStrafeGain);
  } else {
    m.strafeRate = DecayWithDeadZone(m.strafeRate, frameMs);
  }
  return m;
}

}  // namespace

MotionState Step(const MotionState& motion, const FrameInputs& inputs, int32_t scheme,
                 int32_t frameMs) {
  if (scheme == kKeyboardScheme) return KeyboardStep(motion, inputs, frameMs);
  if (scheme == kMouseLookScheme) return MouseLookStep(motion, inputs, frameMs);
  return motion;
}

int SteeringInputs(const FrameInputs& in, int32_t scheme) {
  const int throttle = in.throttle != Throttle::kNone ? 1 : 0;
  const int sideways = in.sideways != Sideways::kNone ? 1 : 0;
  if (scheme == kKeyboardScheme) return throttle + (in.shift ? 0 : sideways);
  if (scheme == kMouseLookScheme) {
    return (in.mouseDx != 0 || in.mouseDy != 0 ? 1 : 0) + throttle + sideways;
  }
  return 0;
}

int32_t FrameClock::Tick(int32_t now) {
  const int32_t elapsed =
      started_ ? static_cast<int32_t>(static_cast<uint32_t>(now) - static_cast<uint32_t>(last_))
               : 0;
  started_ = true;
  last_ = now;
  return elapsed;
}

}  // namespace kwellor
