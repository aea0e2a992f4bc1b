#include "engine/engine_binding.h"

#include <dlfcn.h>

#include <cstdlib>

#include "zelnary3.h"

namespace kwellor {
namespace {

// The engine's operations as bound from the library. The library stays loaded for the life of
// the process: unloading it at exit would race its own X connection and exit handlers.
class BoundEngine final : public Engine {
 public:
  // Binds every operation; returns the name of the first one missing, or empty.
  std::string Bind(void* library) {
#define KWELLOR_BIND(name)                                                \
  fn_##name = reinterpret_cast<decltype(&::name)>(dlsym(library, #name)); \
  if (fn_##name == nullptr) return #name;
    ZNR_OPERATIONS(KWELLOR_BIND)
#undef KWELLOR_BIND
    // Optional: an engine without it still runs the viewer, with no reason for a failed load.
    fn_ZNR_engine_get_last_error = reinterpret_cast<decltype(&::ZNR_engine_get_last_error)>(
        dlsym(library, "ZNR_engine_get_last_error"));
    // Optional too: without them the load stays on the GUI thread and cannot be cancelled.
    fn_ZNR_engine_get_load_progress = reinterpret_cast<decltype(&::ZNR_engine_get_load_progress)>(
        dlsym(library, "ZNR_engine_get_load_progress"));
    fn_ZNR_engine_cancel_load = reinterpret_cast<decltype(&::ZNR_engine_cancel_load)>(
        dlsym(library, "ZNR_engine_cancel_load"));
    return {};
  }

  int32_t ZNR_engine_load_world(const char* world_path, const char* world_dir,
                                const char* bitmaps_dir, int32_t flags) override {
    return fn_ZNR_engine_load_world(world_path, world_dir, bitmaps_dir, flags);
  }
  int32_t ZNR_engine_is_engine_empty() override {
    return fn_ZNR_engine_is_engine_empty();
  }
  void ZNR_engine_close() override {
    fn_ZNR_engine_close();
  }
  void ZNR_engine_set_perspective_correction_accuracy(double accuracy) override {
    fn_ZNR_engine_set_perspective_correction_accuracy(accuracy);
  }
  void ZNR_engine_use_3D_accelerator_card(int32_t use) override {
    fn_ZNR_engine_use_3D_accelerator_card(use);
  }
  int32_t ZNR_engine_render(int32_t window, CameraHandle camera) override {
    return fn_ZNR_engine_render(window, camera);
  }
  int32_t ZNR_engine_is_movement_possible(const double* start, const double* end, int32_t* out1,
                                          double* blocked_at, int32_t* out2) override {
    return fn_ZNR_engine_is_movement_possible(start, end, out1, blocked_at, out2);
  }
  CameraHandle ZNR_camera_create(const char* name) override {
    return fn_ZNR_camera_create(name);
  }
  CameraHandle ZNR_camera_get_first_camera() override {
    return fn_ZNR_camera_get_first_camera();
  }
  CameraHandle ZNR_camera_get_next_camera(CameraHandle camera) override {
    return fn_ZNR_camera_get_next_camera(camera);
  }
  int32_t ZNR_camera_get_chase_type(CameraHandle camera) override {
    return fn_ZNR_camera_get_chase_type(camera);
  }
  void ZNR_camera_get_location1(CameraHandle camera, double* xyz) override {
    fn_ZNR_camera_get_location1(camera, xyz);
  }
  void ZNR_camera_set_location1(CameraHandle camera, const double* xyz) override {
    fn_ZNR_camera_set_location1(camera, xyz);
  }
  void ZNR_camera_get_direction1(CameraHandle camera, double* xyz) override {
    fn_ZNR_camera_get_direction1(camera, xyz);
  }
  void ZNR_camera_set_direction1(CameraHandle camera, const double* xyz) override {
    fn_ZNR_camera_set_direction1(camera, xyz);
  }
  void ZNR_camera_set_location(CameraHandle camera, double x, double y, double z) override {
    fn_ZNR_camera_set_location(camera, x, y, z);
  }
  void ZNR_camera_set_direction(CameraHandle camera, double x, double y, double z) override {
    fn_ZNR_camera_set_direction(camera, x, y, z);
  }
  double ZNR_camera_get_zoom(CameraHandle camera) override {
    return fn_ZNR_camera_get_zoom(camera);
  }
  double ZNR_camera_set_zoom(CameraHandle camera, double zoom) override {
    return fn_ZNR_camera_set_zoom(camera, zoom);
  }
  double ZNR_camera_get_distance_from_eye(CameraHandle camera) override {
    return fn_ZNR_camera_get_distance_from_eye(camera);
  }
  void ZNR_camera_set_distance_from_eye(CameraHandle camera, double distance) override {
    fn_ZNR_camera_set_distance_from_eye(camera, distance);
  }
  void ZNR_camera_rotate_z(CameraHandle camera, double degrees, int32_t space) override {
    fn_ZNR_camera_rotate_z(camera, degrees, space);
  }
  void ZNR_camera_rotate_y(CameraHandle camera, double degrees, int32_t space) override {
    fn_ZNR_camera_rotate_y(camera, degrees, space);
  }
  void ZNR_camera_move(CameraHandle camera, int32_t space, double x, double y, double z) override {
    fn_ZNR_camera_move(camera, space, x, y, z);
  }
  int32_t ZNR_engine_get_last_error(char* buffer, int32_t size) override {
    if (fn_ZNR_engine_get_last_error == nullptr)
      return Engine::ZNR_engine_get_last_error(buffer, size);
    return fn_ZNR_engine_get_last_error(buffer, size);
  }
  bool hasLoadProgress() const override {
    return fn_ZNR_engine_get_load_progress != nullptr;
  }
  bool hasCancelLoad() const override {
    return fn_ZNR_engine_cancel_load != nullptr;
  }
  int32_t ZNR_engine_get_load_progress(int32_t* done, int32_t* total) override {
    if (fn_ZNR_engine_get_load_progress == nullptr)
      return Engine::ZNR_engine_get_load_progress(done, total);
    return fn_ZNR_engine_get_load_progress(done, total);
  }
  void ZNR_engine_cancel_load() override {
    if (fn_ZNR_engine_cancel_load != nullptr) fn_ZNR_engine_cancel_load();
  }

 private:
#define KWELLOR_POINTER(name) decltype(&::name) fn_##name = nullptr;
  ZNR_OPERATIONS(KWELLOR_POINTER)
  KWELLOR_POINTER(ZNR_engine_get_last_error)
  KWELLOR_POINTER(ZNR_engine_get_load_progress)
  KWELLOR_POINTER(ZNR_engine_cancel_load)
#undef KWELLOR_POINTER
};

}  // namespace

std::string EngineLibraryPath(const std::string& exeDir) {
  const char* chosen = std::getenv("KWELLOR_ENGINE");
  if (chosen != nullptr && chosen[0] != '\0') return chosen;
  return exeDir + "/libzelnary3.so";
}

std::unique_ptr<Engine> BindEngine(const std::string& libraryPath, std::string& error) {
  void* library = dlopen(libraryPath.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) {
    const char* reason = dlerror();
    error = "The engine library " + libraryPath + " cannot be loaded";
    if (reason != nullptr) error += std::string(": ") + reason;
    return nullptr;
  }
  auto engine = std::make_unique<BoundEngine>();
  std::string missing = engine->Bind(library);
  if (!missing.empty()) {
    error = "The engine library " + libraryPath + " has no function " + missing;
    dlclose(library);
    return nullptr;
  }
  error.clear();
  return engine;
}

}  // namespace kwellor
