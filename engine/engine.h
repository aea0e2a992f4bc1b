// The engine seam: the 24 operations the viewer calls, under their own names, and the optional
// extras: the reason of a failed load, a load's progress and its cancel. The production
// implementation binds them by name from the engine library at run time (engine_binding.h);
// tests use a recording fake.
#pragma once

#include <cstdint>
#include <string>

namespace kwellor {

using CameraHandle = int32_t;

// Three doubles x, y, z in world units, z up; handed to the engine as the address of x.
struct WorldPoint {
  double v[3] = {0.0, 0.0, 0.0};
  double& operator[](int i) { return v[i]; }
  double operator[](int i) const { return v[i]; }
  double* data() { return v; }
  const double* data() const { return v; }
};

class Engine {
 public:
  virtual ~Engine();

  virtual int32_t ZNR_engine_load_world(const char* world_path, const char* world_dir,
                                        const char* bitmaps_dir, int32_t flags) = 0;
  virtual int32_t ZNR_engine_is_engine_empty() = 0;
  virtual void ZNR_engine_close() = 0;
  virtual void ZNR_engine_set_perspective_correction_accuracy(double accuracy) = 0;
  virtual void ZNR_engine_use_3D_accelerator_card(int32_t use) = 0;
  virtual int32_t ZNR_engine_render(int32_t window, CameraHandle camera) = 0;
  virtual int32_t ZNR_engine_is_movement_possible(const double* start, const double* end,
                                                  int32_t* out1, double* blocked_at,
                                                  int32_t* out2) = 0;
  virtual CameraHandle ZNR_camera_create(const char* name) = 0;
  virtual CameraHandle ZNR_camera_get_first_camera() = 0;
  virtual CameraHandle ZNR_camera_get_next_camera(CameraHandle camera) = 0;
  virtual int32_t ZNR_camera_get_chase_type(CameraHandle camera) = 0;
  virtual void ZNR_camera_get_location1(CameraHandle camera, double* xyz) = 0;
  virtual void ZNR_camera_set_location1(CameraHandle camera, const double* xyz) = 0;
  virtual void ZNR_camera_get_direction1(CameraHandle camera, double* xyz) = 0;
  virtual void ZNR_camera_set_direction1(CameraHandle camera, const double* xyz) = 0;
  virtual void ZNR_camera_set_location(CameraHandle camera, double x, double y, double z) = 0;
  virtual void ZNR_camera_set_direction(CameraHandle camera, double x, double y, double z) = 0;
  virtual double ZNR_camera_get_zoom(CameraHandle camera) = 0;
  virtual double ZNR_camera_set_zoom(CameraHandle camera, double zoom) = 0;
  virtual double ZNR_camera_get_distance_from_eye(CameraHandle camera) = 0;
  virtual void ZNR_camera_set_distance_from_eye(CameraHandle camera, double distance) = 0;
  virtual void ZNR_camera_rotate_z(CameraHandle camera, double degrees, int32_t space) = 0;
  virtual void ZNR_camera_rotate_y(CameraHandle camera, double degrees, int32_t space) = 0;
  virtual void ZNR_camera_move(CameraHandle camera, int32_t space, double x, double y,
                               double z) = 0;

  // Beside the 24 and optional in the library: the reason the last load failed, as zelnary3.h
  // describes it. An engine without it knows no reason: 0, and an empty text in the buffer.
  virtual int32_t ZNR_engine_get_last_error(char* buffer, int32_t size);

  // Also optional: the progress of a load running on another thread, and a request to stop it
  // (zelnary3.h). Only an engine with the first may be loaded off the GUI thread; without it
  // the step is 0 (none). Without the second, a cancel does nothing.
  virtual bool hasLoadProgress() const;
  virtual bool hasCancelLoad() const;
  virtual int32_t ZNR_engine_get_load_progress(int32_t* done, int32_t* total);
  virtual void ZNR_engine_cancel_load();
};

// The engine's reason for the last failed load, or empty when it gives none.
std::string LastLoadError(Engine& engine);

}  // namespace kwellor
