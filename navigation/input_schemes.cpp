// The two input steps: keyboard flight (type 1) and mouse look (type 2). Keys are polled at
// the moment each test needs them; the first key found down in a group wins.
#include <cstdint>

#include "app/error_modes.h"
#include "app/form1.h"
#include "app/virtual_keys.h"

namespace kwellor {

void Form1::KeyboardInputStep() {
  MotionState& m = motion;
  auto takeOver = [&] { ResumeNext([&] { TakeOverCamera(); }); };

  if (IsKeyDown(kVkUp)) {
    m.speed = ThrottleUp(m.speed, kAccelerationGain, m.frameMs);
    takeOver();
  } else if (IsKeyDown(kVkDown)) {
    m.speed = ThrottleDown(m.speed, kBrakingGain, m.frameMs);
    takeOver();
  } else if (m.speed < kCruiseThreshold) {
    m.speed = Decay(m.speed, m.frameMs);
  }  // else the speed holds: cruise
  m.speed = CapSpeed(m.speed);

  // Shift is read only once a turning key is down, so panning leaves turnRate as it was.
  if (IsKeyDown(kVkLeft)) {
    if (IsKeyDown(kVkShift)) {
      m.strafeRate -= KeyTerm(m.frameMs, kKeyRateGain);
    } else {
      m.turnRate += KeyTerm(m.frameMs, kKeyRateGain);
      takeOver();
    }
  } else if (IsKeyDown(kVkRight)) {
    if (IsKeyDown(kVkShift)) {
      m.strafeRate += KeyTerm(m.frameMs, kKeyRateGain);
    } else {
      m.turnRate -= KeyTerm(m.frameMs, kKeyRateGain);
      takeOver();
    }
  } else {
    m.turnRate = DecayWithDeadZone(m.turnRate, m.frameMs);
    m.strafeRate = DecayWithDeadZone(m.strafeRate, m.frameMs);
  }

  if (IsKeyDown(kVkA)) {
    m.pitchRate += KeyTerm(m.frameMs, kKeyRateGain);
  } else if (IsKeyDown(kVkZ)) {
    m.pitchRate -= KeyTerm(m.frameMs, kKeyRateGain);
  } else {
    m.pitchRate = DecayWithDeadZone(m.pitchRate, m.frameMs);
  }
}

void Form1::MouseLookInputStep() {
  MotionState& m = motion;
  auto takeOver = [&] { ResumeNext([&] { TakeOverCamera(); }); };

  // The offset from the screen centre turns and pitches the view; the pointer goes back.
  int32_t x = screenCenterX;
  int32_t y = screenCenterY;
  ResumeNext([&] { platform_.GetCursorPos(x, y); });
  const int64_t dx = int64_t{screenCenterX} - x;
  const int64_t dy = int64_t{screenCenterY} - y;
  ResumeNext([&] { platform_.SetCursorPos(screenCenterX, screenCenterY); });
  m.turnRate = static_cast<double>(dx) / kMouseDivisor;
  m.pitchRate = static_cast<double>(dy) / kMouseDivisor;
  if (m.turnRate != 0.0 || m.pitchRate != 0.0) takeOver();

  if (IsKeyDown(kVkUp)) {
    m.speed = ThrottleUp(m.speed, kAccelerationGain, m.frameMs);
    takeOver();
  } else if (IsKeyDown(kVkDown)) {
    m.speed = ThrottleDown(m.speed, kAccelerationGain, m.frameMs);
    takeOver();
  } else if (!IsKeyDown(kVkShift)) {
    m.speed = Decay(m.speed, m.frameMs);
  }  // else Shift holds the speed
  m.speed = CapSpeed(m.speed);

  if (IsKeyDown(kVkLeft)) {
    m.strafeRate -= KeyTerm(m.frameMs, kStrafeGain);
    takeOver();
  } else if (IsKeyDown(kVkRight)) {
    m.strafeRate += KeyTerm(m.frameMs, kStrafeGain);
    takeOver();
  } else {
    m.strafeRate = DecayWithDeadZone(m.strafeRate, m.frameMs);
  }
}

}  // namespace kwellor
