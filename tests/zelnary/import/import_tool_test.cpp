// zelnary-tool import writes a world beside the user's files without ever destroying one:
// nothing is replaced without --force, and a write that fails (here a file size limit, as a
// full disk would) leaves every file of the user's as it was and says why.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "test_folder.h"
#include "zelnary/present/png_writer.h"

namespace znr {
namespace {

namespace fs = std::filesystem;

std::string read(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

class ImportTool : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = test::test_folder("import_tool");
    out_ = dir_ / "out";
    fs::remove_all(dir_);
    fs::create_directories(dir_ / "src");
    Image tex;
    tex.width = tex.height = 4;
    tex.texels.assign(16, 0xFF3366AAu);
    std::string error;
    ASSERT_TRUE(write_png((dir_ / "src" / "skin.png").string(), tex, error)) << error;
    std::ofstream(dir_ / "src" / "m.mtl") << "newmtl skin\nmap_Kd skin.png\n";
    // Enough triangles that the world file is larger than the size limit used below.
    std::ofstream obj(dir_ / "src" / "m.obj");
    obj << "mtllib m.mtl\nusemtl skin\nvt 0 0\nvt 1 0\nvt 0 1\n";
    for (int i = 0; i < 100; ++i)
      obj << "v " << i << " 0 0\nv " << i << " 1 0\nv " << i << " 0 1\n";
    for (int i = 0; i < 100; ++i)
      obj << "f " << 3 * i + 1 << "/1 " << 3 * i + 2 << "/2 " << 3 * i + 3 << "/3\n";
  }

  // Runs the tool; its standard error in err_.
  int import(const std::string& options, const std::string& shell_prefix = "") {
    const fs::path err = dir_ / "err.txt";
    const std::string command = "sh -c \"" + shell_prefix + "exec '" + ZELNARY_TOOL_PATH +
                                "' import " + options + " '" + (dir_ / "src" / "m.obj").string() +
                                "' '" + out_.string() + "'\" 2>'" + err.string() + "'";
    const int status = std::system(command.c_str());
    err_ = read(err);
    return status;
  }

  // Every file under out_, with its contents.
  std::map<std::string, std::string> snapshot() const {
    std::map<std::string, std::string> files;
    for (const auto& e : fs::recursive_directory_iterator(out_))
      if (e.is_regular_file()) files[e.path().lexically_relative(out_).string()] = read(e.path());
    return files;
  }

  fs::path dir_, out_;
  std::string err_;
};

TEST_F(ImportTool, ReplacesNothingWithoutForceAndAFailedWriteChangesNothing) {
  ASSERT_EQ(import(""), 0) << err_;
  ASSERT_TRUE(fs::exists(out_ / "m.wld"));
  ASSERT_EQ(snapshot().size(), 2u) << "the world and its one texture, no staging left";

  // The user edits the world and the texture.
  std::ofstream(out_ / "m.wld", std::ios::app) << "# my own notes\n";
  std::ofstream(out_ / "bitmaps" / "skin.png", std::ios::app) << "edited";
  const auto edited = snapshot();

  EXPECT_NE(import(""), 0);
  EXPECT_NE(err_.find("exists (--force replaces it)"), std::string::npos) << err_;
  EXPECT_EQ(snapshot(), edited);

  // A write that fails part way, even with --force, leaves all of it as it was.
  EXPECT_NE(import("--force", "trap '' XFSZ; ulimit -f 4; "), 0);
  EXPECT_NE(err_.find("File too large"), std::string::npos) << err_;
  EXPECT_EQ(snapshot(), edited);

  ASSERT_EQ(import("--force"), 0) << err_;
  const auto replaced = snapshot();
  EXPECT_EQ(replaced.size(), 2u);
  EXPECT_EQ(replaced.at("m.wld").find("my own notes"), std::string::npos);
}

// A texture the model takes from outside its own folder is copied with a line that says so;
// one beside the model is copied without a word.
TEST_F(ImportTool, SaysWhichTexturesCameFromOutsideTheModelsFolder) {
  fs::create_directories(dir_ / "shared");
  fs::copy_file(dir_ / "src" / "skin.png", dir_ / "shared" / "far.png");
  std::ofstream(dir_ / "src" / "m.mtl")
      << "newmtl skin\nmap_Kd skin.png\nnewmtl far\nmap_Kd ../shared/far.png\n";
  std::ofstream(dir_ / "src" / "m.obj", std::ios::app)
      << "usemtl far\nv 0 0 5\nv 1 0 5\nv 0 1 5\nf 301/1 302/2 303/3\n";
  const fs::path log = dir_ / "out.txt";
  ASSERT_EQ(import("", "exec >'" + log.string() + "'; "), 0) << err_;
  const std::string said = read(log);
  EXPECT_NE(said.find("copied " + fs::canonical(dir_ / "shared" / "far.png").string() +
                      " from outside the model's folder"),
            std::string::npos)
      << said;
  EXPECT_EQ(said.find("skin.png from outside"), std::string::npos) << said;
  EXPECT_TRUE(fs::exists(out_ / "bitmaps" / "far.png"));
}

}  // namespace
}  // namespace znr
