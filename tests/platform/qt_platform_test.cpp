// The Qt platform against a real X server (Xvfb): window layout, key preview, access keys
// and shortcuts, check marks, the About box, live key state and the cursor counter.
#include "platform/qt/qt_platform.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QWindow>
#include <chrono>
#include <stdexcept>
#include <thread>

#include "app/menu_design.h"
#include "fake_input.h"
#include "platform/qt/about_box.h"
#include "platform/qt/load_splash.h"
#include "platform/qt/picture_area.h"
#include "recording_events.h"

namespace kwellor::testing {
namespace {

using kwellor::qt::MainWindow;
using kwellor::qt::QtPlatform;

class QtPlatformTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!qApp) GTEST_SKIP() << "needs an X display (DISPLAY)";
    platform = std::make_unique<QtPlatform>("");
    platform->loadMainWindow(MainMenuDesign(), events);
  }
  void TearDown() override {
    // Leave no key or popup behind for the next test.
    if (QWidget* popup = QApplication::activePopupWidget()) popup->close();
    platform.reset();
    if (qApp) QCoreApplication::processEvents();
  }

  // Shows the window and puts the pointer over it, so injected keys reach it.
  void showWindow() {
    platform->show();
    MainWindow* w = platform->mainWindow();
    const QPoint centre = w->mapToGlobal(w->rect().center());
    input.movePointer(centre.x(), centre.y());
    w->activateWindow();
    ASSERT_TRUE(waitFor([&] { return QApplication::activeWindow() == w; }));
  }

  // Types Alt with the first key, then each other key, from a thread of its own: while a
  // menu is open the platform's event pump does not return.
  static std::thread TypeMenuPath(std::vector<uint32_t> keys) {
    return std::thread([keys] {
      FakeInput typist;
      typist.tap(keys[0], {keysym::kAltL});
      for (size_t i = 1; i < keys.size(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(80));
        typist.tap(keys[i]);
      }
    });
  }

  // Pumps events until cond holds or the time is up.
  bool waitFor(const std::function<bool()>& cond, int ms = 3000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end) {
      platform->doEvents();
      if (cond()) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return cond();
  }
  void settle(int ms = 100) {
    waitFor([] { return false; }, ms);
  }

  RecordingEvents events;
  std::unique_ptr<QtPlatform> platform;
  FakeInput input;
};

TEST_F(QtPlatformTest, WindowLayoutAtFirstShow) {
  MainWindow* w = platform->mainWindow();
  ASSERT_NE(w, nullptr);
  EXPECT_FALSE(w->isVisible()) << "created hidden";
  EXPECT_TRUE(events.log.empty());
  EXPECT_EQ(platform->caption(), "KWELLOR");

  showWindow();
  EXPECT_GE(events.count("Resize"), 1) << "Form_Resize runs at the first show";
  ASSERT_FLOAT_EQ(platform->twipsPerPixelX(), 15.0f) << "Xvfb runs at 96 dpi";
  EXPECT_EQ(w->clientArea()->size(), QSize(446, 331));
  EXPECT_EQ(w->clientArea()->y(), w->menuBar()->geometry().bottom() + 1) << "below the menu bar";
  auto* picture = w->picture();
  EXPECT_EQ(picture->parentWidget(), w->clientArea());
  EXPECT_EQ(picture->pos(), QPoint(2, 2));
  EXPECT_TRUE(picture->hasFocus());
  EXPECT_EQ(platform->pictureWindowHandle(), static_cast<int32_t>(picture->winId()));
  EXPECT_NE(platform->pictureWindowHandle(), 0);
  EXPECT_FLOAT_EQ(platform->windowWidthTwips(), 15.0f * float(w->frameGeometry().width()));
  EXPECT_FLOAT_EQ(platform->windowHeightTwips(), 15.0f * float(w->frameGeometry().height()));
  EXPECT_FLOAT_EQ(platform->screenWidthTwips(), 1366.0f * 15.0f);
  EXPECT_FLOAT_EQ(platform->screenHeightTwips(), 768.0f * 15.0f);
}

TEST_F(QtPlatformTest, CaptionAndPictureSize) {
  showWindow();
  platform->setCaption("KWELLOR [/tmp/a [*] b.wld]");
  EXPECT_EQ(platform->caption(), "KWELLOR [/tmp/a [*] b.wld]");
  EXPECT_EQ(platform->mainWindow()->windowHandle()->title(), "KWELLOR [/tmp/a [*] b.wld]");

  auto* picture = platform->mainWindow()->picture();
  EXPECT_TRUE(platform->setPictureHeight(3000.0f));
  EXPECT_TRUE(platform->setPictureWidth(4500.0f));
  EXPECT_EQ(picture->size(), QSize(300, 200));
  EXPECT_FALSE(platform->setPictureHeight(-1.0f));
  EXPECT_FALSE(platform->setPictureWidth(-0.5f));
  EXPECT_EQ(picture->size(), QSize(300, 200)) << "a refused size changes nothing";
  EXPECT_TRUE(platform->setPictureHeight(1e30f)) << "clamped, not overflowed";
  EXPECT_GT(picture->height(), 200);
  EXPECT_TRUE(platform->setPictureHeight(3000.0f));

  const int resizes = events.count("Resize");
  platform->mainWindow()->showMinimized();
  EXPECT_TRUE(waitFor([&] { return events.count("Resize") > resizes; })) << "state change";
  EXPECT_FALSE(platform->setPictureHeight(100.0f)) << "refused while minimised";
  EXPECT_EQ(picture->size(), QSize(300, 200));
}

TEST_F(QtPlatformTest, ResizeOfTheWindowRunsFormResize) {
  showWindow();
  const int before = events.count("Resize");
  platform->mainWindow()->resize(600, 500);
  EXPECT_TRUE(waitFor([&] { return events.count("Resize") > before; }));
}

TEST_F(QtPlatformTest, KeyPreviewReachesFormKeyDownWhilePictureHasFocus) {
  showWindow();
  ASSERT_TRUE(platform->mainWindow()->picture()->hasFocus());
  input.tap('q');
  EXPECT_TRUE(waitFor([&] { return events.count("KeyDown 81 0") == 1; }));
  events.log.clear();
  input.tap(keysym::kLeft, {keysym::kShiftL});
  EXPECT_TRUE(waitFor([&] { return events.count("KeyDown 37 1") == 1; }));
  EXPECT_EQ(events.log.front(), "KeyDown 16 1") << "Shift itself comes first";
  events.log.clear();
  input.tap('v', {keysym::kControlL, keysym::kAltL});
  EXPECT_TRUE(waitFor([&] { return events.count("KeyDown 86 6") == 1; }));
  // Alt alone opens no menu, and the next key still reaches the window's handler.
  events.log.clear();
  input.tap(keysym::kAltL);
  input.tap('q');
  EXPECT_TRUE(waitFor([&] { return events.count("KeyDown 81 0") == 1; }));
  EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
}

struct MenuPath {
  std::vector<uint32_t> keys;  // the first key goes with Alt held
  const char* name;
};

TEST_F(QtPlatformTest, AccessKeysReachTheirItems) {
  const MenuPath paths[] = {
      {{'f', 'e'}, "mnuExit"},         {{'v', '3'}, "mnu3Dcard"},
      {{'v', 'c', 'p'}, "mnuPrevCam"}, {{'v', 'c', 'n'}, "mnuNextCam"},
      {{'v', 'a'}, "mnuViewAutoMode"}, {{'v', 'p', 'l'}, "mnuLow"},
      {{'v', 'p', 'm'}, "mnuMedium"},  {{'v', 'p', 'h'}, "mnuHigh"},
      {{'r', 'l'}, "mnuResetLoc"},     {{'r', 'd'}, "mnuResetDir"},
      {{'r', 'b'}, "mnuResetBoth"},    {{'c', '1'}, "mnuControlType1"},
      {{'c', '2'}, "mnuControlType2"}, {{'m', 'a'}, "mnuMiscAbvGnd"},
      {{'h', 'c'}, "mnuControl"},      {{'h', 'a'}, "mnuAbout"},
  };
  showWindow();
  for (const MenuPath& path : paths) {
    events.log.clear();
    std::thread typist = TypeMenuPath(path.keys);
    const std::string expected = std::string("Menu ") + path.name;
    EXPECT_TRUE(waitFor([&] { return events.count(expected) == 1; })) << path.name;
    typist.join();
    int clicks = 0;
    for (const auto& e : events.log) clicks += e.rfind("Menu ", 0) == 0;
    EXPECT_EQ(clicks, 1) << path.name;
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
  }
}

TEST_F(QtPlatformTest, OpenMenuHoldsTheEventPumpUntilItCloses) {
  showWindow();
  std::thread typist([] {
    FakeInput keys;
    keys.tap('v', {keysym::kAltL});
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    keys.tap(keysym::kEscape);
    keys.tap(keysym::kEscape);
  });
  // Wait for the menu to open, then pump once: that pump lasts until the menu is closed.
  QElapsedTimer open;
  open.start();
  while (!QApplication::activePopupWidget() && open.elapsed() < 3000)
    QCoreApplication::processEvents();
  ASSERT_NE(QApplication::activePopupWidget(), nullptr);
  platform->doEvents();
  EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
  EXPECT_GE(open.elapsed(), 250);
  typist.join();
}

TEST_F(QtPlatformTest, ShortcutsActWithNoMenuOpen) {
  showWindow();
  ASSERT_EQ(QApplication::activePopupWidget(), nullptr);
  input.tap('x', {keysym::kControlL});
  EXPECT_TRUE(waitFor([&] { return events.count("Menu mnuPrevCam") == 1; }));
  input.tap('s', {keysym::kControlL});
  EXPECT_TRUE(waitFor([&] { return events.count("Menu mnuNextCam") == 1; }));
  input.tap(keysym::kF8);
  EXPECT_TRUE(waitFor([&] { return events.count("Menu mnuViewAutoMode") == 1; }));
}

TEST_F(QtPlatformTest, CheckMarksAreStateTheLogicOwns) {
  for (const MenuItem& item : MainMenuDesign())
    EXPECT_EQ(platform->menuChecked(item.name), item.checked) << item.name;
  EXPECT_FALSE(platform->menuChecked("noSuchItem"));

  platform->setMenuChecked("mnuMiscAbvGnd", true);
  EXPECT_TRUE(platform->menuChecked("mnuMiscAbvGnd"));
  QAction* clamp = platform->mainWindow()->menus()->action("mnuMiscAbvGnd");
  EXPECT_TRUE(clamp->isChecked()) << "the menu shows the mark";

  // A click runs the command but leaves the mark to it.
  clamp->trigger();
  QAction* low = platform->mainWindow()->menus()->action("mnuLow");
  low->trigger();
  EXPECT_EQ(events.count("Menu mnuMiscAbvGnd"), 1);
  EXPECT_EQ(events.count("Menu mnuLow"), 1);
  EXPECT_TRUE(platform->menuChecked("mnuMiscAbvGnd"));
  EXPECT_TRUE(clamp->isChecked());
  EXPECT_TRUE(platform->menuChecked("mnuLow"));
  EXPECT_TRUE(low->isChecked());

  platform->setMenuChecked("mnuMiscAbvGnd", false);
  EXPECT_FALSE(clamp->isChecked());
  EXPECT_FALSE(platform->mainWindow()->menus()->action("mnuExit")->isCheckable());
}

TEST_F(QtPlatformTest, AboutBoxIsModalWithItsDesign) {
  showWindow();
  bool inspected = false;
  QTimer::singleShot(200, [&] {
    QWidget* box = QApplication::activeModalWidget();
    ASSERT_NE(box, nullptr);
    inspected = true;
    EXPECT_EQ(box->windowTitle(), "About KWELLOR");
    EXPECT_EQ(box->parentWidget(), platform->mainWindow()) << "owned by the main window";
    EXPECT_EQ(box->size(), QSize(233, 141));
    EXPECT_EQ(box->minimumSize(), box->maximumSize()) << "not resizable";
    const Qt::WindowFlags flags = box->windowFlags();
    EXPECT_FALSE(flags & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
    EXPECT_EQ(box->palette().color(QPalette::Window), QColor(211, 211, 211));
    EXPECT_FALSE(box->windowIcon().isNull());
    auto* label1 = box->findChild<QLabel*>("Label1");
    ASSERT_NE(label1, nullptr);
    EXPECT_EQ(label1->text(), "KWELLOR Version 1.0 ");
    EXPECT_EQ(label1->geometry(), QRect(76, 20, 119, 13));
    auto* icon = box->findChild<QLabel*>("Image1");
    ASSERT_NE(icon, nullptr);
    EXPECT_EQ(icon->pixmap().size(), QSize(32, 32));
    auto* logo = box->findChild<QLabel*>("Image2");
    ASSERT_NE(logo, nullptr);
    EXPECT_EQ(logo->pixmap().size(), QSize(98, 70));
    const QPoint ownerCentre = platform->mainWindow()->frameGeometry().center();
    EXPECT_LE((box->frameGeometry().center() - ownerCentre).manhattanLength(), 2)
        << "centred over its owner";
    auto* frame = box->findChild<QWidget*>("Frame1");
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(frame->geometry(), QRect(4, -2, 223, 137));
    // The main window takes no input meanwhile: Escape does not close the box either.
    input.tap(keysym::kEscape);
    QTimer::singleShot(100, box, [box] { box->close(); });
  });
  // Should a check above fail before closing it, the box still goes.
  QTimer::singleShot(3000, [] {
    if (QWidget* box = QApplication::activeModalWidget()) box->close();
  });
  platform->showAboutBox();
  EXPECT_TRUE(inspected);
  EXPECT_TRUE(platform->mainWindow()->findChildren<kwellor::qt::AboutBox*>().isEmpty())
      << "destroyed when closed";
  EXPECT_EQ(events.count("KeyDown 27 0"), 0) << "no key preview behind a modal box";
}

TEST_F(QtPlatformTest, PicturesAreBuiltIn) {
  const QImage icon(":/kwellor/icon.png");
  EXPECT_EQ(icon.size(), QSize(32, 32));
  EXPECT_FALSE(icon.hasAlphaChannel()) << "24-bit colour";
  EXPECT_FALSE(icon.isGrayscale());
  const QImage logo(":/kwellor/logo.jpg");
  EXPECT_EQ(logo.size(), QSize(98, 70));
  EXPECT_FALSE(logo.isGrayscale());
  EXPECT_FALSE(platform->mainWindow()->windowIcon().isNull());
}

TEST_F(QtPlatformTest, OpenDialogOffersTheFiltersAndGivesTheFullPath) {
  const std::string filter =
      "All Supported files|*.wld;*.vindle;*.zelnary|*.wld|*.wld|*.vindle|*.vindle|*.zelnary|"
      "*.zelnary";
  const QString chosen = QDir::temp().filePath("kwellor_open_test.wld");
  QFile(chosen).open(QIODevice::WriteOnly);
  QStringList offered;
  QTimer::singleShot(200, [&] {
    auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(dialog, nullptr);
    offered = dialog->nameFilters();
    // As a user would: type the path into the file name field.
    auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
    ASSERT_NE(name, nullptr);
    name->setText(chosen);
    static_cast<QDialog*>(dialog)->accept();
  });
  EXPECT_EQ(platform->showOpenDialog(filter), chosen.toStdString());
  ASSERT_EQ(offered.size(), 4);
  EXPECT_EQ(offered[0], "All Supported files (*.wld *.vindle *.zelnary)");
  EXPECT_EQ(offered[2], "*.vindle (*.vindle)");

  QTimer::singleShot(200, [] {
    if (QWidget* dialog = QApplication::activeModalWidget())
      static_cast<QDialog*>(dialog)->reject();
  });
  EXPECT_EQ(platform->showOpenDialog(filter), "") << "cancelled";
  QFile::remove(chosen);
}

TEST_F(QtPlatformTest, EndProgramExitsAtOnceWithTheStatus) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        platform->show();
        platform->endProgram(3);
      },
      ::testing::ExitedWithCode(3), "");
}

TEST_F(QtPlatformTest, MessageDetailsAndTheLoadingSplash) {
  QString text, details, reason;
  QMessageBox::StandardButtons buttons;
  QTimer::singleShot(200, [&] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      text = box->text();
      details = box->detailedText();
      reason = box->informativeText();
      buttons = box->standardButtons();
      box->close();
    }
  });
  QTimer::singleShot(3000, [] {
    if (QWidget* box = QApplication::activeModalWidget()) box->close();
  });
  platform->messageBox("Error Loading World",
                       "town.wld:4440: poly vertex: a number is missing\nmore below");
  EXPECT_EQ(text, "Error Loading World");
  EXPECT_EQ(reason, "town.wld:4440: poly vertex: a number is missing");  // seen without a click
  EXPECT_EQ(details, "town.wld:4440: poly vertex: a number is missing\nmore below");
  EXPECT_EQ(buttons, QMessageBox::Ok);

  auto splashes = [] {
    int shown = 0;
    for (QWidget* w : QApplication::topLevelWidgets()) {
      shown += w->isVisible() && w->windowTitle() == "Loading town.wld";
    }
    return shown;
  };
  platform->showSplash("/w/town.wld");
  EXPECT_EQ(splashes(), 1);
  platform->closeSplash();
  platform->closeSplash();  // closing twice is harmless
  EXPECT_EQ(splashes(), 0);
}

// The splash of a load on another thread: the step and its bar follow the progress, and a
// real click on Cancel reaches the platform while it waits for events.
TEST_F(QtPlatformTest, TheSplashShowsProgressAndTakesACancelWhileWaiting) {
  platform->showSplash("/w/model.glb", true);
  qt::LoadSplash* splash = platform->splash();
  ASSERT_NE(splash, nullptr);
  EXPECT_EQ(splash->windowTitle(), "Loading model.glb");
  EXPECT_EQ(splash->bar()->maximum(), 0) << "busy before the first step";
  platform->setSplashProgress("Loading textures (1 of 4)", 0.25);
  EXPECT_EQ(splash->stepLabel()->text(), "Loading textures (1 of 4)");
  EXPECT_EQ(splash->bar()->value() * 4, splash->bar()->maximum());
  platform->setSplashProgress("Importing the model", -1.0);
  EXPECT_EQ(splash->bar()->maximum(), 0);

  // The wait runs events as they come and returns after about the time asked for.
  bool ran = false;
  QTimer::singleShot(0, [&] { ran = true; });
  QElapsedTimer clock;
  clock.start();
  platform->waitEvents(60);
  EXPECT_TRUE(ran);
  EXPECT_GE(clock.elapsed(), 50);
  EXPECT_LT(clock.elapsed(), 2000);

  ASSERT_NE(splash->cancelButton(), nullptr);
  EXPECT_TRUE(waitFor([&] { return splash->cancelButton()->isVisible(); }));
  EXPECT_FALSE(platform->splashCancelled());
  const QPoint p = splash->cancelButton()->mapToGlobal(splash->cancelButton()->rect().center());
  input.movePointer(p.x(), p.y());
  input.click(1);
  for (int i = 0; i < 100 && !platform->splashCancelled(); ++i) platform->waitEvents(20);
  EXPECT_TRUE(platform->splashCancelled());
  platform->closeSplash();
  EXPECT_FALSE(platform->splashCancelled());

  // Without Cancel offered there is no button to press.
  platform->showSplash("/w/town.wld");
  ASSERT_NE(platform->splash(), nullptr);
  EXPECT_EQ(platform->splash()->cancelButton(), nullptr);
  platform->closeSplash();
}

TEST_F(QtPlatformTest, HandlerFailureIsReportedAndEndsTheProgram) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        events.onMenu = [](std::string_view) { throw std::runtime_error("handler broke"); };
        QTimer::singleShot(300, [] {
          if (QWidget* box = QApplication::activeModalWidget()) box->close();
        });
        platform->mainWindow()->menus()->action("mnuExit")->trigger();
      },
      ::testing::ExitedWithCode(1), "handler broke");
}

TEST_F(QtPlatformTest, GetAsyncKeyStateSeesHeldKeysAnywhere) {
  EXPECT_EQ(platform->GetAsyncKeyState(0x26), 0);
  input.press(keysym::kUp);
  EXPECT_EQ(platform->GetAsyncKeyState(0x26), static_cast<int16_t>(0x8000));
  EXPECT_EQ(platform->GetAsyncKeyState(0x28), 0);
  input.release(keysym::kUp);
  EXPECT_EQ(platform->GetAsyncKeyState(0x26), 0);

  input.press(keysym::kShiftR);
  EXPECT_LT(platform->GetAsyncKeyState(0x10), 0) << "either Shift key is Shift";
  input.release(keysym::kShiftR);
  input.press('a');
  EXPECT_LT(platform->GetAsyncKeyState(0x41), 0);
  input.release('a');
  EXPECT_EQ(platform->GetAsyncKeyState(0x41), 0);
}

TEST_F(QtPlatformTest, ShowCursorCounterHidesBelowZero) {
  EXPECT_EQ(platform->ShowCursor(false), -1);
  ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
  EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::BlankCursor);
  EXPECT_EQ(platform->ShowCursor(false), -2);
  EXPECT_EQ(platform->ShowCursor(true), -1);
  EXPECT_NE(QGuiApplication::overrideCursor(), nullptr) << "still hidden at -1";
  EXPECT_EQ(platform->ShowCursor(true), 0);
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
  EXPECT_EQ(platform->ShowCursor(true), 1);
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST_F(QtPlatformTest, CursorPositionRoundTrips) {
  ASSERT_TRUE(platform->SetCursorPos(512, 384));
  int32_t x = 0, y = 0;
  EXPECT_TRUE(waitFor([&] { return platform->GetCursorPos(x, y) && x == 512 && y == 384; }));
  int px = 0, py = 0;
  input.pointer(px, py);
  EXPECT_EQ(px, 512);
  EXPECT_EQ(py, 384);
}

TEST_F(QtPlatformTest, MouseButtonReleaseOverPicture) {
  showWindow();
  auto* picture = platform->mainWindow()->picture();
  const QPoint p = picture->mapToGlobal(QPoint(20, 20));
  input.movePointer(p.x(), p.y());
  input.click(3);
  EXPECT_TRUE(waitFor([&] { return events.count("MouseUp 2 0") == 1; }));
  input.click(1);
  EXPECT_TRUE(waitFor([&] { return events.count("MouseUp 1 0") == 1; }));
}

TEST_F(QtPlatformTest, UnloadRunsFormUnloadThenDestroysTheWindow) {
  // Never shown: still safe, no resize.
  platform->unload();
  EXPECT_EQ(events.log, std::vector<std::string>{"Unload"});
  EXPECT_EQ(platform->mainWindow(), nullptr);
  platform->unload();
  EXPECT_EQ(events.count("Unload"), 1) << "nothing left to unload";
  EXPECT_FALSE(platform->menuChecked("mnuLow"));
  EXPECT_EQ(platform->pictureWindowHandle(), 0);
  EXPECT_FALSE(platform->setPictureHeight(100.0f));
}

TEST_F(QtPlatformTest, CloseBoxAndExitUnloadFromInsideQt) {
  showWindow();
  QPointer<QWidget> w = platform->mainWindow();
  w->close();
  EXPECT_EQ(events.count("Unload"), 1);
  EXPECT_EQ(platform->mainWindow(), nullptr);
  EXPECT_TRUE(waitFor([&] { return w.isNull(); })) << "destroyed at the next pump";

  // Exit from the menu: the handler unloads while the menu's own code is on the stack.
  platform->loadMainWindow(MainMenuDesign(), events);
  events.onMenu = [&](std::string_view name) {
    if (name == "mnuExit") platform->unload();
  };
  showWindow();
  std::thread typist = TypeMenuPath({'f', 'e'});
  EXPECT_TRUE(waitFor([&] { return events.count("Unload") == 2; }));
  typist.join();
  EXPECT_EQ(platform->mainWindow(), nullptr);
  settle(50);
}

}  // namespace
}  // namespace kwellor::testing

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  std::unique_ptr<QApplication> app;
  if (std::getenv("DISPLAY")) {
    static int qtArgc = 1;
    static char name[] = "qt_platform_test";
    static char* qtArgv[] = {name, nullptr};
    app = std::make_unique<QApplication>(qtArgc, qtArgv);
  }
  return RUN_ALL_TESTS();
}
