#include "zelnary/render/renderer.h"

#include <cstdio>

#include "zelnary/cpu/cpu_backend.h"
#include "zelnary/gl/gl_backend.h"
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

}  // namespace

struct Renderer::Impl {
  SceneIndex index;
  uint64_t generation = 0;  // one more each time the index is rebuilt
  Frame frame;

  struct Slot {
    std::unique_ptr<Backend> backend;
    uint64_t prepared = 0;  // the index generation it was prepared for
  };
  CpuBackend* cpu = nullptr;  // owned by cpu_slot
  Slot cpu_slot, gl_slot;
  Slot* current = nullptr;
  bool gl_refused = false;  // failed once: not tried again until release()
  std::string fallback_reason;

  Impl() {
    auto c = std::make_unique<CpuBackend>();
    cpu = c.get();
    cpu_slot.backend = std::move(c);
    current = &cpu_slot;
  }

  Slot& choose(const RenderSettings& settings) {
    Slot* want = &cpu_slot;
    if (settings.use_accelerator && !gl_refused) {
      if (!gl_slot.backend) gl_slot.backend = std::make_unique<GlBackend>();
      want = &gl_slot;
    }
    if (want != current) {
      current->backend->suspend();
      current = want;
    }
    return *current;
  }

  // The card cannot be used: say so once, and draw on the CPU from now on.
  void refuse_gl(std::string why) {
    if (!gl_refused) {
      std::fprintf(stderr, "zelnary: 3D card not used: %s; drawing on the CPU\n", why.c_str());
    }
    fallback_reason = std::move(why);
    gl_refused = true;
    if (gl_slot.backend) gl_slot.backend->release();
    gl_slot = Slot{};
    if (current == &gl_slot) current = &cpu_slot;
  }

  BackendStatus draw(Slot& slot, const Scene& scene, std::span<const ObjectPose> poses,
                     const Camera& camera, int32_t width, int32_t height,
                     const RenderSettings& settings) {
    if (!index.built_for(scene)) {
      build_scene_index(scene, index);
      ++generation;
    }
    if (slot.prepared != generation) {
      const BackendStatus st = slot.backend->prepare(scene, index);
      if (st != BackendStatus::ok) return st;
      slot.prepared = generation;
    }
    find_visible(scene, index, poses, make_view(camera, width, height, near_plane_distance(index)),
                 frame);
    return slot.backend->draw(frame, settings);
  }
};

Renderer::Renderer() : impl_(std::make_unique<Impl>()) {}
Renderer::~Renderer() = default;

void Renderer::render_to_image(const Scene& scene, std::span<const ObjectPose> poses,
                               const Camera& camera, const RenderSettings& settings, int32_t width,
                               int32_t height, Image& out) {
  Impl& m = *impl_;
  if (!size_allowed(width, height)) {
    out = Image{};
    return;
  }
  for (;;) {
    Impl::Slot& slot = m.choose(settings);
    BackendStatus st = slot.backend->acquire_offscreen(width, height);
    if (st == BackendStatus::ok) st = m.draw(slot, scene, poses, camera, width, height, settings);
    if (st == BackendStatus::ok) {
      slot.backend->read_back(out);
      return;
    }
    if (&slot == &m.cpu_slot) {  // the CPU back end never fails over; nothing else to try
      out = Image{};
      return;
    }
    m.refuse_gl(slot.backend->failure());
  }
}

int32_t Renderer::render_to_window(uint32_t window, const Scene& scene,
                                   std::span<const ObjectPose> poses, const Camera& camera,
                                   const RenderSettings& settings) {
  Impl& m = *impl_;
  for (;;) {
    Impl::Slot& slot = m.choose(settings);
    int32_t width = 0, height = 0;
    BackendStatus st = slot.backend->acquire_window(window, width, height);
    if (st == BackendStatus::ok && !size_allowed(width, height)) return -1;
    if (st == BackendStatus::ok) st = m.draw(slot, scene, poses, camera, width, height, settings);
    if (st == BackendStatus::ok) st = slot.backend->present();
    if (st == BackendStatus::ok) return 0;
    if (st == BackendStatus::window_gone || &slot == &m.cpu_slot) return -1;
    m.refuse_gl(slot.backend->failure());
  }
}

bool Renderer::presented_with_shared_memory() const {
  return impl_->cpu->used_shared_memory();
}

std::string Renderer::backend_name() const {
  return impl_->current->backend->name();
}

const std::string& Renderer::fallback_reason() const {
  return impl_->fallback_reason;
}

void Renderer::release() {
  Impl& m = *impl_;
  m.cpu_slot.backend->release();
  m.cpu_slot.prepared = 0;
  if (m.gl_slot.backend) m.gl_slot.backend->release();
  m.gl_slot = Impl::Slot{};
  m.current = &m.cpu_slot;
  m.gl_refused = false;
  m.fallback_reason.clear();
  m.index = SceneIndex{};
  m.frame = Frame{};
}

}  // namespace znr
