#include "tests/viewer/fake_platform.h"

#include <algorithm>
#include <chrono>
#include <stdexcept>
#include <thread>

#include "tests/viewer/fake_engine.h"

namespace kwellor::fakes {

void FakePlatform::Fail(const std::string& name) {
  if (failing.count(name) != 0) throw std::runtime_error(name + " failed");
}

void FakePlatform::loadMainWindow(const std::vector<MenuItem>& design, FormEvents& formEvents) {
  log_.push_back("loadMainWindow()");
  Fail("loadMainWindow");
  events = &formEvents;
  menu = design;
  windowCaption = "KWELLOR";
  for (const MenuItem& item : design) checks[item.name] = item.checked;
}

void FakePlatform::setCaption(const std::string& text) {
  log_.push_back("setCaption(\"" + text + "\")");
  windowCaption = text;
}

void FakePlatform::show() {
  log_.push_back("show()");
  Fail("show");
  if (!shown) {
    shown = true;
    events->Form_Resize();
  }
}

void FakePlatform::unload() {
  log_.push_back("unload()");
  int16_t cancel = 0;
  events->Form_Unload(cancel);
  unloaded = true;
}

bool FakePlatform::setPictureHeight(float twips) {
  Fail("setPictureHeight");
  if (minimized || twips < 0.0f) return false;
  pictureHeight = twips;
  return true;
}

bool FakePlatform::setPictureWidth(float twips) {
  Fail("setPictureWidth");
  if (minimized || twips < 0.0f) return false;
  pictureWidth = twips;
  return true;
}

bool FakePlatform::menuChecked(std::string_view name) {
  Fail("menuChecked");
  return checks.at(std::string(name));
}

void FakePlatform::setMenuChecked(std::string_view name, bool checked) {
  Fail("setMenuChecked");
  checks.at(std::string(name)) = checked;
}

void FakePlatform::showAboutBox() {
  log_.push_back("showAboutBox()");
}

void FakePlatform::showSplash(const std::string& worldPath, bool offerCancel) {
  splashWorld = worldPath;
  splashOpen = true;
  splashOffersCancel = offerCancel;
  splashProgress.clear();
}

void FakePlatform::setSplashProgress(const std::string& step, double fraction) {
  const std::string line = step + " @ " + Num(fraction);
  if (splashProgress.empty() || splashProgress.back() != line) splashProgress.push_back(line);
}

bool FakePlatform::splashCancelled() {
  return splashOpen && splashOffersCancel && cancelAtWait > 0 && waits >= cancelAtWait;
}

void FakePlatform::waitEvents(int32_t milliseconds) {
  ++waits;
  // Long enough for the loading thread to move on, short enough for many waits.
  std::this_thread::sleep_for(std::chrono::milliseconds(std::min(milliseconds, 2)));
}

void FakePlatform::closeSplash() {
  if (splashOpen) splashClosedAt = log_.size();
  splashOpen = false;
}

void FakePlatform::messageBox(const std::string& text, const std::string& details) {
  log_.push_back("messageBox(\"" + text + "\")");
  messages.push_back(text);
  messageDetails.push_back(details);
}

std::string FakePlatform::showOpenDialog(const std::string& filter) {
  log_.push_back("showOpenDialog()");
  openDialogFilters.push_back(filter);
  Fail("showOpenDialog");
  return openDialogAnswer;
}

void FakePlatform::doEvents() {
  log_.push_back("doEvents()");
  ++pumps;
  if (onPump) onPump(pumps);
}

int16_t FakePlatform::GetAsyncKeyState(int32_t virtualKey) {
  keysQueried.push_back(virtualKey);
  Fail("GetAsyncKeyState");
  return keysDown.count(virtualKey) != 0 ? int16_t{-32767 - 1} : int16_t{0};
}

bool FakePlatform::GetCursorPos(int32_t& x, int32_t& y) {
  Fail("GetCursorPos");
  x = cursorX;
  y = cursorY;
  return true;
}

bool FakePlatform::SetCursorPos(int32_t x, int32_t y) {
  log_.push_back("SetCursorPos(" + std::to_string(x) + ", " + std::to_string(y) + ")");
  cursorX = x;
  cursorY = y;
  return true;
}

int32_t FakePlatform::ShowCursor(bool show) {
  log_.push_back(show ? "ShowCursor(true)" : "ShowCursor(false)");
  cursorCounter += show ? 1 : -1;
  return cursorCounter;
}

int32_t FakePlatform::GetTickCount() {
  lastTick_ += 16;
  return lastTick_;
}

std::string FakePlatform::fileNameOf(const std::string& path) {
  auto found = fileNames.find(path);
  return found == fileNames.end() ? std::string() : found->second;
}

void FakePlatform::endProgram(int exitStatus) {
  log_.push_back(exitStatus == 0 ? "endProgram()"
                                 : "endProgram(" + std::to_string(exitStatus) + ")");
  throw ProgramEnded{};
}

}  // namespace kwellor::fakes
