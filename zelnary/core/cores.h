// How many cores this process may run on at once: its CPU affinity, which a container or
// taskset narrows, rather than the machine's count.
#pragma once

#include <sched.h>

#include <cstdint>
#include <thread>

namespace znr {

inline int32_t usable_cores() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (sched_getaffinity(0, sizeof set, &set) == 0) return CPU_COUNT(&set);
  const unsigned n = std::thread::hardware_concurrency();
  return n > 0 ? static_cast<int32_t>(n) : 1;
}

}  // namespace znr
