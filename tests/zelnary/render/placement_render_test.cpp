// A shared mesh drawn at each of its placements: the picture of copies of it, one per
// placement, in world coordinates; those out of view are left out before any polygon is.
#include <gtest/gtest.h>

#include "image_compare.h"
#include "test_scenes.h"
#include "zelnary/api/backends.h"
#include "zelnary/render/front_end.h"
#include "zelnary/render/renderer.h"
#include "zelnary/render/scene_index.h"

namespace znr {
namespace {

TEST(Placements, DrawLikeCopiesAndOnlyThoseInView) {
  const test::TestView shared = test::placed_boxes_view(true);
  const test::TestView copies = test::placed_boxes_view(false);
  SceneIndex index;
  build_scene_index(shared.scene, index);
  Frame frame;
  find_visible(shared.scene, index, {}, make_view(shared.camera, 160, 120, 0.1), frame);
  ASSERT_EQ(frame.objects.size(), 4u);  // the fifth lies behind the eye
  for (const VisibleObject& o : frame.objects) EXPECT_EQ(o.object, 0u);

  Renderer r(engine_backends());
  for (const double accuracy : {1000.0, 0.0}) {
    RenderSettings settings;
    settings.perspective_accuracy = accuracy;
    Image a, b;
    r.render_to_image(shared.scene, {}, shared.camera, settings, 160, 120, a);
    r.render_to_image(copies.scene, {}, copies.camera, settings, 160, 120, b);
    const test::Comparison c = test::compare_images(a, b, 3);
    EXPECT_TRUE(c.same_size);
    EXPECT_GE(c.matching, 0.998) << accuracy;
  }
}

}  // namespace
}  // namespace znr
