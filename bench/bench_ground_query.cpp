// The ground query: the viewer's vertical segment from -1e9 to +1e9 through a point of a
// 1M-triangle terrain, and the time to build the query structures for it.
#include <benchmark/benchmark.h>

#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/big_world.h"
#include "zelnary/collision/segment_query.h"

namespace {

constexpr size_t kTriangles = 1'000'000;

struct Prepared {
  znr::Scene scene = znr::bench::make_big_world(kTriangles);
  znr::SegmentQuery query;
  std::vector<znr::Vec3> points;  // query points inside the terrain

  Prepared() {
    std::string error;
    if (!query.build(scene, {}, error)) throw std::runtime_error(error);
    const double extent = static_cast<double>(znr::bench::big_world_cells_per_side(kTriangles)) *
                          znr::bench::kBigWorldSpacing;
    std::mt19937 rng(42);
    std::uniform_real_distribution<double> u(0.0, extent);
    for (int i = 0; i < 4096; ++i) points.push_back({u(rng), u(rng), 0.0});
  }
};

Prepared& prepared() {
  static Prepared p;
  return p;
}

void BM_GroundQueryVertical(benchmark::State& state) {
  Prepared& p = prepared();
  size_t i = 0, hits = 0;
  for (auto _ : state) {
    const znr::Vec3& at = p.points[i++ & 4095];
    const auto hit = p.query.first_hit({at.x, at.y, -1e9}, {at.x, at.y, 1e9});
    hits += hit.has_value();
    benchmark::DoNotOptimize(hit);
  }
  state.counters["hit_ratio"] = static_cast<double>(hits) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_GroundQueryVertical)->Unit(benchmark::kMicrosecond);

void BM_GroundQueryOblique(benchmark::State& state) {
  Prepared& p = prepared();
  size_t i = 0;
  for (auto _ : state) {
    const znr::Vec3& a = p.points[i++ & 4095];
    const znr::Vec3& b = p.points[i & 4095];
    benchmark::DoNotOptimize(p.query.first_hit({a.x, a.y, 2000.0}, {b.x, b.y, -2000.0}));
  }
}
BENCHMARK(BM_GroundQueryOblique)->Unit(benchmark::kMicrosecond);

void BM_GroundQueryBuild(benchmark::State& state) {
  const znr::Scene& scene = prepared().scene;
  for (auto _ : state) {
    znr::SegmentQuery q;
    std::string error;
    benchmark::DoNotOptimize(q.build(scene, {}, error));
  }
}
BENCHMARK(BM_GroundQueryBuild)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
