// The CPU back end's presentation: a finished frame shown in an X11 window over the engine's
// own X connection. Shared memory (MIT-SHM) when the server offers it, plain XPutImage
// otherwise. No X11 header here: its macros clash with Qt and GoogleTest.
#pragma once

#include <cstdint>
#include <memory>

#include "zelnary/cpu/framebuffer.h"

namespace znr {

class X11Presenter {
 public:
  X11Presenter();
  ~X11Presenter();
  X11Presenter(const X11Presenter&) = delete;
  X11Presenter& operator=(const X11Presenter&) = delete;

  // The window's current size, and whether any of it can be seen (mapped, with its parents,
  // and not wholly covered by other windows). false: no display, or the window is gone (an X
  // error on our connection, recorded, never fatal).
  bool window_size(uint32_t window, int32_t& width, int32_t& height, bool* visible = nullptr);
  // Copies the framebuffer into the window (after window_size for the same window) and waits
  // for the server to finish with it. false on any X error.
  bool present(uint32_t window, const Framebuffer& fb);
  // The display's refresh rate in Hz; 60 when it cannot be found out.
  double refresh_hz();
  // True once a frame went through shared memory.
  bool used_shared_memory() const;
  // Closes the connection and frees the image and shared memory.
  void release();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace znr
