// A scripted Platform: keys, cursor, screen metrics and dialog answers are set by the
// test; window actions, message boxes and cursor requests go to the shared log.
#pragma once

#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace kwellor::fakes {

// Thrown by endProgram; deliberately not a std::exception, so no trap of the form catches it.
struct ProgramEnded {};

class FakePlatform : public Platform {
 public:
  explicit FakePlatform(std::vector<std::string>& log) : log_(log) {}

  // Script.
  std::set<int32_t> keysDown;
  int32_t cursorX = 0;
  int32_t cursorY = 0;
  float screenWidth = 1024 * 15.0f;
  float screenHeight = 768 * 15.0f;
  float twipsX = 15.0f;
  float twipsY = 15.0f;
  float windowWidth = 6840.0f;  // outer size in twips
  float windowHeight = 5700.0f;
  bool minimized = false;
  std::string openDialogAnswer;
  std::map<std::string, std::string> fileNames;  // fileNameOf answers; others give ""
  std::string commandLineText;
  int32_t pictureHandle = 4242;
  // Runs inside doEvents, with the number of that pump (1 for the first).
  std::function<void(int)> onPump;
  std::set<std::string> failing;  // operations that throw std::runtime_error

  // State.
  FormEvents* events = nullptr;
  std::vector<MenuItem> menu;
  std::map<std::string, bool> checks;
  std::string windowCaption;
  bool shown = false;
  bool unloaded = false;
  float pictureWidth = -1.0f;  // -1: never set
  float pictureHeight = -1.0f;
  std::vector<std::string> messages;
  std::vector<std::string> messageDetails;  // one per message, "" for none
  // Not in the call log, which pins the specified sequence: the splash's world while it is
  // open, and the log's length when it was last closed.
  std::string splashWorld;
  bool splashOpen = false;
  bool splashOffersCancel = false;
  size_t splashClosedAt = 0;
  // The splash's progress as shown, each change once: "step @ fraction" ("Loading @ -1").
  std::vector<std::string> splashProgress;
  int waits = 0;         // waitEvents calls
  int cancelAtWait = 0;  // Cancel is pressed during this wait (0: never)
  std::vector<std::string> openDialogFilters;
  std::vector<int32_t> keysQueried;
  int32_t cursorCounter = 0;
  int pumps = 0;

  void loadMainWindow(const std::vector<MenuItem>& design, FormEvents& formEvents) override;
  std::string caption() override { return windowCaption; }
  void setCaption(const std::string& text) override;
  void show() override;
  void unload() override;
  float windowWidthTwips() override { return minimized ? 0.0f : windowWidth; }
  float windowHeightTwips() override { return minimized ? 0.0f : windowHeight; }
  bool setPictureHeight(float twips) override;
  bool setPictureWidth(float twips) override;
  int32_t pictureWindowHandle() override { return pictureHandle; }
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
  // Not logged: the engine may be loading on another thread meanwhile.
  void waitEvents(int32_t milliseconds) override;
  int16_t GetAsyncKeyState(int32_t virtualKey) override;
  bool GetCursorPos(int32_t& x, int32_t& y) override;
  bool SetCursorPos(int32_t x, int32_t y) override;
  int32_t ShowCursor(bool show) override;
  int32_t GetTickCount() override;  // 16 ms per call
  float screenWidthTwips() override { return screenWidth; }
  float screenHeightTwips() override { return screenHeight; }
  float twipsPerPixelX() override { return twipsX; }
  float twipsPerPixelY() override { return twipsY; }
  std::string fileNameOf(const std::string& path) override;
  std::string commandLine() override { return commandLineText; }
  [[noreturn]] void endProgram(int exitStatus) override;

 private:
  void Fail(const std::string& name);

  std::vector<std::string>& log_;
  int32_t lastTick_ = 0;
};

}  // namespace kwellor::fakes
