// Runs a loop's items on every usable core: fn(i) once for each i in [0, n), items taken in
// order by whichever thread is free, the calling thread working too. Returns when all are done.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <thread>
#include <vector>

#include "zelnary/core/cores.h"

namespace znr {

template <class Fn>
void parallel_for(size_t n, Fn&& fn) {
  std::atomic<size_t> next{0};
  auto work = [&] {
    for (size_t i = next.fetch_add(1); i < n; i = next.fetch_add(1)) fn(i);
  };
  const size_t threads = std::min(n, static_cast<size_t>(std::max(usable_cores(), 1)));
  std::vector<std::thread> helpers;
  for (size_t t = 1; t < threads; ++t) helpers.emplace_back(work);
  work();
  for (std::thread& h : helpers) h.join();
}

}  // namespace znr
