#include "zelnary/textures/regular_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <new>

namespace znr {

namespace {

// Opens path for reading if it is a regular file: a descriptor, or -1 with error set.
// O_NONBLOCK: opening a FIFO without a writer returns at once instead of waiting for one.
int open_regular(const std::string& path, struct stat& st, std::string& error) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) {
    error = std::string("cannot open: ") + std::strerror(errno);
    return -1;
  }
  if (::fstat(fd, &st) != 0) {
    error = std::string("cannot read: ") + std::strerror(errno);
  } else if (!S_ISREG(st.st_mode)) {
    error = "not a regular file";
  } else {
    return fd;
  }
  ::close(fd);
  return -1;
}

struct Closer {
  int fd;
  ~Closer() { ::close(fd); }
};

}  // namespace

bool read_regular_head(const std::string& path, size_t max_bytes, std::string& head,
                       std::string& error) {
  head.clear();
  struct stat st {};
  const int fd = open_regular(path, st, error);
  if (fd < 0) return false;
  const Closer closer{fd};
  head.resize(max_bytes);
  size_t got = 0;
  while (got < max_bytes) {
    const ssize_t n = ::read(fd, head.data() + got, max_bytes - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      error = std::string("cannot read: ") + std::strerror(errno);
      return false;
    }
    if (n == 0) break;
    got += static_cast<size_t>(n);
  }
  head.resize(got);
  return true;
}

FileStatus read_regular_file(const std::string& path, uint64_t max_bytes, FileBytes& out,
                             std::string& error) {
  out = FileBytes{};
  auto failed = [&](const char* what, int code) {
    error = std::string(what) + std::strerror(code);
    return FileStatus::Failed;
  };
  struct stat st {};
  const int fd = open_regular(path, st, error);
  if (fd < 0) return FileStatus::Failed;
  const Closer closer{fd};
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
