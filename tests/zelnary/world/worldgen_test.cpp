// worldgen, run as a program: the committed sample town is what it writes today, and a
// generated terrain loads with its own texture.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "zelnary/world/load_world.h"

namespace fs = std::filesystem;

namespace znr {
namespace {

std::string read_file(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

class Worldgen : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("kwellor_worldgen_" + std::to_string(::getpid()));
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  int run(const std::string& args) {
    return std::system((std::string(WORLDGEN_PATH) + " " + args + " > /dev/null").c_str());
  }
  fs::path dir_;
};

TEST_F(Worldgen, CommittedTownIsUpToDate) {
  ASSERT_EQ(run("town " + dir_.string()), 0);
  const fs::path committed = fs::path(KWELLOR_SOURCE_DIR) / "worlds/town";
  EXPECT_TRUE(read_file(dir_ / "town.wld") == read_file(committed / "town.wld"))
      << "worlds/town/town.wld differs from worldgen's output: rerun worldgen town worlds/town";
  size_t images = 0;
  for (const auto& entry : fs::directory_iterator(dir_ / "bitmaps")) {
    ++images;
    EXPECT_TRUE(read_file(entry.path()) ==
                read_file(committed / "bitmaps" / entry.path().filename()))
        << entry.path().filename();
  }
  EXPECT_GE(images, 2u);
}

TEST_F(Worldgen, BigWorldLoadsWithItsTexture) {
  const fs::path world = dir_ / "big.wld";
  ASSERT_EQ(run("big 5000 " + world.string()), 0);
  Scene s;
  std::string error;
  ::testing::internal::CaptureStderr();
  ASSERT_TRUE(load_world(world.string(), "", s, error)) << error;
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(s.polygons.size(), 5000u);
  ASSERT_EQ(s.textures.size(), 1u);
  EXPECT_FALSE(s.textures[0].fallback);
  EXPECT_EQ(s.textures[0].image.width, 64);

  EXPECT_NE(run("big 0 " + world.string() + " 2>/dev/null"), 0);
  EXPECT_NE(run("nonsense 2>/dev/null"), 0);
}

}  // namespace
}  // namespace znr
