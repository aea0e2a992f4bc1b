// What "the same picture" means between the OpenGL and the CPU back end: at least 98% of the
// pixels within 12 per channel (edges may fall a pixel apart; texel borders and the CPU's
// fixed-point stepping differ a little).
#pragma once

#include <cstdio>
#include <fstream>
#include <string>

#include "image_compare.h"

namespace znr::test {

constexpr int kGlChannelTolerance = 12;
constexpr double kGlMatchingFraction = 0.98;

inline double gl_matching(const Image& gl, const Image& cpu) {
  const Comparison c = compare_images(gl, cpu, kGlChannelTolerance);
  return c.same_size ? c.matching : 0.0;
}

// The resident memory of this process, in bytes.
inline long resident_bytes() {
  std::ifstream statm("/proc/self/statm");
  long pages = 0, resident = 0;
  statm >> pages >> resident;
  return resident * 4096;
}

}  // namespace znr::test
