// The OpenGL back end in a real window (needs DISPLAY; ./test runs it under Xvfb with Mesa's
// software GL): its child window follows the parent, the picture matches the CPU's, the card
// switches on and off mid-flight without leaks, and a lost window is an error, not a crash.
#include <gtest/gtest.h>

#include <cstdlib>

#include "gl_compare.h"
#include "test_scenes.h"
#include "test_window.h"
#include "zelnary/api/backends.h"
#include "zelnary/gl/gl_backend_probe.h"
#include "zelnary/render/front_end.h"
#include "zelnary/render/renderer.h"

namespace znr {
namespace {

constexpr int kW = 96, kH = 64;

class GlWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("ZELNARY_NO_PACING", "1", 1);
    if (!window_.open(kW, kH)) GTEST_SKIP() << "no X display";
    on_.perspective_accuracy = off_.perspective_accuracy = 1000.0;
    on_.use_accelerator = true;
  }
  // The CPU's picture of the view, offscreen, as the window shows it (0xRRGGBB).
  std::vector<uint32_t> cpu_picture(const Camera& camera, int w, int h) {
    Renderer r(engine_backends());
    Image img;
    r.render_to_image(view_.scene, {}, camera, off_, w, h, img);
    for (uint32_t& t : img.texels) t &= 0xFFFFFFu;
    return img.texels;
  }
  double matching(const std::vector<uint32_t>& shown, const std::vector<uint32_t>& expected, int w,
                  int h) {
    return test::gl_matching(Image{w, h, shown}, Image{w, h, expected});
  }
  int mapped_children() {
    int n = 0;
    for (const auto& c : window_.children()) n += c.mapped ? 1 : 0;
    return n;
  }

  test::TestWindow window_;
  const test::TestView view_ = test::cube_view();
  RenderSettings on_, off_;
};

// A frame equal to the last is shown again from the back end's framebuffer, not drawn again;
// nothing is drawn while the window is unmapped, and the picture is back once it shows.
TEST_F(GlWindow, AStillViewIsShownAgainAndAnUnmappedWindowGetsNothing) {
  Renderer r(engine_backends());
  const std::vector<uint32_t> expected = cpu_picture(view_.camera, kW, kH);
  for (int frame = 0; frame < 3; ++frame) {
    ASSERT_EQ(r.render_to_window(window_.id(), view_.scene, {}, view_.camera, on_), 0);
    ASSERT_EQ(r.backend_name().rfind("OpenGL", 0), 0u) << r.fallback_reason();
    EXPECT_GE(matching(window_.read_back(kW, kH), expected, kW, kH), test::kGlMatchingFraction)
        << "frame " << frame;
  }
  window_.set_mapped(false);
  EXPECT_EQ(r.render_to_window(window_.id(), view_.scene, {}, view_.camera, on_), 0);
  window_.set_mapped(true);
  ASSERT_EQ(r.render_to_window(window_.id(), view_.scene, {}, view_.camera, on_), 0);
  EXPECT_GE(matching(window_.read_back(kW, kH), expected, kW, kH), test::kGlMatchingFraction);
}

// Nothing is drawn or shown into a window nobody can see, unmapped or wholly covered by another
// window; the picture is back as soon as it shows.
TEST_F(GlWindow, AWindowNobodyCanSeeIsShownNothing) {
  SceneIndex index;
  build_scene_index(view_.scene, index);
  GlBackend gl;
  ASSERT_EQ(gl.prepare(view_.scene, index), BackendStatus::ok);
  auto frames_shown = [&] {  // by one more frame
    int32_t w = 0, h = 0;
    EXPECT_EQ(gl.acquire_window(window_.id(), w, h), BackendStatus::ok) << gl.failure();
    Frame frame;
    find_visible(view_.scene, index, {}, make_view(view_.camera, w, h, near_plane_distance(index)),
                 frame);
    const int64_t before = GlBackendProbe::frames_shown(gl);
    EXPECT_EQ(gl.draw(frame, on_), BackendStatus::ok) << gl.failure();
    EXPECT_EQ(gl.present(), BackendStatus::ok) << gl.failure();
    return GlBackendProbe::frames_shown(gl) - before;
  };
  EXPECT_EQ(frames_shown(), 1);
  EXPECT_TRUE(gl.keeps_its_frame());
  window_.set_mapped(false);
  EXPECT_EQ(frames_shown(), 0);
  window_.set_mapped(true);
  EXPECT_EQ(frames_shown(), 1);
  {
    test::TestWindow cover;
    ASSERT_TRUE(cover.open(kW + 20, kH + 20));
    EXPECT_EQ(frames_shown(), 0);
    EXPECT_FALSE(gl.keeps_its_frame());  // nothing kept: the renderer draws afresh once it shows
  }
  EXPECT_EQ(frames_shown(), 1);
  EXPECT_GE(matching(window_.read_back(kW, kH), cpu_picture(view_.camera, kW, kH), kW, kH),
            test::kGlMatchingFraction);
}

TEST_F(GlWindow, TheChildWindowFollowsTheParentAndShowsTheCpusPicture) {
  Renderer r(engine_backends());
  ASSERT_EQ(r.render_to_window(window_.id(), view_.scene, {}, view_.camera, on_), 0);
  ASSERT_EQ(r.backend_name().rfind("OpenGL", 0), 0u) << r.fallback_reason();
  auto children = window_.children();
  ASSERT_EQ(children.size(), 1u);
  EXPECT_EQ(children[0].width, kW);
  EXPECT_EQ(children[0].height, kH);
  EXPECT_TRUE(children[0].mapped);
  EXPECT_GE(matching(window_.read_back(kW, kH), cpu_picture(view_.camera, kW, kH), kW, kH),
            test::kGlMatchingFraction);

  window_.resize(kW / 2, kH + 20);
  ASSERT_EQ(r.render_to_window(window_.id(), view_.scene, {}, view_.camera, on_), 0);
  children = window_.children();
  ASSERT_EQ(children.size(), 1u);
  EXPECT_EQ(children[0].width, kW / 2);
  EXPECT_EQ(children[0].height, kH + 20);
  EXPECT_GE(matching(window_.read_back(kW / 2, kH + 20), cpu_picture(view_.camera, kW / 2, kH + 20),
                     kW / 2, kH + 20),
            test::kGlMatchingFraction);
}

// Flying past the cube while the card goes on and off 200 times: every frame drawn, the first
// one after each switch right, one child window at most (hidden while the card is off), and
// no growth in memory.
TEST_F(GlWindow, SwitchingTheCardMidFlightKeepsDrawingAndLeaksNothing) {
  Renderer r(engine_backends());
  long rss_after_warm_up = 0;
  for (int i = 0; i < 200; ++i) {
    const bool card = i % 2 == 0;
    Camera cam = view_.camera;
    cam.location = cam.location + Vec3{0.01 * i, -0.005 * i, 0.0};
    ASSERT_EQ(r.render_to_window(window_.id(), view_.scene, {}, cam, card ? on_ : off_), 0) << i;
    EXPECT_EQ(r.backend_name().rfind(card ? "OpenGL" : "CPU", 0), 0u) << i;
    if (i % 25 == 0 || i % 25 == 1) {
      EXPECT_EQ(mapped_children(), card ? 1 : 0) << i;
      EXPECT_GE(matching(window_.read_back(kW, kH), cpu_picture(cam, kW, kH), kW, kH),
                test::kGlMatchingFraction)
          << "first frame after switch " << i;
    }
    EXPECT_LE(window_.children().size(), 1u);
    if (i == 20) rss_after_warm_up = test::resident_bytes();
  }
  const long growth = test::resident_bytes() - rss_after_warm_up;
  RecordProperty("rss_growth_bytes", std::to_string(growth));
#ifndef __SANITIZE_ADDRESS__  // the sanitizer holds freed memory back in its quarantine
  EXPECT_LT(growth, 8l << 20);
#endif
  EXPECT_TRUE(r.fallback_reason().empty()) << r.fallback_reason();
}

TEST_F(GlWindow, AParentThatIsGoneIsAnErrorAndTheRendererStartsOver) {
  Renderer r(engine_backends());
  const uint32_t id = window_.id();
  ASSERT_EQ(r.render_to_window(id, view_.scene, {}, view_.camera, on_), 0);
  window_.destroy();
  EXPECT_EQ(r.render_to_window(id, view_.scene, {}, view_.camera, on_), -1);
  EXPECT_EQ(r.render_to_window(id, view_.scene, {}, view_.camera, on_), -1);
  EXPECT_TRUE(r.fallback_reason().empty());  // a lost window is not the card's fault
  test::TestWindow other;
  ASSERT_TRUE(other.open(kW, kH));
  EXPECT_EQ(r.render_to_window(other.id(), view_.scene, {}, view_.camera, on_), 0);
  EXPECT_EQ(other.children().size(), 1u);
  r.release();
  EXPECT_TRUE(other.children().empty());  // the engine closing takes its window along
}

TEST_F(GlWindow, WithGlTurnedOffTheCpuDrawsIntoTheWindow) {
  setenv("ZELNARY_NO_GL", "1", 1);
  Renderer r(engine_backends());
  testing::internal::CaptureStderr();
  const int32_t result = r.render_to_window(window_.id(), view_.scene, {}, view_.camera, on_);
  const std::string warning = testing::internal::GetCapturedStderr();
  unsetenv("ZELNARY_NO_GL");
  EXPECT_EQ(result, 0);
  EXPECT_NE(warning.find("ZELNARY_NO_GL"), std::string::npos);
  EXPECT_TRUE(window_.children().empty());
  EXPECT_EQ(window_.read_back(kW, kH), cpu_picture(view_.camera, kW, kH));
}

}  // namespace
}  // namespace znr
