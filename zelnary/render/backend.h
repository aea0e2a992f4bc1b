// The seam between the render front end and a back end that turns its answer into pixels.
// One implementation per folder (cpu/, gl/) and a null one here; the Renderer walks a table of
// them in order of preference and goes on with the next when the 3D card cannot. A back end
// owns its presentation: its window, its swapping and pacing, its read-back.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "zelnary/render/frame.h"
#include "zelnary/render/scene_index.h"
#include "zelnary/scene/image.h"
#include "zelnary/scene/scene.h"

namespace znr {

struct RenderSettings {
  // 0: affine texture mapping; larger values divide more often along each span; >= 1000 per
  // pixel.
  double perspective_accuracy = 0.0;
  bool use_accelerator = false;  // the OpenGL back end where it can run
};

enum class BackendStatus {
  ok,
  window_gone,  // the window (or the display) is not there: the render fails
  failed,       // the back end cannot go on (failure() says why): another one takes over
};

class Backend {
 public:
  virtual ~Backend() = default;

  // Copies or uploads what the back end keeps per scene; called before the first frame of a
  // scene and again whenever the index is rebuilt.
  virtual BackendStatus prepare(const Scene& scene, const SceneIndex& index) = 0;
  // Makes the window the target and reports its current size.
  virtual BackendStatus acquire_window(uint32_t window, int32_t& width, int32_t& height) = 0;
  // Makes an offscreen frame of this size the target.
  virtual BackendStatus acquire_offscreen(int32_t width, int32_t height) = 0;
  // Draws the frame at the target's size (the frame's view has it).
  virtual BackendStatus draw(const Frame& frame, const RenderSettings& settings) = 0;
  // Shows the drawn frame in the window, paced to the display unless ZELNARY_NO_PACING=1.
  virtual BackendStatus present() = 0;
  // Copies the drawn frame into out (texels 0xFFRRGGBB, top row first).
  virtual void read_back(Image& out) = 0;
  // Another back end takes the window over: stop showing anything in it.
  virtual void suspend() {}
  // Lets go of the window, the display and every per-scene resource.
  virtual void release() = 0;
  // Why the last call returned failed.
  virtual const std::string& failure() const = 0;
  // What draws: "CPU", or "OpenGL (the card's renderer string)".
  virtual std::string name() const = 0;
  // True once a frame reached a window through X shared memory.
  virtual bool used_shared_memory() const { return false; }
  // True when present() can show the last frame drawn again without another draw(): the
  // renderer then skips drawing a frame equal to the last one.
  virtual bool keeps_its_frame() const { return false; }
  // True when draw() follows Frame::chunk_level; for a back end that does not, the front end
  // leaves every chunk at full detail.
  virtual bool draws_levels_of_detail() const { return false; }
};

// One row of the table the Renderer chooses from, in order of preference.
struct BackendEntry {
  const char* id;    // how ZELNARY_BACKEND names it: "opengl", "cpu", "null"
  bool accelerated;  // drawn by the 3D card: tried only when the settings ask for the card,
                     // and when it fails the next row takes over
  bool named_only;   // chosen only when named (the null back end)
  // Why it cannot run on this machine; empty when it can.
  std::string (*unavailable)();
  std::unique_ptr<Backend> (*create)();
};
using BackendTable = std::span<const BackendEntry>;

}  // namespace znr
