// Swaps that should wait for the display but do not are found even when the first frames are
// slow for another reason, and swaps that do wait are never taken for unpaced.
#include <gtest/gtest.h>

#include <chrono>

#include "zelnary/present/frame_pacer.h"

namespace znr {
namespace {

using std::chrono::microseconds;

// Feeds `count` swaps `apart` microseconds apart from t; true when the last swap was unpaced.
bool swaps(SwapCheck& check, std::chrono::steady_clock::time_point& t, int count, long apart) {
  bool unpaced = false;
  for (int i = 0; i < count; ++i) {
    t += microseconds(apart);
    unpaced = check.unpaced_after_swap(t, 60.0);
  }
  return unpaced;
}

TEST(SwapCheck, FindsSwapsThatNeverWaitAfterSlowFirstFrames) {
  std::chrono::steady_clock::time_point t{};
  SwapCheck check;
  EXPECT_FALSE(swaps(check, t, 9, 30000));  // uploading the scene: slower than the display
  EXPECT_TRUE(swaps(check, t, 18, 1000));   // then swaps return at once
  EXPECT_TRUE(swaps(check, t, 5, 30000));   // and the pacer keeps its part from then on

  SwapCheck paced;
  EXPECT_FALSE(swaps(paced, t, 200, 16667));
  EXPECT_FALSE(swaps(paced, t, 50, 9000));  // a frame or two early is no proof
}

}  // namespace
}  // namespace znr
