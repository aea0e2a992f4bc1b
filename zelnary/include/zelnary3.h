/* The public face of the engine library libzelnary3: 24 operations with C linkage.
 *
 * Contracts shared by every operation:
 * - One world at a time. Every call is safe when no world is loaded (it does nothing, or
 *   returns 0 / none) and with an unknown camera handle.
 * - Camera handles are int32; 0 means none and ends the camera enumeration.
 * - A point is the address of three doubles x, y, z in world units, z up.
 * - Spaces: 0 = the world's axes, 2 = the camera's own axes (x forward, y to its right,
 *   z up). Positive angles turn by the right-hand rule about the axis named: a positive
 *   yaw about world z turns left, a positive pitch about the camera's y turns the view up,
 *   and a move of negative y goes left.
 * - Calls are made from one thread at a time. ZNR_engine_load_world may run on a thread of its
 *   own; while it runs, only ZNR_engine_get_load_progress and ZNR_engine_cancel_load may be
 *   called, from any other thread.
 */
#ifndef ZELNARY3_H
#define ZELNARY3_H

#include <stdint.h>

#if defined(_WIN32)
#define ZNR_API __stdcall
#define ZNR_EXPORT __declspec(dllexport)
#else
#define ZNR_API
#define ZNR_EXPORT __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Loads a world; world_dir is unused (may be empty), flags must be 0. -1 = failure, with the
 * reason (file and line) on standard error; the engine is then left empty. */
ZNR_EXPORT int32_t ZNR_API ZNR_engine_load_world(const char* world_path, const char* world_dir,
                                                 const char* bitmaps_dir, int32_t flags);
/* 0 = a world is loaded, 1 = empty. */
ZNR_EXPORT int32_t ZNR_API ZNR_engine_is_engine_empty(void);
ZNR_EXPORT void ZNR_API ZNR_engine_close(void);
/* 0 = affine texture mapping; larger values correct more often along a span; >= 1000 per pixel. */
ZNR_EXPORT void ZNR_API ZNR_engine_set_perspective_correction_accuracy(double accuracy);
ZNR_EXPORT void ZNR_API ZNR_engine_use_3D_accelerator_card(int32_t use);
/* Renders the camera into the X11 window whose id is given, at the window's size.
 * 0 = drawn, -1 = failure (no world, unknown camera, window gone). */
ZNR_EXPORT int32_t ZNR_API ZNR_engine_render(int32_t window, int32_t camera);
/* 0 = blocked: blocked_at receives the first blocking point from start. out1 and out2 are
 * set to 0. Either face of a polygon blocks; moving objects count where they are now. */
ZNR_EXPORT int32_t ZNR_API ZNR_engine_is_movement_possible(const double* start, const double* end,
                                                           int32_t* out1, double* blocked_at,
                                                           int32_t* out2);
ZNR_EXPORT int32_t ZNR_API ZNR_camera_create(const char* name);
ZNR_EXPORT int32_t ZNR_API ZNR_camera_get_first_camera(void);
ZNR_EXPORT int32_t ZNR_API ZNR_camera_get_next_camera(int32_t camera);
/* 0 = not a chase camera. */
ZNR_EXPORT int32_t ZNR_API ZNR_camera_get_chase_type(int32_t camera);
ZNR_EXPORT void ZNR_API ZNR_camera_get_location1(int32_t camera, double* xyz);
ZNR_EXPORT void ZNR_API ZNR_camera_set_location1(int32_t camera, const double* xyz);
/* Directions are returned as unit vectors; setting a zero vector is ignored. */
ZNR_EXPORT void ZNR_API ZNR_camera_get_direction1(int32_t camera, double* xyz);
ZNR_EXPORT void ZNR_API ZNR_camera_set_direction1(int32_t camera, const double* xyz);
ZNR_EXPORT void ZNR_API ZNR_camera_set_location(int32_t camera, double x, double y, double z);
ZNR_EXPORT void ZNR_API ZNR_camera_set_direction(int32_t camera, double x, double y, double z);
/* Zoom is the horizontal field of view in degrees (55 for a new camera). */
ZNR_EXPORT double ZNR_API ZNR_camera_get_zoom(int32_t camera);
/* Returns the zoom now in force. */
ZNR_EXPORT double ZNR_API ZNR_camera_set_zoom(int32_t camera, double zoom);
ZNR_EXPORT double ZNR_API ZNR_camera_get_distance_from_eye(int32_t camera);
ZNR_EXPORT void ZNR_API ZNR_camera_set_distance_from_eye(int32_t camera, double distance);
ZNR_EXPORT void ZNR_API ZNR_camera_rotate_z(int32_t camera, double degrees, int32_t space);
ZNR_EXPORT void ZNR_API ZNR_camera_rotate_y(int32_t camera, double degrees, int32_t space);
ZNR_EXPORT void ZNR_API ZNR_camera_move(int32_t camera, int32_t space, double x, double y,
                                        double z);

/* Beside the 24, optional for callers (bind it only if present): the reason the last load
 * failed, as printed on standard error, e.g. "town.wld:4440: poly vertex: a number is missing".
 * Returns its length in bytes, 0 when the last load succeeded or none was made. When buffer is
 * not null and size > 0, writes at most size - 1 bytes of it and a terminating NUL. */
ZNR_EXPORT int32_t ZNR_API ZNR_engine_get_last_error(char* buffer, int32_t size);

/* Beside the 24, optional for callers (bind them only if present): a load's progress and its
 * cancel, for a caller that runs ZNR_engine_load_world on a thread of its own and keeps its
 * windows live meanwhile. Both may be called from any thread at any time.
 *
 * The step of the load under way: 0 = none running, 1 = reading the world file, 2 = decoding
 * its textures, 3 = preparing the scene (collision, cameras, moving objects), 4 = importing a
 * model (the importer running, its stream read). When not null, done and total receive the
 * step's items done and to do (the textures), total 0 when the step does not count them. */
ZNR_EXPORT int32_t ZNR_API ZNR_engine_get_load_progress(int32_t* done, int32_t* total);
/* Asks the load under way to stop. It returns -1 soon after (between two textures, after the
 * parse; an importer child is killed at once), leaving the engine empty, with the last error
 * "PATH: load cancelled". Without a load running, nothing happens: the next load runs. */
ZNR_EXPORT void ZNR_API ZNR_engine_cancel_load(void);

#ifdef __cplusplus
}
#endif

/* The 24 operations by name, for binding them at run time: ZNR_OPERATIONS(X) expands
 * X(name) once for each. */
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

#endif /* ZELNARY3_H */
