#include "zelnary/api/engine_core.h"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <future>
#include <iostream>
#include <optional>
#include <vector>

#include "zelnary/api/backends.h"
#include "zelnary/cameras/camera.h"
#include "zelnary/cameras/camera_math.h"
#include "zelnary/collision/segment_query.h"
#include "zelnary/import/import_model.h"
#include "zelnary/render/renderer.h"
#include "zelnary/scene/scene.h"
#include "zelnary/simulation/simulation.h"
#include "zelnary/world/load_world.h"

namespace znr {

double monotonic_seconds() {
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}

// The index into scene.animations that the environment chooses (SIZE_MAX: none); a value
// that is not a number, or names an animation the world lacks, is reported and plays none.
size_t chosen_animation(const std::string& path, const Scene& scene) {
  const char* v = std::getenv(kAnimationVariable);
  if (!v || !*v) return 0;
  const std::string text = v;
  size_t n = 0;
  const auto r = std::from_chars(text.data(), text.data() + text.size(), n);
  if (r.ec != std::errc() || r.ptr != text.data() + text.size()) {
    std::cerr << kAnimationVariable << "=" << text << ": not a number; no animation plays\n";
    return SIZE_MAX;
  }
  if (n == 0) return SIZE_MAX;
  if (n > scene.animations.size() && !scene.animations.empty())
    std::cerr << path << ": animation " << n << " asked for; the world has "
              << scene.animations.size() << "; none plays\n";
  return n - 1;
}

struct EngineCore::Impl {
  explicit Impl(std::string_view backend) : renderer(engine_backends(), backend) {}

  ClockFn clock;
  bool loaded = false;
  Scene scene;
  std::vector<Camera> cameras;  // handle h is cameras[h - 1]
  Simulation simulation;
  SegmentQuery collision;
  Renderer renderer;
  RenderSettings settings;
  std::optional<double> clock_origin;  // the clock at world time 0: the first advance
  std::string load_error;              // why the last load failed; empty after a success
  LoadProgress progress;               // the load under way, read from other threads
  std::string world_path;              // of the world loaded, for its messages

  // The collision structure is not needed for the first picture: it is built after the second
  // frame, on a thread of its own, and a query asked before it is ready waits for it.
  bool collision_due = false;                // loaded, and the build not started
  std::future<std::string> collision_build;  // the reason it failed; empty when built
  std::atomic<bool> stop_collision{false};
  std::vector<ObjectPose> build_poses;

  // The builds after the second frame are told to stop before either is waited for.
  ~Impl() {
    stop_collision = true;
    renderer.release();
    stop_collision_build();
  }

  // The collision structure is built once a second frame is drawn, like the levels of detail:
  // a program that draws one picture never needs it (a query before then builds it at once).
  uint32_t frames_drawn = 0;  // since the load
  void frame_drawn() {
    if (++frames_drawn >= 2) start_collision_build();
  }

  void start_collision_build() {
    if (!collision_due) return;
    collision_due = false;
    stop_collision = false;
    build_poses.assign(simulation.poses().begin(), simulation.poses().end());
    collision_build = std::async(std::launch::async, [this] {
      std::string error;
      collision.build(scene, build_poses, error, &stop_collision);
      return error;
    });
  }
  void stop_collision_build() {
    collision_due = false;
    stop_collision = true;
    if (collision_build.valid()) collision_build.get();
  }
  // The structure made ready to query, with the poses of now: a build done by now is taken in;
  // with wait, one not done is made or waited for first (without, it is left to go on).
  void settle_collision(bool wait) {
    std::string error;
    if (collision_due) {
      if (!wait) return;
      collision_due = false;
      collision.build(scene, simulation.poses(), error);
    } else if (collision_build.valid()) {
      if (!wait && collision_build.wait_for(std::chrono::seconds(0)) != std::future_status::ready)
        return;
      error = collision_build.get();
    }
    if (!error.empty()) std::cerr << world_path << ": " << error << '\n';
    collision.set_poses(simulation.poses());
  }

  Camera* camera(int32_t handle) {
    if (!loaded || handle <= 0 || static_cast<size_t>(handle) > cameras.size()) return nullptr;
    return &cameras[static_cast<size_t>(handle) - 1];
  }
  const Camera* camera(int32_t handle) const { return const_cast<Impl*>(this)->camera(handle); }

  // Frees the world. The renderer lets go too: its caches were built for this scene.
  void unload() {
    stop_collision = true;
    renderer.release();
    stop_collision_build();
    collision.clear();  // before the scene it points into
    scene = Scene{};
    cameras.clear();
    simulation.reset(scene);
    clock_origin.reset();
    loaded = false;
  }

  void advance() {
    if (!loaded) return;
    const double now = clock ? clock() : 0.0;
    if (!clock_origin) clock_origin = now;
    simulation.advance_to(now - *clock_origin, cameras);
    settle_collision(false);
  }
};

EngineCore::EngineCore(ClockFn clock, std::string_view backend)
    : impl_(std::make_unique<Impl>(backend)) {
  impl_->clock = std::move(clock);
}

EngineCore::~EngineCore() = default;

int32_t EngineCore::load_world(const std::string& world_path, const std::string& bitmaps_dir) {
  Impl& m = *impl_;
  m.unload();
  m.progress.begin();
  struct Finished {
    LoadProgress& progress;
    ~Finished() { progress.finish(); }
  } finished{m.progress};
  auto fail = [&](std::string reason, bool print) {
    if (m.progress.cancelled()) reason = world_path + ": load cancelled";
    if (print) std::cerr << reason << '\n';
    m.load_error = std::move(reason);
    m.unload();
    return -1;
  };
  std::string error;
  // Our own worlds are parsed; any other file goes through the importer. Both report errors.
  bool loaded = false;
  if (is_world_file(world_path)) {
    loaded = znr::load_world(world_path, bitmaps_dir, m.scene, error, &m.progress);
  } else {
    m.progress.enter(LoadStep::Importing);
    ImporterLimits limits = importer_limits();
    limits.progress = &m.progress;
    loaded = import_model(world_path, importer_path(), limits, m.scene, error);
  }
  if (!loaded) return fail(error, false);
  if (m.progress.cancelled()) return fail({}, true);
  m.progress.enter(LoadStep::Preparing);
  m.cameras.reserve(m.scene.cameras.size() + 1);
  for (const CameraDef& def : m.scene.cameras) m.cameras.push_back(camera_from_def(def));
  m.simulation.reset(m.scene, chosen_animation(world_path, m.scene));
  if (m.progress.cancelled()) return fail({}, true);
  m.world_path = world_path;
  m.collision_due = true;
  m.frames_drawn = 0;
  m.loaded = true;
  m.load_error.clear();
  return 0;
}

const std::string& EngineCore::last_load_error() const {
  return impl_->load_error;
}

LoadStep EngineCore::load_step(uint32_t* done, uint32_t* total) const {
  return impl_->progress.step(done, total);
}

void EngineCore::cancel_load() {
  impl_->progress.cancel();
}

bool EngineCore::empty() const {
  return !impl_->loaded;
}

void EngineCore::close() {
  impl_->unload();
}

void EngineCore::set_perspective_correction_accuracy(double accuracy) {
  if (std::isfinite(accuracy)) impl_->settings.perspective_accuracy = std::max(accuracy, 0.0);
}

void EngineCore::use_accelerator(bool use) {
  impl_->settings.use_accelerator = use;
}

bool EngineCore::accelerator() const {
  return impl_->settings.use_accelerator;
}

std::string EngineCore::renderer_name() const {
  return impl_->renderer.backend_name();
}

int32_t EngineCore::render(uint32_t window, int32_t camera) {
  Impl& m = *impl_;
  if (!m.camera(camera)) return -1;
  m.advance();
  const int32_t drawn =
      m.renderer.render_to_window(window, m.scene, m.simulation.poses(), *m.camera(camera),
                                  m.settings, m.simulation.morph_weights());
  if (drawn == 0) m.frame_drawn();
  return drawn;
}

bool EngineCore::render_to_image(int32_t camera, int32_t width, int32_t height, Image& out) {
  Impl& m = *impl_;
  if (!m.camera(camera) || width <= 0 || height <= 0) return false;
  m.advance();
  m.renderer.render_to_image(m.scene, m.simulation.poses(), *m.camera(camera), m.settings, width,
                             height, out, m.simulation.morph_weights());
  m.frame_drawn();
  return true;
}

void EngineCore::advance() {
  impl_->advance();
}

int32_t EngineCore::is_movement_possible(const double* start, const double* end,
                                         double* blocked_at) {
  if (!start || !end) return -1;
  const Vec3 a{start[0], start[1], start[2]}, b{end[0], end[1], end[2]};
  if (!is_finite(a) || !is_finite(b)) return -1;
  if (!impl_->loaded) return 1;
  impl_->settle_collision(true);
  const std::optional<Vec3> hit = impl_->collision.first_hit(a, b);
  if (!hit) return 1;
  if (blocked_at) {
    blocked_at[0] = hit->x;
    blocked_at[1] = hit->y;
    blocked_at[2] = hit->z;
  }
  return 0;
}

int32_t EngineCore::camera_create(const std::string& name) {
  Impl& m = *impl_;
  if (!m.loaded || m.cameras.size() >= static_cast<size_t>(INT32_MAX)) return 0;
  Camera cam;
  cam.name = name;
  m.cameras.push_back(std::move(cam));
  return static_cast<int32_t>(m.cameras.size());
}

int32_t EngineCore::first_camera() const {
  return impl_->camera(1) ? 1 : 0;
}

int32_t EngineCore::next_camera(int32_t camera) const {
  if (!impl_->camera(camera)) return 0;
  return impl_->camera(camera + 1) ? camera + 1 : 0;
}

int32_t EngineCore::chase_type(int32_t camera) const {
  const Camera* cam = impl_->camera(camera);
  return cam ? static_cast<int32_t>(cam->chase) : 0;
}

bool EngineCore::get_location(int32_t camera, double* xyz) const {
  const Camera* cam = impl_->camera(camera);
  if (!cam || !xyz) return false;
  xyz[0] = cam->location.x;
  xyz[1] = cam->location.y;
  xyz[2] = cam->location.z;
  return true;
}

void EngineCore::set_location(int32_t camera, const double* xyz) {
  Camera* cam = impl_->camera(camera);
  if (cam && xyz) camera_set_location(*cam, {xyz[0], xyz[1], xyz[2]});
}

bool EngineCore::get_direction(int32_t camera, double* xyz) const {
  const Camera* cam = impl_->camera(camera);
  if (!cam || !xyz) return false;
  xyz[0] = cam->forward.x;
  xyz[1] = cam->forward.y;
  xyz[2] = cam->forward.z;
  return true;
}

void EngineCore::set_direction(int32_t camera, const double* xyz) {
  Camera* cam = impl_->camera(camera);
  if (cam && xyz) camera_set_direction(*cam, {xyz[0], xyz[1], xyz[2]});
}

double EngineCore::get_zoom(int32_t camera) const {
  const Camera* cam = impl_->camera(camera);
  return cam ? cam->zoom : 0.0;
}

double EngineCore::set_zoom(int32_t camera, double zoom) {
  Camera* cam = impl_->camera(camera);
  return cam ? camera_set_zoom(*cam, zoom) : 0.0;
}

double EngineCore::get_distance_from_eye(int32_t camera) const {
  const Camera* cam = impl_->camera(camera);
  return cam ? cam->distance_from_eye : 0.0;
}

void EngineCore::set_distance_from_eye(int32_t camera, double distance) {
  Camera* cam = impl_->camera(camera);
  if (cam) camera_set_distance_from_eye(*cam, distance);
}

void EngineCore::rotate_z(int32_t camera, double degrees, int32_t space) {
  Camera* cam = impl_->camera(camera);
  if (cam) camera_rotate_z(*cam, degrees, space);
}

void EngineCore::rotate_y(int32_t camera, double degrees, int32_t space) {
  Camera* cam = impl_->camera(camera);
  if (cam) camera_rotate_y(*cam, degrees, space);
}

void EngineCore::move(int32_t camera, int32_t space, double x, double y, double z) {
  Camera* cam = impl_->camera(camera);
  if (cam) camera_move(*cam, space, {x, y, z});
}

}  // namespace znr
