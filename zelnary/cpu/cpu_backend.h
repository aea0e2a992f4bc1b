// The CPU back end: clips and projects the visible polygons, rasterizes them into a
// framebuffer between a few threads, and shows it through MIT-SHM (or XPutImage).
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "zelnary/render/backend.h"

namespace znr {

// What the last frame cost, for benchmarks.
struct CpuFrameStats {
  std::vector<double> busy_ms;   // per render thread: time spent working, not waiting
  uint64_t polygons = 0;         // reaching the rasterizer
  uint64_t chunks_culled = 0;    // in view but hidden behind nearer ones: never transformed
  uint64_t polygons_hidden = 0;  // seen from behind, hidden by the rest: neither lit nor drawn
  double skin_ms = 0.0;          // wall time of posing the frame's skins (all threads at once)
  uint64_t most_in_a_pass = 0;   // polygons reaching the rasterizer in the frame's largest pass

  // The largest difference of a thread's busy time from the mean, as a fraction of the mean.
  double imbalance() const;
};

class CpuBackend : public Backend {
 public:
  CpuBackend();
  ~CpuBackend() override;

  BackendStatus prepare(const Scene& scene, const SceneIndex& index) override;
  BackendStatus acquire_window(uint32_t window, int32_t& width, int32_t& height) override;
  BackendStatus acquire_offscreen(int32_t width, int32_t height) override;
  BackendStatus draw(const Frame& frame, const RenderSettings& settings) override;
  BackendStatus present() override;
  void read_back(Image& out) override;
  void release() override;
  const std::string& failure() const override;
  std::string name() const override { return "CPU"; }

  bool used_shared_memory() const override;
  bool keeps_its_frame() const override;
  bool draws_levels_of_detail() const override { return true; }
  const CpuFrameStats& frame_stats() const;
  // Occlusion culling changes no pixel, only the time a frame takes; on unless the
  // environment has ZELNARY_NO_OCCLUSION set, this turns it on or off for later frames.
  void set_occlusion_culling(bool on);
  // The most polygons one pass holds before it is drawn (tests: many small passes).
  void set_pass_polygon_cap(uint64_t polygons);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace znr
