#include "stream_writer.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace znr::importer {

namespace {
constexpr size_t kBufferBytes = 1 << 20;
}

StreamWriter::StreamWriter(int fd) : fd_(fd) {
  buffer_.reserve(kBufferBytes);
  put(import_stream::kStreamMagic);
  put(import_stream::kStreamVersion);
}

StreamWriter::~StreamWriter() {
  flush();
}

void StreamWriter::record(import_stream::Tag tag, uint64_t payload_bytes) {
  put(static_cast<uint32_t>(tag));
  put(payload_bytes);
}

void StreamWriter::bytes(const void* data, size_t n) {
  const auto* p = static_cast<const uint8_t*>(data);
  while (n > 0) {
    if (buffer_.size() == kBufferBytes && !flush()) return;
    const size_t k = std::min(n, kBufferBytes - buffer_.size());
    buffer_.insert(buffer_.end(), p, p + k);
    p += k;
    n -= k;
  }
}

void StreamWriter::string(std::string_view s) {
  put(static_cast<uint32_t>(s.size()));
  bytes(s.data(), s.size());
}

bool StreamWriter::flush() {
  size_t done = 0;
  while (!failed_ && done < buffer_.size()) {
    const ssize_t n = ::write(fd_, buffer_.data() + done, buffer_.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0)
      failed_ = true;
    else
      done += static_cast<size_t>(n);
  }
  buffer_.clear();
  return !failed_;
}

}  // namespace znr::importer
