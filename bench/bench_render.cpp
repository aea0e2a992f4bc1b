// Milliseconds per frame of both back ends, offscreen and without pacing, for the sample
// town and a generated 1M-triangle terrain: two cameras each (an overview and one low in the
// scene), 446x331 (the viewer's default picture) and 1920x1080, the three quality levels, on
// 1 and 2 render threads. The 1-against-2-thread pairs show whether the threads still scale
// (false sharing between them shows up as no gain). Counters: each thread's busy time per
// frame against their mean (`imbalance`: the largest difference, as a fraction of the mean;
// 0 = even), the polygons that reach the rasterizer and the chunks skipped as hidden behind
// nearer ones (`culled`), the polygons seen from behind left out as hidden by the rest
// (`hidden`), the chunks and objects in view (`in_view`) and those drawn
// simplified (`simplified`, of `levels` built; `blocks` of them are blocks of chunks drawn as
// one); the 2-thread cases run again without that culling under `/no_occlusion` and without levels
// of detail for distant chunks under `/no_lod`
// (--benchmark_enable_random_interleaving=true interleaves them). `index_ms` is the time to
// build the scene index (levels of detail included) and `lod_MB` the levels' memory (with the
// corner tables). The CPU column of the CPU back end's rows is the whole process's CPU time
// (all render threads), steadier than the wall clock on a shared machine. The same cases run
// through OpenGL (offscreen through EGL, no window system needed) under `/gl`; the GL renderer
// string is in the context, and LP_NUM_THREADS sets the threads of Mesa's software GL where that is
// what runs; with ZELNARY_NO_GL set the GL rows are skipped. The town is looked for beside the
// sources (or at $ZELNARY_TOWN_WORLD) and skipped if absent. `big4m` rows draw the same terrain at
// 4M triangles from its overview camera. `skinned_30k` rows draw a skinned character of 30,000
// vertices; their `skin_ms` counter is the posing of its skin on the render threads, each frame.
// `instanced_255` rows draw one 65,536-triangle mesh placed 255 times (16.7M triangles in all), at
// its levels of detail and, under `/no_lod`, in full.
// --benchmark_filter picks cases, e.g. 'big/.*/1920x1080/Medium'.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <numbers>
#include <string>

#include "big_world.h"
#include "zelnary/api/backends.h"
#include "zelnary/core/cores.h"
#include "zelnary/cpu/cpu_backend.h"
#include "zelnary/render/front_end.h"
#include "zelnary/render/renderer.h"
#include "zelnary/render/scene_index.h"
#include "zelnary/render/view.h"
#include "zelnary/simulation/keyframes.h"
#include "zelnary/simulation/skinning.h"
#include "zelnary/world/load_world.h"

namespace {

struct Loaded {
  znr::Scene scene;
  znr::Camera cameras[2];  // overview, low in the scene
  std::vector<znr::ObjectPose> poses;
  std::string error;
};

znr::Camera camera_from(const znr::CameraDef& d) {
  znr::Camera c;
  c.location = d.location;
  c.forward = znr::normalized(d.direction);
  const znr::Vec3 right = znr::normalized(znr::cross(c.forward, znr::Vec3{0, 0, 1}));
  c.up = length(right) > 0 ? znr::cross(right, c.forward) : znr::Vec3{1, 0, 0};
  c.zoom = d.zoom;
  return c;
}

const Loaded& town() {
  static const Loaded loaded = [] {
    Loaded l;
    const char* env = std::getenv("ZELNARY_TOWN_WORLD");
    const std::filesystem::path path =
        env != nullptr ? std::filesystem::path(env)
                       : std::filesystem::path(__FILE__).parent_path() / "../worlds/town/town.wld";
    if (!znr::load_world(path.string(), "", l.scene, l.error)) return l;
    // The first two cameras that stay put: from above, then across the town at street level
    // (the following cameras need the simulation to be placed).
    int found = 0;
    for (const znr::CameraDef& d : l.scene.cameras) {
      if ((d.chase == znr::ChaseType::None || d.chase == znr::ChaseType::Fixed) && found < 2)
        l.cameras[found++] = camera_from(d);
    }
    if (found == 1) l.cameras[1] = l.cameras[0];
    for (const znr::MovingObject& o : l.scene.objects) {
      l.poses.push_back({o.path.empty() ? znr::Vec3{} : o.path.front(), 0.0});
    }
    return l;
  }();
  return loaded;
}

const Loaded& big_world() {
  static const Loaded loaded = [] {
    constexpr size_t kTriangles = 1'000'000;
    Loaded l;
    l.scene = znr::bench::make_big_world(kTriangles);
    l.cameras[0] = camera_from(znr::bench::big_world_camera(kTriangles));
    // 60 units above the hills a third of the way in, looking along the valleys.
    const size_t side = znr::bench::big_world_cells_per_side(kTriangles);
    const size_t i = side / 3, j = side / 2;
    znr::CameraDef low;
    low.location = {static_cast<double>(i) * znr::bench::kBigWorldSpacing,
                    static_cast<double>(j) * znr::bench::kBigWorldSpacing,
                    znr::bench::big_world_height(i, j) + 60.0};
    low.direction = znr::normalized(znr::Vec3{1.0, 0.3, -0.05});
    low.zoom = 60.0;
    l.cameras[1] = camera_from(low);
    return l;
  }();
  return loaded;
}

// The same terrain four times as large (4M triangles), seen from its own overview camera.
const Loaded& big_world_4m() {
  static const Loaded loaded = [] {
    constexpr size_t kTriangles = 4'000'000;
    Loaded l;
    l.scene = znr::bench::make_big_world(kTriangles);
    l.cameras[0] = l.cameras[1] = camera_from(znr::bench::big_world_camera(kTriangles));
    return l;
  }();
  return loaded;
}

// The 1M-triangle world as an imported model would be: smooth normals from the hills' slopes,
// colours by height and a faint highlight on every polygon.
const Loaded& lit_big_world() {
  static const Loaded loaded = [] {
    Loaded l = big_world();
    znr::Scene& s = l.scene;
    s.materials = {znr::Material{}, znr::Material{}};
    s.materials[1].specular = {0.3f, 0.3f, 0.3f};
    s.materials[1].shininess = 20.0f;
    for (znr::Polygon& p : s.polygons) p.material = 1;
    s.normals.reserve(s.vertices.size());
    s.vertex_colors.reserve(s.vertices.size());
    for (const znr::Vertex& v : s.vertices) {
      const double i = v.position.x / znr::bench::kBigWorldSpacing;
      const double j = v.position.y / znr::bench::kBigWorldSpacing;
      auto h = [](double a, double b) {
        return znr::bench::big_world_height(static_cast<size_t>(std::max(a, 0.0)),
                                            static_cast<size_t>(std::max(b, 0.0)));
      };
      const double dx = (h(i + 1, j) - h(i - 1, j)) / (2 * znr::bench::kBigWorldSpacing);
      const double dy = (h(i, j + 1) - h(i, j - 1)) / (2 * znr::bench::kBigWorldSpacing);
      const znr::Vec3 n = znr::normalized(znr::Vec3{-dx, -dy, 1.0});
      s.normals.push_back(
          {static_cast<float>(n.x), static_cast<float>(n.y), static_cast<float>(n.z)});
      const auto t =
          static_cast<uint32_t>(std::clamp(v.position.z / 420.0 * 0.5 + 0.5, 0.0, 1.0) * 255);
      s.vertex_colors.push_back(0xFF000000u | (t << 16) | (200u << 8) | (255u - t));
    }
    return l;
  }();
  return loaded;
}

// The 1M-triangle world under a half-transparent lake level with the valleys.
const Loaded& lake_big_world() {
  static const Loaded loaded = [] {
    Loaded l = big_world();
    znr::Scene& s = l.scene;
    znr::Material water;
    water.alpha = 0.5f;
    water.alpha_mode = znr::AlphaMode::Blend;
    s.materials = {znr::Material{}, water};
    const double extent = static_cast<double>(znr::bench::big_world_cells_per_side(1'000'000)) *
                          znr::bench::kBigWorldSpacing;
    znr::Polygon p;
    p.first_vertex = static_cast<uint32_t>(s.vertices.size());
    p.vertex_count = 4;
    p.color = {0.2f, 0.4f, 0.8f};
    p.material = 1;
    for (const auto& [x, y] : {std::pair{0.0, 0.0}, {extent, 0.0}, {extent, extent}, {0.0, extent}})
      s.vertices.push_back({{x, y, -50.0}, 0.0f, 0.0f});
    s.polygons.push_back(p);
    return l;
  }();
  return loaded;
}

// A skinned character of about 30,000 vertices (10,000 triangles): a tube of 100 rings of 50
// sides, 2 high, on a chain of 25 bones, each vertex on the two bones nearest its height,
// swaying 4 degrees a joint; framed by both cameras from 3 away.
const Loaded& skinned_character() {
  static const Loaded loaded = [] {
    Loaded l;
    znr::Scene& s = l.scene;
    constexpr int kBones = 25, kRings = 100, kSides = 50;
    for (int b = 0; b < kBones; ++b) {
      znr::MovingObject o;
      o.name = "bone" + std::to_string(b);
      o.keyed = true;
      o.parent = b - 1;
      if (b > 0) o.base.m[2][3] = 2.0 / kBones;
      const double half = 2.0 * std::numbers::pi / 180.0;  // half of 4 degrees
      o.rest.rotation = {std::sin(half), 0.0, 0.0, std::cos(half)};
      s.objects.push_back(o);
    }
    znr::MovingObject body;
    body.name = "body";
    body.keyed = true;
    body.parent = 0;
    s.objects.push_back(body);
    znr::Skin skin;
    skin.object = kBones;
    for (int b = 0; b < kBones; ++b) {
      znr::Bone bone{b, znr::Affine{}};
      bone.inverse_bind.m[2][3] = -2.0 * b / kBones;
      skin.bones.push_back(bone);
    }
    static constexpr int kHalves[2][3] = {{0, 1, 2}, {0, 2, 3}};  // a quad's two triangles
    auto ring = [&](int r, int k) {
      const double a = 2.0 * std::numbers::pi * k / kSides, z = 2.0 * r / kRings;
      return znr::Vertex{{0.2 * std::cos(a), 0.2 * std::sin(a), z}, 0.0f, 0.0f};
    };
    auto influence = [&](double z) {
      const double at = std::clamp(z * kBones / 2.0, 0.0, kBones - 1.0);
      znr::SkinInfluence f;
      f.bone[0] = static_cast<uint16_t>(at);
      f.bone[1] = static_cast<uint16_t>(std::min<int>(kBones - 1, f.bone[0] + 1));
      f.weight[1] = static_cast<float>(at - f.bone[0]);
      f.weight[0] = 1.0f - f.weight[1];
      return f;
    };
    for (int r = 0; r < kRings; ++r)
      for (int k = 0; k < kSides; ++k) {
        const znr::Vertex q[4] = {ring(r, k), ring(r, k + 1), ring(r + 1, k + 1), ring(r + 1, k)};
        for (const auto& t : kHalves) {
          znr::Polygon p;
          p.first_vertex = static_cast<uint32_t>(s.vertices.size());
          p.vertex_count = 3;
          p.object = kBones;
          p.color = {0.8f, 0.6f, 0.4f};
          for (int i = 0; i < 3; ++i) {
            s.vertices.push_back(q[t[i]]);
            skin.influences.push_back(influence(q[t[i]].position.z));
          }
          s.polygons.push_back(p);
        }
      }
    skin.vertex_count = static_cast<uint32_t>(s.vertices.size());
    znr::bind_bounds(s.vertices, skin);
    s.skins.push_back(std::move(skin));
    l.poses.resize(s.objects.size());
    znr::NodeAnimator(s, 0).pose(0.0, l.poses);
    for (znr::Camera& c : l.cameras) {
      c.location = {3.0, 0.0, 1.0};
      c.forward = {-1.0, 0.0, 0.0};
      c.zoom = 60.0;
    }
    return l;
  }();
  return loaded;
}

// One mesh of 65,536 triangles (a rolling 128 x 256 patch, 1,280 x 2,560 units) placed 255
// times on a grid of 15 x 17, every third turned a quarter about z and every fifth half as large
// again: the overview holds them all, the low camera stands among them.
const Loaded& instanced_255() {
  static const Loaded loaded = [] {
    Loaded l;
    znr::Scene& s = l.scene;
    znr::MovingObject mesh;
    mesh.name = "patch";
    mesh.shared = true;
    s.objects.push_back(mesh);
    constexpr int kW = 128, kH = 256;
    auto at = [](int i, int j) {
      return znr::Vertex{{i * 10.0, j * 10.0, 30.0 * std::sin(i * 0.15) * std::cos(j * 0.1)},
                         static_cast<float>(i) * 0.1f,
                         static_cast<float>(j) * 0.1f};
    };
    for (int j = 0; j < kH; ++j)
      for (int i = 0; i < kW; ++i) {
        const znr::Vertex q[4] = {at(i, j), at(i + 1, j), at(i + 1, j + 1), at(i, j + 1)};
        for (const std::array<int, 3>& t : {std::array{0, 1, 2}, std::array{0, 2, 3}}) {
          znr::Polygon p;
          p.first_vertex = static_cast<uint32_t>(s.vertices.size());
          p.vertex_count = 3;
          p.object = 0;
          p.two_sided = false;
          p.color = {0.5f, 0.75f, 0.4f};
          for (int k : t) s.vertices.push_back(q[k]);
          s.polygons.push_back(p);
        }
      }
    for (int k = 0; k < 255; ++k) {
      znr::Placement p{0, {}};
      const double scale = k % 5 == 0 ? 1.5 : 1.0;
      const bool turned = k % 3 == 0;
      p.frame.m[0][0] = p.frame.m[1][1] = turned ? 0.0 : scale;
      p.frame.m[0][1] = turned ? -scale : 0.0;
      p.frame.m[1][0] = turned ? scale : 0.0;
      p.frame.m[2][2] = scale;
      p.frame.m[0][3] = (k % 15) * 3000.0;
      p.frame.m[1][3] = (k / 15) * 3000.0;
      s.placements.push_back(p);
    }
    l.cameras[0].location = {-12000.0, -12000.0, 25000.0};
    l.cameras[0].forward = znr::normalized(znr::Vec3{1.0, 1.0, -0.9});
    l.cameras[1].location = {20000.0, 24000.0, 150.0};
    l.cameras[1].forward = znr::normalized(znr::Vec3{1.0, 0.6, -0.05});
    for (znr::Camera& c : l.cameras) {
      c.up = znr::normalized(znr::cross(znr::cross(c.forward, {0.0, 0.0, 1.0}), c.forward));
      c.zoom = 60.0;
    }
    return l;
  }();
  return loaded;
}

struct Case {
  const Loaded& (*world)();
  int camera;
  int32_t width, height;
  double accuracy;
  int threads;
  bool occlusion = true;
  bool lod = true;
};

void render_frames(benchmark::State& state, const Case& c) {
  const Loaded& world = c.world();
  if (world.scene.polygons.empty()) {
    state.SkipWithError(("world not loaded: " + world.error).c_str());
    return;
  }
  setenv("ZELNARY_NO_PACING", "1", 1);
  setenv("ZELNARY_RENDER_THREADS", std::to_string(c.threads).c_str(), 1);
  // The renderer's steps, with the CPU back end held here so that its figures can be read.
  znr::SceneIndex index;
  const auto t0 = std::chrono::steady_clock::now();
  znr::build_scene_index(world.scene, index);
  const double index_ms =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
  znr::CpuBackend backend;
  if (!c.occlusion) backend.set_occlusion_culling(false);  // else as ZELNARY_NO_OCCLUSION says
  backend.prepare(world.scene, index);
  backend.acquire_offscreen(c.width, c.height);
  const znr::View view =
      znr::make_view(world.cameras[c.camera], c.width, c.height, znr::near_plane_distance(index));
  znr::RenderSettings settings;
  settings.perspective_accuracy = c.accuracy;
  znr::Frame frame;
  auto one_frame = [&] {
    znr::find_visible(world.scene, index, world.poses, view, frame, c.lod);
    backend.draw(frame, settings);
  };
  one_frame();  // the worker threads start
  double imbalance = 0.0, polygons = 0.0, culled = 0.0, hidden = 0.0, simplified = 0.0,
         blocks = 0.0, skin_ms = 0.0;
  for (auto _ : state) {
    one_frame();
    const znr::CpuFrameStats& s = backend.frame_stats();
    skin_ms += s.skin_ms;
    imbalance += s.imbalance();
    polygons += static_cast<double>(s.polygons);
    culled += static_cast<double>(s.chunks_culled);
    hidden += static_cast<double>(s.polygons_hidden);
    for (uint8_t level : frame.chunk_level) simplified += level > 0 ? 1.0 : 0.0;
    for (uint32_t k : frame.chunks) blocks += index.chunks[k].child_count > 0 ? 1.0 : 0.0;
    for (const znr::VisibleObject& o : frame.objects) simplified += o.level > 0 ? 1.0 : 0.0;
  }
  const auto n = static_cast<double>(state.iterations());
  state.counters["imbalance"] = imbalance / n;
  state.counters["polygons"] = polygons / n;
  state.counters["culled"] = culled / n;
  state.counters["hidden"] = hidden / n;
  state.counters["simplified"] = simplified / n;
  state.counters["blocks"] = blocks / n;
  if (!world.scene.skins.empty()) state.counters["skin_ms"] = skin_ms / n;
  state.counters["in_view"] = static_cast<double>(frame.chunks.size() + frame.objects.size());
  state.counters["levels"] = static_cast<double>(index.levels.size());
  state.counters["index_ms"] = index_ms;
  state.counters["lod_MB"] =
      static_cast<double>(index.levels.size() * sizeof(znr::ChunkLevel) +
                          index.lod_polygons.size() * sizeof(znr::Polygon) +
                          index.lod_vertices.size() * sizeof(znr::Vertex) +
                          index.lod_light.size() * sizeof(znr::PolygonLight) +
                          index.lod_normals.size() * sizeof(znr::Normal) +
                          index.lod_colors.size() * sizeof(uint32_t) + index.shared.bytes()) /
      1e6;
  backend.release();
}

// The same frame through the renderer with the card on: the OpenGL back end.
void render_frames_gl(benchmark::State& state, const Case& c) {
  const Loaded& world = c.world();
  if (world.scene.polygons.empty()) {
    state.SkipWithError(("world not loaded: " + world.error).c_str());
    return;
  }
  setenv("ZELNARY_NO_PACING", "1", 1);
  znr::Renderer renderer(znr::engine_backends());
  znr::RenderSettings settings;
  settings.perspective_accuracy = c.accuracy;
  settings.use_accelerator = true;
  znr::Image out;
  // The first frame uploads the world to the card.
  renderer.render_to_image(world.scene, world.poses, world.cameras[c.camera], settings, c.width,
                           c.height, out);
  if (renderer.backend_name().rfind("OpenGL", 0) != 0) {
    state.SkipWithError(("no OpenGL: " + renderer.fallback_reason()).c_str());
    return;
  }
  // The levels of detail, built after the first frame, are in (and on the card) before the
  // frames are timed.
  renderer.finish_levels_of_detail();
  renderer.render_to_image(world.scene, world.poses, world.cameras[c.camera], settings, c.width,
                           c.height, out);
  for (auto _ : state) {
    renderer.render_to_image(world.scene, world.poses, world.cameras[c.camera], settings, c.width,
                             c.height, out);
    benchmark::DoNotOptimize(out.texels.data());
  }
}

// What the GL rows run on, found with one small frame before the runs.
std::string gl_renderer() {
  znr::Renderer renderer(znr::engine_backends());
  znr::RenderSettings settings;
  settings.use_accelerator = true;
  znr::Image out;
  renderer.render_to_image(znr::Scene{}, {}, znr::Camera{}, settings, 8, 8, out);
  const std::string name = renderer.backend_name();
  return name.rfind("OpenGL", 0) == 0 ? name : "none (" + renderer.fallback_reason() + ")";
}

}  // namespace

int main(int argc, char** argv) {
  // The GL rows compare with Mesa's software renderer, which the engine otherwise passes over.
  setenv("ZELNARY_SOFTWARE_GL", "1", 0);
  struct World {
    const char* name;
    const Loaded& (*get)();
  };
  const World worlds[] = {{"town", town}, {"big", big_world}};
  const char* cameras[] = {"overview", "low"};
  const int32_t sizes[][2] = {{446, 331}, {1920, 1080}};
  const struct {
    const char* name;
    double accuracy;
  } levels[] = {{"Low", 0.0}, {"Medium", 3.0}, {"High", 1000.0}};
  // One thread, two, and every core the process may run on where there are more.
  const int all = znr::usable_cores();
  std::vector<int> thread_rows{1, 2};
  if (all > 2) thread_rows.push_back(all);
  for (const World& w : worlds) {
    for (int cam = 0; cam < 2; ++cam) {
      for (const auto& size : sizes) {
        for (const auto& level : levels) {
          const std::string prefix = std::string(w.name) + "/" + cameras[cam] + "/" +
                                     std::to_string(size[0]) + "x" + std::to_string(size[1]) + "/" +
                                     level.name;
          for (const int threads : thread_rows) {
            const Case c{w.get, cam, size[0], size[1], level.accuracy, threads};
            benchmark::RegisterBenchmark((prefix + "/threads:" + std::to_string(threads)).c_str(),
                                         [c](benchmark::State& s) { render_frames(s, c); })
                ->Unit(benchmark::kMillisecond)
                ->MeasureProcessCPUTime()
                ->UseRealTime();
          }
          const Case off{w.get, cam, size[0], size[1], level.accuracy, 2, false};
          benchmark::RegisterBenchmark((prefix + "/threads:2/no_occlusion").c_str(),
                                       [off](benchmark::State& s) { render_frames(s, off); })
              ->Unit(benchmark::kMillisecond)
              ->MeasureProcessCPUTime()
              ->UseRealTime();
          const Case flat{w.get, cam, size[0], size[1], level.accuracy, 2, true, false};
          benchmark::RegisterBenchmark((prefix + "/threads:2/no_lod").c_str(),
                                       [flat](benchmark::State& s) { render_frames(s, flat); })
              ->Unit(benchmark::kMillisecond)
              ->MeasureProcessCPUTime()
              ->UseRealTime();
          const Case c{w.get, cam, size[0], size[1], level.accuracy, 0};
          benchmark::RegisterBenchmark((prefix + "/gl").c_str(),
                                       [c](benchmark::State& s) { render_frames_gl(s, c); })
              ->Unit(benchmark::kMillisecond)
              ->UseRealTime();
        }
      }
    }
  }
  // Light per vertex against the same world drawn flat, both with their levels of detail, and
  // a blended lake over it.
  for (const auto& level : levels) {
    for (int cam = 0; cam < 2; ++cam) {
      const std::string suffix = std::string("/") + cameras[cam] + "/1920x1080/" + level.name;
      const struct {
        const char* name;
        const Loaded& (*get)();
        bool lod;
      } rows[] = {{"big_flat", big_world, true},
                  {"big_lit", lit_big_world, true},
                  {"big_lake", lake_big_world, true}};
      for (const auto& row : rows) {
        const Case c{row.get, cam, 1920, 1080, level.accuracy, 2, true, row.lod};
        benchmark::RegisterBenchmark((row.name + suffix + "/threads:2").c_str(),
                                     [c](benchmark::State& s) { render_frames(s, c); })
            ->Unit(benchmark::kMillisecond)
            ->MeasureProcessCPUTime()
            ->UseRealTime();
      }
    }
  }
  // The 4M-triangle terrain from its overview, on two threads.
  for (const auto& level : levels) {
    const Case c{big_world_4m, 0, 1920, 1080, level.accuracy, 2};
    benchmark::RegisterBenchmark(
        (std::string("big4m/overview/1920x1080/") + level.name + "/threads:2").c_str(),
        [c](benchmark::State& s) { render_frames(s, c); })
        ->Unit(benchmark::kMillisecond)
        ->MeasureProcessCPUTime()
        ->UseRealTime();
  }
  // A mesh placed 255 times, drawn at its levels and (as the first frames are, before the
  // levels are in) in full.
  for (const auto& level : levels) {
    for (int cam = 0; cam < 2; ++cam) {
      for (const bool lod : {true, false}) {
        const Case c{instanced_255, cam, 1920, 1080, level.accuracy, 2, true, lod};
        benchmark::RegisterBenchmark((std::string("instanced_255/") + cameras[cam] + "/1920x1080/" +
                                      level.name + "/threads:2" + (lod ? "" : "/no_lod"))
                                         .c_str(),
                                     [c](benchmark::State& s) { render_frames(s, c); })
            ->Unit(benchmark::kMillisecond)
            ->MeasureProcessCPUTime()
            ->UseRealTime();
      }
    }
  }
  // A skinned character: skin_ms is the posing's share of each frame.
  for (const auto& level : levels) {
    const Case c{skinned_character, 0, 1920, 1080, level.accuracy, 2};
    benchmark::RegisterBenchmark(
        (std::string("skinned_30k/1920x1080/") + level.name + "/threads:2").c_str(),
        [c](benchmark::State& s) { render_frames(s, c); })
        ->Unit(benchmark::kMillisecond)
        ->MeasureProcessCPUTime()
        ->UseRealTime();
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::AddCustomContext("gl_renderer", gl_renderer());
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
