// A recording Engine: every call is appended to a shared log as a readable line, e.g.
// "ZNR_camera_rotate_z(7, 0.32, 0)". Results are scripted through the public fields.
#pragma once

#include <condition_variable>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "engine/engine.h"

namespace kwellor::fakes {

struct FakeCamera {
  CameraHandle handle = 0;
  int32_t chaseType = 0;
  WorldPoint location;
  WorldPoint direction;
  double zoom = 55.0;
  double distance = 0.0;
};

class FakeEngine : public Engine {
 public:
  explicit FakeEngine(std::vector<std::string>& log) : log_(log) {}

  // Script.
  std::vector<FakeCamera> worldCameras;  // in enumeration order
  CameraHandle createdHandle = 100;      // what ZNR_camera_create gives out
  int32_t loadResult = 0;
  int32_t queryResult = 1;  // 0 = blocked at queryPoint
  WorldPoint queryPoint;
  std::set<std::string> failing;  // operations that throw std::runtime_error
  std::string lastError;          // the reason a failed load gives
  // The optional load progress and cancel exports: absent unless set.
  bool reportsProgress = false;
  bool cancellable = false;
  // What the load reports, each step in turn, held until it has been read once; and whether
  // the load then waits for a cancel (and returns -1 when it comes). Each wait gives up after
  // a few seconds, so a viewer that never reads or cancels fails its test instead of hanging.
  struct ProgressStep {
    int32_t step = 0, done = 0, total = 0;
  };
  std::vector<ProgressStep> loadSteps;
  bool loadWaitsForCancel = false;

  // State.
  bool worldLoaded = false;
  int closeCount = 0;
  std::thread::id loadThread;  // where ZNR_engine_load_world ran
  int cancelCalls() const;
  std::map<CameraHandle, FakeCamera> cameras;  // every camera by handle, ViewerCam included

  // Calls made after ZNR_engine_close.
  int callsAfterClose() const { return callsAfterClose_; }

  int32_t ZNR_engine_load_world(const char* world_path, const char* world_dir,
                                const char* bitmaps_dir, int32_t flags) override;
  int32_t ZNR_engine_is_engine_empty() override;
  void ZNR_engine_close() override;
  void ZNR_engine_set_perspective_correction_accuracy(double accuracy) override;
  void ZNR_engine_use_3D_accelerator_card(int32_t use) override;
  int32_t ZNR_engine_render(int32_t window, CameraHandle camera) override;
  int32_t ZNR_engine_is_movement_possible(const double* start, const double* end, int32_t* out1,
                                          double* blocked_at, int32_t* out2) override;
  CameraHandle ZNR_camera_create(const char* name) override;
  CameraHandle ZNR_camera_get_first_camera() override;
  CameraHandle ZNR_camera_get_next_camera(CameraHandle camera) override;
  int32_t ZNR_camera_get_chase_type(CameraHandle camera) override;
  void ZNR_camera_get_location1(CameraHandle camera, double* xyz) override;
  void ZNR_camera_set_location1(CameraHandle camera, const double* xyz) override;
  void ZNR_camera_get_direction1(CameraHandle camera, double* xyz) override;
  void ZNR_camera_set_direction1(CameraHandle camera, const double* xyz) override;
  void ZNR_camera_set_location(CameraHandle camera, double x, double y, double z) override;
  void ZNR_camera_set_direction(CameraHandle camera, double x, double y, double z) override;
  double ZNR_camera_get_zoom(CameraHandle camera) override;
  double ZNR_camera_set_zoom(CameraHandle camera, double zoom) override;
  double ZNR_camera_get_distance_from_eye(CameraHandle camera) override;
  void ZNR_camera_set_distance_from_eye(CameraHandle camera, double distance) override;
  void ZNR_camera_rotate_z(CameraHandle camera, double degrees, int32_t space) override;
  void ZNR_camera_rotate_y(CameraHandle camera, double degrees, int32_t space) override;
  void ZNR_camera_move(CameraHandle camera, int32_t space, double x, double y, double z) override;
  // Not logged: the log pins the calls of the 24 operations.
  int32_t ZNR_engine_get_last_error(char* buffer, int32_t size) override;
  bool hasLoadProgress() const override { return reportsProgress; }
  bool hasCancelLoad() const override { return cancellable; }
  int32_t ZNR_engine_get_load_progress(int32_t* done, int32_t* total) override;
  void ZNR_engine_cancel_load() override;

 private:
  // Logs the call and throws when the operation is scripted to fail.
  void Record(const std::string& name, const std::string& arguments);
  FakeCamera& Camera(CameraHandle handle);

  // Walks loadSteps on the loading thread; false once cancelled.
  bool ReportLoadSteps();

  std::vector<std::string>& log_;
  int callsAfterClose_ = 0;
  // Shared between the loading thread and the one that watches it.
  mutable std::mutex progressMutex_;
  std::condition_variable progressChanged_;
  ProgressStep current_;
  bool currentRead_ = false;
  bool cancelled_ = false;
  int cancelCalls_ = 0;
};

// Number and point formatting shared by both fakes' logs: 0.32, 55, {1, 2, 3}.
std::string Num(double value);
std::string Point(const double* xyz);

}  // namespace kwellor::fakes
