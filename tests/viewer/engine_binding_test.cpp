// Binding the engine library by name: the path chosen, the errors, and calls reaching it.
#include "engine/engine_binding.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace kwellor {
namespace {

TEST(EngineBinding, LibraryPathComesFromTheEnvironmentOrTheExecutablesFolder) {
  unsetenv("KWELLOR_ENGINE");
  EXPECT_EQ(EngineLibraryPath("/opt/kwellor/bin"), "/opt/kwellor/bin/libzelnary3.so");
  setenv("KWELLOR_ENGINE", "", 1);
  EXPECT_EQ(EngineLibraryPath("/opt/kwellor/bin"), "/opt/kwellor/bin/libzelnary3.so");
  setenv("KWELLOR_ENGINE", "/tmp/other.so", 1);
  EXPECT_EQ(EngineLibraryPath("/opt/kwellor/bin"), "/tmp/other.so");
  unsetenv("KWELLOR_ENGINE");
}

TEST(EngineBinding, MissingLibraryOrFunctionIsNamed) {
  std::string error;
  EXPECT_EQ(BindEngine("/no/such/dir/libzelnary3.so", error), nullptr);
  EXPECT_EQ(error.rfind("The engine library /no/such/dir/libzelnary3.so cannot be loaded: ", 0), 0u)
      << error;

  EXPECT_EQ(BindEngine(STUB_ENGINE_PARTIAL, error), nullptr);
  EXPECT_EQ(error, std::string("The engine library ") + STUB_ENGINE_PARTIAL +
                       " has no function ZNR_camera_move");
}

TEST(EngineBinding, BoundOperationsReachTheLibrary) {
  std::string error = "stale";
  std::unique_ptr<Engine> engine = BindEngine(STUB_ENGINE_FULL, error);
  ASSERT_NE(engine, nullptr) << error;
  EXPECT_TRUE(error.empty());
  EXPECT_EQ(engine->ZNR_engine_load_world("a", "", "bitmaps", 0), 7);
  EXPECT_EQ(engine->ZNR_camera_create("ViewerCam"), 41);
  EXPECT_EQ(engine->ZNR_camera_get_zoom(5), 55.0);
  WorldPoint location;
  engine->ZNR_camera_get_location1(1, location.data());
  EXPECT_EQ(location[0], 1.5);
  WorldPoint low, high, hit;
  int32_t out1 = 9, out2 = 9;
  EXPECT_EQ(
      engine->ZNR_engine_is_movement_possible(low.data(), high.data(), &out1, hit.data(), &out2),
      0);
  EXPECT_EQ(hit[2], -12.5);
  EXPECT_EQ(out1 + out2, 0);
  engine->ZNR_camera_move(1, 2, 0.0, 1.0, 0.0);
  EXPECT_EQ(LastLoadError(*engine), "stub.wld:3: a reason");
  ASSERT_TRUE(engine->hasLoadProgress() && engine->hasCancelLoad());
  int32_t done = 0, total = 0;
  EXPECT_EQ(engine->ZNR_engine_get_load_progress(&done, &total), 2);
  EXPECT_EQ(done * 10 + total, 37);
  engine->ZNR_engine_cancel_load();
  EXPECT_EQ(engine->ZNR_engine_get_load_progress(&done, &total), 0);
}

TEST(EngineBinding, AnEngineWithOnlyThe24BindsAndGivesNoReasonNorProgress) {
  std::string error;
  std::unique_ptr<Engine> engine = BindEngine(STUB_ENGINE_ONLY24, error);
  ASSERT_NE(engine, nullptr) << error;
  EXPECT_EQ(LastLoadError(*engine), "");
  char buffer[4] = "xyz";
  EXPECT_EQ(engine->ZNR_engine_get_last_error(buffer, sizeof buffer), 0);
  EXPECT_EQ(buffer[0], '\0');
  // No progress to read and nothing to cancel: the viewer loads on its GUI thread.
  EXPECT_FALSE(engine->hasLoadProgress() || engine->hasCancelLoad());
  int32_t done = 5, total = 5;
  EXPECT_EQ(engine->ZNR_engine_get_load_progress(&done, &total), 0);
  EXPECT_EQ(done + total, 0);
  engine->ZNR_engine_cancel_load();
}

}  // namespace
}  // namespace kwellor
