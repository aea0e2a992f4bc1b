// artgen OUTDIR: writes icon.png (32 x 32, 24-bit) and logo.jpg (98 x 70) into OUTDIR.
// artgen --hicolor OUTDIR: writes the icon at the desktop theme's sizes, as
// OUTDIR/NxN/apps/kwellor.png.
#include <cstdio>
#include <filesystem>
#include <string>

#include "drawings.h"
#include "image_files.h"

namespace {

constexpr int kHicolorSizes[] = {16, 24, 32, 48, 64, 128, 256};

bool WriteHicolor(const std::string& dir, std::string& error) {
  for (int size : kHicolorSizes) {
    const std::string sized = std::to_string(size) + "x" + std::to_string(size);
    const std::filesystem::path folder = std::filesystem::path(dir) / sized / "apps";
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec) {
      error = folder.string() + ": " + ec.message();
      return false;
    }
    if (!artgen::WritePng(artgen::DrawIcon(size), (folder / "kwellor.png").string(), error))
      return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  const bool hicolor = argc == 3 && std::string(argv[1]) == "--hicolor";
  if (argc != 2 && !hicolor) {
    std::fprintf(stderr, "usage: artgen OUTPUT_FOLDER\n       artgen --hicolor OUTPUT_FOLDER\n");
    return 2;
  }
  std::string error;
  const bool ok =
      hicolor ? WriteHicolor(argv[2], error)
              : artgen::WritePng(artgen::DrawIcon(32), std::string(argv[1]) + "/icon.png", error) &&
                    artgen::WriteJpeg(artgen::DrawLogo(), std::string(argv[1]) + "/logo.jpg", 92,
                                      error);
  if (!ok) {
    std::fprintf(stderr, "artgen: %s\n", error.c_str());
    return 1;
  }
  return 0;
}
