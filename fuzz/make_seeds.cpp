// Writes a small seed corpus for each decoder: valid files of each variant, so that the
// fuzzer starts from inside the formats instead of guessing their headers.
#include <cstdio>
#include <string>

#include "tests/zelnary/textures/encoders.h"

using znr::test::Bytes;

namespace {

void save(const std::string& dir, const std::string& name, const Bytes& bytes) {
  const std::string path = dir + "/" + name;
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return;
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
}

znr::Image picture(int32_t w, int32_t h) {
  znr::Image image;
  image.width = w;
  image.height = h;
  for (int32_t i = 0; i < w * h; ++i) {
    image.texels.push_back(static_cast<uint32_t>(i) * 0x9E3779B9u | (i % 3 ? 0xFF000000u : 0));
  }
  return image;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_seeds OUTDIR (writes OUTDIR/png, jpeg, bmp, tga)\n");
    return 2;
  }
  const std::string root = argv[1];
  using znr::test::PngKind;
  const znr::Image image = picture(9, 7);
  int n = 0;
  for (PngKind kind : {PngKind::kRgba8, PngKind::kRgb8, PngKind::kGray8, PngKind::kGrayAlpha8,
                       PngKind::kPalette8, PngKind::kRgb16, PngKind::kRgba8Interlaced}) {
    save(root + "/png", "seed" + std::to_string(n++), znr::test::encode_png(image, kind));
  }
  using znr::test::JpegKind;
  for (JpegKind kind :
       {JpegKind::kColor, JpegKind::kGray, JpegKind::kProgressive, JpegKind::kCmyk}) {
    save(root + "/jpeg", "seed" + std::to_string(n++),
         znr::test::encode_jpeg(picture(20, 12), 75, kind));
  }

  using znr::test::bmp_file;
  using znr::test::bmp_info;
  Bytes palette(16 * 4, 0x33);
  save(root + "/bmp", "bits8", bmp_file(bmp_info(5, 3, 8, 0, 16), palette, Bytes(24, 3)));
  save(root + "/bmp", "bits4", bmp_file(bmp_info(5, 3, 4, 0, 16), palette, Bytes(12, 0x12)));
  save(root + "/bmp", "bits24", bmp_file(bmp_info(5, -3, 24, 0), {}, Bytes(48, 0x80)));
  save(root + "/bmp", "bits16",
       bmp_file(bmp_info(5, 3, 16, 3), Bytes{0, 0xF8, 0, 0, 0xE0, 7, 0, 0, 0x1F, 0, 0, 0},
                Bytes(36, 0x5A)));
  save(root + "/bmp", "rle8",
       bmp_file(bmp_info(5, 3, 8, 1, 16), palette,
                Bytes{5, 1, 0, 0, 0, 3, 1, 2, 3, 0, 2, 4, 0, 0, 0, 2, 1, 0, 3, 5, 0, 1}));
  save(root + "/bmp", "rle4",
       bmp_file(bmp_info(5, 3, 4, 2, 16), palette,
                Bytes{5, 0x12, 0, 0, 0, 5, 0x12, 0x34, 0x50, 0, 0, 0, 0, 1}));

  znr::test::TgaFields f;
  f.width = 4;
  f.height = 3;
  save(root + "/tga", "rgb24", znr::test::tga_file(f, {}, Bytes(36, 0x44)));
  f.type = 10;
  save(root + "/tga", "rle24",
       znr::test::tga_file(f, {}, Bytes{0x85, 1, 2,  3,  0x05, 1,  2,  3,  4,  5,  6, 7,
                                        8,    9, 10, 11, 12,   13, 14, 15, 16, 17, 18}));
  f.type = 9;
  f.depth = 8;
  f.map_type = 1;
  f.map_length = 4;
  f.map_bits = 32;
  save(root + "/tga", "rlemapped", znr::test::tga_file(f, Bytes(16, 0x77), Bytes{0x8B, 2}));
  f.type = 3;
  f.map_type = 0;
  f.map_length = 0;
  f.map_bits = 0;
  f.descriptor = 0x20;
  save(root + "/tga", "gray", znr::test::tga_file(f, {}, Bytes(12, 0x99)));
  return 0;
}
