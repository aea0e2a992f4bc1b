// Loading worlds from disk: textures from the bitmaps folder, fallbacks for missing ones, the
// three extensions, and files that cannot be read.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <string>
#include <utility>
#include <vector>

#include "zelnary/world/load_world.h"

namespace fs = std::filesystem;

namespace znr {
namespace {

class LoadWorld : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("kwellor_world_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir_ / "bitmaps");
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string write(const std::string& name, const std::string& bytes) {
    const fs::path p = dir_ / name;
    std::ofstream(p, std::ios::binary) << bytes;
    return p.string();
  }

  fs::path dir_;
};

// A 2x1 24-bit BMP: a red pixel and a blue one.
std::string tiny_bmp() {
  const unsigned char bytes[] = {
      'B', 'M', 62,  0,   0, 0, 0, 0, 0, 0, 54, 0, 0, 0,                           // file header
      40,  0,   0,   0,   2, 0, 0, 0, 1, 0, 0,  0, 1, 0, 24, 0, 0, 0, 0, 0, 8, 0,  // info header
      0,   0,   0,   0,   0, 0, 0, 0, 0, 0, 0,  0, 0, 0, 0,  0, 0, 0,              //
      0,   0,   255, 255, 0, 0, 0, 0};  // pixels (blue, green, red), row padded to 8 bytes
  return std::string(reinterpret_cast<const char*>(bytes), sizeof bytes);
}

const char* const kTwoTextures =
    "zelnary-world 1\n"
    "texture bricks wall.bmp\n"
    "texture moss moss.png\n"
    "poly tex=bricks : 0 0 0 0 0 ; 1 0 0 1 0 ; 1 0 1 1 1\n"
    "poly tex=moss : 0 0 0 0 0 ; 1 0 0 1 0 ; 1 0 1 1 1\n";

TEST_F(LoadWorld, MissingTextureIsAWarningAndAFallback) {
  write("bitmaps/wall.bmp", tiny_bmp());
  const std::string world = write("w.wld", kTwoTextures);
  Scene s;
  std::string error;
  ::testing::internal::CaptureStderr();
  const bool ok = load_world(world, (dir_ / "bitmaps").string(), s, error);
  const std::string warnings = ::testing::internal::GetCapturedStderr();
  ASSERT_TRUE(ok) << error;
  ASSERT_EQ(s.textures.size(), 2u);
  EXPECT_FALSE(s.textures[0].fallback);
  ASSERT_EQ(s.textures[0].image.width, 2);
  EXPECT_EQ(s.textures[0].image.at(0, 0) & 0xffffffu, 0xff0000u);
  EXPECT_EQ(s.textures[0].image.at(1, 0) & 0xffffffu, 0x0000ffu);
  EXPECT_TRUE(s.textures[1].fallback);
  EXPECT_GT(s.textures[1].image.width, 0);
  EXPECT_EQ(s.polygons.size(), 2u);
  EXPECT_NE(warnings.find(world + ": texture moss: "), std::string::npos) << warnings;
  EXPECT_EQ(warnings.find("bricks"), std::string::npos) << warnings;
}

// The load counts its textures into its progress; a cancel asked for while it runs stops it
// with an error of its own, and one asked for with no load running is forgotten.
TEST_F(LoadWorld, ProgressCountsTheTexturesAndACancelStopsTheLoad) {
  write("bitmaps/wall.bmp", tiny_bmp());
  const std::string world = write("w.wld", kTwoTextures);
  const std::string bitmaps = (dir_ / "bitmaps").string();
  Scene s;
  WorldLoadError error;
  LoadProgress progress;
  ::testing::internal::CaptureStderr();
  progress.begin();
  ASSERT_TRUE(load_world(world, bitmaps, s, error, &progress)) << error.message;
  uint32_t done = 0, total = 0;
  EXPECT_EQ(progress.step(&done, &total), LoadStep::Textures);
  EXPECT_EQ(done, 2u);
  EXPECT_EQ(total, 2u);

  progress.begin();
  progress.cancel();
  EXPECT_FALSE(load_world(world, bitmaps, s, error, &progress));
  EXPECT_EQ(error.kind, WorldError::Cancelled);
  EXPECT_EQ(error.message, world + ": load cancelled");
  EXPECT_TRUE(s.polygons.empty() && s.textures.empty());
  const std::string printed = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(printed.find(world + ": load cancelled\n"), std::string::npos) << printed;

  progress.finish();
  progress.cancel();
  progress.begin();
  EXPECT_FALSE(progress.cancelled());
  EXPECT_TRUE(load_world(world, bitmaps, s, error, &progress)) << error.message;
}

TEST_F(LoadWorld, BrokenTextureIsAFallbackToo) {
  write("bitmaps/wall.bmp", tiny_bmp().substr(0, 40));  // cut inside the header
  write("bitmaps/moss.png", "\x89PNG\r\n\x1a\n");       // a signature and nothing more
  const std::string world = write("w.wld", kTwoTextures);
  Scene s;
  std::string error;
  ::testing::internal::CaptureStderr();
  ASSERT_TRUE(load_world(world, (dir_ / "bitmaps").string(), s, error)) << error;
  const std::string warnings = ::testing::internal::GetCapturedStderr();
  EXPECT_TRUE(s.textures[0].fallback && s.textures[1].fallback);
  EXPECT_NE(warnings.find("texture bricks"), std::string::npos) << warnings;
  EXPECT_NE(warnings.find("texture moss"), std::string::npos) << warnings;
}

TEST_F(LoadWorld, AllThreeExtensionsLoadTheSameAndBitmapsDefaultsBesideTheFile) {
  write("bitmaps/wall.bmp", tiny_bmp());
  write("bitmaps/moss.png", "");
  std::vector<Scene> scenes;
  for (const char* name : {"w.wld", "w.vindle", "w.zelnary"}) {
    const std::string world = write(name, kTwoTextures);
    Scene s;
    std::string error;
    ::testing::internal::CaptureStderr();
    ASSERT_TRUE(load_world(world, "", s, error)) << name << ": " << error;
    ::testing::internal::GetCapturedStderr();
    EXPECT_FALSE(s.textures[0].fallback) << name;  // found in dir/bitmaps without being told
    scenes.push_back(std::move(s));
  }
  for (const Scene& s : scenes) {
    EXPECT_EQ(s.polygons.size(), scenes[0].polygons.size());
    EXPECT_EQ(s.textures[0].image.texels, scenes[0].textures[0].image.texels);
  }
}

TEST_F(LoadWorld, FailuresPrintTheErrorAndLeaveTheSceneEmpty) {
  const std::string world = write("bad.wld", "zelnary-world 1\nbackground 1 1 1\nfog 1\n");
  Scene s;
  s.polygons.resize(3);
  WorldLoadError e;
  ::testing::internal::CaptureStderr();
  EXPECT_FALSE(load_world(world, "", s, e));
  const std::string printed = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(e.kind, WorldError::UnknownKeyword);
  EXPECT_EQ(e.line, 3u);
  EXPECT_EQ(printed, world + ":3: unknown keyword \"fog\"\n");
  EXPECT_TRUE(s.polygons.empty());

  for (const std::string& path : {(dir_ / "missing.wld").string(), dir_.string()}) {
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(load_world(path, "", s, e)) << path;
    EXPECT_FALSE(::testing::internal::GetCapturedStderr().empty());
    EXPECT_EQ(e.kind, WorldError::Io) << path;
    EXPECT_TRUE(e.message.starts_with(path + ": ")) << e.message;
  }
}

// A FIFO as the world or as a texture is refused at once. Should the load block regardless,
// a writer opens the FIFO after a while and closes it, which ends the load and the test.
TEST_F(LoadWorld, FifosAreRefusedWithoutBlocking) {
  const fs::path world_fifo = dir_ / "fifo.wld", texture_fifo = dir_ / "bitmaps" / "t.png";
  ASSERT_EQ(::mkfifo(world_fifo.c_str(), 0600), 0);
  ASSERT_EQ(::mkfifo(texture_fifo.c_str(), 0600), 0);
  const std::string textured = write("t.wld", "zelnary-world 1\ntexture t t.png\n");
  for (const auto& [world, fifo] :
       {std::pair{world_fifo.string(), world_fifo}, std::pair{textured, texture_fifo}}) {
    auto load = std::async(std::launch::async, [world = world] {
      Scene s;
      WorldLoadError e;
      ::testing::internal::CaptureStderr();
      load_world(world, "", s, e);
      return e.message + ::testing::internal::GetCapturedStderr();
    });
    if (load.wait_for(std::chrono::seconds(10)) == std::future_status::timeout) {
      ::close(::open(fifo.c_str(), O_WRONLY | O_NONBLOCK));
      ADD_FAILURE() << world << ": the load blocked on " << fifo;
    }
    EXPECT_NE(load.get().find("not a regular file"), std::string::npos) << world;
  }
}

TEST(SampleWorld, TownLoadsWithAllItsTexturesAndCameras) {
  const std::string dir = std::string(KWELLOR_SOURCE_DIR) + "/worlds/town/";
  Scene s;
  std::string error;
  ::testing::internal::CaptureStderr();
  ASSERT_TRUE(load_world(dir + "town.wld", dir + "bitmaps", s, error)) << error;
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
  for (const Texture& t : s.textures) EXPECT_FALSE(t.fallback) << t.file;
  EXPECT_LT(s.polygons.size(), 20000u);
  EXPECT_GE(s.objects.size(), 2u);
  // Chase cameras of both kinds come first, then at least one overview; every camera is of a
  // listed type, so the viewer can reach each.
  ASSERT_GE(s.cameras.size(), 3u);
  EXPECT_EQ(s.cameras[0].chase, ChaseType::Behind);
  EXPECT_EQ(s.cameras[1].chase, ChaseType::Watch);
  EXPECT_EQ(s.cameras.back().chase, ChaseType::Fixed);
  for (const CameraDef& c : s.cameras) EXPECT_NE(c.chase, ChaseType::None) << c.name;
}

}  // namespace
}  // namespace znr
