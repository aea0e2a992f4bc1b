#include "zelnary/cpu/cpu_backend.h"

#include <algorithm>
#include <cstdlib>
#include <thread>
#include <vector>

#include "zelnary/cpu/draw_list.h"
#include "zelnary/cpu/emit.h"
#include "zelnary/cpu/framebuffer.h"
#include "zelnary/cpu/rasterizer.h"
#include "zelnary/cpu/worker_pool.h"
#include "zelnary/cpu/x11_presenter.h"
#include "zelnary/present/frame_pacer.h"

namespace znr {
namespace {

// Rows are split between this many threads: 2 by default, ZELNARY_RENDER_THREADS to change.
int32_t render_threads() {
  if (const char* v = std::getenv("ZELNARY_RENDER_THREADS")) {
    const long n = std::strtol(v, nullptr, 10);
    if (n >= 1 && n <= 8) return static_cast<int32_t>(n);
  }
  return std::clamp(static_cast<int32_t>(std::thread::hardware_concurrency()), 1, 2);
}

}  // namespace

struct CpuBackend::Impl {
  std::vector<DrawList> lists;  // one per thread
  Framebuffer fb;
  X11Presenter x11;
  FramePacer pacer;
  std::unique_ptr<WorkerPool> pool;  // made on the first frame
  uint32_t window = 0;
  std::string failure;  // the CPU back end never fails over; stays empty
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
  const int32_t parts = m.pool->size();
  m.lists.resize(static_cast<size_t>(parts));
  m.pool->run([&](int32_t i) { emit_part(frame, i, parts, m.lists[static_cast<size_t>(i)]); });
  rasterize_fast(m.lists, settings.perspective_accuracy, *m.pool, m.fb);
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

bool CpuBackend::used_shared_memory() const {
  return impl_->x11.used_shared_memory();
}

}  // namespace znr
