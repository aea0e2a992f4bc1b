#include "zelnary/import/stream_buffer.h"

#include <sys/mman.h>

#include <algorithm>
#include <utility>

namespace znr {

StreamBuffer::~StreamBuffer() {
  clear();
}

StreamBuffer::StreamBuffer(StreamBuffer&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)),
      size_(std::exchange(other.size_, 0)),
      capacity_(std::exchange(other.capacity_, 0)) {}

StreamBuffer& StreamBuffer::operator=(StreamBuffer&& other) noexcept {
  if (this != &other) {
    clear();
    data_ = std::exchange(other.data_, nullptr);
    size_ = std::exchange(other.size_, 0);
    capacity_ = std::exchange(other.capacity_, 0);
  }
  return *this;
}

bool StreamBuffer::make_room(size_t bytes) {
  if (capacity_ - size_ >= bytes) return true;
  const size_t capacity = std::max({capacity_ * 2, size_ + bytes, size_t{1} << 20});
  void* p =
      data_ ? ::mremap(data_, capacity_, capacity, MREMAP_MAYMOVE)
            : ::mmap(nullptr, capacity, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (p == MAP_FAILED) return false;
  ::madvise(p, capacity, MADV_HUGEPAGE);  // fewer page faults for a large stream
  data_ = static_cast<uint8_t*>(p);
  capacity_ = capacity;
  return true;
}

void StreamBuffer::clear() {
  if (data_) ::munmap(data_, capacity_);
  data_ = nullptr;
  size_ = capacity_ = 0;
}

}  // namespace znr
