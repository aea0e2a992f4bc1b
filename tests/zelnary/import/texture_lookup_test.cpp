// Finding a model's texture files where the model's author left them, whatever the file names:
// another case, a Windows path, an absolute path from another disk, a textures/ folder; and
// the converted world's picture files named after them.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>

#include "test_folder.h"
#include "zelnary/import/import_model.h"
#include "zelnary/present/png_writer.h"

namespace znr {
namespace {

namespace fs = std::filesystem;

void write_picture(const fs::path& path, uint32_t texel) {
  fs::create_directories(path.parent_path());
  Image image;
  image.width = image.height = 2;
  image.texels.assign(4, texel);
  std::string error;
  ASSERT_TRUE(write_png(path.string(), image, error)) << error;
}

// Each material names its picture one way; the picture lies where the author's disk is not.
class TextureLookup : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    std::ofstream(dir_ / "model.obj") << "mtllib model.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\n"
                                         "usemtl a\nf 1 2 3\nusemtl b\nf 1 2 3\n"
                                         "usemtl c\nf 1 2 3\nusemtl d\nf 1 2 3\n";
    std::ofstream mtl(dir_ / "model.mtl");
    for (const auto& [material, name] : kNames)
      mtl << "newmtl " << material << "\nKd 1 1 1\nmap_Kd " << name << "\n";
    mtl.close();
    write_picture(dir_ / "case.png", kColours.at("Case.PNG"));
    write_picture(dir_ / "windows.png", kColours.at("D:\\models\\windows.png"));
    write_picture(dir_ / "textures/absolute.png", kColours.at("/no/such/disk/absolute.png"));
    write_picture(dir_ / "maps/nested.png", kColours.at("Maps/Nested.png"));
  }

  const fs::path dir_ = test::test_folder("texture_lookup");
  const std::map<std::string, std::string> kNames = {{"a", "Case.PNG"},
                                                     {"b", "D:\\models\\windows.png"},
                                                     {"c", "/no/such/disk/absolute.png"},
                                                     {"d", "Maps/Nested.png"}};
  const std::map<std::string, uint32_t> kColours = {{"Case.PNG", 0xff102030u},
                                                    {"D:\\models\\windows.png", 0xff405060u},
                                                    {"/no/such/disk/absolute.png", 0xff708090u},
                                                    {"Maps/Nested.png", 0xffa0b0c0u}};
};

TEST_F(TextureLookup, FindsEachPictureWhereItLies) {
  Scene scene;
  std::string error;
  testing::internal::CaptureStderr();
  ASSERT_TRUE(import_model((dir_ / "model.obj").string(), scene, error)) << error;
  const std::string warnings = testing::internal::GetCapturedStderr();
  ASSERT_EQ(scene.textures.size(), kColours.size()) << warnings;
  for (const Texture& t : scene.textures) {
    ASSERT_TRUE(kColours.count(t.file)) << t.file;
    EXPECT_FALSE(t.fallback) << t.file << "\n" << warnings;
    ASSERT_FALSE(t.image.texels.empty()) << t.file;
    EXPECT_EQ(t.image.texels[0], kColours.at(t.file)) << t.file;
  }
}

TEST_F(TextureLookup, TheConvertedWorldNamesItsPicturesAfterTheirFiles) {
  const fs::path out = dir_ / "converted";
  const std::string command = std::string(ZELNARY_TOOL_PATH) + " import '" +
                              (dir_ / "model.obj").string() + "' '" + out.string() +
                              "' >/dev/null 2>&1";
  ASSERT_EQ(std::system(command.c_str()), 0);
  for (const char* name : {"Case.png", "windows.png", "absolute.png", "Nested.png"})
    EXPECT_TRUE(fs::exists(out / "bitmaps" / name)) << name;
}

// Debian's test models: an MD2 whose skin assimp calls "$texture_dummy.bmp" lies beside it as
// sydney.bmp; the MD5 cube names an empty texture, which is no texture at all.
TEST(TextureLookupInTestModels, SkinsBesideTheModelAndEmptyNames) {
  const fs::path models = TEST_MODELS_DIR;
  if (!fs::exists(models)) GTEST_SKIP() << "no assimp-testmodels";
  Scene scene;
  std::string error;
  testing::internal::CaptureStderr();
  ASSERT_TRUE(import_model((models / "MD2/sydney.md2").string(), scene, error)) << error;
  ASSERT_EQ(scene.textures.size(), 1u);
  EXPECT_EQ(scene.textures[0].file, "sydney.bmp");
  EXPECT_FALSE(scene.textures[0].fallback);
  ASSERT_TRUE(import_model((models / "MD5/SimpleCube.md5mesh").string(), scene, error)) << error;
  testing::internal::GetCapturedStderr();
  EXPECT_TRUE(scene.textures.empty());
  for (const Polygon& p : scene.polygons) EXPECT_EQ(p.texture, -1);
}

}  // namespace
}  // namespace znr
