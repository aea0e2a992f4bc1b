// Occlusion culling skips chunks hidden behind nearer ones: the picture must come out the
// same bit for bit as without it, while chunks really are skipped; and the same again when the
// frame is drawn in many passes to bound its memory.
#include <gtest/gtest.h>
#include <sched.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <random>
#include <string>

#include "test_scenes.h"
#include "zelnary/cpu/cpu_backend.h"
#include "zelnary/cpu/emit.h"
#include "zelnary/cpu/occlusion.h"
#include "zelnary/cpu/rasterizer.h"
#include "zelnary/cpu/tiles.h"
#include "zelnary/render/front_end.h"

namespace znr {
namespace {

// Steep ridges on a 170 x 170 grid, 10 units apart, textured, most of them seen from both
// sides; and a box that moves.
Scene ridges() {
  Scene s;
  s.background = {0.5f, 0.6f, 0.8f};
  s.lighting.ambient = {0.4f, 0.4f, 0.4f};
  s.lighting.sun = {0.6f, 0.6f, 0.55f};
  s.lighting.sun_direction = {-0.5, -0.3, 1.0};
  s.textures.push_back(Texture{"pattern", test::pattern_texture()});
  constexpr int kSide = 170;
  auto height = [](int i, int j) {
    return 60.0 * std::sin(i * 0.15) * std::cos(j * 0.11) + 20.0 * std::sin((i + j) * 0.4);
  };
  test::add_grid_terrain(s, kSide, 0.5, height, [](int i, int j, Polygon& p) {
    p.texture = (i + j) % 5 == 0 ? -1 : 0;
    p.color = {0.6f + 0.05f * static_cast<float>(i % 8), 0.9f, 0.7f};
    p.two_sided = (i + 2 * j) % 7 != 0;  // the far sides of the ridges are drawn too
  });
  s.objects.push_back(MovingObject{"box", {{0, 0, 0}, {1, 0, 0}}, 1.0});
  const size_t first = s.polygons.size();
  test::add_box(s, {0, 0, 0}, 8.0, 0);
  for (size_t p = first; p < s.polygons.size(); ++p) s.polygons[p].object = 0;
  return s;
}

struct Rendered {
  Image image;
  uint64_t culled = 0;
  uint64_t hidden = 0;  // polygons seen from behind, left out as hidden
  uint64_t most_in_a_pass = 0;
};

Rendered render(const Scene& scene, const SceneIndex& index, const Camera& camera, bool occlusion,
                int threads, double accuracy, int32_t w, int32_t h, uint64_t pass_cap = 0) {
  setenv("ZELNARY_RENDER_THREADS", std::to_string(threads).c_str(), 1);
  CpuBackend backend;
  backend.set_occlusion_culling(occlusion);
  if (pass_cap > 0) backend.set_pass_polygon_cap(pass_cap);
  backend.acquire_offscreen(w, h);
  // The box stands behind the first ridge seen from the low cameras.
  const ObjectPose pose{{700, 600, 40}, 30.0};
  Frame frame;
  find_visible(scene, index, std::span(&pose, 1),
               make_view(camera, w, h, near_plane_distance(index)), frame);
  RenderSettings settings;
  settings.perspective_accuracy = accuracy;
  backend.draw(frame, settings);
  Rendered r;
  backend.read_back(r.image);
  r.culled = backend.frame_stats().chunks_culled;
  r.hidden = backend.frame_stats().polygons_hidden;
  r.most_in_a_pass = backend.frame_stats().most_in_a_pass;
  backend.release();
  unsetenv("ZELNARY_RENDER_THREADS");
  return r;
}

TEST(OcclusionCulling, SkipsHiddenChunksAndChangesNoPixel) {
  const Scene scene = ridges();
  SceneIndex index;
  build_scene_index(scene, index);
  // Low between the ridges (most of the land hidden), high above them, at ground level
  // through the near plane, looking up at the sky over a ridge, and from far outside.
  std::vector<Camera> cameras = {test::look_at({100, 100, 30}, {1100, 700, 0}),
                                 test::look_at({600, 50, 80}, {600, 1200, 0}, 80.0),
                                 test::look_at({-200, 600, 400}, {800, 600, 0}),
                                 test::look_at({300, 300, 5}, {1000, 900, 60}, 100.0),
                                 test::look_at({50, 1150, 60}, {1200, 0, 100}, 30.0)};
  // And from a spread of places just above the ground, in every direction.
  uint32_t seed = 12345;
  auto next = [&seed] {
    seed = seed * 1664525u + 1013904223u;
    return static_cast<double>(seed >> 8) / static_cast<double>(1u << 24);
  };
  for (int k = 0; k < 8; ++k) {
    const Vec3 eye{next() * 1200.0, next() * 1200.0, 70.0 + next() * 40.0};
    const double a = next() * 6.283;
    cameras.push_back(test::look_at(eye, eye + Vec3{std::cos(a), std::sin(a), next() * 0.3 - 0.2},
                                    40 + 60 * next()));
  }
  uint64_t culled = 0, hidden = 0;
  int cull_cameras = 0;
  for (size_t c = 0; c < cameras.size(); ++c) {
    const int32_t w = c % 2 == 0 ? 333 : 256, h = c % 2 == 0 ? 201 : 160;  // partial blocks too
    const double accuracy = c % 3 == 0 ? 0.0 : 1000.0;
    const Rendered off = render(scene, index, cameras[c], false, 2, accuracy, w, h);
    const Rendered on = render(scene, index, cameras[c], true, 2, accuracy, w, h);
    const Rendered one = render(scene, index, cameras[c], true, 1, accuracy, w, h);
    EXPECT_EQ(off.culled, 0u);
    EXPECT_EQ(on.culled, one.culled) << "camera " << c;
    EXPECT_EQ(on.image.texels, off.image.texels) << "camera " << c;
    EXPECT_EQ(one.image.texels, off.image.texels) << "camera " << c;
    // Drawn in passes of a few chunks each, as a view of millions of polygons is.
    const Rendered small = render(scene, index, cameras[c], c % 2 == 0, 2, accuracy, w, h, 300);
    EXPECT_EQ(small.image.texels, off.image.texels) << "camera " << c;
    EXPECT_LE(small.most_in_a_pass, 300u + 2 * kPolygonsPerChunk) << "camera " << c;
    culled += on.culled;
    hidden += on.hidden;
    cull_cameras += on.culled > 0 ? 1 : 0;
  }
  EXPECT_GE(cull_cameras, 4);
  EXPECT_GT(culled, 100u) << cull_cameras;
  EXPECT_GT(hidden, 10000u);  // far sides of ridges left out
}

// Far sides at their levels of detail: rolling two-sided land of one colour (which simplifies),
// seen across and from far off, where distant chunks and blocks of them are drawn simplified.
TEST(OcclusionCulling, FarSidesOfSimplifiedLandChangeNoPixel) {
  Scene scene;
  scene.background = {1.0f, 0.0f, 1.0f};
  scene.lighting.sun_direction = {-0.5, -0.3, 1.0};
  test::add_grid_terrain(
      scene, 160, 0.25, [](int i, int j) { return 90.0 * std::sin(i * 0.13) * std::cos(j * 0.09); },
      [](int, int, Polygon& p) {
        p.texture = -1;
        p.two_sided = true;
      });
  SceneIndex index;
  build_scene_index(scene, index);
  ASSERT_FALSE(index.lod_polygons.empty());
  uint64_t hidden = 0;
  for (const Camera& cam : {test::look_at({-100, 800, 120}, {1600, 800, 0}, 60.0),
                            test::look_at({-2500, 800, 1500}, {800, 800, 0}, 40.0),
                            test::look_at({1700, -300, 90}, {0, 1200, 0}, 70.0)}) {
    const Rendered off = render(scene, index, cam, false, 2, 0.0, 320, 240);
    const Rendered on = render(scene, index, cam, true, 2, 0.0, 320, 240);
    EXPECT_EQ(on.image.texels, off.image.texels);
    hidden += on.hidden;
  }
  EXPECT_GT(hidden, 0u);
}

// A view where nothing hides anything (from far above) pauses the culling for a few frames;
// a view between the ridges then culls again once the pause is over, and on every frame after.
TEST(OcclusionCulling, PausedAfterAViewWhereNothingHidesThenResumed) {
  const Scene scene = ridges();
  SceneIndex index;
  build_scene_index(scene, index);
  constexpr int32_t kW = 256, kH = 160;
  CpuBackend backend;
  backend.set_occlusion_culling(true);
  backend.acquire_offscreen(kW, kH);
  auto draw = [&](const Camera& camera) {
    Frame frame;
    find_visible(scene, index, {}, make_view(camera, kW, kH, near_plane_distance(index)), frame);
    backend.draw(frame, RenderSettings{});
    return backend.frame_stats().chunks_culled;
  };
  const Camera above = test::look_at({600, 600, 3000}, {610, 600, 0}, 80.0);
  const Camera between = test::look_at({100, 100, 30}, {1100, 700, 0});
  ASSERT_EQ(draw(above), 0u);
  std::vector<uint64_t> culled;
  for (int f = 0; f < 20; ++f) culled.push_back(draw(between));
  EXPECT_EQ(culled.front(), 0u);  // paused
  const auto resumed = std::find_if(culled.begin(), culled.end(), [](uint64_t c) { return c > 0; });
  ASSERT_NE(resumed, culled.end());
  EXPECT_LE(resumed - culled.begin(), 16);
  EXPECT_TRUE(std::all_of(resumed, culled.end(), [](uint64_t c) { return c > 0; }));
  backend.release();
}

// The box test at its limits: boxes just behind a tilted wall and peeking past its edges by
// fractions of a pixel. Whenever a box is called hidden, drawing its own faces (its nearest
// points and its outline on screen) over the wall must change no pixel.
TEST(OcclusionCulling, AHiddenBoxDrawsNothing) {
  constexpr int32_t kW = 203, kH = 150;
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  int hidden = 0, shown = 0;
  for (int trial = 0; trial < 1000; ++trial) {
    const Camera cam = test::look_at({0, 0, 0}, {100, unit(rng) * 4 - 2, unit(rng) * 4 - 2});
    const View view = make_view(cam, kW, kH, 0.1);
    // The wall: depth from 100 to 100 + tilt across it, its edges inside the picture.
    test::TestView wall{Scene{}, cam};
    const double tilt = unit(rng) * 20.0 - 10.0;
    test::add_quad(wall.scene,
                   {Vec3{100, 20, -15}, Vec3{100 + tilt, -25, -15}, Vec3{100 + tilt, -25, 10},
                    Vec3{100, 20, 10}},
                   {});
    SceneIndex wall_index;
    build_scene_index(wall.scene, wall_index);
    Frame frame;
    find_visible(wall.scene, wall_index, {}, view, frame);
    DrawList list;
    emit_frame(frame, list);
    Framebuffer fb;
    fb.resize(kW, kH);
    rasterize_fast(list, 1000.0, 1, fb);
    CoarseDepth coarse;
    coarse.reset(kW, kH);
    coarse.update(fb, {0, 0, kW, kH});

    // A box whose near face is a little behind the wall or a little in front, over its edge.
    const double size = 0.2 + unit(rng) * 4.0, behind = 1.0 + unit(rng) * 0.06 - 0.01;
    // Astride one of the wall's edges, by up to 3 pixels either way (a unit is 2 pixels).
    const double edge = unit(rng), off = unit(rng) * 3 - 1.5, across = unit(rng);
    double y = 18 - size - across * 38, z = 8 - size - across * 18;
    if (edge < 0.25)
      y = 20 - size + off;
    else if (edge < 0.5)
      y = -25 + off;
    else if (edge < 0.75)
      z = 10 - size + off;
    else
      z = -15 + off;
    auto wall_x = [&](double at) { return 100 + tilt * std::clamp((20.0 - at) / 45.0, 0.0, 1.0); };
    const Vec3 lo{std::max(wall_x(y), wall_x(y + size)) * behind, y, z};
    const Vec3 hi = lo + Vec3{size, size, size};
    if (!coarse.hides(view, lo, hi)) {
      ++shown;
      continue;
    }
    ++hidden;
    test::TestView box{Scene{}, cam};
    test::add_box(box.scene, (lo + hi) * 0.5, size * 0.5, -1);
    for (Polygon& p : box.scene.polygons) p.two_sided = true;  // the far faces too
    SceneIndex box_index;
    build_scene_index(box.scene, box_index);
    find_visible(box.scene, box_index, {}, view, frame);
    emit_frame(frame, list);
    Framebuffer over = fb;
    for (const DrawPolygon& p : list.polygons)
      rasterize_polygon(list, p, 1, span_loops(preferred_span_isa()), {0, 0, kW, kH}, over);
    ASSERT_EQ(over.color, fb.color) << "trial " << trial;
    ASSERT_EQ(over.depth, fb.depth) << "trial " << trial;
  }
  EXPECT_GT(hidden, 50);
  EXPECT_GT(shown, 200);
}

}  // namespace
}  // namespace znr

namespace znr {
namespace {

// The back end emits each batch straight into a thread's bins; that must hold what emitting
// it into a list and binning the list holds: the same polygons, batches, vertices and tiles.
TEST(TileBins, EmittingIntoTheBinsBinsWhatAListWouldHold) {
  const Scene scene = ridges();
  SceneIndex index;
  build_scene_index(scene, index);
  constexpr int32_t kW = 301, kH = 170;
  const TileGrid grid(kW, kH);
  const ObjectPose pose{{700, 600, 40}, 30.0};
  // Across the ridges, and at ground level with the near plane cutting the land.
  for (const Camera& camera : {test::look_at({100, 100, 30}, {1100, 700, 0}),
                               test::look_at({300, 300, 5}, {1000, 900, 60})}) {
    Frame frame;
    find_visible(scene, index, std::span(&pose, 1),
                 make_view(camera, kW, kH, near_plane_distance(index)), frame);
    ASSERT_GT(frame.chunks.size(), 10u);
    ASSERT_EQ(frame.objects.size(), 1u);
    TileBins direct, copied;
    direct.reset(grid);
    copied.reset(grid);
    DrawList list;
    uint32_t batch = 0;
    for (size_t a = 0; a < frame.chunks.size(); a += 3, ++batch) {
      const size_t b = std::min(a + 3, frame.chunks.size());
      emit_range_binned(frame, a, b, 0, 0, batch, grid, direct);
      emit_range(frame, a, b, 0, 0, list);
      bin_list(list, batch, grid, copied);
    }
    emit_range_binned(frame, 0, 0, 0, 1, batch, grid, direct);
    emit_range(frame, 0, 0, 0, 1, list);
    bin_list(list, batch, grid, copied);

    EXPECT_EQ(direct.tiles, copied.tiles);
    ASSERT_EQ(direct.all.polygons.size(), copied.all.polygons.size());
    ASSERT_EQ(direct.all.vertices.size(), copied.all.vertices.size());
    for (size_t p = 0; p < direct.all.polygons.size(); ++p) {
      const DrawPolygon &d = direct.all.polygons[p], &c = copied.all.polygons[p];
      EXPECT_EQ(d.batch, c.batch) << p;
      EXPECT_EQ(d.first, c.first) << p;
      EXPECT_EQ(d.count, c.count) << p;
      EXPECT_EQ(d.texture, c.texture) << p;
    }
  }
}

// Half-transparent panes over the ridges, spread through the chunks: each is drawn once, over
// the finished land, whichever thread emits it and however many passes the frame takes.
TEST(OcclusionCulling, BlendedPolygonsAreDrawnOnceWhateverTheThreads) {
  Scene scene = ridges();
  Material glass;
  glass.alpha = 0.5f;
  glass.alpha_mode = AlphaMode::Blend;
  scene.materials = {Material{}, glass};
  for (int k = 0; k < 40; ++k) {
    const double x = 60.0 + (k % 8) * 140.0, y = 60.0 + (k / 8) * 220.0, z = 90.0;
    test::QuadOptions o;
    o.color = {0.9f, 0.2f, 0.1f};
    test::add_quad(scene, {Vec3{x, y, z}, {x + 40, y, z}, {x + 40, y + 40, z}, {x, y + 40, z}}, o);
    scene.polygons.back().material = 1;
  }
  SceneIndex index;
  build_scene_index(scene, index);
  const Camera camera = test::look_at({-200, 600, 400}, {800, 600, 0});
  const Rendered one = render(scene, index, camera, true, 1, 0.0, 256, 160);
  const Rendered three = render(scene, index, camera, true, 3, 0.0, 256, 160);
  const Rendered passes = render(scene, index, camera, true, 2, 0.0, 256, 160, 300);
  EXPECT_EQ(three.image.texels, one.image.texels);
  EXPECT_EQ(passes.image.texels, one.image.texels);
}

// How many render threads a frame is shared between.
size_t threads_used() {
  CpuBackend backend;
  backend.acquire_offscreen(8, 8);
  test::TestView v = test::cube_view();
  SceneIndex index;
  build_scene_index(v.scene, index);
  Frame frame;
  find_visible(v.scene, index, {}, make_view(v.camera, 8, 8, near_plane_distance(index)), frame);
  backend.draw(frame, RenderSettings{});
  return backend.frame_stats().busy_ms.size();
}

// By default as many threads as the cores the process may run on, not the machine's count;
// the environment may ask for any count up to 64, past the 16 the pool once stopped at.
TEST(RenderThreads, FollowTheProcessesCoresUnlessAskedForAnotherCount) {
  cpu_set_t all, one;
  ASSERT_EQ(sched_getaffinity(0, sizeof all, &all), 0);
  CPU_ZERO(&one);
  for (int c = 0; c < CPU_SETSIZE; ++c) {
    if (CPU_ISSET(c, &all)) {
      CPU_SET(c, &one);
      break;
    }
  }
  ASSERT_EQ(sched_setaffinity(0, sizeof one, &one), 0);
  const size_t on_one_core = threads_used();
  setenv("ZELNARY_RENDER_THREADS", "40", 1);
  const size_t asked = threads_used();
  unsetenv("ZELNARY_RENDER_THREADS");
  ASSERT_EQ(sched_setaffinity(0, sizeof all, &all), 0);
  EXPECT_EQ(on_one_core, 1u);
  EXPECT_EQ(asked, 40u);
  EXPECT_EQ(threads_used(), static_cast<size_t>(CPU_COUNT(&all)));
}

}  // namespace
}  // namespace znr
