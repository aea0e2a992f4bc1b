#include "zelnary/textures/regular_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <new>

namespace znr {

FileStatus read_regular_file(const std::string& path, uint64_t max_bytes, FileBytes& out,
                             std::string& error) {
  out = FileBytes{};
  auto failed = [&](const char* what, int code) {
    error = std::string(what) + std::strerror(code);
    return FileStatus::Failed;
  };
  // O_NONBLOCK: opening a FIFO without a writer returns at once instead of waiting for one.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return failed("cannot open: ", errno);
  struct Closer {
    int fd;
    ~Closer() { ::close(fd); }
  } closer{fd};
  struct stat st {};
  if (::fstat(fd, &st) != 0) return failed("cannot read: ", errno);
  if (!S_ISREG(st.st_mode)) {
    error = "not a regular file";
    return FileStatus::Failed;
  }
  const auto size = static_cast<uint64_t>(st.st_size);
  if (size > max_bytes) return FileStatus::TooLarge;
  try {
    out.bytes = std::make_unique_for_overwrite<char[]>(size + 1);
  } catch (const std::bad_alloc&) {
    error = "out of memory";
    return FileStatus::Failed;
  }
  size_t got = 0;
  while (got < size) {
    const ssize_t n = ::read(fd, out.bytes.get() + got, static_cast<size_t>(size) - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return failed("cannot read: ", errno);
    if (n == 0) break;  // the file shrank since fstat: what is there is all there is
    got += static_cast<size_t>(n);
  }
  out.size = got;
  return FileStatus::Ok;
}

}  // namespace znr
