// Presentation into a real X window (needs DISPLAY; ./test runs it under Xvfb).
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>

#include "test_scenes.h"
#include "test_window.h"
#include "zelnary/api/backends.h"
#include "zelnary/cpu/cpu_backend.h"
#include "zelnary/present/frame_pacer.h"
#include "zelnary/render/front_end.h"
#include "zelnary/render/renderer.h"
#include "zelnary/render/view.h"

namespace znr {
namespace {

constexpr int kW = 96, kH = 64;

class X11Present : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("ZELNARY_NO_PACING", "1", 1);
    if (!window_.open(kW, kH)) GTEST_SKIP() << "no X display";
  }
  test::TestWindow window_;
  const test::TestView view_ = test::cube_view();
};

// Both ways to the window: shared memory (the server is local) and plain XPutImage.
class X11PresentPaths : public X11Present, public ::testing::WithParamInterface<bool> {};

TEST_P(X11PresentPaths, FrameInTheWindowEqualsTheOffscreenFrame) {
  const bool shm = GetParam();
  if (shm) {
    unsetenv("ZELNARY_NO_SHM");
  } else {
    setenv("ZELNARY_NO_SHM", "1", 1);
  }
  Renderer r(engine_backends());
  Image expected;
  r.render_to_image(view_.scene, {}, view_.camera, {}, kW, kH, expected);
  ASSERT_EQ(r.render_to_window(window_.id(), view_.scene, {}, view_.camera, {}), 0);
  const std::vector<uint32_t> shown = window_.read_back(kW, kH);
  ASSERT_EQ(shown.size(), expected.texels.size());
  size_t same = 0;
  for (size_t i = 0; i < shown.size(); ++i) same += shown[i] == (expected.texels[i] & 0xFFFFFFu);
  EXPECT_EQ(same, shown.size());
  // After a resize the frame follows the window's new size.
  window_.resize(kW / 2, kH + 10);
  EXPECT_EQ(r.render_to_window(window_.id(), view_.scene, {}, view_.camera, {}), 0);
  r.render_to_image(view_.scene, {}, view_.camera, {}, kW / 2, kH + 10, expected);
  const std::vector<uint32_t> resized = window_.read_back(kW / 2, kH + 10);
  ASSERT_EQ(resized.size(), expected.texels.size());
  EXPECT_EQ(resized.back(), expected.texels.back() & 0xFFFFFFu);
  EXPECT_EQ(r.presented_with_shared_memory(), shm);
  unsetenv("ZELNARY_NO_SHM");
}

INSTANTIATE_TEST_SUITE_P(SharedMemoryOrNot, X11PresentPaths, ::testing::Bool());

// Frames nobody can see are not drawn: not into an unmapped window, nor into one wholly
// covered by another; they are again as soon as the window shows.
TEST_F(X11Present, AWindowNobodyCanSeeIsNotDrawnInto) {
  CpuBackend cpu;
  SceneIndex index;
  build_scene_index(view_.scene, index);
  auto polygons_drawn = [&] {
    int32_t w = 0, h = 0;
    EXPECT_EQ(cpu.acquire_window(window_.id(), w, h), BackendStatus::ok);
    Frame frame;
    find_visible(view_.scene, index, {}, make_view(view_.camera, w, h, near_plane_distance(index)),
                 frame);
    EXPECT_EQ(cpu.draw(frame, {}), BackendStatus::ok);
    EXPECT_EQ(cpu.present(), BackendStatus::ok);
    return cpu.frame_stats().polygons;
  };
  EXPECT_GT(polygons_drawn(), 0u);
  window_.set_mapped(false);
  EXPECT_EQ(polygons_drawn(), 0u);
  window_.set_mapped(true);
  EXPECT_GT(polygons_drawn(), 0u);
  test::TestWindow cover;
  ASSERT_TRUE(cover.open(kW + 20, kH + 20));
  EXPECT_EQ(polygons_drawn(), 0u);
  cover.destroy();
  EXPECT_GT(polygons_drawn(), 0u);
}

TEST_F(X11Present, AWindowThatIsGoneIsAnErrorNotACrash) {
  Renderer r(engine_backends());
  const uint32_t id = window_.id();
  ASSERT_EQ(r.render_to_window(id, view_.scene, {}, view_.camera, {}), 0);
  window_.destroy();
  EXPECT_EQ(r.render_to_window(id, view_.scene, {}, view_.camera, {}), -1);
  EXPECT_EQ(r.render_to_window(id, view_.scene, {}, view_.camera, {}), -1);
  EXPECT_EQ(r.render_to_window(0x7ffffff0u, view_.scene, {}, view_.camera, {}), -1);
  r.release();  // and the renderer can start over after a release
  EXPECT_EQ(r.render_to_window(id, view_.scene, {}, view_.camera, {}), -1);
}

TEST_F(X11Present, ErrorsOnOtherConnectionsReachTheirOwnHandler) {
  test::TestWindow::count_errors_in_own_handler();
  const uint32_t id = window_.id();
  window_.destroy();
  Renderer r(engine_backends());
  EXPECT_EQ(r.render_to_window(id, view_.scene, {}, view_.camera, {}), -1);
  // The engine's own error stayed with the engine; the test's reaches the test's handler.
  EXPECT_EQ(window_.query_window_and_count_errors(id), 1);
  test::TestWindow::restore_default_handler();
}

TEST(FramePacing, FramesAreAtLeastOneRefreshApart) {
  unsetenv("ZELNARY_NO_PACING");
  FramePacer pacer;
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < 6; ++i) pacer.wait(100.0);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(45));
}

}  // namespace
}  // namespace znr
