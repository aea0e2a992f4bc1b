// The real kwellor on the sample town under an X server: it opens, renders, flies, switches
// control schemes and ends on Escape. Skips while the engine library or the world is missing.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

#include "child_process.h"
#include "fake_input.h"
#include "x_windows.h"

namespace kwellor::testing {
namespace {

namespace fs = std::filesystem;

bool WaitUntil(const std::function<bool()>& cond, int ms) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (std::chrono::steady_clock::now() < end) {
    if (cond()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return cond();
}

// The share of pixels that differ between two grabs of the same window.
double ChangedFraction(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b) {
  if (a.size() != b.size() || a.empty()) return 1.0;
  size_t changed = 0;
  for (size_t i = 0; i < a.size(); ++i) changed += a[i] != b[i];
  return static_cast<double>(changed) / static_cast<double>(a.size());
}

// The share of pixels whose three channels all lie within tolerance of the other picture's.
double ShareWithin(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b, int tolerance) {
  if (a.size() != b.size() || a.empty()) return 0.0;
  size_t close = 0;
  for (size_t i = 0; i < a.size(); ++i) {
    bool near = true;
    for (int shift = 0; shift < 24; shift += 8) {
      const int d =
          static_cast<int>((a[i] >> shift) & 0xff) - static_cast<int>((b[i] >> shift) & 0xff);
      near = near && d <= tolerance && d >= -tolerance;
    }
    close += near;
  }
  return static_cast<double>(close) / static_cast<double>(a.size());
}

void Pause(int ms) {
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// Runs kwellor with a command line; answers its message boxes.
class KwellorProgram : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "needs an X display (DISPLAY)";
    ASSERT_TRUE(windows.connected());
    ASSERT_TRUE(input.connected());
    // Start from a pointer away from where the main window will appear.
    input.movePointer(1300, 700);
  }
  void TearDown() override { viewer.reset(); }

  static bool HaveEngine() {
    return fs::exists(fs::path(KWELLOR_BINARY).parent_path() / "libzelnary3.so");
  }
  void start(const std::vector<std::string>& args, std::vector<std::string> env = {}) {
    // In a sanitizer build the leak check at exit crashes on the engine's worker threads
    // (thread-local storage of a library loaded at run time); the exit code is what counts.
    const char* asan = std::getenv("ASAN_OPTIONS");
    env.push_back(std::string("ASAN_OPTIONS=") + (asan ? asan : "") + ":detect_leaks=0");
    viewer = std::make_unique<ChildProcess>(KWELLOR_BINARY, args, env);
    ASSERT_TRUE(viewer->running());
  }
  // Waits for the message box (titled "KWELLOR"), then answers it with Return.
  void acknowledgeMessage() {
    uint64_t box = 0;
    ASSERT_TRUE(WaitUntil(
        [&] {
          box = windows.findByNamePrefix("KWELLOR");
          return box != 0 && windows.name(box) == "KWELLOR";
        },
        15000))
        << "no message box";
    WindowBox b;
    ASSERT_TRUE(windows.box(box, b));
    input.movePointer(b.x + b.width / 2, b.y + b.height / 2);
    Pause(300);
    input.tap(keysym::kReturn);  // the OK button
  }
  void expectExit(int expected) {
    const std::optional<int> code = viewer->waitExit(5000);
    ASSERT_TRUE(code.has_value()) << "still running";
    EXPECT_EQ(*code, expected);
  }
  // The splash that names the world while it loads ("Loading town.wld").
  bool splashShown() { return windows.findByNamePrefix("Loading ") != 0; }

  XWindows windows;
  FakeInput input;
  std::unique_ptr<ChildProcess> viewer;
};

TEST_F(KwellorProgram, MissingEngineLibraryIsReportedAndEndsTheProgram) {
  start({"/no/such/world.wld"}, {"KWELLOR_ENGINE=/no/such/libzelnary3.so"});
  acknowledgeMessage();
  expectExit(1);
}

// A failed load is a failure: the status says so, after the message.
TEST_F(KwellorProgram, WorldThatFailsToLoadIsReportedAndEndsTheProgram) {
  if (!HaveEngine()) GTEST_SKIP() << "no engine library yet";
  start({"/no/such/world.wld"});
  acknowledgeMessage();
  EXPECT_FALSE(splashShown());
  expectExit(1);
  EXPECT_EQ(windows.findByNamePrefix("KWELLOR ["), 0u) << "the main window was never shown";
}

// An importer that hangs: the splash stays live behind the load and takes a close request as
// Cancel, which kills the importer and ends the program at once, as a failed load does but
// without its message.
TEST_F(KwellorProgram, CancellingASlowImportEndsTheProgramAtOnce) {
  if (!HaveEngine()) GTEST_SKIP() << "no engine library yet";
  const fs::path model =
      fs::temp_directory_path() / ("kwellor_e2e_" + std::to_string(::getpid()) + ".glb");
  std::ofstream(model) << "glTF";
  start({model.string()}, {"ZELNARY_IMPORTER=" FAKE_IMPORTER, "ZELNARY_FAKE_IMPORTER=hang",
                           "ZELNARY_IMPORT_TIMEOUT=60"});
  uint64_t splash = 0;
  ASSERT_TRUE(
      WaitUntil([&] { return (splash = windows.findByNamePrefix("Loading ")) != 0; }, 15000))
      << "no splash";
  Pause(500);
  ASSERT_TRUE(viewer->running()) << "the load should still be going on";
  windows.requestClose(splash);
  const std::optional<int> code = viewer->waitExit(3000);
  fs::remove(model);
  ASSERT_TRUE(code.has_value()) << "still running after Cancel";
  EXPECT_EQ(*code, 1);
  EXPECT_EQ(windows.findByNamePrefix("KWELLOR"), 0u) << "no message, no main window";
}

// Pixels of the splash's progress bar that are filled: the highlight's blue.
size_t BarFill(const std::vector<uint32_t>& pixels) {
  size_t n = 0;
  for (const uint32_t p : pixels) {
    const int r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
    n += b > r + 60 && b > g + 20 ? 1 : 0;
  }
  return n;
}

// A world of a million triangles takes long enough to read that the splash, watched from
// outside, shows its bar filling step by step before the main window opens.
TEST_F(KwellorProgram, SplashBarFillsWhileABigWorldLoads) {
  if (!HaveEngine()) GTEST_SKIP() << "no engine library yet";
  const fs::path folder =
      fs::temp_directory_path() / ("kwellor_e2e_big_" + std::to_string(::getpid()));
  fs::create_directories(folder);
  const fs::path world = folder / "big.wld";
  ASSERT_EQ(std::system(
                (std::string(WORLDGEN) + " big 1000000 " + world.string() + " >/dev/null").c_str()),
            0);
  start({world.string()});
  std::vector<size_t> fills;
  uint64_t splash = 0;
  ASSERT_TRUE(
      WaitUntil([&] { return (splash = windows.findByNamePrefix("Loading ")) != 0; }, 15000))
      << "no splash";
  EXPECT_EQ(windows.name(splash), "Loading big.wld");
  while (windows.findByNamePrefix("KWELLOR [") == 0 && viewer->running()) {
    const std::vector<uint32_t> pixels = windows.grab(splash);
    WindowBox box;
    if (pixels.empty() && !windows.box(splash, box)) break;  // the splash has gone
    // Otherwise it is there but cannot be read yet (not mapped): look again.
    const size_t fill = BarFill(pixels);
    if (fill > 0 && (fills.empty() || fill != fills.back())) fills.push_back(fill);
    Pause(10);
  }
  ASSERT_TRUE(WaitUntil([&] { return windows.findByNamePrefix("KWELLOR [") != 0; }, 60000))
      << "the world did not open";
  viewer.reset();
  fs::remove_all(folder);
  // At least three different fills, one of them rising from the one before.
  ASSERT_GE(fills.size(), 3u) << "the bar did not move";
  EXPECT_TRUE(std::adjacent_find(fills.begin(), fills.end(), std::less<>()) != fills.end());
}

// Cancelling the Open dialog is the user's choice: status 0, no window shown.
TEST_F(KwellorProgram, CancelledOpenDialogEndsTheProgramWithSuccess) {
  start({});
  uint64_t dialog = 0;
  ASSERT_TRUE(WaitUntil([&] { return (dialog = windows.findByNamePrefix("Open")) != 0; }, 15000))
      << "no Open dialog";
  WindowBox b;
  ASSERT_TRUE(windows.box(dialog, b));
  input.movePointer(b.x + b.width / 2, b.y + b.height / 2);
  Pause(300);
  input.tap(keysym::kEscape);
  expectExit(0);
  EXPECT_EQ(windows.findByNamePrefix("KWELLOR ["), 0u) << "the main window was never shown";
}

// kwellor flying over the sample town.
class KwellorEndToEnd : public KwellorProgram {
 protected:
  void SetUp() override {
    KwellorProgram::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    if (!HaveEngine()) GTEST_SKIP() << "no engine library yet";
    if (!fs::exists(KWELLOR_WORLD)) GTEST_SKIP() << "no sample world yet: " << KWELLOR_WORLD;
    start({KWELLOR_WORLD});
    ASSERT_TRUE(
        WaitUntil([&] { return (top = windows.findByNamePrefix("KWELLOR [")) != 0; }, 15000))
        << "no main window";
    ASSERT_TRUE(
        WaitUntil([&] { return (picture = windows.findByNamePrefix("Picture1", top)); }, 5000))
        << "no picture area";
    ASSERT_TRUE(WaitUntil([&] { return DistinctColours(windows.grab(picture)) > 1; }, 15000))
        << "the picture area stays blank";
  }

  void pressEscapeAndExpectExit() {
    input.press(keysym::kEscape);
    Pause(150);
    input.release(keysym::kEscape);
    expectExit(0);
  }

  // Puts the pointer over the main window so that typed keys reach it.
  void pointAtWindow() {
    WindowBox b;
    ASSERT_TRUE(windows.box(picture, b));
    input.movePointer(b.x + b.width / 2, b.y + b.height / 2);
    Pause(100);
  }

  uint64_t top = 0;
  uint64_t picture = 0;
};

TEST_F(KwellorEndToEnd, OpensRendersAndEndsOnEscape) {
  EXPECT_FALSE(splashShown()) << "the splash outlived the load";
  EXPECT_EQ(windows.name(top).rfind("KWELLOR [", 0), 0u);
  EXPECT_NE(windows.name(top).find("town.wld]"), std::string::npos);
  pressEscapeAndExpectExit();
  EXPECT_EQ(windows.findByNamePrefix("KWELLOR ["), 0u) << "no window left";
}

TEST_F(KwellorEndToEnd, ExitCommandEndsTheProgram) {
  pointAtWindow();
  input.tap('f', {keysym::kAltL});
  Pause(200);
  input.tap('e');
  expectExit(0);
}

TEST_F(KwellorEndToEnd, CloseBoxEndsTheProgram) {
  windows.requestClose(top);
  expectExit(0);
}

TEST_F(KwellorEndToEnd, HoldingUpFliesForward) {
  // A short turn hands the view to the free-flight camera, which then comes to rest; the
  // world's own traffic may still move in the picture.
  input.press(keysym::kLeft);
  Pause(100);
  input.release(keysym::kLeft);
  Pause(1500);
  const std::vector<uint32_t> rest1 = windows.grab(picture);
  Pause(1000);
  const std::vector<uint32_t> rest2 = windows.grab(picture);
  input.press(keysym::kUp);
  Pause(1000);
  const std::vector<uint32_t> flying = windows.grab(picture);
  input.release(keysym::kUp);
  const double atRest = ChangedFraction(rest1, rest2), forward = ChangedFraction(rest2, flying);
  EXPECT_GT(forward, 0.3) << "the view hardly moved";
  EXPECT_GT(forward, 2 * atRest) << "at rest " << atRest << ", flying " << forward;
  pressEscapeAndExpectExit();
}

TEST_F(KwellorEndToEnd, RightClickInMouseLookReturnsToKeyboard) {
  // The mouse-look scheme holds the pointer at the screen centre (683, 384 on 1366 x 768 at
  // 96 dpi); move the window so that the picture area covers that point.
  const int cx = windows.screenWidth() / 2, cy = windows.screenHeight() / 2;
  WindowBox topBox, pictureBox;
  ASSERT_TRUE(windows.box(top, topBox));
  ASSERT_TRUE(windows.box(picture, pictureBox));
  const int dx = pictureBox.x - topBox.x, dy = pictureBox.y - topBox.y;
  windows.move(top, cx - dx - pictureBox.width / 2, cy - dy - pictureBox.height / 2);
  ASSERT_TRUE(WaitUntil(
      [&] {
        WindowBox b;
        return windows.box(picture, b) && b.x < cx && b.x + b.width > cx && b.y < cy &&
               b.y + b.height > cy;
      },
      3000));
  pointAtWindow();

  // Control > Type 2 by its access keys.
  input.tap('c', {keysym::kAltL});
  Pause(200);
  input.tap('2');
  int x = 0, y = 0;
  input.movePointer(700, 400);
  ASSERT_TRUE(WaitUntil(
      [&] {
        input.pointer(x, y);
        return x == cx && y == cy;
      },
      3000))
      << "mouse look does not hold the pointer at the centre";

  input.click(3);
  // Back in the keyboard scheme the pointer stays where it is put.
  int attempt = 0;
  EXPECT_TRUE(WaitUntil(
      [&] {
        ++attempt;
        input.movePointer(cx + 20 + attempt % 2, cy + 20);
        Pause(300);
        input.pointer(x, y);
        return x == cx + 20 + attempt % 2 && y == cy + 20;
      },
      5000))
      << "still in mouse look after the right click";
  EXPECT_TRUE(viewer->running());
  EXPECT_GT(DistinctColours(windows.grab(picture)), 1u) << "the picture area went blank";
  pressEscapeAndExpectExit();
}

// The 3D card on through Ctrl+Alt+V and off through its menu item, at High (exact perspective;
// at Low the back ends fan the polygons they clip from different vertices, and the affine
// textures show it). The pictures compared are taken from the free-flight camera at rest at its
// home (Reset > Both), so only the cars move between grabs. Before each switch the view is
// turned away from home and brought back only afterwards, so that a picture left behind by
// the other back end cannot pass for the new one's.
TEST_F(KwellorEndToEnd, ThreeDCardDrawsTheSamePictureInItsOwnWindowAndSwitchesBack) {
  // The back ends agree on 98% of pixels within 12 per channel (about 99.7% here, cars
  // included); 95% leaves room for a car passing close, and two views share about 45%.
  constexpr int kTolerance = 12;
  constexpr double kSame = 0.95;
  auto shownChildren = [&] {
    std::vector<uint64_t> shown;
    WindowBox b;
    for (uint64_t w : windows.children(picture))
      if (windows.box(w, b) && b.viewable) shown.push_back(w);
    return shown;
  };
  // The window's picture once it has changed from before and two grabs a moment apart agree.
  auto newPicture = [&](uint64_t window, const std::vector<uint32_t>& before) {
    std::vector<uint32_t> last = before, now;
    WaitUntil(
        [&] {
          Pause(300);
          now = windows.grab(window);
          const bool settled = ShareWithin(before, now, kTolerance) < kSame &&
                               ShareWithin(last, now, kTolerance) >= kSame;
          last = now;
          return settled;
        },
        15000);
    return now;
  };
  auto menu = [&](uint32_t title, std::initializer_list<uint32_t> keys) {
    input.tap(title, {keysym::kAltL});
    for (uint32_t key : keys) {
      Pause(200);
      input.tap(key);
    }
  };
  auto turnLeft = [&] {
    input.press(keysym::kLeft);
    Pause(300);
    input.release(keysym::kLeft);
  };

  pointAtWindow();
  menu('v', {'p', 'h'});  // View > Prespective Correction > High
  const std::vector<uint32_t> chase = windows.grab(picture);
  turnLeft();  // hands the view to the free-flight camera
  const std::vector<uint32_t> turned = newPicture(picture, chase);
  menu('r', {'b'});  // Reset > Both
  const std::vector<uint32_t> home = newPicture(picture, turned);
  turnLeft();
  const std::vector<uint32_t> away = newPicture(picture, home);
  ASSERT_LT(ShareWithin(home, away, kTolerance), kSame) << "the turn did not change the view";
  EXPECT_TRUE(shownChildren().empty());

  // Ctrl+Alt+V: the viewer reads the live key state, so the keys stay down a while.
  input.press(keysym::kControlL);
  input.press(keysym::kAltL);
  input.press('v');
  Pause(400);
  input.release('v');
  input.release(keysym::kAltL);
  input.release(keysym::kControlL);
  uint64_t card = 0;
  ASSERT_TRUE(WaitUntil(
      [&] {
        const std::vector<uint64_t> shown = shownChildren();
        WindowBox c, p;
        card = shown.size() == 1 ? shown[0] : 0;
        return card != 0 && windows.box(card, c) && windows.box(picture, p) && c.x == p.x &&
               c.y == p.y && c.width == p.width && c.height == p.height;
      },
      10000))
      << "no child window covering the picture area";
  menu('r', {'b'});
  double share = 0;
  EXPECT_TRUE(WaitUntil(
      [&] { return (share = ShareWithin(home, windows.grab(card), kTolerance)) >= kSame; }, 15000))
      << "the card's picture matches the CPU's on " << share * 100 << "% of pixels";
  turnLeft();
  newPicture(card, home);
  menu('v', {'3'});  // View > 3D Card, off
  EXPECT_TRUE(WaitUntil([&] { return shownChildren().empty(); }, 10000))
      << "the card's window stays on screen";
  menu('r', {'b'});
  EXPECT_TRUE(WaitUntil(
      [&] { return (share = ShareWithin(home, windows.grab(picture), kTolerance)) >= kSame; },
      15000))
      << "the CPU's picture is not back: " << share * 100 << "% of pixels as at first";
  pressEscapeAndExpectExit();
}

}  // namespace
}  // namespace kwellor::testing
