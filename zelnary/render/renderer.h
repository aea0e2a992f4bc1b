// The renderer's public face: draw a camera's view of the world into an image, or into an
// X11 window at the window's size. It runs the front end and hands each frame to the first
// back end of its table that the settings allow and that works: OpenGL when the 3D card is on,
// else the CPU one (api/backends.h has the engine's table).
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "zelnary/cameras/camera.h"
#include "zelnary/render/backend.h"
#include "zelnary/scene/image.h"
#include "zelnary/scene/scene.h"

namespace znr {

// The largest frame drawn, in pixels per side and in all.
constexpr int32_t kMaxFrameSide = 16384;
constexpr int64_t kMaxFramePixels = int64_t{8192} * 8192;

class Renderer {
 public:
  // only: the id of the one row to draw with (ZELNARY_BACKEND), whatever the settings say;
  // empty for the usual choice. An id not in the table is ignored, with a warning.
  explicit Renderer(BackendTable backends, std::string_view only = {});
  ~Renderer();
  Renderer(const Renderer&) = delete;
  Renderer& operator=(const Renderer&) = delete;

  // Renders at width x height into out (texels 0xFFRRGGBB); a size that is negative or too
  // large gives an empty image. morph_weights: all morphs' weights (Morph::first_weight);
  // empty: each morph at its defaults.
  void render_to_image(const Scene& scene, std::span<const ObjectPose> poses, const Camera& camera,
                       const RenderSettings& settings, int32_t width, int32_t height, Image& out,
                       std::span<const float> morph_weights = {});

  // Renders at the window's current size and presents it, paced to the display's refresh
  // unless ZELNARY_NO_PACING=1. 0 = drawn; -1 = failure (no display, window gone, window
  // larger than the largest frame).
  int32_t render_to_window(uint32_t window, const Scene& scene, std::span<const ObjectPose> poses,
                           const Camera& camera, const RenderSettings& settings,
                           std::span<const float> morph_weights = {});

  // Releases the back ends' windows, X connections and buffers (the engine closing its
  // world); a back end that failed may be tried again after this.
  void release();

  // The levels of detail come in a few frames after a scene's first, built meanwhile on worker
  // threads; this builds or waits for them now, so that the next frame has them (tests,
  // benchmarks, a steady picture).
  void finish_levels_of_detail();

  // What drew the last frame: "CPU", or "OpenGL (the card's renderer string)".
  std::string backend_name() const;
  // Why the 3D card was refused (it is not tried again until release()); empty when it never
  // was.
  const std::string& fallback_reason() const;

  // True once a frame reached a window through MIT-SHM (tests; ZELNARY_NO_SHM=1 turns
  // shared memory off).
  bool presented_with_shared_memory() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace znr
