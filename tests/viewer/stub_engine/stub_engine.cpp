// A stand-in engine library for the binding tests: every operation does nothing and answers a
// fixed value. Built complete (the optional extras included), without ZNR_camera_move, and
// with only the 24.
#include <cstring>

#include "zelnary3.h"

extern "C" {

int32_t ZNR_API ZNR_engine_load_world(const char*, const char*, const char*, int32_t) {
  return 7;
}
int32_t ZNR_API ZNR_engine_is_engine_empty(void) {
  return 1;
}
void ZNR_API ZNR_engine_close(void) {}
void ZNR_API ZNR_engine_set_perspective_correction_accuracy(double) {}
void ZNR_API ZNR_engine_use_3D_accelerator_card(int32_t) {}
int32_t ZNR_API ZNR_engine_render(int32_t, int32_t) {
  return -1;
}
int32_t ZNR_API ZNR_engine_is_movement_possible(const double*, const double*, int32_t* out1,
                                                double* blocked_at, int32_t* out2) {
  *out1 = 0;
  *out2 = 0;
  blocked_at[2] = -12.5;
  return 0;
}
int32_t ZNR_API ZNR_camera_create(const char*) {
  return 41;
}
int32_t ZNR_API ZNR_camera_get_first_camera(void) {
  return 0;
}
int32_t ZNR_API ZNR_camera_get_next_camera(int32_t) {
  return 0;
}
int32_t ZNR_API ZNR_camera_get_chase_type(int32_t) {
  return 0;
}
void ZNR_API ZNR_camera_get_location1(int32_t, double* xyz) {
  xyz[0] = 1.5;
}
void ZNR_API ZNR_camera_set_location1(int32_t, const double*) {}
void ZNR_API ZNR_camera_get_direction1(int32_t, double*) {}
void ZNR_API ZNR_camera_set_direction1(int32_t, const double*) {}
void ZNR_API ZNR_camera_set_location(int32_t, double, double, double) {}
void ZNR_API ZNR_camera_set_direction(int32_t, double, double, double) {}
double ZNR_API ZNR_camera_get_zoom(int32_t camera) {
  return 50.0 + camera;
}
double ZNR_API ZNR_camera_set_zoom(int32_t, double zoom) {
  return zoom;
}
double ZNR_API ZNR_camera_get_distance_from_eye(int32_t) {
  return 0.0;
}
void ZNR_API ZNR_camera_set_distance_from_eye(int32_t, double) {}
void ZNR_API ZNR_camera_rotate_z(int32_t, double, int32_t) {}
void ZNR_API ZNR_camera_rotate_y(int32_t, double, int32_t) {}
#ifndef STUB_ENGINE_WITHOUT_MOVE
void ZNR_API ZNR_camera_move(int32_t, int32_t, double, double, double) {}
#endif
#ifndef STUB_ENGINE_ONLY_THE_24
int32_t ZNR_API ZNR_engine_get_last_error(char* buffer, int32_t size) {
  const char reason[] = "stub.wld:3: a reason";
  if (buffer && size > 0) {
    const auto n = static_cast<size_t>(size) - 1 < sizeof reason - 1 ? static_cast<size_t>(size) - 1
                                                                     : sizeof reason - 1;
    std::memcpy(buffer, reason, n);
    buffer[n] = '\0';
  }
  return static_cast<int32_t>(sizeof reason - 1);
}
// A load in its textures until cancelled.
static int32_t stub_step = 2;
int32_t ZNR_API ZNR_engine_get_load_progress(int32_t* done, int32_t* total) {
  *done = 3;
  *total = 7;
  return stub_step;
}
void ZNR_API ZNR_engine_cancel_load(void) {
  stub_step = 0;
}
#endif
}
