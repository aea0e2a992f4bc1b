// The OpenGL back end: the front end's visible chunks and objects drawn by a graphics card
// (OpenGL 3.3 core through EGL, loaded by libepoxy), into a child window of the viewer's
// picture window or offscreen with no window system at all. Any GL failure returns failed
// with the reason, and the renderer goes on with the CPU back end.
#pragma once

#include <memory>
#include <string>

#include "zelnary/render/backend.h"

namespace znr {

class GlBackend : public Backend {
 public:
  GlBackend();
  ~GlBackend() override;

  BackendStatus prepare(const Scene& scene, const SceneIndex& index) override;
  BackendStatus acquire_window(uint32_t window, int32_t& width, int32_t& height) override;
  BackendStatus acquire_offscreen(int32_t width, int32_t height) override;
  BackendStatus draw(const Frame& frame, const RenderSettings& settings) override;
  BackendStatus present() override;
  void read_back(Image& out) override;
  void suspend() override;
  void release() override;
  const std::string& failure() const override;
  std::string name() const override;
  bool keeps_its_frame() const override;
  bool draws_levels_of_detail() const override;

 private:
  friend struct GlBackendProbe;  // gl_backend_probe.h
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace znr
