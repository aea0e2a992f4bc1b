#include "zelnary/cpu/cpu_backend.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <thread>
#include <vector>

#include "zelnary/cpu/draw_list.h"
#include "zelnary/cpu/emit.h"
#include "zelnary/cpu/framebuffer.h"
#include "zelnary/cpu/rasterizer.h"
#include "zelnary/cpu/tiles.h"
#include "zelnary/cpu/worker_pool.h"
#include "zelnary/cpu/x11_presenter.h"
#include "zelnary/present/frame_pacer.h"

namespace znr {
namespace {

// The frame is shared between this many threads: 2 by default, ZELNARY_RENDER_THREADS to change.
int32_t render_threads() {
  if (const char* v = std::getenv("ZELNARY_RENDER_THREADS")) {
    const long n = std::strtol(v, nullptr, 10);
    if (n >= 1 && n <= 8) return static_cast<int32_t>(n);
  }
  return std::clamp(static_cast<int32_t>(std::thread::hardware_concurrency()), 1, 2);
}

double now_ms() {
  return std::chrono::duration<double, std::milli>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace

double CpuFrameStats::imbalance() const {
  if (busy_ms.empty()) return 0.0;
  double mean = 0.0;
  for (double b : busy_ms) mean += b;
  mean /= static_cast<double>(busy_ms.size());
  double worst = 0.0;
  for (double b : busy_ms) worst = std::max(worst, std::fabs(b - mean));
  return mean > 0.0 ? worst / mean : 0.0;
}

// Chunks (or objects) emitted as one piece of work: enough to outweigh taking it from the
// queue, few enough that the threads finish together.
constexpr size_t kChunksPerBatch = 4;

struct CpuBackend::Impl {
  std::vector<DrawList> lists;  // one per thread: the batch being emitted
  std::vector<TileBins> bins;   // one per thread
  Framebuffer fb;
  X11Presenter x11;
  FramePacer pacer;
  std::unique_ptr<WorkerPool> pool;  // made on the first frame
  uint32_t window = 0;
  std::string failure;  // the CPU back end never fails over; stays empty
  CpuFrameStats stats;
};

CpuBackend::CpuBackend() : impl_(std::make_unique<Impl>()) {}
CpuBackend::~CpuBackend() = default;

BackendStatus CpuBackend::prepare(const Scene&, const SceneIndex&) {
  return BackendStatus::ok;  // it draws straight from the scene
}

BackendStatus CpuBackend::acquire_window(uint32_t window, int32_t& width, int32_t& height) {
  impl_->window = window;
  if (!impl_->x11.window_size(window, width, height)) return BackendStatus::window_gone;
  impl_->fb.resize(width, height);
  return BackendStatus::ok;
}

BackendStatus CpuBackend::acquire_offscreen(int32_t width, int32_t height) {
  impl_->fb.resize(width, height);
  return BackendStatus::ok;
}

BackendStatus CpuBackend::draw(const Frame& frame, const RenderSettings& settings) {
  Impl& m = *impl_;
  if (!m.pool) m.pool = std::make_unique<WorkerPool>(render_threads());
  const int32_t threads = m.pool->size();
  // Batches of nearest-first chunks, then of objects, taken by whichever thread is free, emitted
  // into the thread's list and copied into its tile bins. The batch's number keeps the order.
  const size_t chunk_batches = (frame.chunks.size() + kChunksPerBatch - 1) / kChunksPerBatch;
  const size_t batches =
      chunk_batches + (frame.objects.size() + kChunksPerBatch - 1) / kChunksPerBatch;
  m.lists.resize(static_cast<size_t>(threads));
  const TileGrid grid(m.fb.width, m.fb.height);
  m.bins.resize(static_cast<size_t>(threads));
  for (TileBins& b : m.bins) b.reset(grid);
  m.stats.busy_ms.assign(static_cast<size_t>(threads), 0.0);
  std::atomic<size_t> next{0};
  std::atomic<uint64_t> polygons{0};
  m.pool->run([&](int32_t i) {
    const double t0 = now_ms();
    for (size_t k; (k = next.fetch_add(1, std::memory_order_relaxed)) < batches;) {
      DrawList& list = m.lists[static_cast<size_t>(i)];
      if (k < chunk_batches) {
        emit_range(frame, k * kChunksPerBatch, (k + 1) * kChunksPerBatch, 0, 0, list);
      } else {
        const size_t o = (k - chunk_batches) * kChunksPerBatch;
        emit_range(frame, 0, 0, o, o + kChunksPerBatch, list);
      }
      bin_list(list, static_cast<uint32_t>(k), grid, m.bins[static_cast<size_t>(i)]);
      polygons.fetch_add(list.polygons.size(), std::memory_order_relaxed);
    }
    m.stats.busy_ms[static_cast<size_t>(i)] += now_ms() - t0;
  });
  rasterize_tiles(m.bins, grid, frame.background,
                  span_length_for_accuracy(settings.perspective_accuracy), *m.pool, m.fb,
                  m.stats.busy_ms);
  m.stats.polygons = polygons.load();
  return BackendStatus::ok;
}

BackendStatus CpuBackend::present() {
  Impl& m = *impl_;
  if (!m.x11.present(m.window, m.fb)) return BackendStatus::window_gone;
  m.pacer.wait(m.x11.refresh_hz());
  return BackendStatus::ok;
}

void CpuBackend::read_back(Image& out) {
  out.width = impl_->fb.width;
  out.height = impl_->fb.height;
  out.texels = impl_->fb.color;
}

void CpuBackend::release() {
  Impl& m = *impl_;
  m.x11.release();
  m.lists.clear();
  m.pool.reset();
  m.fb = Framebuffer{};
  m.pacer.reset();
  m.window = 0;
}

const std::string& CpuBackend::failure() const {
  return impl_->failure;
}

const CpuFrameStats& CpuBackend::frame_stats() const {
  return impl_->stats;
}

bool CpuBackend::used_shared_memory() const {
  return impl_->x11.used_shared_memory();
}

}  // namespace znr
