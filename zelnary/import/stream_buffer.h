// The bytes of an importer's stream as they arrive: mapped memory that grows by remapping, so
// a large stream is neither zero-filled first nor copied as it grows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace znr {

class StreamBuffer {
 public:
  StreamBuffer() = default;
  ~StreamBuffer();
  StreamBuffer(StreamBuffer&& other) noexcept;
  StreamBuffer& operator=(StreamBuffer&& other) noexcept;

  // Room for at least `bytes` more after the end; false when no memory is left.
  bool make_room(size_t bytes);
  uint8_t* end() { return data_ + size_; }
  void grew(size_t bytes) { size_ += bytes; }  // bytes written at end()

  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  std::span<const uint8_t> bytes() const { return {data_, size_}; }
  void clear();  // gives the memory back

 private:
  uint8_t* data_ = nullptr;
  size_t size_ = 0, capacity_ = 0;
};

}  // namespace znr
