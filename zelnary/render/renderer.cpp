#include "zelnary/render/renderer.h"

#include <algorithm>
#include <cstdlib>
#include <thread>

#include "zelnary/cpu/framebuffer.h"
#include "zelnary/cpu/rasterizer.h"
#include "zelnary/cpu/worker_pool.h"
#include "zelnary/present/frame_pacer.h"
#include "zelnary/present/offscreen.h"
#include "zelnary/present/x11_presenter.h"
#include "zelnary/render/draw_list.h"
#include "zelnary/render/front_end.h"
#include "zelnary/render/scene_index.h"
#include "zelnary/render/view.h"

namespace znr {
namespace {

// Frame sizes beyond these are refused (the buffers take 8 bytes a pixel).
bool size_allowed(int32_t width, int32_t height) {
  return width >= 0 && height >= 0 && width <= kMaxFrameSide && height <= kMaxFrameSide &&
         static_cast<int64_t>(width) * height <= kMaxFramePixels;
}

// Rows are split between this many threads: 2 by default, ZELNARY_RENDER_THREADS to change.
int32_t render_threads() {
  if (const char* v = std::getenv("ZELNARY_RENDER_THREADS")) {
    const long n = std::strtol(v, nullptr, 10);
    if (n >= 1 && n <= 8) return static_cast<int32_t>(n);
  }
  return std::clamp(static_cast<int32_t>(std::thread::hardware_concurrency()), 1, 2);
}

}  // namespace

struct Renderer::Impl {
  SceneIndex index;
  FrontEnd front;
  std::vector<DrawList> lists;  // one per thread
  Framebuffer fb;
  X11Presenter x11;
  FramePacer pacer;
  std::unique_ptr<WorkerPool> pool;  // made on the first frame

  // Draws the frame into fb at width x height.
  void draw(const Scene& scene, std::span<const ObjectPose> poses, const Camera& camera,
            const RenderSettings& settings, int32_t width, int32_t height) {
    if (!index.built_for(scene)) build_scene_index(scene, index);
    fb.resize(width, height);
    const View view = make_view(camera, fb.width, fb.height);
    front.begin(scene, index, poses, view);
    if (!pool) pool = std::make_unique<WorkerPool>(render_threads());
    const int32_t parts = pool->size();
    lists.resize(static_cast<size_t>(parts));
    pool->run([&](int32_t i) { front.emit_part(i, parts, lists[static_cast<size_t>(i)]); });
    rasterize_fast(lists, settings.perspective_accuracy, *pool, fb);
  }
};

Renderer::Renderer() : impl_(std::make_unique<Impl>()) {}
Renderer::~Renderer() = default;

void Renderer::render_to_image(const Scene& scene, std::span<const ObjectPose> poses,
                               const Camera& camera, const RenderSettings& settings, int32_t width,
                               int32_t height, Image& out) {
  if (!size_allowed(width, height)) {
    out = Image{};
    return;
  }
  impl_->draw(scene, poses, camera, settings, width, height);
  present_to_image(impl_->fb, out);
}

int32_t Renderer::render_to_window(uint32_t window, const Scene& scene,
                                   std::span<const ObjectPose> poses, const Camera& camera,
                                   const RenderSettings& settings) {
  Impl& m = *impl_;
  int32_t width = 0, height = 0;
  if (!m.x11.window_size(window, width, height)) return -1;
  if (!size_allowed(width, height)) return -1;
  m.draw(scene, poses, camera, settings, width, height);
  if (!m.x11.present(window, m.fb)) return -1;
  m.pacer.wait(m.x11.refresh_hz());
  return 0;
}

bool Renderer::presented_with_shared_memory() const {
  return impl_->x11.used_shared_memory();
}

void Renderer::release() {
  impl_->x11.release();
  impl_->index = SceneIndex{};
  impl_->lists.clear();
  impl_->pool.reset();
  impl_->fb = Framebuffer{};
  impl_->pacer.reset();
}

}  // namespace znr
