// The platform seam: the window system and the system calls the viewer's logic uses. The
// production implementation is Qt 6 Widgets plus X11 (platform/qt); tests use a scripted fake.
// Nothing behind this header may leak Qt or X11 types into the logic.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kwellor {

// One entry of the main window's menu bar, as designed. The check marks are state: after
// loading, they live in the window's menu and are read and written through the Platform.
struct MenuItem {
  int level = 0;         // 0: a menu on the bar, 1: an item of it, 2: an item of a submenu
  std::string name;      // "mnuNextCam"; a click runs the handler <name>_Click
  std::string caption;   // "&Next": '&' marks the access key
  std::string shortcut;  // "Ctrl+S", "F8" (portable key-sequence text) or empty
  bool checked = false;  // check mark at load
};

// The main window's events, handled by the form. The platform calls them only from inside
// doEvents(), show() and unload(), on the GUI thread.
class FormEvents {
 public:
  virtual ~FormEvents();
  virtual void Form_Resize() = 0;
  virtual void Form_Unload(int16_t& cancel) = 0;
  virtual void Form_KeyDown(int16_t keyCode, int16_t shift) = 0;
  virtual void Picture1_MouseUp(int16_t button, int16_t shift, float x, float y) = 0;
  // A menu item chosen by click, access key or shortcut: runs <name>_Click.
  virtual void MenuClick(std::string_view name) = 0;
};

// Mouse buttons as Picture1_MouseUp reports them.
constexpr int16_t kLeftButton = 1;
constexpr int16_t kRightButton = 2;
constexpr int16_t kMiddleButton = 4;

class Platform {
 public:
  virtual ~Platform();

  // --- The main window Form1 ---
  // Creates the main window hidden, with its menu bar, icon, key preview and the picture
  // area at (30, 30) twips; the initial client area is 6690 x 4965 twips.
  virtual void loadMainWindow(const std::vector<MenuItem>& menu, FormEvents& events) = 0;
  virtual std::string caption() = 0;
  virtual void setCaption(const std::string& caption) = 0;
  // Shows the window, modeless; the first showing runs Form_Resize before returning.
  virtual void show() = 0;
  // Runs Form_Unload, then destroys the window (the unload always goes through).
  virtual void unload() = 0;
  // The window's outer size (frame, title bar and menu bar included), in twips.
  virtual float windowWidthTwips() = 0;
  virtual float windowHeightTwips() = 0;
  // The picture area's size in twips. false: refused (a negative size, or a minimised window);
  // nothing is changed then.
  virtual bool setPictureHeight(float twips) = 0;
  virtual bool setPictureWidth(float twips) = 0;
  // The picture area's native window id, for the engine to render into.
  virtual int32_t pictureWindowHandle() = 0;
  virtual bool menuChecked(std::string_view name) = 0;
  virtual void setMenuChecked(std::string_view name, bool checked) = 0;
  // The About box, modal over the main window; returns when it is closed.
  virtual void showAboutBox() = 0;

  // While the world loads, before the main window shows: a small window naming the world,
  // with a progress bar and, when offered, a Cancel button. Closing it when none is open does
  // nothing.
  virtual void showSplash(const std::string& worldPath, bool offerCancel) = 0;
  void showSplash(const std::string& worldPath) { showSplash(worldPath, false); }
  virtual void closeSplash() = 0;
  // The step the load is in, and the share of it done from 0 to 1; below 0 when the step
  // cannot tell (the bar then only shows that work goes on).
  virtual void setSplashProgress(const std::string& step, double fraction) = 0;
  // True once Cancel was pressed on the splash now open.
  virtual bool splashCancelled() = 0;

  // --- Dialogs ---
  // Modal, information icon, one OK button, the application title "KWELLOR"; details, when not
  // empty, behind the box's button that shows them.
  virtual void messageBox(const std::string& text, const std::string& details) = 0;
  void messageBox(const std::string& text) { messageBox(text, {}); }
  // The Open dialog with a filter list "name|pattern|name|pattern..."; the full path of the
  // chosen file, or the empty text when cancelled.
  virtual std::string showOpenDialog(const std::string& filter) = 0;

  // --- System ---
  // Runs all pending window events and returns.
  virtual void doEvents() = 0;
  // Runs window events as they come for about the given time, then returns: the GUI thread's
  // wait while another thread works.
  virtual void waitEvents(int32_t milliseconds) = 0;
  // Windows virtual-key codes; negative while the key is down, whatever window has focus.
  virtual int16_t GetAsyncKeyState(int32_t virtualKey) = 0;
  // Screen pixels.
  virtual bool GetCursorPos(int32_t& x, int32_t& y) = 0;
  virtual bool SetCursorPos(int32_t x, int32_t y) = 0;
  // One show (+1) or hide (-1) request; the cursor is hidden while the counter is below zero.
  // Returns the new counter.
  virtual int32_t ShowCursor(bool show) = 0;
  // Milliseconds of a monotonic clock, wrapping as a signed 32-bit value.
  virtual int32_t GetTickCount() = 0;
  virtual float screenWidthTwips() = 0;
  virtual float screenHeightTwips() = 0;
  virtual float twipsPerPixelX() = 0;
  virtual float twipsPerPixelY() = 0;
  // The name of the ordinary file the path names (its last component), or empty when the
  // path names no ordinary file.
  virtual std::string fileNameOf(const std::string& path) = 0;
  // The command line after the program's own name, as one text.
  virtual std::string commandLine() = 0;
  // Ends the program at once with the exit status: no window event, handler or engine call
  // runs after it.
  [[noreturn]] virtual void endProgram(int exitStatus) = 0;
};

}  // namespace kwellor
