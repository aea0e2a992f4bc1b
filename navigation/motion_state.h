// The frame loop's motion variables and the arithmetic that the input schemes apply to them.
#pragma once

#include <cstdint>

namespace kwellor {

struct MotionState {
  double speed = 0.0;       // forward step per frame, world units; negative goes backwards
  double turnRate = 0.0;    // yaw per frame, degrees; positive turns left
  double pitchRate = 0.0;   // pitch per frame, degrees; positive looks up
  double strafeRate = 0.0;  // sideways step per frame, world units; negative goes left
  int32_t lastTick = 0;
  int32_t frameMs = 0;
};

constexpr double kAccelerationGain = 20.0;
constexpr double kBrakingGain = 60.0;
constexpr int64_t kKeyRateGain = 3;
constexpr int64_t kStrafeGain = 300;
constexpr double kSpeedCap = 10000.0;
constexpr double kCruiseThreshold = 0.5;
constexpr double kDeadZone = 0.01;
constexpr double kDecayExponent = 0.04;
constexpr double kMouseDivisor = 10.0;

// Milliseconds from lastTick to tick, with 32-bit wrap-around.
int32_t TicksBetween(int32_t lastTick, int32_t tick);
// speed + (|speed| / 10 + 1) * gain * frameMs / 1000: towards forward whatever the sign.
double ThrottleUp(double speed, double gain, int32_t frameMs);
// speed - (|speed| / 10 + 1) * gain * frameMs / 1000.
double ThrottleDown(double speed, double gain, int32_t frameMs);
// (frameMs * gain) / 1000, the product formed in 64 bits.
double KeyTerm(int32_t frameMs, int64_t gain);
// x / (frameMs + 1)^0.04; unchanged where the base is not positive.
double Decay(double x, int32_t frameMs);
// Decay, then 0 when the magnitude falls below the dead zone.
double DecayWithDeadZone(double x, int32_t frameMs);
double CapSpeed(double speed);

}  // namespace kwellor
