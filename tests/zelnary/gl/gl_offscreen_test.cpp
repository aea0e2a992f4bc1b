// The OpenGL back end offscreen (EGL with no window system): the same pictures as the CPU
// back end, its buffers laid out per chunk and group, no GL objects left behind, and the
// fall back to the CPU when GL is turned off.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <set>

#include "bench/big_world.h"
#include "gl_compare.h"
#include "test_scenes.h"
#include "zelnary/api/backends.h"
#include "zelnary/api/engine_core.h"
#include "zelnary/cpu/cpu_backend.h"
#include "zelnary/gl/gl_backend_probe.h"
#include "zelnary/gl/scene_layout.h"
#include "zelnary/render/front_end.h"
#include "zelnary/render/renderer.h"

namespace znr {
namespace {

Image render(Renderer& r, const Scene& scene, const Camera& camera, double accuracy, bool gl,
             int32_t w = 200, int32_t h = 150) {
  RenderSettings settings;
  settings.perspective_accuracy = accuracy;
  settings.use_accelerator = gl;
  Image out;
  r.render_to_image(scene, {}, camera, settings, w, h, out);
  return out;
}

// At every accuracy, Low's affine mapping included: polygons clipped at the screen's sides must
// be cut and fanned the same way on both back ends.
TEST(GlImages, TheTownMatchesTheCpuFromEveryCameraWithTheCarsMovingAtEveryAccuracy) {
  const std::string town = std::string(KWELLOR_SOURCE_DIR) + "/worlds/town/town.wld";
  ASSERT_TRUE(std::filesystem::exists(town));
  double now = 0.0;
  EngineCore core([&now] { return now; });
  ASSERT_EQ(core.load_world(town, std::string(KWELLOR_SOURCE_DIR) + "/worlds/town/bitmaps"), 0);
  int cameras = 0;
  for (int32_t cam = core.first_camera(); cam != 0; cam = core.next_camera(cam), ++cameras) {
    for (const auto& [t, accuracy] :
         {std::pair{0.0, 1000.0}, {3.3, 1000.0}, {0.0, 0.0}, {3.3, 0.0}}) {
      now = t;
      core.set_perspective_correction_accuracy(accuracy);
      Image gl, cpu;
      core.use_accelerator(true);
      ASSERT_TRUE(core.render_to_image(cam, 320, 240, gl));
      EXPECT_EQ(core.renderer_name().rfind("OpenGL", 0), 0u) << core.renderer_name();
      core.use_accelerator(false);
      ASSERT_TRUE(core.render_to_image(cam, 320, 240, cpu));
      EXPECT_GE(test::gl_matching(gl, cpu), test::kGlMatchingFraction)
          << "camera " << cam << " at " << t << " s, accuracy " << accuracy;
    }
  }
  EXPECT_GE(cameras, 2);
}

TEST(GlImages, AGeneratedWorldMatchesTheCpu) {
  const Scene world = bench::make_big_world(20000);
  Camera camera;
  const CameraDef& d = world.cameras.front();
  camera.location = d.location;
  camera.forward = d.direction;
  camera.zoom = d.zoom;
  Renderer r(engine_backends());
  for (const double accuracy : {1000.0, 3.0}) {
    const Image gl = render(r, world, camera, accuracy, true, 446, 331);
    EXPECT_GE(test::gl_matching(gl, render(r, world, camera, 1000.0, false, 446, 331)),
              test::kGlMatchingFraction)
        << accuracy;
  }
}

// Rolling one-sided terrain, 160 x 160 cells 10 units apart, in stripes of textured and
// flat-coloured triangles: most of its chunks get levels of detail. smooth: with the slope's
// normal at every vertex, so that full detail is lit per vertex and the levels flat.
Scene terrain(bool smooth = false) {
  Scene s;
  s.background = {1.0f, 0.0f, 1.0f};
  s.textures.push_back(Texture{"pattern", test::pattern_texture()});
  auto height = [](double i, double j) {
    return 40.0 * std::sin(i * 0.07) * std::cos(j * 0.05) + 8.0 * std::sin((i + j) * 0.3);
  };
  test::add_grid_terrain(s, 160, 0.25, height, [](int i, int, Polygon& p) {
    p.texture = (i / 5) % 3 == 0 ? -1 : 0;
    p.color = {0.5f, 0.8f, 0.4f};
  });
  for (const Vertex& v : smooth ? s.vertices : std::vector<Vertex>{}) {
    const double i = v.position.x / 10.0, j = v.position.y / 10.0;
    const Vec3 n = normalized(Vec3{height(i - 0.5, j) - height(i + 0.5, j),
                                   height(i, j - 0.5) - height(i, j + 0.5), 10.0});
    s.normals.push_back(
        {static_cast<float>(n.x), static_cast<float>(n.y), static_cast<float>(n.z)});
  }
  return s;
}
const Camera kAcrossTheTerrain = test::look_at({-100, 800, 120}, {1600, 800, 0}, 60.0);

Image draw_with(Backend& b, const Frame& frame, double accuracy) {
  RenderSettings settings;
  settings.perspective_accuracy = accuracy;
  Image out;
  EXPECT_EQ(b.acquire_offscreen(frame.view.width, frame.view.height), BackendStatus::ok)
      << b.failure();
  EXPECT_EQ(b.draw(frame, settings), BackendStatus::ok) << b.failure();
  b.read_back(out);
  return out;
}

// The chunks at the levels the front end chose, and the coarsest there is, the blocks of
// chunks (far from full detail: only a back end that draws the levels matches the CPU then),
// looking down (most
// chunks cross the view's edges, cut on the CPU at Low) and across the terrain, at Low and High;
// lit flat, and lit per vertex in full detail.
void check_levels_against_the_cpu(bool smooth) {
  const Scene scene = terrain(smooth);
  SceneIndex index;
  build_scene_index(scene, index, true);
  ASSERT_FALSE(index.levels.empty());
  GlBackend gl;
  CpuBackend cpu;
  for (Backend* b : {static_cast<Backend*>(&gl), static_cast<Backend*>(&cpu)})
    ASSERT_EQ(b->prepare(scene, index), BackendStatus::ok);
  for (const Camera& cam :
       {test::look_at({800, 800, 100}, {900, 820, 0}, 60.0), kAcrossTheTerrain}) {
    Frame chosen;
    find_visible(scene, index, {}, make_view(cam, 320, 240, near_plane_distance(index)), chosen);
    Frame coarsest = chosen, full;
    find_visible(scene, index, {}, chosen.view, full, false);
    coarsest.chunks.clear();
    coarsest.chunk_level.clear();
    for (size_t c = 0; c < index.chunks.size(); ++c) {
      if (index.chunks[c].parent != kNoChunk) continue;
      coarsest.chunks.push_back(static_cast<uint32_t>(c));
      coarsest.chunk_level.push_back(static_cast<uint8_t>(index.chunks[c].level_count));
    }
    for (const double accuracy : {1000.0, 0.0}) {
      for (const Frame* f : {&chosen, &coarsest}) {
        EXPECT_GE(test::gl_matching(draw_with(gl, *f, accuracy), draw_with(cpu, *f, accuracy)),
                  test::kGlMatchingFraction)
            << "accuracy " << accuracy << (f == &chosen ? ", chosen" : ", coarsest");
      }
      EXPECT_LT(
          test::gl_matching(draw_with(cpu, coarsest, accuracy), draw_with(cpu, full, accuracy)),
          0.95);
    }
  }
  gl.release();
  EXPECT_EQ(GlBackendProbe::live_objects(gl), 0);
}

TEST(GlImages, ChunksAtTheirLevelsOfDetailMatchTheCpu) {
  check_levels_against_the_cpu(false);
}

TEST(GlImages, ChunksLitPerVertexAtTheirLevelsOfDetailMatchTheCpu) {
  check_levels_against_the_cpu(true);
}

// Levels lit per vertex (here for their vertex colours) are the CPU's: the card draws those
// chunks in full detail, colours and all, and never a level's flat light; a block of such
// chunks, by its chunks in full.
TEST(GlImages, ChunksWhoseLevelsAreLitPerVertexAreDrawnInFull) {
  Scene scene = terrain(true);
  for (const Vertex& v : scene.vertices)
    scene.vertex_colors.push_back(v.position.z > 0.0 ? 0xFFFF4020u : 0xFF2040FFu);
  SceneIndex index;
  build_scene_index(scene, index, true);
  ASSERT_FALSE(index.levels.empty());
  ASSERT_TRUE(index.levels.front().shaded);
  GlBackend gl;
  CpuBackend cpu;
  for (Backend* b : {static_cast<Backend*>(&gl), static_cast<Backend*>(&cpu)})
    ASSERT_EQ(b->prepare(scene, index), BackendStatus::ok);
  Frame coarsest, full;
  find_visible(scene, index, {}, make_view(kAcrossTheTerrain, 320, 240, near_plane_distance(index)),
               full, false);
  coarsest = full;
  coarsest.chunks.clear();
  coarsest.chunk_level.clear();
  size_t blocks = 0;
  for (size_t c = 0; c < index.chunks.size(); ++c) {
    if (index.chunks[c].parent != kNoChunk) continue;
    blocks += index.chunks[c].child_count > 0 ? 1 : 0;
    coarsest.chunks.push_back(static_cast<uint32_t>(c));
    coarsest.chunk_level.push_back(static_cast<uint8_t>(index.chunks[c].level_count));
  }
  ASSERT_GT(blocks, 0u);
  EXPECT_GE(test::gl_matching(draw_with(gl, coarsest, 1000.0), draw_with(cpu, full, 1000.0)),
            test::kGlMatchingFraction);
  gl.release();
}

// Levels of detail come in between frames, after the first: the card gets them then, and draws
// what the CPU draws with them.
TEST(GlImages, LevelsThatComeInLaterAreDrawnAsOnTheCpu) {
  const Scene scene = terrain();
  Renderer r(engine_backends());
  const Image first = render(r, scene, kAcrossTheTerrain, 1000.0, true, 320, 240);
  r.finish_levels_of_detail();
  const Image gl = render(r, scene, kAcrossTheTerrain, 1000.0, true, 320, 240);
  EXPECT_EQ(r.backend_name().rfind("OpenGL", 0), 0u) << r.fallback_reason();
  EXPECT_TRUE(gl.texels != first.texels) << "the levels changed nothing";
  EXPECT_GE(test::gl_matching(gl, render(r, scene, kAcrossTheTerrain, 1000.0, false, 320, 240)),
            test::kGlMatchingFraction);
}

// Accuracy 0 maps textures linearly on screen on both back ends; any other is exact.
TEST(GlImages, LowPerspectiveLooksTheSameOnBothBackEnds) {
  test::TestView v = test::textured_quad_view();
  // Strongly slanted, wholly in view: nothing is clipped, so both draw the same two triangles.
  const Vec3 corners[] = {{7, 2, -1.5}, {14, -2, -1.5}, {14, -2, 1.5}, {7, 2, 1.5}};
  for (size_t i = 0; i < 4; ++i) v.scene.vertices[i].position = corners[i];
  Renderer r(engine_backends());
  const Image gl_affine = render(r, v.scene, v.camera, 0.0, true);
  const Image gl_exact = render(r, v.scene, v.camera, 1000.0, true);
  EXPECT_GE(test::gl_matching(gl_affine, render(r, v.scene, v.camera, 0.0, false)),
            test::kGlMatchingFraction);
  EXPECT_GE(test::gl_matching(gl_exact, render(r, v.scene, v.camera, 1000.0, false)),
            test::kGlMatchingFraction);
  EXPECT_LT(test::gl_matching(gl_affine, gl_exact), 0.95);
}

// Hand-made scenes: lit boxes (one-sided) over a two-sided textured floor, and a moving box,
// exact and affine (the floor runs under the eye: cut by the view's edges).
TEST(GlImages, CullingLightAndObjectsMatchTheCpu) {
  for (const double accuracy : {1000.0, 0.0}) {
    for (const test::TestView& v :
         {test::cube_view(), test::culling_view(), test::depth_view(true), test::ground_view()}) {
      Renderer r(engine_backends());
      EXPECT_GE(test::gl_matching(render(r, v.scene, v.camera, accuracy, true),
                                  render(r, v.scene, v.camera, accuracy, false)),
                test::kGlMatchingFraction)
          << accuracy;
    }
  }
  test::TestView v = test::cube_view();
  v.scene.objects.push_back(MovingObject{"box", {{0, 0, 0}, {1, 0, 0}}, 1.0});
  for (Polygon& p : v.scene.polygons) p.object = 0;
  const ObjectPose pose{{0.5, -1.0, 0.2}, 35.0};
  Renderer r(engine_backends());
  for (const double accuracy : {1000.0, 0.0}) {
    RenderSettings settings;
    settings.perspective_accuracy = accuracy;
    Image gl, cpu;
    settings.use_accelerator = true;
    r.render_to_image(v.scene, std::span(&pose, 1), v.camera, settings, 200, 150, gl);
    settings.use_accelerator = false;
    r.render_to_image(v.scene, std::span(&pose, 1), v.camera, settings, 200, 150, cpu);
    EXPECT_GE(test::gl_matching(gl, cpu), test::kGlMatchingFraction) << accuracy;
    EXPECT_NE(cpu.texels, render(r, v.scene, v.camera, accuracy, false).texels);  // it did move
  }
}

// Coplanar polygons with the same corners have the same depth at every pixel: which one shows
// is the back ends' rule for equal depths, and both must keep the same one.
TEST(GlImages, CoplanarPolygonsShowTheSameOneOnBothBackEnds) {
  test::TestView v{Scene{}, test::look_at({0, 0, 0}, {1, 0, 0})};
  const std::array<Vec3, 4> wall{Vec3{8, 6, -5}, Vec3{8, -6, -5}, Vec3{8, -6, 5}, Vec3{8, 6, 5}};
  test::QuadOptions red, green;
  red.color = {1.0f, 0.1f, 0.1f};
  green.color = {0.1f, 1.0f, 0.1f};
  add_quad(v.scene, wall, red);
  add_quad(v.scene, wall, green);
  Renderer r(engine_backends());
  const Image gl = render(r, v.scene, v.camera, 1000.0, true);
  const Image cpu = render(r, v.scene, v.camera, 1000.0, false);
  ASSERT_EQ(cpu.texels.size(), gl.texels.size());
  EXPECT_NE(cpu.at(100, 75), 0xFF000000u);  // the wall fills the middle
  EXPECT_GE(test::gl_matching(gl, cpu), test::kGlMatchingFraction);
}

TEST(GlBackend, ANewSceneFreesTheOldOnesBuffers) {
  const test::TestView v = test::cube_view();
  SceneIndex index;
  build_scene_index(v.scene, index);
  Frame frame;
  find_visible(v.scene, index, {}, make_view(v.camera, 64, 48, near_plane_distance(index)), frame);
  GlBackend gl;
  ASSERT_EQ(gl.acquire_offscreen(64, 48), BackendStatus::ok) << gl.failure();
  int32_t live = 0;
  for (int i = 0; i < 30; ++i) {
    ASSERT_EQ(gl.prepare(v.scene, index), BackendStatus::ok);
    ASSERT_EQ(gl.draw(frame, {}), BackendStatus::ok) << gl.failure();
    if (i == 0) live = GlBackendProbe::live_objects(gl);
    ASSERT_EQ(GlBackendProbe::live_objects(gl), live);
  }
  EXPECT_GT(live, 0);
  gl.release();
  EXPECT_EQ(GlBackendProbe::live_objects(gl), 0);
}

// Where the only GL draws on the processor, the card mode draws with the engine's own CPU back
// end, which is faster, unless ZELNARY_SOFTWARE_GL asks for the software GL.
TEST(GlFallback, ASoftwareGlIsPassedOverUnlessAskedFor) {
  const test::TestView v = test::cube_view();
  setenv("ZELNARY_SOFTWARE_GL", "1", 1);
  Renderer probe(engine_backends());
  render(probe, v.scene, v.camera, 3.0, true);
  const std::string name = probe.backend_name();
  if (name.rfind("OpenGL", 0) != 0) GTEST_SKIP() << "no GL here: " << probe.fallback_reason();
  if (name.find("llvmpipe") == std::string::npos && name.find("softpipe") == std::string::npos)
    GTEST_SKIP() << "the GL here is not a software one: " << name;
  unsetenv("ZELNARY_SOFTWARE_GL");
  Renderer r(engine_backends());
  const Image cpu = render(r, v.scene, v.camera, 3.0, false);
  testing::internal::CaptureStderr();
  const Image card = render(r, v.scene, v.camera, 3.0, true);
  const std::string warning = testing::internal::GetCapturedStderr();
  setenv("ZELNARY_SOFTWARE_GL", "1", 1);
  EXPECT_EQ(card.texels, cpu.texels);
  EXPECT_EQ(r.backend_name(), "CPU");
  EXPECT_NE(r.fallback_reason().find("software renderer"), std::string::npos);
  EXPECT_NE(warning.find("software renderer"), std::string::npos) << warning;
}

TEST(GlFallback, WithGlTurnedOffTheCpuDrawsAndOneWarningSaysWhy) {
  const test::TestView v = test::cube_view();
  Renderer r(engine_backends());
  const Image cpu = render(r, v.scene, v.camera, 3.0, false);
  setenv("ZELNARY_NO_GL", "1", 1);
  testing::internal::CaptureStderr();
  for (int i = 0; i < 3; ++i) EXPECT_EQ(render(r, v.scene, v.camera, 3.0, true).texels, cpu.texels);
  const std::string warnings = testing::internal::GetCapturedStderr();
  unsetenv("ZELNARY_NO_GL");
  EXPECT_EQ(r.backend_name(), "CPU");
  EXPECT_NE(r.fallback_reason().find("ZELNARY_NO_GL"), std::string::npos);
  EXPECT_EQ(warnings.find("ZELNARY_NO_GL"), warnings.rfind("ZELNARY_NO_GL")) << warnings;
  EXPECT_NE(warnings.find("ZELNARY_NO_GL"), std::string::npos) << warnings;
  // The engine closing its world lets the card be tried again.
  r.release();
  render(r, v.scene, v.camera, 3.0, true);
  EXPECT_EQ(r.backend_name().rfind("OpenGL", 0), 0u);
  EXPECT_TRUE(r.fallback_reason().empty());
}

// Every static triangle once, in a range of its own group inside its own chunk; objects'
// vertices know their polygon.
TEST(GlLayout, TrianglesAreGroupedByTextureAndSidednessInsideEachChunk) {
  Scene s;
  s.textures.push_back({"a", test::pattern_texture(), false});
  s.textures.push_back({"broken", Image{4, 4, {}}, false});  // cannot be sampled: flat
  s.textures.push_back({"b", test::pattern_texture(), false});
  test::QuadOptions o;
  for (int j = 0; j < 40; ++j) {
    for (int i = 0; i < 40; ++i) {
      o.texture = (i + j) % 4 - 1;
      o.two_sided = (i * 7 + j) % 3 != 0;
      const double x = i * 10.0, y = j * 10.0;
      test::add_quad(
          s, {Vec3{x, y, 0}, Vec3{x + 8, y, 0}, Vec3{x + 8, y + 8, 0}, Vec3{x, y + 8, 0}}, o);
    }
  }
  s.objects.push_back(MovingObject{"cart", {{0, 0, 0}}, 1.0});
  test::add_box(s, {0, 0, 0}, 1.0, 0);
  for (size_t p = s.polygons.size() - 6; p < s.polygons.size(); ++p) s.polygons[p].object = 0;
  SceneIndex index;
  build_scene_index(s, index);
  ASSERT_GT(index.chunks.size(), 4u);
  const std::vector<bool> usable = {true, false, true};
  gl::SceneLayout layout;
  gl::lay_out_scene(s, index, usable, layout);

  auto group_of = [&](const Polygon& p) {
    const int32_t t = p.texture >= 0 && usable[static_cast<size_t>(p.texture)] ? p.texture : -1;
    return static_cast<uint32_t>((t + 1) * 2 + (p.two_sided ? 0 : 1));
  };
  ASSERT_EQ(layout.chunk_ranges.size(), index.chunks.size() + 1);
  size_t triangles = 0;
  for (size_t c = 0; c < index.chunks.size(); ++c) {
    std::map<uint32_t, uint32_t> expected, found;  // group -> indices
    for (uint32_t k = index.chunks[c].begin; k < index.chunks[c].end; ++k) {
      const Polygon& p = s.polygons[index.order[k]];
      expected[group_of(p)] += 3 * (p.vertex_count - 2);
    }
    std::set<uint32_t> seen;
    for (uint32_t r = layout.chunk_ranges[c]; r < layout.chunk_ranges[c + 1]; ++r) {
      const gl::DrawRange& d = layout.ranges[r];
      EXPECT_TRUE(seen.insert(d.group).second) << "group split in chunk " << c;
      found[d.group] += d.index_count;
      triangles += d.index_count / 3;
    }
    EXPECT_EQ(found, expected) << "chunk " << c;
  }
  EXPECT_EQ(triangles, 40u * 40u * 2u);
  ASSERT_EQ(layout.object_vertex_start.size(), 2u);
  EXPECT_EQ(layout.object_vertex_start[1], 24u);
  const ObjectGroup& g = index.objects[0];
  for (uint32_t v = 0; v < 24; ++v) {
    const Polygon& p = s.polygons[index.order[g.begin + layout.object_vertex_polygon[v]]];
    bool belongs = false;
    for (const Vertex& sv : s.vertices_of(p)) {
      belongs = belongs || (static_cast<float>(sv.position.x) == layout.object_vertices[v].x &&
                            static_cast<float>(sv.position.y) == layout.object_vertices[v].y &&
                            static_cast<float>(sv.position.z) == layout.object_vertices[v].z);
    }
    EXPECT_TRUE(belongs) << v;
  }
}

}  // namespace
}  // namespace znr
