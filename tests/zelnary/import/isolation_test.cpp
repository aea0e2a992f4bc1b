// The importer runs in a child process: whatever it does, the load fails with one clear line
// and the engine goes on working.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <thread>

#include "test_folder.h"
#include "zelnary/api/engine_core.h"

namespace znr {
namespace {

namespace fs = std::filesystem;

class Isolation : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = test::test_folder("isolation");
    fs::create_directories(dir_);
    model_ = (dir_ / "model.glb").string();
    std::ofstream(model_) << "glTF";
    world_ = (dir_ / "tiny.wld").string();
    std::ofstream(world_) << "zelnary-world 1\npoly : 0 0 0 ; 1 0 0 ; 0 1 0\n";
    ::setenv("ZELNARY_IMPORTER", FAKE_IMPORTER_PATH, 1);
    ::setenv("ZELNARY_IMPORT_TIMEOUT", "1", 1);
    ::setenv("ZELNARY_IMPORT_MAX_BYTES", "4000000", 1);
  }
  void TearDown() override {
    for (const char* v : {"ZELNARY_IMPORTER", "ZELNARY_IMPORT_TIMEOUT", "ZELNARY_IMPORT_MAX_BYTES",
                          "ZELNARY_FAKE_IMPORTER"})
      ::unsetenv(v);
  }

  // The one line the failed load printed.
  std::string fail_with(const char* mode) {
    ::setenv("ZELNARY_FAKE_IMPORTER", mode, 1);
    testing::internal::CaptureStderr();
    const int32_t result = core_.load_world(model_, "");
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(result, -1) << mode;
    EXPECT_TRUE(core_.empty()) << mode;
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    EXPECT_EQ(err.rfind(model_ + ": import failed: ", 0), 0u) << err;
    EXPECT_EQ(core_.load_world(world_, ""), 0) << "the engine is still usable after " << mode;
    return err;
  }

  fs::path dir_;
  std::string model_, world_;
  EngineCore core_;
};

TEST_F(Isolation, EveryMisbehaviourEndsInOneClearLine) {
  EXPECT_NE(fail_with("crash").find("the importer crashed (segmentation fault)"),
            std::string::npos);
  EXPECT_NE(fail_with("hang").find("took longer than 1 s"), std::string::npos);
  EXPECT_NE(fail_with("hang-closed").find("took longer than 1 s"), std::string::npos);
  EXPECT_NE(fail_with("halt").find("was halted (STOP) and did not go on within 1 s"),
            std::string::npos);
  EXPECT_NE(fail_with("flood").find("wrote more than 3 MiB"), std::string::npos);
  EXPECT_NE(fail_with("lie").find("malformed stream: mesh arrays do not match"), std::string::npos);
  EXPECT_NE(fail_with("exit").find("exited with status 3 and sent nothing"), std::string::npos);
}

// A cancel from another thread kills a hanging importer at once, long before its time limit;
// the engine is left empty and ready for the next load.
TEST_F(Isolation, ACancelKillsAHangingImporterAtOnce) {
  using namespace std::chrono_literals;
  ::setenv("ZELNARY_IMPORT_TIMEOUT", "30", 1);
  ::setenv("ZELNARY_FAKE_IMPORTER", "hang", 1);
  testing::internal::CaptureStderr();
  const auto start = std::chrono::steady_clock::now();
  auto load = std::async(std::launch::async, [&] { return core_.load_world(model_, ""); });
  while (core_.load_step() != LoadStep::Importing && std::chrono::steady_clock::now() < start + 5s)
    std::this_thread::sleep_for(1ms);
  std::this_thread::sleep_for(100ms);  // the child is running now
  core_.cancel_load();
  ASSERT_EQ(load.wait_for(5s), std::future_status::ready);
  EXPECT_EQ(load.get(), -1);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(err, model_ + ": import failed: the importer was stopped: the load was cancelled\n");
  EXPECT_EQ(core_.last_load_error(), model_ + ": load cancelled");
  EXPECT_EQ(core_.load_step(), LoadStep::None);
  EXPECT_TRUE(core_.empty());
  core_.cancel_load();  // no load running: the next one is not touched
  EXPECT_EQ(core_.load_world(world_, ""), 0);
}

TEST_F(Isolation, AMissingImporterIsAClearError) {
  ::setenv("ZELNARY_IMPORTER", (dir_ / "no-such-importer").c_str(), 1);
  EXPECT_NE(fail_with("").find("cannot start the importer"), std::string::npos);
}

// Neither the engine nor the importer child may open a FIFO as a file: a plain open waits for
// a writer for ever. The alarm turns such a hang into a failure.
TEST(RegularFilesOnly, AFifoAsTheModelOrNamedByItFailsOrIsSkippedAtOnce) {
  const fs::path dir = fs::path(ZELNARY_TEST_OUTPUT_DIR) / "fifos";
  fs::remove_all(dir);
  fs::create_directories(dir);
  ASSERT_EQ(::mkfifo((dir / "m.glb").c_str(), 0600), 0);
  ASSERT_EQ(::mkfifo((dir / "m.mtl").c_str(), 0600), 0);
  ASSERT_EQ(::mkfifo((dir / "f.png").c_str(), 0600), 0);
  const char* triangle = "v 0 0 0\nv 1 0 0\nv 0 1 0\nvt 0 0\nf 1/1 2/1 3/1\n";
  std::ofstream(dir / "m.obj") << "mtllib m.mtl\n" << triangle;
  std::ofstream(dir / "n.mtl") << "newmtl t\nmap_Kd f.png\n";
  std::ofstream(dir / "n.obj") << "mtllib n.mtl\nusemtl t\n" << triangle;
  ::setenv("ZELNARY_IMPORT_TIMEOUT", "20", 1);
  ::alarm(60);
  EngineCore core;
  testing::internal::CaptureStderr();
  EXPECT_EQ(core.load_world((dir / "m.glb").string(), ""), -1);
  EXPECT_NE(testing::internal::GetCapturedStderr().find("not a regular file"), std::string::npos);
  EXPECT_EQ(core.load_world((dir / "m.obj").string(), ""), 0)
      << "the FIFO material file is skipped";
  EXPECT_EQ(core.load_world((dir / "n.obj").string(), ""), 0) << "the FIFO image is skipped";
  ::alarm(0);
  ::unsetenv("ZELNARY_IMPORT_TIMEOUT");
}

// A PLY file cut short in its header would keep assimp's reader busy until the time limit.
TEST(CutShortFiles, APlyWithoutTheEndOfItsHeaderFailsAtOnceSayingSo) {
  const fs::path ply = fs::path(ZELNARY_TEST_OUTPUT_DIR) / "cut.ply";
  std::ofstream(ply) << "ply\nformat ascii 1.0\nelement vertex 3\n";
  ::setenv("ZELNARY_IMPORT_TIMEOUT", "20", 1);
  EngineCore core;
  testing::internal::CaptureStderr();
  EXPECT_EQ(core.load_world(ply.string(), ""), -1);
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("not a whole PLY file: its header has no end_header"), std::string::npos)
      << err;
  ::unsetenv("ZELNARY_IMPORT_TIMEOUT");
}

}  // namespace
}  // namespace znr
