#include "regular_files_only.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

namespace znr::importer {

bool is_regular_file(const char* path) {
  if (!path) return false;
  // O_NONBLOCK: a FIFO without a writer opens at once instead of waiting for one.
  const int fd = ::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return false;
  struct stat st {};
  const bool regular = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  ::close(fd);
  return regular;
}

bool RegularFilesOnly::Exists(const char* path) const {
  return is_regular_file(path);
}

Assimp::IOStream* RegularFilesOnly::Open(const char* path, const char* mode) {
  // The importer writes nothing: any mode but reading is refused.
  if (!mode || std::strpbrk(mode, "wa+") != nullptr) return nullptr;
  if (!is_regular_file(path)) return nullptr;
  return DefaultIOSystem::Open(path, mode);
}

}  // namespace znr::importer
