// The OpenGL back end's window: a child of the viewer's picture window with a visual that GL
// can draw to, on the engine's own X connection, kept the parent's size, shown while the 3D
// card is on, input-transparent (pointer events reach the parent), and gone with the parent.
// No X11 header here: its macros clash with Qt and GoogleTest.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace znr::gl {

enum class WindowStatus { ok, parent_gone, failed };

class GlWindow {
 public:
  GlWindow();
  ~GlWindow();
  GlWindow(const GlWindow&) = delete;
  GlWindow& operator=(const GlWindow&) = delete;

  // Opens the X connection and an OpenGL 3.3 core context for it (once). false: why.
  bool open(std::string& why);
  // Makes (or re-makes, for a new parent) the child window, sizes it like the parent, maps
  // it, and makes the context current on it. parent_gone: the parent is not there any more.
  // visible: whether the parent is mapped, with its own parents (not minimised), and not wholly
  // covered by other windows.
  WindowStatus follow(uint32_t parent, int32_t& width, int32_t& height, bool& visible,
                      std::string& why);
  // Swaps the back buffer into the window and waits until the server has it.
  WindowStatus swap(std::string& why);
  // Whether the driver paces swaps to the display (swap interval 1 accepted); asks for
  // interval 0 instead when pacing is off.
  bool paces_swaps() const;
  double refresh_hz();
  // Unmaps the child (another back end draws into the parent now).
  void hide();
  // The child window's id, 0 when there is none.
  uint32_t child() const;
  // Destroys the child (if its parent is still there), the context and the connection.
  void close();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace znr::gl
