// worldgen: writes the sample world and generated benchmark worlds.
//   worldgen town DIR          DIR/town.wld and its textures in DIR/bitmaps (PNG and BMP)
//   worldgen big N OUT.wld     an N-triangle terrain world, its texture in OUT's bitmaps/
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <system_error>

#include "bench/big_world.h"
#include "image_writers.h"
#include "textures.h"
#include "town.h"

namespace fs = std::filesystem;
using namespace worldgen;

namespace {

constexpr const char* kUsage =
    "usage: worldgen town DIR\n"
    "       worldgen big TRIANGLES OUT.wld\n";

int usage() {
  std::fputs(kUsage, stderr);
  return 2;
}

bool write_text(const fs::path& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out.write(text.data(), static_cast<std::streamsize>(text.size()));
  out.close();
  if (!out) {
    std::fprintf(stderr, "worldgen: %s: cannot write\n", path.c_str());
    return false;
  }
  return true;
}

bool make_dir(const fs::path& dir) {
  std::error_code ec;
  fs::create_directories(dir, ec);
  if (ec) std::fprintf(stderr, "worldgen: %s: %s\n", dir.c_str(), ec.message().c_str());
  return !ec;
}

bool write_image(const fs::path& path, const Pixmap& image) {
  std::string error;
  const bool ok = path.extension() == ".png" ? write_png(path.string(), image, error)
                                             : write_bmp(path.string(), image, error);
  if (!ok) std::fprintf(stderr, "worldgen: %s\n", error.c_str());
  return ok;
}

int town(const fs::path& dir) {
  const fs::path bitmaps = dir / "bitmaps";
  if (!make_dir(bitmaps)) return 1;
  const struct {
    const char* file;
    Pixmap (*paint)();
  } textures[] = {{"grass.png", paint_grass},   {"road.bmp", paint_road},
                  {"bricks.png", paint_bricks}, {"windows.bmp", paint_windows},
                  {"roof.bmp", paint_roof},     {"paving.png", paint_paving},
                  {"bus.bmp", paint_bus}};
  for (const auto& t : textures)
    if (!write_image(bitmaps / t.file, t.paint())) return 1;
  size_t polygons = 0;
  if (!write_text(dir / "town.wld", town_world(polygons))) return 1;
  std::printf("%s: %zu polygons\n", (dir / "town.wld").c_str(), polygons);
  return 0;
}

int big(const std::string& count, const fs::path& out) {
  size_t triangles = 0;
  const auto [ptr, ec] = std::from_chars(count.data(), count.data() + count.size(), triangles);
  if (ec != std::errc() || ptr != count.data() + count.size() || triangles == 0 ||
      triangles > 16'000'000) {
    std::fprintf(stderr, "worldgen: bad triangle count \"%s\" (1 to 16000000)\n", count.c_str());
    return 2;
  }
  const fs::path bitmaps = out.parent_path() / "bitmaps";
  if (!make_dir(bitmaps) || !write_image(bitmaps / "terrain.bmp", paint_terrain())) return 1;
  if (!write_text(out, znr::bench::big_world_text(triangles))) return 1;
  std::printf("%s: %zu triangles\n", out.c_str(), triangles);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && (std::string(argv[1]) == "--help" || std::string(argv[1]) == "-h" ||
                    std::string(argv[1]) == "help")) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (argc == 3 && std::string(argv[1]) == "town") return town(argv[2]);
  if (argc == 4 && std::string(argv[1]) == "big") return big(argv[2], argv[3]);
  return usage();
}
