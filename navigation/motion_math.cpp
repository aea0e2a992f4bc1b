#include <cmath>

#include "navigation/motion_state.h"

namespace kwellor {

int32_t TicksBetween(int32_t lastTick, int32_t tick) {
  return static_cast<int32_t>(static_cast<uint32_t>(tick) - static_cast<uint32_t>(lastTick));
}

double ThrottleUp(double speed, double gain, int32_t frameMs) {
  return speed + (std::fabs(speed) / 10.0 + 1.0) * gain * frameMs / 1000.0;
}

double ThrottleDown(double speed, double gain, int32_t frameMs) {
  return speed - (std::fabs(speed) / 10.0 + 1.0) * gain * frameMs / 1000.0;
}

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

}  // namespace kwellor
