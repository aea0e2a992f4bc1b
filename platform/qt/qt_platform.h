// The production Platform: Qt 6 Widgets for the windows, X11 for live key state.
// A QApplication must exist before a QtPlatform is made and outlive it.
#pragma once

#include <QPointer>
#include <memory>
#include <string>

#include "platform/platform.h"
#include "platform/qt/load_splash.h"
#include "platform/qt/main_window.h"

class QObject;
class QWidget;

namespace kwellor::qt {

class X11Input;

class QtPlatform : public Platform {
 public:
  // commandLine: the text after the program's own name (see JoinArguments).
  explicit QtPlatform(std::string commandLine);
  ~QtPlatform() override;
  QtPlatform(const QtPlatform&) = delete;
  QtPlatform& operator=(const QtPlatform&) = delete;

  void loadMainWindow(const std::vector<MenuItem>& menu, FormEvents& events) override;
  std::string caption() override;
  void setCaption(const std::string& caption) override;
  void show() override;
  void unload() override;
  float windowWidthTwips() override;
  float windowHeightTwips() override;
  bool setPictureHeight(float twips) override;
  bool setPictureWidth(float twips) override;
  int32_t pictureWindowHandle() override;
  bool menuChecked(std::string_view name) override;
  void setMenuChecked(std::string_view name, bool checked) override;
  void showAboutBox() override;

  using Platform::showSplash;
  void showSplash(const std::string& worldPath, bool offerCancel) override;
  void closeSplash() override;
  void setSplashProgress(const std::string& step, double fraction) override;
  bool splashCancelled() override;
  using Platform::messageBox;
  void messageBox(const std::string& text, const std::string& details) override;
  std::string showOpenDialog(const std::string& filter) override;

  void doEvents() override;
  void waitEvents(int32_t milliseconds) override;
  int16_t GetAsyncKeyState(int32_t virtualKey) override;
  bool GetCursorPos(int32_t& x, int32_t& y) override;
  bool SetCursorPos(int32_t x, int32_t y) override;
  int32_t ShowCursor(bool show) override;
  int32_t GetTickCount() override;
  float screenWidthTwips() override;
  float screenHeightTwips() override;
  float twipsPerPixelX() override;
  float twipsPerPixelY() override;
  std::string fileNameOf(const std::string& path) override;
  std::string commandLine() override;
  [[noreturn]] void endProgram(int exitStatus) override;

  // The main window while it is loaded; nullptr before loadMainWindow and after unload.
  MainWindow* mainWindow() const { return window_.data(); }
  // The load's splash while it is open, else nullptr.
  LoadSplash* splash() const { return splash_.data(); }

 private:
  class KeyPreview;
  // Runs a form event from a Qt handler; the depth tells unload whether Qt code is still on
  // the stack below it.
  template <typename F>
  void dispatch(F&& handler);
  void onResized();
  void onCloseRequested();
  void onKeyPress(int qtKey, uint32_t nativeKeycode, bool shift, bool control, bool alt);
  void destroyWindow();
  int toPixelsX(float twips);
  int toPixelsY(float twips);

  std::string commandLine_;
  std::string caption_;
  std::unique_ptr<X11Input> x11_;
  FormEvents* events_ = nullptr;
  QPointer<MainWindow> window_;
  QPointer<QObject> keyPreview_;
  QPointer<LoadSplash> splash_;
  bool shownOnce_ = false;
  int resizeCount_ = 0;
  int dispatchDepth_ = 0;
  int32_t cursorCounter_ = 0;
  bool cursorHidden_ = false;
};

}  // namespace kwellor::qt
