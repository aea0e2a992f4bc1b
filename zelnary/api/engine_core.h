// The engine as a C++ object: one world at a time, its cameras, the simulation clock, the
// ground query and rendering. The C exports in zelnary3.cpp are a thin layer over one
// instance; tests and tools make their own instances.
//
// Choices the C contract leaves open:
// - Zoom is the horizontal field of view in degrees, held within [1, 170]; 55 is a natural
//   view. Non-finite values are ignored.
// - The distance from the eye is in world units, >= 0 (negative values become 0). A Behind
//   chase camera (type 1) keeps that distance from its target's origin, behind it along its
//   heading and 15 degrees above, closing in with a 0.3 s exponential smoothing of its offset;
//   a Watch camera (type 2) keeps its location and turns to look at the target's origin.
// - Spaces other than 2 (the camera's own axes) act as 0 (the world's axes).
// - The movement query reports the first point from start: 0 blocked, 1 free, -1 for null
//   or non-finite points. A segment of zero length is free: it crosses nothing.
// - World time is 0 at the first render (or advance) after a load; a direct pose set on a
//   chase camera holds until the next one.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "zelnary/core/load_progress.h"
#include "zelnary/scene/image.h"

namespace znr {

// Seconds of a monotonic clock; injectable so tests can drive world time.
using ClockFn = std::function<double()>;
double monotonic_seconds();

// Which of a world's animations plays: "1" the first (also when unset or empty), "2" the
// second, ..., "0" none (keyframed nodes rest). Read at each load.
inline constexpr const char* kAnimationVariable = "ZELNARY_ANIMATION";

class EngineCore {
 public:
  // backend: the id of the one back end to draw with (api/backends.h), empty for the usual
  // choice.
  explicit EngineCore(ClockFn clock = monotonic_seconds, std::string_view backend = {});
  ~EngineCore();
  EngineCore(const EngineCore&) = delete;
  EngineCore& operator=(const EngineCore&) = delete;

  // 0 = loaded; -1 = failure, reason on standard error, engine left empty. Replaces any
  // world already loaded. A file that is not a world file (import_model.h: is_world_file) is
  // imported through zelnary-import: glTF, OBJ, FBX, COLLADA, ...
  int32_t load_world(const std::string& world_path, const std::string& bitmaps_dir);
  // The reason the last load failed, as printed; empty after a successful load.
  const std::string& last_load_error() const;
  // The load under way: its step and, where the step counts, items done of total. Safe from
  // any thread while load_world runs on another, as is cancel_load: it makes that load
  // return -1 ("PATH: load cancelled") soon after, an importer child killed at once. Without
  // a load running, cancel_load does nothing.
  LoadStep load_step(uint32_t* done = nullptr, uint32_t* total = nullptr) const;
  void cancel_load();
  bool empty() const;
  void close();

  void set_perspective_correction_accuracy(double accuracy);
  void use_accelerator(bool use);
  bool accelerator() const;
  // What drew the last frame: "CPU" or "OpenGL (renderer)"; the 3D card falls back to the CPU
  // when OpenGL cannot run.
  std::string renderer_name() const;

  // Advances world time to the clock's now, then draws. 0 = drawn, -1 = failure.
  int32_t render(uint32_t window, int32_t camera);
  // The same into an image (tests, tools). false: no world or unknown camera.
  bool render_to_image(int32_t camera, int32_t width, int32_t height, Image& out);
  // Advances world time to the clock's now: moving objects and chase cameras.
  void advance();

  // 0 = blocked, with the first blocking point from start; 1 = free (or no world); -1 = a null
  // or non-finite point.
  int32_t is_movement_possible(const double* start, const double* end, double* blocked_at);

  // Cameras: handles are > 0; 0 = none. The world's cameras come first, in file order.
  int32_t camera_create(const std::string& name);
  int32_t first_camera() const;
  int32_t next_camera(int32_t camera) const;
  int32_t chase_type(int32_t camera) const;
  bool get_location(int32_t camera, double* xyz) const;
  void set_location(int32_t camera, const double* xyz);
  bool get_direction(int32_t camera, double* xyz) const;
  void set_direction(int32_t camera, const double* xyz);  // zero vector ignored
  double get_zoom(int32_t camera) const;
  double set_zoom(int32_t camera, double zoom);  // returns the zoom in force
  double get_distance_from_eye(int32_t camera) const;
  void set_distance_from_eye(int32_t camera, double distance);
  void rotate_z(int32_t camera, double degrees, int32_t space);
  void rotate_y(int32_t camera, double degrees, int32_t space);
  void move(int32_t camera, int32_t space, double x, double y, double z);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace znr
