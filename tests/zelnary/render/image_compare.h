// Image baselines for renderer tests: PNG reading, comparison under a tolerance, and the
// actual and difference images written next to the test output on failure.
#pragma once

#include <string>

#include "zelnary/scene/image.h"

namespace znr::test {

// Tolerance: a pixel matches when no channel differs by more than kChannelTolerance, and an
// image matches when at least kMatchingFraction of its pixels match.
constexpr int kChannelTolerance = 8;
constexpr double kMatchingFraction = 0.995;

bool read_png(const std::string& path, Image& out);

struct Comparison {
  bool same_size = false;
  double matching = 0.0;  // fraction of matching pixels
  Image difference;       // per-channel absolute difference, scaled up to be visible
};
Comparison compare_images(const Image& actual, const Image& expected,
                          int channel_tolerance = kChannelTolerance);

// Compares with baselines/NAME.png. With ZELNARY_UPDATE_BASELINES=1 writes the baseline
// instead. On a mismatch writes NAME.actual.png and NAME.diff.png to the test output folder.
// Returns an empty string on success, else what went wrong.
std::string check_baseline(const std::string& name, const Image& actual);

}  // namespace znr::test
