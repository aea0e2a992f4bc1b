// artgen OUTDIR: writes icon.png (32 x 32, 24-bit) and logo.jpg (98 x 70) into OUTDIR.
#include <cstdio>
#include <string>

#include "drawings.h"
#include "image_files.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: artgen OUTPUT_FOLDER\n");
    return 2;
  }
  const std::string dir = argv[1];
  std::string error;
  if (!artgen::WritePng(artgen::DrawIcon(), dir + "/icon.png", error) ||
      !artgen::WriteJpeg(artgen::DrawLogo(), dir + "/logo.jpg", 92, error)) {
    std::fprintf(stderr, "artgen: %s\n", error.c_str());
    return 1;
  }
  return 0;
}
