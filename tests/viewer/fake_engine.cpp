#include "tests/viewer/fake_engine.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <stdexcept>

namespace kwellor::fakes {

std::string Num(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%.10g", value);
  return text;
}

// Appended piece by piece: GCC 12 at -O3 misreads a chain of string + as overlapping copies.
std::string Point(const double* xyz) {
  std::string text = "{";
  for (int i = 0; i < 3; ++i) {
    if (i > 0) text += ", ";
    text += Num(xyz[i]);
  }
  return text += "}";
}

namespace {

std::string Quoted(const char* text) {
  return std::string("\"") + text + "\"";
}
std::string Int(int32_t value) {
  return std::to_string(value);
}

}  // namespace

void FakeEngine::Record(const std::string& name, const std::string& arguments) {
  if (closeCount > 0) ++callsAfterClose_;
  log_.push_back(name + "(" + arguments + ")");
  if (failing.count(name) != 0) throw std::runtime_error(name + " failed");
}

FakeCamera& FakeEngine::Camera(CameraHandle handle) {
  FakeCamera& camera = cameras[handle];
  camera.handle = handle;
  return camera;
}

int32_t FakeEngine::ZNR_engine_load_world(const char* world_path, const char* world_dir,
                                          const char* bitmaps_dir, int32_t flags) {
  loadThread = std::this_thread::get_id();
  Record("ZNR_engine_load_world", Quoted(world_path) + ", " + Quoted(world_dir) + ", " +
                                      Quoted(bitmaps_dir) + ", " + Int(flags));
  if (!ReportLoadSteps() || loadResult == -1) return -1;
  worldLoaded = true;
  for (const FakeCamera& camera : worldCameras) cameras[camera.handle] = camera;
  return loadResult;
}

int32_t FakeEngine::ZNR_engine_is_engine_empty() {
  Record("ZNR_engine_is_engine_empty", "");
  return worldLoaded ? 0 : 1;
}

void FakeEngine::ZNR_engine_close() {
  Record("ZNR_engine_close", "");
  worldLoaded = false;
  ++closeCount;
}

void FakeEngine::ZNR_engine_set_perspective_correction_accuracy(double accuracy) {
  Record("ZNR_engine_set_perspective_correction_accuracy", Num(accuracy));
}

void FakeEngine::ZNR_engine_use_3D_accelerator_card(int32_t use) {
  Record("ZNR_engine_use_3D_accelerator_card", Int(use));
}

int32_t FakeEngine::ZNR_engine_render(int32_t window, CameraHandle camera) {
  Record("ZNR_engine_render", Int(window) + ", " + Int(camera));
  return 0;
}

int32_t FakeEngine::ZNR_engine_is_movement_possible(const double* start, const double* end,
                                                    int32_t* out1, double* blocked_at,
                                                    int32_t* out2) {
  Record("ZNR_engine_is_movement_possible", Point(start) + ", " + Point(end) + ", " + Int(*out1) +
                                                ", " + Point(blocked_at) + ", " + Int(*out2));
  if (queryResult == 0) {
    for (int i = 0; i < 3; ++i) blocked_at[i] = queryPoint[i];
  }
  return queryResult;
}

CameraHandle FakeEngine::ZNR_camera_create(const char* name) {
  Record("ZNR_camera_create", Quoted(name));
  FakeCamera& camera = Camera(createdHandle);
  camera.direction[0] = 1.0;
  return createdHandle;
}

CameraHandle FakeEngine::ZNR_camera_get_first_camera() {
  Record("ZNR_camera_get_first_camera", "");
  return worldCameras.empty() ? 0 : worldCameras.front().handle;
}

CameraHandle FakeEngine::ZNR_camera_get_next_camera(CameraHandle camera) {
  Record("ZNR_camera_get_next_camera", Int(camera));
  for (size_t i = 0; i + 1 < worldCameras.size(); ++i) {
    if (worldCameras[i].handle == camera) return worldCameras[i + 1].handle;
  }
  return 0;
}

int32_t FakeEngine::ZNR_camera_get_chase_type(CameraHandle camera) {
  Record("ZNR_camera_get_chase_type", Int(camera));
  return Camera(camera).chaseType;
}

void FakeEngine::ZNR_camera_get_location1(CameraHandle camera, double* xyz) {
  Record("ZNR_camera_get_location1", Int(camera));
  for (int i = 0; i < 3; ++i) xyz[i] = Camera(camera).location[i];
}

void FakeEngine::ZNR_camera_set_location1(CameraHandle camera, const double* xyz) {
  Record("ZNR_camera_set_location1", Int(camera) + ", " + Point(xyz));
  for (int i = 0; i < 3; ++i) Camera(camera).location[i] = xyz[i];
}

void FakeEngine::ZNR_camera_get_direction1(CameraHandle camera, double* xyz) {
  Record("ZNR_camera_get_direction1", Int(camera));
  for (int i = 0; i < 3; ++i) xyz[i] = Camera(camera).direction[i];
}

void FakeEngine::ZNR_camera_set_direction1(CameraHandle camera, const double* xyz) {
  Record("ZNR_camera_set_direction1", Int(camera) + ", " + Point(xyz));
  for (int i = 0; i < 3; ++i) Camera(camera).direction[i] = xyz[i];
}

void FakeEngine::ZNR_camera_set_location(CameraHandle camera, double x, double y, double z) {
  Record("ZNR_camera_set_location", Int(camera) + ", " + Num(x) + ", " + Num(y) + ", " + Num(z));
  Camera(camera).location = WorldPoint{{x, y, z}};
}

void FakeEngine::ZNR_camera_set_direction(CameraHandle camera, double x, double y, double z) {
  Record("ZNR_camera_set_direction", Int(camera) + ", " + Num(x) + ", " + Num(y) + ", " + Num(z));
  Camera(camera).direction = WorldPoint{{x, y, z}};
}

double FakeEngine::ZNR_camera_get_zoom(CameraHandle camera) {
  Record("ZNR_camera_get_zoom", Int(camera));
  return Camera(camera).zoom;
}

double FakeEngine::ZNR_camera_set_zoom(CameraHandle camera, double zoom) {
  Record("ZNR_camera_set_zoom", Int(camera) + ", " + Num(zoom));
  Camera(camera).zoom = zoom;
  return zoom;
}

double FakeEngine::ZNR_camera_get_distance_from_eye(CameraHandle camera) {
  Record("ZNR_camera_get_distance_from_eye", Int(camera));
  return Camera(camera).distance;
}

void FakeEngine::ZNR_camera_set_distance_from_eye(CameraHandle camera, double distance) {
  Record("ZNR_camera_set_distance_from_eye", Int(camera) + ", " + Num(distance));
  Camera(camera).distance = distance;
}

void FakeEngine::ZNR_camera_rotate_z(CameraHandle camera, double degrees, int32_t space) {
  Record("ZNR_camera_rotate_z", Int(camera) + ", " + Num(degrees) + ", " + Int(space));
}

void FakeEngine::ZNR_camera_rotate_y(CameraHandle camera, double degrees, int32_t space) {
  Record("ZNR_camera_rotate_y", Int(camera) + ", " + Num(degrees) + ", " + Int(space));
}

void FakeEngine::ZNR_camera_move(CameraHandle camera, int32_t space, double x, double y, double z) {
  Record("ZNR_camera_move",
         Int(camera) + ", " + Int(space) + ", " + Num(x) + ", " + Num(y) + ", " + Num(z));
}

int32_t FakeEngine::ZNR_engine_get_last_error(char* buffer, int32_t size) {
  if (buffer != nullptr && size > 0) {
    const size_t n = std::min(lastError.size(), static_cast<size_t>(size) - 1);
    lastError.copy(buffer, n);
    buffer[n] = '\0';
  }
  return static_cast<int32_t>(lastError.size());
}

namespace {
constexpr auto kGiveUp = std::chrono::seconds(5);
}  // namespace

bool FakeEngine::ReportLoadSteps() {
  std::unique_lock lock(progressMutex_);
  cancelled_ = false;
  for (const ProgressStep& step : loadSteps) {
    current_ = step;
    currentRead_ = false;
    progressChanged_.wait_for(lock, kGiveUp, [&] { return currentRead_ || cancelled_; });
  }
  if (loadWaitsForCancel) progressChanged_.wait_for(lock, kGiveUp, [&] { return cancelled_; });
  current_ = {};
  return !cancelled_;
}

int32_t FakeEngine::ZNR_engine_get_load_progress(int32_t* done, int32_t* total) {
  const std::lock_guard lock(progressMutex_);
  currentRead_ = true;
  progressChanged_.notify_all();
  *done = current_.done;
  *total = current_.total;
  return current_.step;
}

void FakeEngine::ZNR_engine_cancel_load() {
  const std::lock_guard lock(progressMutex_);
  cancelled_ = true;
  ++cancelCalls_;
  progressChanged_.notify_all();
}

int FakeEngine::cancelCalls() const {
  const std::lock_guard lock(progressMutex_);
  return cancelCalls_;
}

}  // namespace kwellor::fakes
