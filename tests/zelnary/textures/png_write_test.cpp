// Pictures written as PNG files: read back exactly, and put in place whole or not at all.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "zelnary/present/png_writer.h"
#include "zelnary/textures/decode.h"

namespace znr {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> names_in(const fs::path& dir) {
  std::vector<std::string> names;
  for (const fs::directory_entry& e : fs::directory_iterator(dir))
    names.push_back(e.path().filename().string());
  return names;
}

TEST(PngWriter, ReplacesAFileWholeOrLeavesItAsItWas) {
  const fs::path dir = fs::path(::testing::TempDir()) / "png_writer";
  fs::remove_all(dir);
  fs::create_directories(dir);
  const fs::path path = dir / "picture.png";
  std::ofstream(path) << "the user's old file";

  Image picture;  // every channel different, rows of an odd width
  picture.width = 37;
  picture.height = 5;
  for (uint32_t i = 0; i < 37 * 5; ++i) picture.texels.push_back(0xFF000000u | (i * 0x030507u));
  std::string error;
  for (const int level : {kPngSmall, kPngFast}) {
    ASSERT_TRUE(write_png(path.string(), picture, error, level)) << error;
    Image back;
    TextureBudget budget;
    ASSERT_TRUE(decode_image_file(path.string(), back, error, budget)) << error;
    EXPECT_EQ(back.width, 37);
    EXPECT_EQ(back.texels, picture.texels) << "level " << level;
    EXPECT_EQ(names_in(dir), std::vector<std::string>{"picture.png"});
  }

  // A picture that cannot be written leaves the file there as it was, and nothing beside it.
  const auto size = fs::file_size(path);
  EXPECT_FALSE(write_png(path.string(), Image{}, error));
  EXPECT_FALSE(write_png((dir / "missing" / "picture.png").string(), picture, error));
  EXPECT_NE(error.find("missing"), std::string::npos) << error;
  EXPECT_EQ(fs::file_size(path), size);
  EXPECT_EQ(names_in(dir), std::vector<std::string>{"picture.png"});
  fs::remove_all(dir);
}

}  // namespace
}  // namespace znr
