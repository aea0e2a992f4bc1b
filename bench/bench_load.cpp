// World loading: a generated terrain of 1M triangles read from a file (and parsed from
// memory, to tell parsing from reading), and the sample town. Peak memory is reported as the
// process's maximum resident size after the loads.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "bench/big_world.h"
#include "zelnary/world/load_world.h"

namespace fs = std::filesystem;

namespace {

double peak_rss_mib() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024.0;  // ru_maxrss is in KiB on Linux
}

// A 64x64 24-bit BMP for the terrain's texture, so that loads print no warnings.
void write_terrain_bmp(const fs::path& path) {
  const znr::Image img = znr::bench::big_world_texture_image();
  std::string out = "BM";
  auto le32 = [&](uint32_t v) {
    for (int i = 0; i < 4; ++i) out += static_cast<char>(v >> (8 * i));
  };
  const uint32_t data = 64 * 64 * 3;
  le32(54 + data);
  le32(0);
  le32(54);
  le32(40);
  le32(64);
  le32(64);
  out += std::string("\x01\x00\x18\x00", 4);  // planes 1, 24 bits
  le32(0);
  le32(data);
  for (int i = 0; i < 4; ++i) le32(0);
  for (int y = 63; y >= 0; --y)
    for (int x = 0; x < 64; ++x) {
      const uint32_t t = img.at(x, y);
      out += static_cast<char>(t & 0xff);
      out += static_cast<char>((t >> 8) & 0xff);
      out += static_cast<char>((t >> 16) & 0xff);
    }
  std::ofstream(path, std::ios::binary) << out;
}

struct BigWorldFile {
  fs::path dir;
  fs::path world;
  explicit BigWorldFile(size_t triangles) {
    dir = fs::temp_directory_path() / ("kwellor_bench_load_" + std::to_string(::getpid()));
    fs::create_directories(dir / "bitmaps");
    world = dir / "big.wld";
    std::ofstream(world, std::ios::binary) << znr::bench::big_world_text(triangles);
    write_terrain_bmp(dir / "bitmaps" / "terrain.bmp");
  }
  ~BigWorldFile() { fs::remove_all(dir); }
};

void BM_LoadBigWorldFile(benchmark::State& state) {
  const BigWorldFile file(static_cast<size_t>(state.range(0)));
  const auto bytes = fs::file_size(file.world);
  for (auto _ : state) {
    znr::Scene scene;
    std::string error;
    if (!znr::load_world(file.world.string(), (file.dir / "bitmaps").string(), scene, error))
      state.SkipWithError(error.c_str());
    benchmark::DoNotOptimize(scene.polygons.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(bytes));
  state.counters["file_MiB"] = static_cast<double>(bytes) / (1024.0 * 1024.0);
  state.counters["peak_rss_MiB"] = peak_rss_mib();
}
BENCHMARK(BM_LoadBigWorldFile)->Arg(1'000'000)->Unit(benchmark::kMillisecond);

void BM_ParseBigWorldText(benchmark::State& state) {
  const std::string text = znr::bench::big_world_text(static_cast<size_t>(state.range(0)));
  for (auto _ : state) {
    znr::Scene scene;
    std::string error;
    if (!znr::parse_world(text, "big.wld", scene, error)) state.SkipWithError(error.c_str());
    benchmark::DoNotOptimize(scene.polygons.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_ParseBigWorldText)->Arg(1'000'000)->Unit(benchmark::kMillisecond);

void BM_LoadTown(benchmark::State& state) {
  const std::string dir = (fs::path(__FILE__).parent_path() / "../worlds/town/").string();
  for (auto _ : state) {
    znr::Scene scene;
    std::string error;
    if (!znr::load_world(dir + "town.wld", dir + "bitmaps", scene, error))
      state.SkipWithError(error.c_str());
    benchmark::DoNotOptimize(scene.polygons.data());
  }
}
BENCHMARK(BM_LoadTown)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
