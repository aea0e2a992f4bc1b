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

// Whether buffer swaps that are meant to wait for the display really do: some drivers accept
// a swap interval they do not keep. Swaps are timed in batches of eight for as long as they
// seem paced, not only the first eight, since the first frames may be slow for other reasons
// (the scene's upload) and would hide swaps that never wait.
class SwapCheck {
 public:
  // Called after each swap; true from the first batch that took under half its refresh
  // periods, and from then on until reset.
  bool unpaced_after_swap(std::chrono::steady_clock::time_point now, double refresh_hz);
  void reset() { *this = SwapCheck{}; }

 private:
  std::chrono::steady_clock::time_point first_{};
  int timed_ = 0;
  bool unpaced_ = false;
};

}  // namespace znr
