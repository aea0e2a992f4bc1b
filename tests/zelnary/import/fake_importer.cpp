// A stand-in for zelnary-import that misbehaves as ZELNARY_FAKE_IMPORTER tells it: crash,
// hang, flood, lie or exit. Only the isolation tests start it (through ZELNARY_IMPORTER).
#include <signal.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "zelnary/import/stream_format.h"

namespace {

void write_all(const void* data, size_t n) {
  const auto* p = static_cast<const char*>(data);
  while (n > 0) {
    const ssize_t k = ::write(1, p, n);
    if (k <= 0) std::_Exit(9);
    p += k;
    n -= static_cast<size_t>(k);
  }
}

template <typename T>
void put(T v) {
  write_all(&v, sizeof v);
}

void header() {
  put(znr::import_stream::kStreamMagic);
  put(znr::import_stream::kStreamVersion);
}

}  // namespace

int main() {
  const char* mode = std::getenv("ZELNARY_FAKE_IMPORTER");
  const std::string m = mode ? mode : "";
  if (m == "crash") {
    header();
    // The default action, so that a sanitizer's own handler cannot turn the signal into an exit.
    ::signal(SIGSEGV, SIG_DFL);
    ::raise(SIGSEGV);
  } else if (m == "hang") {
    header();
    for (;;) ::pause();
  } else if (m == "halt") {
    header();
    ::raise(SIGSTOP);
    for (;;) ::pause();
  } else if (m == "hang-closed") {  // closes its output, then never exits
    ::close(1);
    for (;;) ::pause();
  } else if (m == "flood") {
    std::vector<char> junk(1 << 16, 'x');
    for (;;) write_all(junk.data(), junk.size());
  } else if (m == "lie") {  // a mesh that claims two billion triangles in a few bytes
    header();
    put(znr::import_stream::Tag::Mesh);
    put(uint64_t{24});
    put(int32_t{-1}), put(int32_t{-1}), put(uint32_t{3}), put(uint32_t{2000000000});
    put(uint32_t{0}), put(uint32_t{0});
    put(znr::import_stream::Tag::End);
    put(uint64_t{0});
  } else if (m == "exit") {
    return 3;
  }
  return 0;
}
