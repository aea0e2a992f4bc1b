// Live keyboard state and a few window properties straight from the X server, on a
// connection of our own. The X11 headers stay in the .cpp: their None and Bool macros clash
// with Qt and GoogleTest.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace kwellor::qt {

// Whether an X server answers at DISPLAY (checked before Qt, which aborts without one).
bool DisplayReachable();

class X11Input {
 public:
  // Opens its own connection to the display that DISPLAY names; without one, every query
  // answers "up" and 0.
  X11Input();
  ~X11Input();
  X11Input(const X11Input&) = delete;
  X11Input& operator=(const X11Input&) = delete;

  bool connected() const;
  // Whether the key (Windows virtual-key code) or mouse button (1, 2, 4) is down right now.
  bool isDown(int32_t virtualKey);
  // The virtual key of an X keycode on the unshifted level; 0 when none.
  int32_t virtualKeyOfKeycode(uint32_t keycode);
  // Sets an X window's WM_NAME, so tools and tests can find a child window by name.
  void nameWindow(uint64_t window, const std::string& name);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace kwellor::qt
