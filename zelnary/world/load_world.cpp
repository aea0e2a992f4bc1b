// Loading a world from disk: the file read whole with one read, parsed, then its textures
// decoded once each against one pixel budget for the world.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <iostream>
#include <memory>
#include <new>
#include <vector>

#include "zelnary/textures/decode.h"
#include "zelnary/world/limits.h"
#include "zelnary/world/load_world.h"
#include "zelnary/world/parse_names.h"

namespace znr {
namespace {

struct FileText {
  std::unique_ptr<char[]> bytes;
  size_t size = 0;
};

bool read_whole_file(const std::string& path, FileText& out, WorldLoadError& error) {
  auto io_error = [&](const std::string& what) {
    error = {WorldError::Io, 0, path + ": " + what};
    return false;
  };
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return io_error(std::string("cannot open: ") + std::strerror(errno));
  struct Closer {
    int fd;
    ~Closer() { ::close(fd); }
  } closer{fd};
  struct stat st {};
  if (::fstat(fd, &st) != 0) return io_error(std::string("cannot read: ") + std::strerror(errno));
  if (!S_ISREG(st.st_mode)) return io_error("not a regular file");
  const auto size = static_cast<uint64_t>(st.st_size);
  if (size > world_limits::kMaxFileBytes) {
    error = {
        WorldError::Limit, 0,
        path + ": file larger than " + std::to_string(world_limits::kMaxFileBytes >> 20) + " MiB"};
    return false;
  }
  try {
    out.bytes = std::make_unique_for_overwrite<char[]>(size + 1);
  } catch (const std::bad_alloc&) {
    return io_error("out of memory");
  }
  size_t got = 0;
  while (got < size) {
    const ssize_t n = ::read(fd, out.bytes.get() + got, static_cast<size_t>(size) - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return io_error(std::string("cannot read: ") + std::strerror(errno));
    if (n == 0) break;  // the file shrank since fstat: parse what is there
    got += static_cast<size_t>(n);
  }
  out.size = got;
  return true;
}

std::string directory_of(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string(".") : path.substr(0, slash + 1);
}

std::string join(const std::string& dir, const std::string& file) {
  if (dir.empty() || dir.back() == '/') return dir + file;
  return dir + "/" + file;
}

}  // namespace

bool load_world(const std::string& world_path, const std::string& bitmaps_dir, Scene& out,
                WorldLoadError& error) {
  out = Scene{};
  error = {};
  Scene scene;
  std::vector<std::string> texture_names;
  {
    FileText text;
    if (!read_whole_file(world_path, text, error) ||
        !world_detail::parse_world_named(std::string_view(text.bytes.get(), text.size), world_path,
                                         scene, texture_names, error)) {
      std::cerr << error.message << '\n';
      return false;
    }
  }  // the text is freed before the textures take their memory

  const std::string dir =
      bitmaps_dir.empty() ? join(directory_of(world_path), "bitmaps") : bitmaps_dir;
  TextureBudget budget;
  for (size_t i = 0; i < scene.textures.size(); ++i) {
    Texture& t = scene.textures[i];
    const std::string path = join(dir, t.file);
    std::string reason;
    if (!decode_image_file(path, t.image, reason, budget)) {
      std::cerr << world_path << ": texture " << texture_names[i] << ": " << path << ": " << reason
                << '\n';
      t.image = fallback_image();
      t.fallback = true;
    }
  }
  out = std::move(scene);
  return true;
}

bool load_world(const std::string& world_path, const std::string& bitmaps_dir, Scene& out,
                std::string& error) {
  WorldLoadError e;
  const bool ok = load_world(world_path, bitmaps_dir, out, e);
  error = std::move(e.message);
  return ok;
}

}  // namespace znr
