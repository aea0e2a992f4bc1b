// Records the largest single operator-new allocation while armed, to show that a decoder
// refuses a file before allocating for the size its header claims.
#pragma once

#include <cstddef>

namespace znr::test {

class LargestAllocation {
 public:
  LargestAllocation();
  ~LargestAllocation();
  size_t bytes() const;
};

}  // namespace znr::test
