// The library's 24 operations bound by name through dlopen, as the viewer binds them.
#pragma once

#include <dlfcn.h>

#include "zelnary3.h"

namespace znr::testing {

#define ZNR_OPERATIONS(X)                           \
  X(ZNR_engine_load_world)                          \
  X(ZNR_engine_is_engine_empty)                     \
  X(ZNR_engine_close)                               \
  X(ZNR_engine_set_perspective_correction_accuracy) \
  X(ZNR_engine_use_3D_accelerator_card)             \
  X(ZNR_engine_render)                              \
  X(ZNR_engine_is_movement_possible)                \
  X(ZNR_camera_create)                              \
  X(ZNR_camera_get_first_camera)                    \
  X(ZNR_camera_get_next_camera)                     \
  X(ZNR_camera_get_chase_type)                      \
  X(ZNR_camera_get_location1)                       \
  X(ZNR_camera_set_location1)                       \
  X(ZNR_camera_get_direction1)                      \
  X(ZNR_camera_set_direction1)                      \
  X(ZNR_camera_set_location)                        \
  X(ZNR_camera_set_direction)                       \
  X(ZNR_camera_get_zoom)                            \
  X(ZNR_camera_set_zoom)                            \
  X(ZNR_camera_get_distance_from_eye)               \
  X(ZNR_camera_set_distance_from_eye)               \
  X(ZNR_camera_rotate_z)                            \
  X(ZNR_camera_rotate_y)                            \
  X(ZNR_camera_move)

// The library's operations, bound by name once for the whole test program.
struct Api {
#define DECLARE(name) decltype(&::name) name = nullptr;
  ZNR_OPERATIONS(DECLARE)
#undef DECLARE
  void* handle = nullptr;
  int resolved = 0;

  Api() {
    handle = dlopen(ZELNARY3_PATH, RTLD_NOW | RTLD_LOCAL);
    if (!handle) return;
#define RESOLVE(op)                                        \
  op = reinterpret_cast<decltype(op)>(dlsym(handle, #op)); \
  resolved += op != nullptr;
    ZNR_OPERATIONS(RESOLVE)
#undef RESOLVE
  }
};

inline const Api& api() {
  static const Api a;
  return a;
}

}  // namespace znr::testing
