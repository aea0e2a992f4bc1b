#include "zelnary/present/frame_pacer.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace znr {

bool FramePacer::disabled() {
  const char* v = std::getenv("ZELNARY_NO_PACING");
  return v != nullptr && std::strcmp(v, "1") == 0;
}

void FramePacer::wait(double refresh_hz) {
  using clock = std::chrono::steady_clock;
  if (disabled()) {
    has_last_ = false;
    return;
  }
  if (!(refresh_hz >= 1.0 && refresh_hz <= 1000.0)) refresh_hz = 60.0;
  const auto period =
      std::chrono::duration_cast<clock::duration>(std::chrono::duration<double>(1.0 / refresh_hz));
  const auto now = clock::now();
  if (!has_last_ || now >= last_ + period) {
    last_ = now;  // first frame, or late: no sleep, new cadence from here
    has_last_ = true;
    return;
  }
  last_ += period;
  std::this_thread::sleep_until(last_);
}

bool SwapCheck::unpaced_after_swap(std::chrono::steady_clock::time_point now, double refresh_hz) {
  if (unpaced_) return true;
  if (timed_++ == 0) first_ = now;
  if (timed_ == 9) {
    const double seconds = std::chrono::duration<double>(now - first_).count();
    unpaced_ = refresh_hz > 0.0 && seconds < 8.0 / refresh_hz * 0.5;
    timed_ = 0;
  }
  return unpaced_;
}

}  // namespace znr
