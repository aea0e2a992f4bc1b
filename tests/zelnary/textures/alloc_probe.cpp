#include "alloc_probe.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {
std::atomic<bool> armed{false};
std::atomic<size_t> largest{0};
}  // namespace

namespace znr::test {
LargestAllocation::LargestAllocation() {
  largest = 0;
  armed = true;
}
LargestAllocation::~LargestAllocation() {
  armed = false;
}
size_t LargestAllocation::bytes() const {
  return largest;
}
}  // namespace znr::test

void* operator new(size_t size) {
  if (armed && size > largest) largest = size;
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
  std::free(p);
}
void operator delete(void* p, size_t) noexcept {
  std::free(p);
}
