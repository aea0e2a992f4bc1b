// Keeps frames about one display refresh apart by sleeping, unless ZELNARY_NO_PACING=1.
#pragma once

#include <chrono>

namespace znr {

class FramePacer {
 public:
  // Called once per presented frame: sleeps until one refresh period has passed since the
  // previous frame's turn. A late frame does not sleep and restarts the cadence.
  void wait(double refresh_hz);
  void reset() { has_last_ = false; }
  static bool disabled();  // ZELNARY_NO_PACING=1

 private:
  std::chrono::steady_clock::time_point last_{};
  bool has_last_ = false;
};

}  // namespace znr
