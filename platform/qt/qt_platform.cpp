#include "platform/qt/qt_platform.h"

#include <QApplication>
#include <QCursor>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMenuBar>
#include <QMessageBox>
#include <QScreen>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <exception>

#include "platform/qt/about_box.h"
#include "platform/qt/art.h"
#include "platform/qt/key_codes.h"
#include "platform/qt/load_splash.h"
#include "platform/qt/main_window.h"
#include "platform/qt/menu_bar.h"
#include "platform/qt/picture_area.h"
#include "platform/qt/system_calls.h"
#include "platform/qt/x11_input.h"

namespace kwellor::qt {
namespace {

constexpr float kTwipsPerInch = 1440.0f;
// The main window's client area and Picture1's place in it, as designed.
constexpr float kClientWidthTwips = 6690.0f;
constexpr float kClientHeightTwips = 4965.0f;
constexpr float kPictureLeftTwips = 30.0f;
constexpr float kPictureTopTwips = 30.0f;

QScreen* MainScreen() {
  return QGuiApplication::primaryScreen();
}

// "[*]" is Qt's placeholder for the modified mark; doubled, it shows literally.
QString DisplayTitle(const std::string& caption) {
  QString title = QString::fromStdString(caption);
  title.replace("[*]", "[*][*]");
  return title;
}

}  // namespace

// Key preview: key presses meant for the main window or any of its children reach
// Form_KeyDown first, whichever child has the focus. Not while a menu or a modal box is open.
class QtPlatform::KeyPreview : public QObject {
 public:
  explicit KeyPreview(QtPlatform& platform) : platform_(platform) {}

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::KeyPress) return false;
    auto* widget = qobject_cast<QWidget*>(watched);
    MainWindow* window = platform_.window_.data();
    if (!widget || !window || widget->window() != window) return false;
    // Qt offers a key event to each parent in turn; take it once, at its first receiver.
    QWidget* focus = QApplication::focusWidget();
    if (focus ? widget != focus : widget != window) return false;
    if (QApplication::activePopupWidget() || QApplication::activeModalWidget()) return false;
    auto* key = static_cast<QKeyEvent*>(event);
    const Qt::KeyboardModifiers m = key->modifiers();
    platform_.onKeyPress(key->key(), key->nativeScanCode(), m & Qt::ShiftModifier,
                         m & Qt::ControlModifier, m & Qt::AltModifier);
    return false;
  }

 private:
  QtPlatform& platform_;
};

QtPlatform::QtPlatform(std::string commandLine)
    : commandLine_(std::move(commandLine)), x11_(std::make_unique<X11Input>()) {
  // Only Picture1 and its ancestors get native windows; their ids must stay put.
  QApplication::setAttribute(Qt::AA_DontCreateNativeWidgetSiblings);
  QApplication::setWindowIcon(ApplicationIcon());
}

QtPlatform::~QtPlatform() {
  closeSplash();
  destroyWindow();
  if (cursorHidden_) QGuiApplication::restoreOverrideCursor();
}

template <typename F>
void QtPlatform::dispatch(F&& handler) {
  if (!events_) return;
  ++dispatchDepth_;
  try {
    handler(*events_);
  } catch (const std::exception& e) {
    // Nothing may unwind through Qt's event delivery: report and end here instead.
    std::fprintf(stderr, "kwellor: %s\n", e.what());
    messageBox(e.what());
    std::fflush(nullptr);
    std::_Exit(1);
  }
  --dispatchDepth_;
}

// --- The main window ---

void QtPlatform::loadMainWindow(const std::vector<MenuItem>& menu, FormEvents& events) {
  destroyWindow();
  events_ = &events;
  shownOnce_ = false;
  resizeCount_ = 0;
  caption_ = "KWELLOR";

  auto* window = new MainWindow({[this] { onResized(); }, [this] { onCloseRequested(); }});
  window_ = window;
  window->setObjectName("Form1");
  // Every flag before the first native window exists: changing them later re-creates the
  // native windows and Picture1's id with them.
  window->setWindowFlags(Qt::Window);
  window->setWindowTitle(DisplayTitle(caption_));
  window->setWindowIcon(ApplicationIcon());
  window->setMenus(std::make_unique<MenuBarModel>(
      *window->menuBar(), menu,
      [this](const std::string& name) { dispatch([&](FormEvents& e) { e.MenuClick(name); }); }));

  const int clientW = toPixelsX(kClientWidthTwips);
  const int clientH = toPixelsY(kClientHeightTwips);
  auto* picture =
      new PictureArea(window->clientArea(), [this](int16_t button, int16_t shift, QPointF pos) {
        const auto x = static_cast<float>(pos.x()) * twipsPerPixelX();
        const auto y = static_cast<float>(pos.y()) * twipsPerPixelY();
        dispatch([&](FormEvents& e) { e.Picture1_MouseUp(button, shift, x, y); });
      });
  window->setPicture(picture);
  const int left = toPixelsX(kPictureLeftTwips), top = toPixelsY(kPictureTopTwips);
  picture->setGeometry(left, top, clientW - 2 * left, clientH - 2 * top);
  window->resize(clientW, clientH + window->menuBar()->heightForWidth(clientW));

  auto* preview = new KeyPreview(*this);
  keyPreview_ = preview;
  qApp->installEventFilter(preview);
}

std::string QtPlatform::caption() {
  return caption_;
}

void QtPlatform::setCaption(const std::string& caption) {
  caption_ = caption;
  if (window_) window_->setWindowTitle(DisplayTitle(caption));
}

void QtPlatform::show() {
  MainWindow* window = window_.data();
  if (!window) return;
  const bool first = !shownOnce_;
  shownOnce_ = true;
  window->show();
  if (!window_) return;  // a handler unloaded it
  if (first) {
    x11_->nameWindow(static_cast<uint64_t>(window->picture()->winId()), "Picture1");
    window->picture()->setFocus();
  }
  window->activateWindow();
  doEvents();
  if (first && window_ && resizeCount_ == 0) onResized();
}

void QtPlatform::unload() {
  if (!window_) return;
  int16_t cancel = 0;  // the unload goes through whatever the handler says
  dispatch([&](FormEvents& e) { e.Form_Unload(cancel); });
  destroyWindow();
}

void QtPlatform::destroyWindow() {
  // Qt code of the window (a menu, a close event, the key filter) may still be on the stack
  // below us: then the objects go at the next pump.
  auto destroy = [this](QObject* object) {
    if (dispatchDepth_ > 0)
      object->deleteLater();
    else
      delete object;
  };
  if (QObject* preview = keyPreview_.data()) {
    qApp->removeEventFilter(preview);
    keyPreview_ = nullptr;
    destroy(preview);
  }
  MainWindow* window = window_.data();
  window_ = nullptr;
  if (!window) return;
  window->hide();
  destroy(window);
}

void QtPlatform::onResized() {
  if (!window_ || !window_->isVisible()) return;
  ++resizeCount_;
  dispatch([](FormEvents& e) { e.Form_Resize(); });
}

void QtPlatform::onCloseRequested() {
  unload();
}

void QtPlatform::onKeyPress(int qtKey, uint32_t nativeKeycode, bool shift, bool control, bool alt) {
  int32_t vk = x11_->virtualKeyOfKeycode(nativeKeycode);
  if (vk == 0) vk = VirtualKeyOfQtKey(qtKey);
  if (vk == 0) return;
  const int16_t mask = ShiftState(shift, control, alt);
  dispatch([&](FormEvents& e) { e.Form_KeyDown(static_cast<int16_t>(vk), mask); });
}

float QtPlatform::windowWidthTwips() {
  return window_ ? static_cast<float>(window_->frameGeometry().width()) * twipsPerPixelX() : 0.0f;
}

float QtPlatform::windowHeightTwips() {
  return window_ ? static_cast<float>(window_->frameGeometry().height()) * twipsPerPixelY() : 0.0f;
}

bool QtPlatform::setPictureHeight(float twips) {
  if (!window_ || !(twips >= 0.0f) || window_->isMinimized()) return false;
  PictureArea* p = window_->picture();
  p->resize(p->width(), toPixelsY(twips));
  return true;
}

bool QtPlatform::setPictureWidth(float twips) {
  if (!window_ || !(twips >= 0.0f) || window_->isMinimized()) return false;
  PictureArea* p = window_->picture();
  p->resize(toPixelsX(twips), p->height());
  return true;
}

int32_t QtPlatform::pictureWindowHandle() {
  if (!window_) return 0;
  return static_cast<int32_t>(window_->picture()->winId());
}

bool QtPlatform::menuChecked(std::string_view name) {
  return window_ && window_->menus()->checked(name);
}

void QtPlatform::setMenuChecked(std::string_view name, bool checked) {
  if (window_) window_->menus()->setChecked(name, checked);
}

void QtPlatform::showAboutBox() {
  MainWindow* owner = window_.data();
  AboutBox box(owner, twipsPerPixelX());
  if (owner && owner->isVisible()) {
    // Centre the box's outer frame over the owner's, taking the owner's frame margins as the
    // box's own: they are only known once a window manager has framed the box.
    const QRect outer = owner->frameGeometry(), inner = owner->geometry();
    const QSize frame(box.width() + outer.width() - inner.width(),
                      box.height() + outer.height() - inner.height());
    box.move(outer.center() - QPoint(frame.width() / 2, frame.height() / 2));
  }
  box.exec();
}

void QtPlatform::showSplash(const std::string& worldPath, bool offerCancel) {
  closeSplash();
  const QString name = QFileInfo(QString::fromStdString(worldPath)).fileName();
  auto* splash = new LoadSplash(name, offerCancel);
  splash_ = splash;
  if (QScreen* s = MainScreen()) {
    splash->move(s->geometry().center() - splash->rect().center());
  }
  splash->show();
  // A load on this thread blocks the event loop: draw the splash now.
  splash->repaint();
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void QtPlatform::closeSplash() {
  if (LoadSplash* splash = splash_.data()) {
    splash_ = nullptr;
    splash->hide();
    delete splash;
  }
}

void QtPlatform::setSplashProgress(const std::string& step, double fraction) {
  if (LoadSplash* splash = splash_.data())
    splash->setProgress(QString::fromStdString(step), fraction);
}

bool QtPlatform::splashCancelled() {
  const LoadSplash* splash = splash_.data();
  return splash && splash->cancelled();
}

// --- Dialogs ---

void QtPlatform::messageBox(const std::string& text, const std::string& details) {
  QWidget* owner = window_ && window_->isVisible() ? window_.data() : nullptr;
  QMessageBox box(QMessageBox::Information, "KWELLOR", QString::fromStdString(text),
                  QMessageBox::Ok, owner);
  box.setTextFormat(Qt::PlainText);
  if (!details.empty()) {
    // The reason can be read at once, below the text; the whole of it stays behind the
    // details button.
    QString reason = QString::fromStdString(details).section('\n', 0, 0);
    if (reason.size() > 300) reason = reason.left(300) + QChar(0x2026);
    box.setInformativeText(reason);
    box.setDetailedText(QString::fromStdString(details));
  }
  box.exec();
}

std::string QtPlatform::showOpenDialog(const std::string& filter) {
  QStringList filters;
  for (const std::string& f : OpenDialogFilters(filter)) filters << QString::fromStdString(f);
  QWidget* owner = window_ && window_->isVisible() ? window_.data() : nullptr;
  QFileDialog dialog(owner);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::ExistingFile);
  if (!filters.isEmpty()) dialog.setNameFilters(filters);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return "";
  return QFile::encodeName(dialog.selectedFiles().front()).toStdString();
}

// --- System ---

void QtPlatform::doEvents() {
  QCoreApplication::processEvents();
  // An open menu holds the caller until it closes, as a modal menu loop would: the arrow
  // keys that walk the menu must not also fly the camera.
  while (QApplication::activePopupWidget())
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void QtPlatform::waitEvents(int32_t milliseconds) {
  QEventLoop loop;
  QTimer::singleShot(std::max(milliseconds, 0), &loop, &QEventLoop::quit);
  loop.exec();
}

int16_t QtPlatform::GetAsyncKeyState(int32_t virtualKey) {
  return x11_->isDown(virtualKey) ? static_cast<int16_t>(0x8000) : int16_t{0};
}

bool QtPlatform::GetCursorPos(int32_t& x, int32_t& y) {
  const QPoint p = QCursor::pos();
  x = p.x();
  y = p.y();
  return true;
}

bool QtPlatform::SetCursorPos(int32_t x, int32_t y) {
  QCursor::setPos(x, y);
  return true;
}

int32_t QtPlatform::ShowCursor(bool show) {
  cursorCounter_ += show ? 1 : -1;
  const bool hide = cursorCounter_ < 0;
  if (hide && !cursorHidden_)
    QGuiApplication::setOverrideCursor(QCursor(Qt::BlankCursor));
  else if (!hide && cursorHidden_)
    QGuiApplication::restoreOverrideCursor();
  cursorHidden_ = hide;
  return cursorCounter_;
}

int32_t QtPlatform::GetTickCount() {
  return MonotonicTickCount();
}

float QtPlatform::screenWidthTwips() {
  QScreen* s = MainScreen();
  return s ? static_cast<float>(s->size().width()) * twipsPerPixelX() : 0.0f;
}

float QtPlatform::screenHeightTwips() {
  QScreen* s = MainScreen();
  return s ? static_cast<float>(s->size().height()) * twipsPerPixelY() : 0.0f;
}

float QtPlatform::twipsPerPixelX() {
  QScreen* s = MainScreen();
  const qreal dpi = s ? s->logicalDotsPerInchX() : 96.0;
  return kTwipsPerInch / static_cast<float>(dpi > 0 ? dpi : 96.0);
}

float QtPlatform::twipsPerPixelY() {
  QScreen* s = MainScreen();
  const qreal dpi = s ? s->logicalDotsPerInchY() : 96.0;
  return kTwipsPerInch / static_cast<float>(dpi > 0 ? dpi : 96.0);
}

// Whole pixels, kept within what an X window can measure (16-bit sizes), so no twip value
// can overflow.
static int ToPixels(float twips, float twipsPerPixel) {
  const double px = std::clamp(static_cast<double>(twips) / twipsPerPixel, 0.0, 32767.0);
  return static_cast<int>(std::lround(px));
}

int QtPlatform::toPixelsX(float twips) {
  return ToPixels(twips, twipsPerPixelX());
}

int QtPlatform::toPixelsY(float twips) {
  return ToPixels(twips, twipsPerPixelY());
}

std::string QtPlatform::fileNameOf(const std::string& path) {
  return FileNameOf(path);
}

std::string QtPlatform::commandLine() {
  return commandLine_;
}

void QtPlatform::endProgram(int exitStatus) {
  std::fflush(nullptr);
  std::_Exit(exitStatus);
}

}  // namespace kwellor::qt

// Read by the leak sanitizer when the program is built with it: Qt and its D-Bus libraries
// keep a few allocations of their own until the process ends.
extern "C" const char* __lsan_default_suppressions();
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libdbus-1.so\nleak:libQt6DBus.so\nleak:libQt6Core.so\n";
}
