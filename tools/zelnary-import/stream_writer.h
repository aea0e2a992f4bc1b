// Writing the import stream (zelnary/import/stream_format.h) to a file descriptor through a
// buffer. A record's size is given up front, so large meshes stream without being copied.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "zelnary/import/stream_format.h"

namespace znr::importer {

class StreamWriter {
 public:
  explicit StreamWriter(int fd);  // writes the header
  ~StreamWriter();

  // Starts a record of payload_bytes; exactly that many bytes must follow before the next.
  void record(import_stream::Tag tag, uint64_t payload_bytes);
  void bytes(const void* data, size_t n);
  template <typename T>
  void put(const T& value) {
    bytes(&value, sizeof value);
  }
  void string(std::string_view s);  // u32 length, bytes
  static uint64_t string_bytes(std::string_view s) { return 4 + s.size(); }

  // Writes out what is buffered. false: the reader has gone (or another write error).
  bool flush();
  bool failed() const { return failed_; }

 private:
  int fd_;
  std::vector<uint8_t> buffer_;
  bool failed_ = false;
};

}  // namespace znr::importer
