// Loading a world from disk: the file read whole with one read, parsed (in parts on every
// core when it is large), then its textures decoded once each, several at once, against one
// pixel budget for the world.
#include <algorithm>
#include <chrono>
#include <iostream>
#include <vector>

#include "zelnary/core/parallel_for.h"
#include "zelnary/textures/decode.h"
#include "zelnary/textures/regular_file.h"
#include "zelnary/world/limits.h"
#include "zelnary/world/load_world.h"
#include "zelnary/world/parse_names.h"

namespace znr {
namespace {

bool read_world_file(const std::string& path, FileBytes& out, WorldLoadError& error) {
  std::string why;
  switch (read_regular_file(path, world_limits::kMaxFileBytes, out, why)) {
    case FileStatus::Ok:
      return true;
    case FileStatus::TooLarge:
      error = {WorldError::Limit, 0,
               path + ": file larger than " + std::to_string(world_limits::kMaxFileBytes >> 20) +
                   " MiB"};
      return false;
    case FileStatus::Failed:
      break;
  }
  error = {WorldError::Io, 0, path + ": " + why};
  return false;
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
                WorldLoadError& error, LoadProgress* progress) {
  out = Scene{};
  error = {};
  auto cancelled = [&] {
    if (!progress || !progress->cancelled()) return false;
    error = {WorldError::Cancelled, 0, world_path + ": load cancelled"};
    std::cerr << error.message << '\n';
    return true;
  };
  Scene scene;
  std::vector<std::string> texture_names;
  {
    FileBytes text;
    if (!read_world_file(world_path, text, error) ||
        !world_detail::parse_world_named(std::string_view(text.bytes.get(), text.size), world_path,
                                         scene, texture_names, error, progress)) {
      std::cerr << error.message << '\n';
      return false;
    }
  }  // the text is freed before the textures take their memory
  if (cancelled()) return false;

  const std::string dir =
      bitmaps_dir.empty() ? join(directory_of(world_path), "bitmaps") : bitmaps_dir;
  TextureBudget budget;
  budget.deadline = std::chrono::steady_clock::now() + kTextureDecodeTime;
  if (progress) progress->enter(LoadStep::Textures, static_cast<uint32_t>(scene.textures.size()));
  // Decoded a wave at a time, one texture per core, each against the budget left before the
  // wave; the wave's images are then charged in file order, so that the textures the budget
  // turns away are the ones a decode in file order would turn away.
  const size_t wave = static_cast<size_t>(std::max(usable_cores(), 1));
  std::vector<std::string> reasons;
  for (size_t first = 0; first < scene.textures.size(); first += wave) {
    if (cancelled()) return false;
    const size_t n = std::min(wave, scene.textures.size() - first);
    reasons.assign(n, {});
    std::vector<char> decoded(n, 0);
    parallel_for(n, [&](size_t k) {
      TextureBudget own = budget;
      Texture& t = scene.textures[first + k];
      decoded[k] = decode_image_file(join(dir, t.file), t.image, reasons[k], own);
      if (progress) progress->advance();
    });
    for (size_t k = 0; k < n; ++k) {
      Texture& t = scene.textures[first + k];
      if (decoded[k] && t.image.texels.size() > budget.pixels_left) {
        decoded[k] = false;
        reasons[k] = "texture budget exhausted";
      }
      if (decoded[k]) {
        budget.pixels_left -= t.image.texels.size();
        continue;
      }
      std::cerr << world_path << ": texture " << texture_names[first + k] << ": "
                << join(dir, t.file) << ": " << reasons[k] << '\n';
      t.image = fallback_image();
      t.fallback = true;
    }
  }
  out = std::move(scene);
  return true;
}

bool load_world(const std::string& world_path, const std::string& bitmaps_dir, Scene& out,
                std::string& error, LoadProgress* progress) {
  WorldLoadError e;
  const bool ok = load_world(world_path, bitmaps_dir, out, e, progress);
  error = std::move(e.message);
  return ok;
}

}  // namespace znr
