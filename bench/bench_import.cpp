// Importing a model to the first frame: Debian's 2CylinderEngine.glb (assimp-testmodels) and
// a generated terrain of 1M triangles. first_frame_* is the whole load (importer, collision
// structure) and one 640x480 frame; its CPU seconds count the engine and its child together.
// ours_share splits the import itself: assimp's reading (assimp_cpu_s) against our side, the
// child's walk over assimp's scene (walk), taking in the stream (read), checking it and
// building the polygons (decode) and the cameras (build).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <ctime>
#include <filesystem>

#include "bench/gltf_terrain.h"
#include "read_model.h"
#include "zelnary/api/engine_core.h"
#include "zelnary/import/import_model.h"

namespace fs = std::filesystem;

namespace {

const char* const kEngineModel =
    "/usr/share/assimp/models/glTF2/2CylinderEngine-glTF-Binary/2CylinderEngine.glb";

double seconds(const timeval& t) {
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) * 1e-6;
}

// CPU seconds used so far by this process and its reaped children.
double cpu_with_children() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  rusage children{};
  getrusage(RUSAGE_CHILDREN, &children);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9 +
         seconds(children.ru_utime) + seconds(children.ru_stime);
}

znr::importer::ReadTimings read_alone(const std::string& model) {
  const int null_fd = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
  znr::importer::ReadTimings t;
  {
    znr::importer::StreamWriter out(null_fd);
    znr::importer::read_model(model, out, &t);
  }
  ::close(null_fd);
  return t;
}

void import_to_first_frame(benchmark::State& state, const std::string& model) {
  if (!fs::exists(model)) {
    state.SkipWithError(("missing " + model).c_str());
    return;
  }
  double wall = 0.0, cpu = 0.0;
  for (auto _ : state) {
    const auto t = std::chrono::steady_clock::now();
    const double c = cpu_with_children();
    znr::EngineCore core;
    if (core.load_world(model, "") != 0) {
      state.SkipWithError("the import failed");
      return;
    }
    znr::Image frame;
    core.render_to_image(core.first_camera(), 640, 480, frame);
    cpu += cpu_with_children() - c;
    wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - t).count();
  }
  const auto n = static_cast<double>(state.iterations());
  // The split, outside the timed loop: assimp and the child's walk in this process, then the
  // engine's side of an import on its own.
  const znr::importer::ReadTimings child = read_alone(model);
  znr::ImportTimings engine;
  znr::Scene scene;
  std::string error;
  znr::import_model(model, znr::importer_path(), znr::importer_limits(), scene, error, &engine);
  const double ours =
      child.convert_seconds + engine.read_seconds + engine.decode_seconds + engine.build_seconds;
  state.counters["first_frame_wall_s"] = wall / n;
  state.counters["first_frame_cpu_s"] = cpu / n;
  state.counters["assimp_cpu_s"] = child.assimp_seconds;
  state.counters["walk_cpu_s"] = child.convert_seconds;
  state.counters["read_cpu_s"] = engine.read_seconds;
  state.counters["decode_cpu_s"] = engine.decode_seconds;
  state.counters["build_cpu_s"] = engine.build_seconds;
  state.counters["ours_share"] = ours / (ours + child.assimp_seconds);
}

void BM_ImportEngineGlb(benchmark::State& state) {
  import_to_first_frame(state, kEngineModel);
}
BENCHMARK(BM_ImportEngineGlb)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_ImportTerrainGlb(benchmark::State& state) {
  const fs::path file =
      fs::temp_directory_path() / ("kwellor_bench_import_" + std::to_string(::getpid()) + ".glb");
  znr::bench::write_gltf_terrain(file.string(), static_cast<size_t>(state.range(0)));
  import_to_first_frame(state, file.string());
  fs::remove(file);
}
BENCHMARK(BM_ImportTerrainGlb)->Arg(1000000)->Unit(benchmark::kMillisecond)->Iterations(2);

}  // namespace

BENCHMARK_MAIN();
