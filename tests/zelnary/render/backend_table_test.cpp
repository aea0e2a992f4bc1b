// The renderer's choice of back end from a table: preference order, the 3D card giving way
// once (and being tried again after a release), rows that cannot run here, rows chosen only by
// name. Each scripted back end fills the frame with its own colour, so the picture says who
// drew it.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "test_scenes.h"
#include "zelnary/render/renderer.h"

namespace znr {
namespace {

struct Script {
  uint32_t colour = 0;
  bool fails = false;   // every acquire fails, with a reason
  std::string why_not;  // unavailable() says this
  bool keeps_frame = false;
  int made = 0, draws = 0, presents = 0;
};
Script card, usual, named;

class ScriptedBackend final : public Backend {
 public:
  explicit ScriptedBackend(Script& s) : s_(s) { ++s_.made; }
  BackendStatus prepare(const Scene&, const SceneIndex&) override { return BackendStatus::ok; }
  BackendStatus acquire_window(uint32_t, int32_t& w, int32_t& h) override {
    w = h = 4;
    return s_.fails ? BackendStatus::failed : BackendStatus::ok;
  }
  BackendStatus acquire_offscreen(int32_t w, int32_t h) override {
    w_ = w;
    h_ = h;
    return s_.fails ? BackendStatus::failed : BackendStatus::ok;
  }
  BackendStatus draw(const Frame&, const RenderSettings&) override {
    ++s_.draws;
    return BackendStatus::ok;
  }
  BackendStatus present() override {
    ++s_.presents;
    return BackendStatus::ok;
  }
  bool keeps_its_frame() const override { return s_.keeps_frame; }
  void read_back(Image& out) override {
    out.width = w_;
    out.height = h_;
    out.texels.assign(static_cast<size_t>(w_ * h_), s_.colour);
  }
  void release() override {}
  const std::string& failure() const override { return reason_; }
  std::string name() const override { return std::to_string(s_.colour); }

 private:
  Script& s_;
  int32_t w_ = 0, h_ = 0;
  std::string reason_ = "scripted failure";
};

template <Script& S>
std::unique_ptr<Backend> make() {
  return std::make_unique<ScriptedBackend>(S);
}
template <Script& S>
std::string why_not() {
  return S.why_not;
}

constexpr BackendEntry kTable[] = {
    {"card", true, false, why_not<card>, make<card>},
    {"usual", false, false, why_not<usual>, make<usual>},
    {"named", false, true, why_not<named>, make<named>},
};

class BackendTable : public ::testing::Test {
 protected:
  void SetUp() override {
    card = usual = named = Script{};
    card.colour = 0xFF0000FFu;
    usual.colour = 0xFF00FF00u;
    named.colour = 0xFFFF0000u;
  }
  // The colour of the frame drawn, 0 when nothing was.
  uint32_t draw(Renderer& r, bool use_card) {
    RenderSettings settings;
    settings.use_accelerator = use_card;
    Image out;
    r.render_to_image(view.scene, {}, view.camera, settings, 4, 4, out);
    return out.texels.empty() ? 0 : out.texels[0];
  }
  test::TestView view = test::cube_view();
};

TEST_F(BackendTable, TheCardDrawsOnlyWhenAskedAndGivesWayOnceUntilReleased) {
  Renderer r(kTable);
  EXPECT_EQ(draw(r, false), usual.colour);
  EXPECT_EQ(card.made, 0);
  EXPECT_EQ(draw(r, true), card.colour);

  card.fails = true;
  EXPECT_EQ(draw(r, true), usual.colour);
  EXPECT_EQ(r.fallback_reason(), "scripted failure");
  EXPECT_EQ(draw(r, true), usual.colour);
  EXPECT_EQ(card.made, 1);  // refused: not made again

  card.fails = false;
  r.release();
  EXPECT_EQ(r.fallback_reason(), "");
  EXPECT_EQ(draw(r, true), card.colour);
  EXPECT_EQ(card.made, 2);
}

TEST_F(BackendTable, ARowThatCannotRunHereIsNeverMade) {
  card.why_not = "no card here";
  Renderer r(kTable);
  EXPECT_EQ(draw(r, true), usual.colour);
  EXPECT_EQ(card.made, 0);
  EXPECT_EQ(r.fallback_reason(), "no card here");
}

TEST_F(BackendTable, ARowChosenByNameOnlyDrawsOnlyWhenNamedAndNothingFallsBackToIt) {
  Renderer named_one(kTable, "named");
  EXPECT_EQ(draw(named_one, true), named.colour);
  EXPECT_EQ(card.made, 0);

  // The usual row failing fails the frame: a back end that draws nothing is no fallback.
  usual.fails = true;
  Renderer r(kTable);
  EXPECT_EQ(draw(r, false), 0u);
  EXPECT_EQ(r.render_to_window(1, view.scene, {}, view.camera, RenderSettings{}), -1);
  usual.fails = false;
  usual.why_not = "cannot run";
  Renderer r2(kTable);
  EXPECT_EQ(draw(r2, false), 0u);
  EXPECT_EQ(named.made, 1);  // only the first renderer's

  // A name the table does not have leaves the usual choice.
  usual.why_not.clear();
  Renderer unknown(kTable, "no such");
  EXPECT_EQ(draw(unknown, false), usual.colour);
}

// A still view with nothing moving in it is shown again, not drawn again; anything that changes
// the picture draws it anew.
TEST_F(BackendTable, AFrameEqualToTheOneShownIsPresentedButNotDrawnAgain) {
  usual.keeps_frame = true;
  test::TestView v = test::cube_view();
  v.scene.objects.push_back(MovingObject{"box", {{0, 0, 0}, {1, 0, 0}}, 1.0});
  for (Polygon& p : v.scene.polygons) p.object = 0;
  ObjectPose pose{{0.0, 0.0, 0.0}, 0.0};
  Renderer r(kTable);
  RenderSettings settings;
  auto frame = [&](uint32_t window = 7) {
    EXPECT_EQ(r.render_to_window(window, v.scene, std::span(&pose, 1), v.camera, settings), 0);
  };
  frame();
  frame();
  EXPECT_EQ(usual.draws, 1);
  EXPECT_EQ(usual.presents, 2);

  pose.heading_deg = 10.0;  // the box turns in view
  frame();
  v.camera.location.x += 0.5;  // the camera moves
  frame();
  v.camera.forward = normalized(v.camera.forward + Vec3{0.0, 0.01, 0.0});  // turns in place
  frame();
  v.camera.zoom *= 1.1;
  frame();
  settings.perspective_accuracy = 3.0;
  frame();
  frame(8);  // another window
  EXPECT_EQ(usual.draws, 7);
  Image out;  // an offscreen frame takes the back end's picture
  r.render_to_image(v.scene, std::span(&pose, 1), v.camera, settings, 4, 4, out);
  frame(8);
  EXPECT_EQ(usual.draws, 9);

  usual.keeps_frame = false;  // a back end that cannot show its last frame again draws each one
  frame(8);
  frame(8);
  EXPECT_EQ(usual.draws, 11);
}

}  // namespace
}  // namespace znr
