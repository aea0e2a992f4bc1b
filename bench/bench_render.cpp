// Milliseconds per frame of both back ends, the CPU one and OpenGL (offscreen through EGL, no
// window system needed), without pacing: the sample town and a generated 1M-triangle terrain,
// at the viewer's default picture size and at 1080p. The town is looked for beside the sources
// (or at $ZELNARY_TOWN_WORLD) and skipped if absent. The GL renderer string is printed in the
// context; ZELNARY_NO_GL=1 shows the GL rows falling back to the CPU.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "big_world.h"
#include "zelnary/render/renderer.h"
#include "zelnary/world/load_world.h"

namespace {

struct Loaded {
  znr::Scene scene;
  znr::Camera camera;
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
    // The first fixed camera (chase cameras need the simulation to be placed).
    for (const znr::CameraDef& d : l.scene.cameras) {
      if (d.chase == znr::ChaseType::None) {
        l.camera = camera_from(d);
        break;
      }
    }
    for (const znr::MovingObject& o : l.scene.objects) {
      l.poses.push_back({o.path.empty() ? znr::Vec3{} : o.path.front(), 0.0});
    }
    return l;
  }();
  return loaded;
}

const Loaded& big_world() {
  static const Loaded loaded = [] {
    Loaded l;
    l.scene = znr::bench::make_big_world(1'000'000);
    l.camera = camera_from(znr::bench::big_world_camera(1'000'000));
    return l;
  }();
  return loaded;
}

void render_frames(benchmark::State& state, const Loaded& world, double accuracy, bool gl) {
  if (world.scene.polygons.empty()) {
    state.SkipWithError(("world not loaded: " + world.error).c_str());
    return;
  }
  setenv("ZELNARY_NO_PACING", "1", 1);
  znr::Renderer renderer;
  znr::RenderSettings settings;
  settings.perspective_accuracy = accuracy;
  settings.use_accelerator = gl;
  znr::Image out;
  const auto w = static_cast<int32_t>(state.range(0)), h = static_cast<int32_t>(state.range(1));
  // The first frame builds the index (and uploads the world to the card).
  renderer.render_to_image(world.scene, world.poses, world.camera, settings, w, h, out);
  if (gl && renderer.backend_name().rfind("OpenGL", 0) != 0) {
    state.SkipWithError(("no OpenGL: " + renderer.fallback_reason()).c_str());
    return;
  }
  for (auto _ : state) {
    renderer.render_to_image(world.scene, world.poses, world.camera, settings, w, h, out);
    benchmark::DoNotOptimize(out.texels.data());
  }
}

void BM_RenderTown(benchmark::State& state) {
  render_frames(state, town(), 3.0, false);
}
void BM_RenderBigWorld(benchmark::State& state) {
  render_frames(state, big_world(), 3.0, false);
}
void BM_RenderBigWorldPerPixel(benchmark::State& state) {
  render_frames(state, big_world(), 1000.0, false);
}
void BM_RenderTownGL(benchmark::State& state) {
  render_frames(state, town(), 3.0, true);
}
void BM_RenderBigWorldGL(benchmark::State& state) {
  render_frames(state, big_world(), 3.0, true);
}

BENCHMARK(BM_RenderTown)->Args({446, 331})->Args({1920, 1080})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RenderBigWorld)->Args({446, 331})->Args({1920, 1080})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RenderBigWorldPerPixel)->Args({1920, 1080})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RenderTownGL)->Args({446, 331})->Args({1920, 1080})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RenderBigWorldGL)->Args({446, 331})->Args({1920, 1080})->Unit(benchmark::kMillisecond);

// What the GL rows ran on, found with one small frame before the runs.
std::string gl_renderer() {
  znr::Renderer renderer;
  znr::RenderSettings settings;
  settings.use_accelerator = true;
  znr::Image out;
  renderer.render_to_image(znr::Scene{}, {}, znr::Camera{}, settings, 8, 8, out);
  const std::string name = renderer.backend_name();
  return name.rfind("OpenGL", 0) == 0 ? name : "none (" + renderer.fallback_reason() + ")";
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::AddCustomContext("gl_renderer", gl_renderer());
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
