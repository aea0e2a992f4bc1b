// The 24 C exports: argument checks and conversions over one engine instance.
#include "zelnary3.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "zelnary/api/engine_core.h"

namespace {

// The engine behind the C operations, with what only this layer knows. Made on the first call
// and never destroyed: the viewer may call in until the very end of the process.
struct CEngine {
  // ZELNARY_BACKEND names the one back end to draw with (tests, headless machines).
  znr::EngineCore core{znr::monotonic_seconds, env_or_empty("ZELNARY_BACKEND")};
  std::string refused_load;  // a load refused for its arguments, before the core was asked

  static const char* env_or_empty(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
  }
};

CEngine& engine() {
  static CEngine* instance = new CEngine();
  return *instance;
}

znr::EngineCore& core() {
  return engine().core;
}

std::string& refused_load() {
  return engine().refused_load;
}

std::string text(const char* s) {
  return s ? std::string(s) : std::string();
}

}  // namespace

extern "C" {

int32_t ZNR_API ZNR_engine_load_world(const char* world_path, const char* /*world_dir*/,
                                      const char* bitmaps_dir, int32_t flags) {
  refused_load().clear();
  if (!world_path || flags != 0) {
    core().close();
    refused_load() = std::string(world_path ? world_path : "(null)") + ": " +
                     (world_path ? "unsupported load flags (must be 0)" : "no world path given");
    std::fprintf(stderr, "%s\n", refused_load().c_str());
    return -1;
  }
  return core().load_world(world_path, text(bitmaps_dir));
}

int32_t ZNR_API ZNR_engine_get_last_error(char* buffer, int32_t size) {
  const std::string& reason = refused_load().empty() ? core().last_load_error() : refused_load();
  if (buffer && size > 0) {
    const size_t n = std::min(reason.size(), static_cast<size_t>(size) - 1);
    std::memcpy(buffer, reason.data(), n);
    buffer[n] = '\0';
  }
  return static_cast<int32_t>(std::min<size_t>(reason.size(), INT32_MAX));
}

int32_t ZNR_API ZNR_engine_get_load_progress(int32_t* done, int32_t* total) {
  uint32_t d = 0, t = 0;
  const znr::LoadStep step = core().load_step(&d, &t);
  if (done) *done = static_cast<int32_t>(std::min<uint32_t>(d, INT32_MAX));
  if (total) *total = static_cast<int32_t>(std::min<uint32_t>(t, INT32_MAX));
  return static_cast<int32_t>(step);
}

void ZNR_API ZNR_engine_cancel_load(void) {
  core().cancel_load();
}

int32_t ZNR_API ZNR_engine_is_engine_empty(void) {
  return core().empty() ? 1 : 0;
}

void ZNR_API ZNR_engine_close(void) {
  core().close();
}

void ZNR_API ZNR_engine_set_perspective_correction_accuracy(double accuracy) {
  core().set_perspective_correction_accuracy(accuracy);
}

void ZNR_API ZNR_engine_use_3D_accelerator_card(int32_t use) {
  core().use_accelerator(use != 0);
}

int32_t ZNR_API ZNR_engine_render(int32_t window, int32_t camera) {
  return core().render(static_cast<uint32_t>(window), camera);
}

int32_t ZNR_API ZNR_engine_is_movement_possible(const double* start, const double* end,
                                                int32_t* out1, double* blocked_at, int32_t* out2) {
  if (out1) *out1 = 0;
  if (out2) *out2 = 0;
  return core().is_movement_possible(start, end, blocked_at);
}

int32_t ZNR_API ZNR_camera_create(const char* name) {
  return core().camera_create(text(name));
}

int32_t ZNR_API ZNR_camera_get_first_camera(void) {
  return core().first_camera();
}

int32_t ZNR_API ZNR_camera_get_next_camera(int32_t camera) {
  return core().next_camera(camera);
}

int32_t ZNR_API ZNR_camera_get_chase_type(int32_t camera) {
  return core().chase_type(camera);
}

void ZNR_API ZNR_camera_get_location1(int32_t camera, double* xyz) {
  core().get_location(camera, xyz);
}

void ZNR_API ZNR_camera_set_location1(int32_t camera, const double* xyz) {
  core().set_location(camera, xyz);
}

void ZNR_API ZNR_camera_get_direction1(int32_t camera, double* xyz) {
  core().get_direction(camera, xyz);
}

void ZNR_API ZNR_camera_set_direction1(int32_t camera, const double* xyz) {
  core().set_direction(camera, xyz);
}

void ZNR_API ZNR_camera_set_location(int32_t camera, double x, double y, double z) {
  const double xyz[3] = {x, y, z};
  core().set_location(camera, xyz);
}

void ZNR_API ZNR_camera_set_direction(int32_t camera, double x, double y, double z) {
  const double xyz[3] = {x, y, z};
  core().set_direction(camera, xyz);
}

double ZNR_API ZNR_camera_get_zoom(int32_t camera) {
  return core().get_zoom(camera);
}

double ZNR_API ZNR_camera_set_zoom(int32_t camera, double zoom) {
  return core().set_zoom(camera, zoom);
}

double ZNR_API ZNR_camera_get_distance_from_eye(int32_t camera) {
  return core().get_distance_from_eye(camera);
}

void ZNR_API ZNR_camera_set_distance_from_eye(int32_t camera, double distance) {
  core().set_distance_from_eye(camera, distance);
}

void ZNR_API ZNR_camera_rotate_z(int32_t camera, double degrees, int32_t space) {
  core().rotate_z(camera, degrees, space);
}

void ZNR_API ZNR_camera_rotate_y(int32_t camera, double degrees, int32_t space) {
  core().rotate_y(camera, degrees, space);
}

void ZNR_API ZNR_camera_move(int32_t camera, int32_t space, double x, double y, double z) {
  core().move(camera, space, x, y, z);
}

}  // extern "C"
