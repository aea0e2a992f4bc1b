// Which way up a model stands: the file's own axes, its format's, or the user's choice; and
// where the generated overview looks from.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <numbers>
#include <set>
#include <tuple>

#include "zelnary/api/engine_core.h"
#include "zelnary/import/import_model.h"
#include "zelnary/import/up_axis.h"

namespace znr {
namespace {

std::string model(const std::string& relative) {
  return std::string(TEST_MODELS_DIR) + "/" + relative;
}

struct Box {
  Vec3 lo{1e300, 1e300, 1e300}, hi{-1e300, -1e300, -1e300};
  Vec3 size() const { return hi - lo; }
};

Box bounds(const Scene& scene) {
  Box b;
  for (const Vertex& v : scene.vertices) {
    b.lo = {std::min(b.lo.x, v.position.x), std::min(b.lo.y, v.position.y),
            std::min(b.lo.z, v.position.z)};
    b.hi = {std::max(b.hi.x, v.position.x), std::max(b.hi.y, v.position.y),
            std::max(b.hi.z, v.position.z)};
  }
  return b;
}

class Axes : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::filesystem::exists(TEST_MODELS_DIR)) GTEST_SKIP() << "no assimp-testmodels";
    ::unsetenv(kUpAxisVariable);
  }
  void TearDown() override { ::unsetenv(kUpAxisVariable); }

  Scene import(const std::string& relative) {
    Scene scene;
    std::string error;
    testing::internal::CaptureStderr();
    EXPECT_TRUE(import_model(model(relative), scene, error)) << error;
    testing::internal::GetCapturedStderr();
    return scene;
  }
};

// 3MF is z up by its standard: the box of 10 x 20 x 30 mm stands 30 tall, 20 deep, 10 wide.
// The Blender human stands taller than he is wide or deep.
TEST_F(Axes, FormatsWrittenZUpStandUpright) {
  const Vec3 box = bounds(import("3MF/box.3mf")).size();
  EXPECT_NEAR(box.y / box.x, 2.0, 1e-6);
  EXPECT_NEAR(box.z / box.x, 3.0, 1e-6);
  const Vec3 human = bounds(import("BLEND/HUMAN.blend")).size();
  EXPECT_GT(human.z, 2.0 * std::max(human.x, human.y));
}

// The AMF tetrahedron has its base at z = 0 and its apex at z = 4 in the file: read z up, one
// corner is on top; told -z is up, that corner hangs at the bottom.
TEST_F(Axes, TheUsersUpAxisTurnsTheModel) {
  auto corners_at = [](const Scene& s, bool top) {
    const Box b = bounds(s);
    const double level = top ? b.hi.z : b.lo.z;
    std::set<std::tuple<double, double, double>> corners;
    for (const Vertex& v : s.vertices)
      if (std::abs(v.position.z - level) < 1e-6 * b.size().z)
        corners.insert({v.position.x, v.position.y, v.position.z});
    return corners.size();
  };
  const Scene upright = import("AMF/test1.amf");
  EXPECT_EQ(corners_at(upright, true), 1u);
  EXPECT_EQ(corners_at(upright, false), 3u);
  ::setenv(kUpAxisVariable, "-z", 1);
  const Scene hanging = import("AMF/test1.amf");
  EXPECT_EQ(corners_at(hanging, true), 3u);
  EXPECT_EQ(corners_at(hanging, false), 1u);
  // Told y is up, the 3MF box lies on its side: its 20 mm now the height.
  ::setenv(kUpAxisVariable, "y", 1);
  const Vec3 box = bounds(import("3MF/box.3mf")).size();
  EXPECT_NEAR(box.z / box.x, 2.0, 1e-6);
}

TEST_F(Axes, AnUpAxisThatDoesNotParseFailsTheLoadSayingWhy) {
  ::setenv(kUpAxisVariable, "up", 1);
  Scene scene;
  std::string error;
  testing::internal::CaptureStderr();
  EXPECT_FALSE(import_model(model("3MF/box.3mf"), scene, error));
  testing::internal::GetCapturedStderr();
  EXPECT_NE(error.find("ZELNARY_IMPORT_UP=up"), std::string::npos) << error;
}

// The overview stands in front of the model (its front faces -y), above it and to one side,
// and every corner of the scene's box is inside its 4:3 picture.
TEST_F(Axes, TheOverviewFramesTheWholeSceneFromTheFrontAndAbove) {
  for (const char* relative : {"BLEND/HUMAN.blend", "Collada/duck.dae", "3MF/box.3mf"}) {
    const Scene scene = import(relative);
    const Box b = bounds(scene);
    const Vec3 centre = (b.lo + b.hi) * 0.5;
    const CameraDef& c = scene.cameras.at(0);
    EXPECT_LT(c.location.y, b.lo.y) << relative;
    EXPECT_GT(c.location.z, b.hi.z) << relative;
    EXPECT_GT(std::abs(c.location.x - centre.x), 0.2 * length(c.location - centre)) << relative;
    const Vec3 right = normalized(cross(c.direction, Vec3{0, 0, 1}));
    const Vec3 up = cross(right, c.direction);
    const double across = std::tan(c.zoom / 2.0 * std::numbers::pi / 180.0);
    for (int k = 0; k < 8; ++k) {
      const Vec3 corner{k & 1 ? b.hi.x : b.lo.x, k & 2 ? b.hi.y : b.lo.y, k & 4 ? b.hi.z : b.lo.z};
      const Vec3 d = corner - c.location;
      const double ahead = dot(d, c.direction);
      ASSERT_GT(ahead, 0.0) << relative;
      EXPECT_LE(std::abs(dot(d, right)) / ahead, across) << relative << " corner " << k;
      EXPECT_LE(std::abs(dot(d, up)) / ahead, across * 0.75) << relative << " corner " << k;
    }
  }
}

// A glTF whose faces are one-sided towards the file's front shows them, not an empty sky.
TEST_F(Axes, OneSidedFacesTowardsTheFrontAreSeenFromTheOverview) {
  EngineCore core([] { return 0.0; });
  testing::internal::CaptureStderr();
  ASSERT_EQ(
      core.load_world(
          model("glTF2/glTF-Asset-Generator/Mesh_PrimitiveMode/Mesh_PrimitiveMode_06.gltf"), ""),
      0);
  testing::internal::GetCapturedStderr();
  Image image;
  ASSERT_TRUE(core.render_to_image(core.first_camera(), 160, 120, image));
  const uint32_t sky = image.texels.front();
  const auto drawn = std::count_if(image.texels.begin(), image.texels.end(),
                                   [sky](uint32_t t) { return t != sky; });
  EXPECT_GT(drawn, static_cast<long>(image.texels.size() / 10));
}

}  // namespace
}  // namespace znr
