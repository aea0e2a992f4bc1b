// A glTF cube whose two morph targets are animated: it changes shape on screen as its weights
// run, in zelnary-tool render as in the engine, and zelnary-tool import writes it without them.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "picture_at.h"
#include "zelnary/api/engine_core.h"
#include "zelnary/import/import_model.h"
#include "zelnary/world/load_world.h"

namespace znr {
namespace {

namespace fs = std::filesystem;

const std::string kCube = std::string(TEST_MODELS_DIR) +
                          "/glTF2/glTF-Sample-Models/AnimatedMorphCube-glTF/AnimatedMorphCube.gltf";

std::string read(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// Runs zelnary-tool with these arguments; its standard output.
std::string tool(const std::string& args, const fs::path& dir) {
  const fs::path out = dir / "out.txt";
  const std::string command =
      "'" + std::string(ZELNARY_TOOL_PATH) + "' " + args + " >'" + out.string() + "' 2>/dev/null";
  EXPECT_EQ(std::system(command.c_str()), 0) << command;
  return read(out);
}

TEST(ImportMorph, TheCubeChangesShapeAsItsWeightsRunAndIsWrittenWithoutThem) {
  if (!fs::exists(kCube)) GTEST_SKIP() << "no " << kCube;
  const fs::path dir = fs::path(ZELNARY_TEST_OUTPUT_DIR) / "morph_cube";
  fs::remove_all(dir);
  fs::create_directories(dir);
  Scene scene;
  std::string error;
  ASSERT_TRUE(import_model(kCube, scene, error)) << error;
  ASSERT_EQ(scene.morphs.size(), 1u);
  const Morph& m = scene.morphs[0];
  EXPECT_EQ(m.targets, 2u);
  EXPECT_FALSE(m.normals.empty());
  ASSERT_FALSE(scene.animations.empty());
  const Channel& c = scene.animations[0].channels.at(0);
  EXPECT_EQ(c.path, ChannelPath::Weights);
  EXPECT_EQ(c.object, m.object);

  // The tool's pictures at two times differ.
  const std::string render = "render '" + kCube + "' --camera 1 --size 64x48 --out ";
  tool(render + "'" + (dir / "at0.png").string() + "' --time 0", dir);
  tool(render + "'" + (dir / "at1.png").string() + "' --time 1", dir);
  EXPECT_NE(read(dir / "at0.png"), read(dir / "at1.png"));

  // The world holds no morph targets: the tool says so once, and the cube stands as at 0 s
  // (its weights then are its defaults, 0), unchanging.
  const std::string said =
      tool("import --force '" + kCube + "' '" + (dir / "world").string() + "'", dir);
  EXPECT_NE(said.find("morph targets were left out"), std::string::npos) << said;
  const std::string world = (dir / "world" / "AnimatedMorphCube.wld").string();
  Scene loaded;
  ASSERT_TRUE(load_world(world, (dir / "world" / "bitmaps").string(), loaded, error)) << error;
  EXPECT_TRUE(loaded.morphs.empty());
  double now = 0.0;
  Image start;
  {
    EngineCore core([&now] { return now; });
    ASSERT_EQ(core.load_world(kCube, ""), 0);
    start = test::picture_at(core, now, 0.0);
  }
  test::expect_still_and_like(world, start);
}

}  // namespace
}  // namespace znr
