// Writing a whole buffer to a file descriptor and flushing it to the disk, so that a full disk
// shows as a failed write and not after the file has been moved into place.
#pragma once

#include <unistd.h>

#include <cerrno>
#include <cstddef>

namespace znr {

// false: errno says why (ENOSPC when the disk took nothing more).
inline bool write_all_and_sync(int fd, const void* data, size_t size) {
  const auto* bytes = static_cast<const char*>(data);
  size_t done = 0;
  while (done < size) {
    const ssize_t n = ::write(fd, bytes + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = ENOSPC;
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return ::fsync(fd) == 0;
}

}  // namespace znr
