// Importing a model to the first frame: Debian's 2CylinderEngine.glb (assimp-testmodels) and
// a generated terrain of 1M triangles. The time is split into assimp's reading (measured in
// this process with the importer's own reader) and our side: the stream, its checks and the
// scene, the collision structure and the first frame.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>

#include "bench/gltf_terrain.h"
#include "read_model.h"
#include "zelnary/api/engine_core.h"

namespace fs = std::filesystem;

namespace {

const char* const kEngineModel =
    "/usr/share/assimp/models/glTF2/2CylinderEngine-glTF-Binary/2CylinderEngine.glb";

double assimp_seconds(const std::string& model) {
  const int null_fd = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
  znr::importer::ReadTimings t;
  {
    znr::importer::StreamWriter out(null_fd);
    znr::importer::read_model(model, out, &t);
  }
  ::close(null_fd);
  return t.assimp_seconds;
}

void import_to_first_frame(benchmark::State& state, const std::string& model) {
  if (!fs::exists(model)) {
    state.SkipWithError(("missing " + model).c_str());
    return;
  }
  double total = 0.0;
  for (auto _ : state) {
    const auto t = std::chrono::steady_clock::now();
    znr::EngineCore core;
    if (core.load_world(model, "") != 0) {
      state.SkipWithError("the import failed");
      return;
    }
    znr::Image frame;
    core.render_to_image(core.first_camera(), 640, 480, frame);
    total += std::chrono::duration<double>(std::chrono::steady_clock::now() - t).count();
  }
  const double per_run = total / static_cast<double>(state.iterations());
  const double assimp = assimp_seconds(model);
  state.counters["first_frame_s"] = per_run;
  state.counters["assimp_s"] = assimp;
  state.counters["ours_s"] = per_run - assimp;
  state.counters["ours_share"] = (per_run - assimp) / per_run;
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
