// A mapped X window on the test's own connection; the X11 headers stay in the .cpp so that
// they never meet GoogleTest (None and Bool are macros there).
#pragma once

#include <cstdint>

namespace znr::testing {

class XWindow {
 public:
  XWindow() = default;
  ~XWindow();
  XWindow(const XWindow&) = delete;
  XWindow& operator=(const XWindow&) = delete;

  bool open(int width, int height);  // false: no X display
  uint32_t id() const { return id_; }
  // Distinct colours among the window's pixels (capped at 64); 0 when they cannot be read.
  int colour_count();
  void destroy();  // the id stays known, the window is gone

 private:
  void* display_ = nullptr;
  uint32_t id_ = 0;
  bool alive_ = false;
  int width_ = 0, height_ = 0;
};

}  // namespace znr::testing
