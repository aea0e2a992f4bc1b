// Looks at another program's windows on the X server: find them by name, read their
// place, grab their pixels, move them. X11 headers stay in the .cpp.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace kwellor::testing {

struct WindowBox {
  int x = 0, y = 0;  // on the screen
  int width = 0, height = 0;
  bool viewable = false;  // mapped, and every window above it too
};

class XWindows {
 public:
  XWindows();  // its own connection to DISPLAY
  ~XWindows();
  bool connected() const;

  // The first window, searching the whole tree, whose WM_NAME begins with prefix; 0: none.
  uint64_t findByNamePrefix(const std::string& prefix, uint64_t under = 0);
  std::string name(uint64_t window);
  // The window's direct children, bottom first; empty when it is gone.
  std::vector<uint64_t> children(uint64_t window);
  // false when the window is gone.
  bool box(uint64_t window, WindowBox& out);
  // The window's pixels as 0xRRGGBB, row by row; empty when it cannot be read.
  std::vector<uint32_t> grab(uint64_t window);
  void move(uint64_t window, int x, int y);
  int screenWidth();
  int screenHeight();
  // Asks the window to close, as a window manager's close box does (WM_DELETE_WINDOW).
  void requestClose(uint64_t window);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// The number of different colours in a picture.
size_t DistinctColours(const std::vector<uint32_t>& pixels);

}  // namespace kwellor::testing
