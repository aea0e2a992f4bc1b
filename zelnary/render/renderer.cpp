#include "zelnary/render/renderer.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <future>
#include <vector>

#include "zelnary/core/cores.h"
#include "zelnary/render/chunk_lod.h"
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

constexpr size_t kNone = static_cast<size_t>(-1);

bool same(const Vec3& a, const Vec3& b) {
  return a.x == b.x && a.y == b.y && a.z == b.z;
}

// What decides a window's picture: equal keys, equal pixels.
struct FrameKey {
  size_t slot = kNone;
  uint64_t generation = 0;
  uint32_t window = 0;
  int32_t width = 0, height = 0;
  double accuracy = 0.0;
  uint32_t levels = 0;  // how many times levels of detail came in
  Camera camera;
  std::vector<VisibleObject> objects;  // those in view, with their poses
  std::vector<float> morph_weights;

  bool operator==(const FrameKey& o) const {
    if (slot != o.slot || generation != o.generation || levels != o.levels || window != o.window ||
        width != o.width || height != o.height || accuracy != o.accuracy ||
        !same(camera.location, o.camera.location) || !same(camera.forward, o.camera.forward) ||
        !same(camera.up, o.camera.up) || camera.zoom != o.camera.zoom ||
        objects.size() != o.objects.size() || morph_weights != o.morph_weights)
      return false;
    for (size_t i = 0; i < objects.size(); ++i) {
      const VisibleObject &a = objects[i], &b = o.objects[i];
      if (a.object != b.object || !same(a.pose.position, b.pose.position) ||
          a.pose.heading_deg != b.pose.heading_deg || a.pose.general != b.pose.general ||
          (a.pose.general && !(a.pose == b.pose)))
        return false;
    }
    return true;
  }
};

}  // namespace

struct Renderer::Impl {
  BackendTable table;
  size_t only = kNone;  // the one row named by the caller
  SceneIndex index;
  uint64_t generation = 0;  // one more each time the index is rebuilt
  Frame frame;

  struct Slot {
    std::unique_ptr<Backend> backend;  // made on first use
    uint64_t prepared = 0;             // the index generation it was prepared for
    bool refused = false;              // failed once: not tried again until release()
  };
  std::vector<Slot> slots;  // one per row of the table
  size_t current = kNone;
  FrameKey shown;  // what the window shows, when its back end keeps its frame
  std::string fallback_reason;

  Impl(BackendTable backends, std::string_view id) : table(backends), slots(backends.size()) {
    for (size_t i = 0; i < table.size(); ++i) {
      if (id == table[i].id) only = i;
    }
    if (!id.empty() && only == kNone) {
      std::fprintf(stderr, "zelnary: ZELNARY_BACKEND=%.*s names no back end; choosing as usual\n",
                   static_cast<int>(id.size()), id.data());
    }
    choose(RenderSettings{});
  }

  bool allowed(size_t i, const RenderSettings& settings) const {
    if (only != kNone) return i == only;
    const BackendEntry& e = table[i];
    return !e.named_only && (!e.accelerated || settings.use_accelerator);
  }

  // The first row the settings allow that has not failed, made ready; kNone when none is.
  size_t choose(const RenderSettings& settings) {
    for (size_t i = 0; i < table.size(); ++i) {
      Slot& slot = slots[i];
      if (slot.refused || !allowed(i, settings)) continue;
      if (!slot.backend) {
        std::string why = table[i].unavailable ? table[i].unavailable() : std::string();
        if (!why.empty()) {
          refuse(i, std::move(why));
          continue;
        }
        slot.backend = table[i].create();
      }
      if (i != current && current != kNone && slots[current].backend) {
        slots[current].backend->suspend();
      }
      current = i;
      return i;
    }
    return kNone;
  }

  // Only the 3D card gives way to the next row: say why once, and draw without it from now
  // on. Any other row failing fails the render, as there is nothing sound to fall back on.
  bool refuse(size_t i, std::string why) {
    if (!table[i].accelerated || only == i) return false;
    Slot& slot = slots[i];
    if (!slot.refused) {
      std::fprintf(stderr, "zelnary: 3D card not used: %s; drawing on the CPU\n", why.c_str());
    }
    fallback_reason = std::move(why);
    if (slot.backend) slot.backend->release();
    slot = Slot{};
    slot.refused = true;
    if (current == i) current = kNone;
    return true;
  }

  // Levels of detail are not on the first picture's path: they are built once a second frame of
  // the index is drawn (a program that draws one picture has no use for them; a viewer's second
  // frame follows its first within a refresh), on worker threads, from the index that frames
  // go on reading, and put in between two frames.
  std::future<ChunkLevels> levels;
  std::atomic<bool> stop_levels{false};
  bool levels_due = false;    // the index is new: its levels are to be built
  uint32_t frames_drawn = 0;  // of this index
  uint32_t levels_in = 0;

  // After each frame drawn: starts the levels after the second.
  void frame_drawn(const Scene& scene) {
    if (++frames_drawn >= 2 && levels_due) start_levels(scene);
  }

  void start_levels(const Scene& scene) {
    levels_due = false;
    if (!lod_by_default()) return;
    stop_levels = false;
    const int32_t threads = usable_cores();
    levels = std::async(std::launch::async, [this, &scene, threads] {
      return build_chunk_levels(scene, index, threads, stop_levels);
    });
  }
  // Before the index changes or goes: the builders read it.
  void drop_levels() {
    levels_due = false;
    if (!levels.valid()) return;
    stop_levels = true;
    levels.wait();
    levels = {};
  }
  void take_levels_if_ready(bool wait) {
    if (!levels.valid()) return;
    if (!wait && levels.wait_for(std::chrono::seconds(0)) != std::future_status::ready) return;
    ChunkLevels ready = levels.get();
    if (ready.levels.empty()) return;  // nothing to simplify: the picture stays as it is
    apply_chunk_levels(std::move(ready), index);
    ++levels_in;
  }

  ~Impl() { drop_levels(); }

  // The frame for this view, in `frame`, with the slot's back end ready for it.
  BackendStatus find_frame(Slot& slot, const Scene& scene, std::span<const ObjectPose> poses,
                           std::span<const float> weights, const Camera& camera, int32_t width,
                           int32_t height) {
    if (!index.built_for(scene)) {
      drop_levels();
      build_scene_index(scene, index, false);
      ++generation;
      levels_due = true;
      frames_drawn = 0;
    }
    take_levels_if_ready(false);
    if (slot.prepared != generation) {
      const BackendStatus st = slot.backend->prepare(scene, index);
      if (st != BackendStatus::ok) return st;
      slot.prepared = generation;
    }
    find_visible(scene, index, poses, make_view(camera, width, height, near_plane_distance(index)),
                 frame, slot.backend->draws_levels_of_detail(), weights);
    return BackendStatus::ok;
  }

  // Into a window, a frame equal to the one it shows is not drawn again when the back end can
  // show that one again: a still view with nothing moving in it costs the front end only.
  BackendStatus draw(size_t i, uint32_t window, const Scene& scene,
                     std::span<const ObjectPose> poses, std::span<const float> weights,
                     const Camera& camera, int32_t width, int32_t height,
                     const RenderSettings& settings) {
    Slot& slot = slots[i];
    BackendStatus st = find_frame(slot, scene, poses, weights, camera, width, height);
    if (st != BackendStatus::ok) return st;
    FrameKey key;
    if (window != 0 && slot.backend->keeps_its_frame()) {
      key = FrameKey{i,
                     generation,
                     window,
                     width,
                     height,
                     settings.perspective_accuracy,
                     levels_in,
                     camera,
                     frame.objects,
                     frame.morph_weights};
      if (key == shown) return BackendStatus::ok;
    }
    shown = FrameKey{};
    st = slot.backend->draw(frame, settings);
    if (st == BackendStatus::ok) shown = std::move(key);
    return st;
  }
};

Renderer::Renderer(BackendTable backends, std::string_view only)
    : impl_(std::make_unique<Impl>(backends, only)) {}
Renderer::~Renderer() = default;

void Renderer::render_to_image(const Scene& scene, std::span<const ObjectPose> poses,
                               const Camera& camera, const RenderSettings& settings, int32_t width,
                               int32_t height, Image& out, std::span<const float> morph_weights) {
  Impl& m = *impl_;
  if (!size_allowed(width, height)) {
    out = Image{};
    return;
  }
  // Each failure refuses a row, so the table's length bounds the tries.
  for (size_t tries = 0; tries < m.table.size(); ++tries) {
    const size_t i = m.choose(settings);
    if (i == kNone) break;
    Backend& backend = *m.slots[i].backend;
    BackendStatus st = backend.acquire_offscreen(width, height);
    if (st == BackendStatus::ok)
      st = m.draw(i, 0, scene, poses, morph_weights, camera, width, height, settings);
    if (st == BackendStatus::ok) {
      backend.read_back(out);
      m.frame_drawn(scene);
      return;
    }
    if (!m.refuse(i, backend.failure())) break;
  }
  out = Image{};
}

int32_t Renderer::render_to_window(uint32_t window, const Scene& scene,
                                   std::span<const ObjectPose> poses, const Camera& camera,
                                   const RenderSettings& settings,
                                   std::span<const float> morph_weights) {
  Impl& m = *impl_;
  for (size_t tries = 0; tries < m.table.size(); ++tries) {
    const size_t i = m.choose(settings);
    if (i == kNone) return -1;
    Backend& backend = *m.slots[i].backend;
    int32_t width = 0, height = 0;
    BackendStatus st = backend.acquire_window(window, width, height);
    if (st == BackendStatus::ok && !size_allowed(width, height)) return -1;
    if (st == BackendStatus::ok)
      st = m.draw(i, window, scene, poses, morph_weights, camera, width, height, settings);
    if (st == BackendStatus::ok) st = backend.present();
    if (st == BackendStatus::ok) {
      m.frame_drawn(scene);
      return 0;
    }
    if (st == BackendStatus::window_gone || !m.refuse(i, backend.failure())) return -1;
  }
  return -1;
}

bool Renderer::presented_with_shared_memory() const {
  for (const Impl::Slot& slot : impl_->slots) {
    if (slot.backend && slot.backend->used_shared_memory()) return true;
  }
  return false;
}

std::string Renderer::backend_name() const {
  const Impl& m = *impl_;
  return m.current == kNone ? std::string() : m.slots[m.current].backend->name();
}

void Renderer::finish_levels_of_detail() {
  Impl& m = *impl_;
  if (m.index.scene != nullptr && m.levels_due) m.start_levels(*m.index.scene);
  m.take_levels_if_ready(true);
}

const std::string& Renderer::fallback_reason() const {
  return impl_->fallback_reason;
}

void Renderer::release() {
  Impl& m = *impl_;
  // The 3D card's back end is made anew on its next use, so one that failed may be tried
  // again; the others keep their objects and only let go of what they hold.
  for (size_t i = 0; i < m.slots.size(); ++i) {
    Impl::Slot& slot = m.slots[i];
    if (slot.backend) slot.backend->release();
    if (m.table[i].accelerated) {
      slot = Impl::Slot{};
    } else {
      slot.prepared = 0;
    }
  }
  m.drop_levels();
  m.current = kNone;
  m.shown = FrameKey{};
  m.fallback_reason.clear();
  m.index = SceneIndex{};
  m.frame = Frame{};
  m.choose(RenderSettings{});
}

}  // namespace znr
