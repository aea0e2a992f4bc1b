// Quality levels and the 3D card: their marks and what the engine is told.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "platform/virtual_keys.h"
#include "render_options/render_options.h"
#include "tests/viewer/fake_engine.h"
#include "tests/viewer/fake_platform.h"

namespace kwellor::fakes {
namespace {

using Lines = std::vector<std::string>;

class RenderOptionsTest : public ::testing::Test {
 protected:
  RenderOptionsTest() {
    platform.checks = {
        {"mnuLow", true}, {"mnuMedium", false}, {"mnuHigh", false}, {"mnu3Dcard", false}};
  }
  std::vector<std::string> log;
  FakeEngine engine{log};
  FakePlatform platform{log};
  RenderOptions options{engine, platform};
};

TEST_F(RenderOptionsTest, LevelsMarkOneItemAndAlwaysPassTheirValue) {
  options.Select(QualityLevel::kMedium);
  options.Select(QualityLevel::kHigh);
  options.Select(QualityLevel::kHigh);
  EXPECT_TRUE(platform.checks["mnuHigh"]);
  EXPECT_FALSE(platform.checks["mnuMedium"]);
  options.Select(QualityLevel::kLow);
  EXPECT_EQ(log, (Lines{"ZNR_engine_set_perspective_correction_accuracy(3)",
                        "ZNR_engine_set_perspective_correction_accuracy(1000)",
                        "ZNR_engine_set_perspective_correction_accuracy(1000)",
                        "ZNR_engine_set_perspective_correction_accuracy(0)"}));
  EXPECT_TRUE(platform.checks["mnuLow"]);
  EXPECT_FALSE(platform.checks["mnuHigh"]);
}

TEST_F(RenderOptionsTest, CtrlAltVTogglesTheCardLikeTheMenuAndStopsAtTheFirstKeyUp) {
  platform.keysDown = {kVkControl, kVkAlt, kVkV};
  options.KeyDown();
  EXPECT_TRUE(platform.checks["mnu3Dcard"]);
  options.ToggleCard();
  EXPECT_FALSE(platform.checks["mnu3Dcard"]);
  EXPECT_EQ(log, (Lines{"ZNR_engine_use_3D_accelerator_card(1)",
                        "ZNR_engine_use_3D_accelerator_card(0)"}));

  const std::vector<std::pair<std::set<int32_t>, std::vector<int32_t>>> partial = {
      {{kVkControl, kVkV}, {kVkControl, kVkAlt}},
      {{kVkAlt, kVkV}, {kVkControl}},
      {{kVkControl, kVkAlt}, {kVkControl, kVkAlt, kVkV}},
  };
  for (const auto& [keys, queried] : partial) {
    platform.keysDown = keys;
    platform.keysQueried.clear();
    options.KeyDown();
    EXPECT_EQ(platform.keysQueried, queried);
  }
  EXPECT_EQ(log.size(), 2u);
}

}  // namespace
}  // namespace kwellor::fakes
