// Soak: the real kwellor on one or more worlds, driven for a chosen time by random input
// through XTest (flight keys held for random times, both schemes, every menu command but
// Exit, Ctrl+Alt+V, window resizes from tiny to large, the About box). Every 10 s it samples
// the viewer's resident memory and CPU time and, from DAMAGE events on the picture area, its
// frame rate and slowest frame. It passes when the viewer never dies, its own memory (read
// with the window at one size) over the second half of the run stays within 1% of the first
// half's peak, and no frame takes more than four times the median (frames next to a menu, a
// dialog or a resize are left out: the frame loop waits for those by design).
//
// "Its own memory" is the anonymous and shared resident memory (RssAnon + RssShmem): what a
// leak would grow. The file-backed part (about two thirds of the total: the resident pages of
// Qt, Mesa and the other libraries) is printed but not judged: it grows as rarely run code is
// first touched and shrinks when the kernel reclaims page cache on a busy machine.
// The baseline is the first half, not the first minute, because some memory reaches its bound
// only after several repetitions of one input, not after the warm-up's one: opening the About
// box alone (KWELLOR_SOAK_ONLY=14) grew the viewer's own memory by 1.4 MB in steps over its
// first six openings and then by 4 KiB over the next 29, while the heap's live bytes were the
// same after about 6 and about 24 openings (the allocator's and Qt's caches filling, not a
// leak). A leak keeps growing in the second half too. One slow growth is known and bounded:
// each time a submenu is painted (KWELLOR_SOAK_ONLY=6, Camera > Next) Qt's style stores one
// more small pixmap in QPixmapCache under a new key, about 0.8 KiB of heap an opening, until
// the cache's limit (10 MB by default) evicts the oldest.
//
// Usage (under an X server with XTEST and DAMAGE; bench/soak/soak.sh starts one):
//   kwellor_soak KWELLOR_BINARY SECONDS_PER_WORLD WORLD...
// KWELLOR_SOAK_SEED=N gives every world the input of the N-th argument's world (the first
// world is 3); KWELLOR_SOAK_LOG=1 prints each input with its time.
#include <X11/Xlib.h>
#include <X11/extensions/Xdamage.h>
#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <mutex>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "child_process.h"
#include "fake_input.h"
#include "x_windows.h"

namespace {

using kwellor::testing::ChildProcess;
using kwellor::testing::FakeInput;
using kwellor::testing::WindowBox;
using kwellor::testing::XWindows;
namespace keysym = kwellor::testing::keysym;
using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point t0) {
  return std::chrono::duration<double>(Clock::now() - t0).count();
}

void pause_ms(int ms) {
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// The first window, anywhere in the tree, named exactly name; 0: none.
unsigned long window_named(const char* name) {
  Display* d = XOpenDisplay(nullptr);
  if (!d) return 0;
  unsigned long found = 0;
  std::vector<Window> todo{DefaultRootWindow(d)};
  while (!todo.empty() && found == 0) {
    const Window w = todo.back();
    todo.pop_back();
    char* text = nullptr;
    if (XFetchName(d, w, &text) && text) {
      if (std::string(text) == name) found = w;
      XFree(text);
    }
    Window root, parent, *children = nullptr;
    unsigned count = 0;
    if (XQueryTree(d, w, &root, &parent, &children, &count)) {
      todo.insert(todo.end(), children, children + count);
      if (children) XFree(children);
    }
  }
  XCloseDisplay(d);
  return found;
}

bool wait_until(const std::function<bool()>& cond, int ms) {
  const auto end = Clock::now() + std::chrono::milliseconds(ms);
  while (Clock::now() < end) {
    if (cond()) return true;
    pause_ms(50);
  }
  return cond();
}

// The child of this process (kwellor), found through /proc.
int child_pid() {
  DIR* proc = opendir("/proc");
  int found = 0;
  while (dirent* e = proc ? readdir(proc) : nullptr) {
    const int pid = std::atoi(e->d_name);
    if (pid <= 0) continue;
    std::ifstream stat("/proc/" + std::string(e->d_name) + "/stat");
    std::string line;
    std::getline(stat, line);
    const size_t paren = line.rfind(')');
    if (paren == std::string::npos) continue;
    std::istringstream rest(line.substr(paren + 2));
    char state;
    int ppid = 0;
    rest >> state >> ppid;
    if (ppid == getpid()) found = pid;
  }
  if (proc) closedir(proc);
  return found;
}

// Resident memory in KiB: all of it, and the part that is not file-backed.
struct Resident {
  long total = -1, own = 0;
};

Resident resident_kib(int pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  Resident r;
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmRSS:", 0) == 0) r.total = std::atol(line.c_str() + 6);
    if (line.rfind("RssAnon:", 0) == 0 || line.rfind("RssShmem:", 0) == 0)
      r.own += std::atol(line.c_str() + line.find(':') + 1);
  }
  return r;
}

double cpu_seconds(int pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  std::getline(stat, line);
  const size_t paren = line.rfind(')');
  if (paren == std::string::npos) return 0.0;
  std::istringstream rest(line.substr(paren + 2));
  std::string field;
  long ticks = 0;
  for (int i = 3; i <= 15 && rest >> field; ++i)
    if (i == 14 || i == 15) ticks += std::atol(field.c_str());  // utime, stime
  return static_cast<double>(ticks) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// Frame times from DAMAGE on the picture area, on its own X connection and thread.
class FrameClock {
 public:
  explicit FrameClock(unsigned long window) : window_(window) {
    thread_ = std::thread([this] { run(); });
  }
  ~FrameClock() {
    stop_ = true;
    thread_.join();
  }
  bool ok() const { return ok_; }
  // The times of the frames presented since the last call.
  std::vector<Clock::time_point> take() {
    std::lock_guard lock(mutex_);
    return std::exchange(frames_, {});
  }

 private:
  void run() {
    Display* d = XOpenDisplay(nullptr);
    int event_base = 0, error_base = 0;
    if (!d || !XDamageQueryExtension(d, &event_base, &error_base)) {
      if (d) XCloseDisplay(d);
      return;
    }
    const Damage damage = XDamageCreate(d, window_, XDamageReportNonEmpty);
    XSync(d, False);
    ok_ = true;
    while (!stop_) {
      if (XPending(d) == 0) {
        pause_ms(1);
        continue;
      }
      XEvent e;
      XNextEvent(d, &e);
      if (e.type != event_base + XDamageNotify) continue;
      XDamageSubtract(d, damage, 0, 0);
      std::lock_guard lock(mutex_);
      frames_.push_back(Clock::now());
    }
    XCloseDisplay(d);  // frees the damage object with the connection
  }

  unsigned long window_;
  std::thread thread_;
  std::atomic<bool> stop_{false}, ok_{false};
  std::mutex mutex_;
  std::vector<Clock::time_point> frames_;
};

struct Sample {
  double at;       // seconds since the start
  Resident rss;    // KiB
  long actions;    // random inputs so far; with KWELLOR_SOAK_ONLY, repetitions of the one
  double cpu;      // CPU seconds of the viewer so far
  size_t frames;   // in the last period
  double slowest;  // longest frame interval (s) in the period, quiet times only
};

// glibc by default raises its mmap threshold to the size of the largest block freed (up to
// 32 MB) and keeps up to twice that of freed memory resident: after a full-screen picture
// buffer is freed the viewer's resident memory swung by 4 to 5 MB between samples. Fixed
// thresholds return freed large blocks at once, so the samples follow what the viewer holds.
constexpr std::array<const char*, 2> kAllocatorSettings = {"MALLOC_MMAP_THRESHOLD_=131072",
                                                           "MALLOC_TRIM_THRESHOLD_=131072"};

// Drives one kwellor for `seconds` and judges it.
class Soak {
 public:
  Soak(std::string binary, std::string world, double seconds, uint32_t seed)
      : binary_(std::move(binary)), world_(std::move(world)), seconds_(seconds), rng_(seed) {}

  bool run() {
    std::printf("== %s for %.0f s\n", world_.c_str(), seconds_);
    viewer_ = std::make_unique<ChildProcess>(
        binary_, std::vector<std::string>{world_},
        std::vector<std::string>{kAllocatorSettings.begin(), kAllocatorSettings.end()});
    if (!viewer_->running()) return verdict("cannot start kwellor");
    if (!wait_until([&] { return (top_ = windows_.findByNamePrefix("KWELLOR [")) != 0; }, 180000))
      return verdict("no main window");
    if (!wait_until([&] { return (picture_ = windows_.findByNamePrefix("Picture1", top_)); }, 5000))
      return verdict("no picture area");
    pid_ = child_pid();
    clock_ = std::make_unique<FrameClock>(picture_);
    if (!wait_until([&] { return clock_->ok(); }, 5000)) return verdict("no DAMAGE extension");
    start_ = Clock::now();
    point_at_picture();
    double next_sample = 10.0;
    bool warm = false;
    while (seconds_since(start_) < seconds_) {
      if (!viewer_->running()) return verdict("kwellor died");
      if (!warm) {
        warm_up();  // the largest window and every command once, inside the first minute
        warm = true;
      } else {
        const double at = seconds_since(start_);
        random_action();
        if (log_) std::printf("  %7.1f s  %s\n", at, action_);
      }
      if (seconds_since(start_) >= next_sample) {
        sample();
        next_sample += 10.0;
      }
    }
    if (!viewer_->running()) return verdict("kwellor died");
    sample();
    return judge();
  }

 private:
  // ---- input -------------------------------------------------------------------------------

  void point_at_picture() {
    WindowBox b;
    if (windows_.box(picture_, b) && b.width > 0 && b.height > 0)
      input_.movePointer(b.x + b.width / 2, b.y + b.height / 2);
    pause_ms(50);
  }

  int uniform(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }

  // Marks a time during which frames may legitimately stop (a menu, a dialog, a resize).
  void quiet(const std::function<void()>& action) {
    const double from = seconds_since(start_);
    action();
    pause_ms(300);  // the first frame after a pause draws the new state
    quiet_.push_back({from, seconds_since(start_)});
  }

  void hold_flight_key() {
    static constexpr uint32_t kKeys[] = {0xff52, 0xff54, 0xff51, 0xff53, 'a', 'z'};
    const uint32_t key = kKeys[uniform(0, 5)];
    const bool shift = uniform(0, 3) == 0;
    if (shift) input_.press(keysym::kShiftL);
    input_.press(key);
    pause_ms(uniform(100, 2000));
    input_.release(key);
    if (shift) input_.release(keysym::kShiftL);
  }

  void look_around() {
    WindowBox b;
    if (!windows_.box(picture_, b) || b.width < 2 || b.height < 2) return;
    for (int i = uniform(5, 30); i > 0; --i) {
      input_.movePointer(b.x + uniform(0, b.width - 1), b.y + uniform(0, b.height - 1));
      pause_ms(uniform(20, 120));
    }
    point_at_picture();
  }

  // A menu command through its mnemonics: Alt+menu letter, then the item letters.
  void menu(uint32_t menu_key, std::initializer_list<uint32_t> items) {
    quiet([&] {
      point_at_picture();
      input_.tap(menu_key, {keysym::kAltL});
      for (const uint32_t k : items) {
        pause_ms(150);
        input_.tap(k);
      }
    });
  }

  // Help > Control: a message box, answered with Return.
  void help_keys() {
    quiet([&] {
      menu('h', {'c'});
      uint64_t box = 0;
      if (!wait_until([&] { return (box = window_named("KWELLOR")) != 0; }, 5000)) return;
      WindowBox b;
      if (windows_.box(box, b)) input_.movePointer(b.x + b.width / 2, b.y + b.height / 2);
      pause_ms(200);
      input_.tap(keysym::kReturn);
      wait_until([&] { return window_named("KWELLOR") == 0; }, 3000);
      point_at_picture();
    });
  }

  void about_box() {
    quiet([&] {
      menu('h', {'a'});
      uint64_t box = 0;
      if (!wait_until([&] { return (box = windows_.findByNamePrefix("About KWELLOR")) != 0; },
                      5000))
        return;
      pause_ms(uniform(200, 1500));
      windows_.requestClose(box);
      wait_until([&] { return windows_.findByNamePrefix("About KWELLOR") == 0; }, 3000);
      point_at_picture();
    });
  }

  void resize(int w, int h) {
    quiet([&] {
      Display* d = XOpenDisplay(nullptr);
      if (!d) return;
      XResizeWindow(d, top_, static_cast<unsigned>(w), static_cast<unsigned>(h));
      XCloseDisplay(d);
      pause_ms(500);
      point_at_picture();
    });
  }

  void random_resize() {
    const int sw = windows_.screenWidth(), sh = windows_.screenHeight();
    switch (uniform(0, 2)) {
      case 0:
        resize(uniform(1, 60), uniform(1, 60));
        break;
      case 1:
        resize(sw, sh);
        break;
      default:
        resize(uniform(160, sw), uniform(120, sh));
    }
  }

  void command(int which) {
    action_ = kCommandNames[which];
    switch (which) {
      case 0:
        quiet([&] { input_.tap('v', {keysym::kControlL, keysym::kAltL}); });
        break;
      case 1:
        input_.tap('x', {keysym::kControlL});
        break;
      case 2:
        input_.tap('s', {keysym::kControlL});
        break;
      case 3:
        input_.tap(keysym::kF8);
        break;
      case 4:
        menu('v', {'3'});
        break;
      case 5:
        menu('v', {'c', 'p'});
        break;
      case 6:
        menu('v', {'c', 'n'});
        break;
      case 7:
        menu('v', {'a'});
        break;
      case 8:
        menu('v', {'p', static_cast<uint32_t>("lmh"[uniform(0, 2)])});
        break;
      case 9:
        menu('r', {static_cast<uint32_t>("ldb"[uniform(0, 2)])});
        break;
      case 10:
        menu('c', {'1'});
        break;
      case 11:
        menu('c', {'2'});
        break;
      case 12:
        menu('m', {'a'});
        break;
      case 13:
        help_keys();
        break;
      case 14:
        about_box();
        break;
      default:
        quiet([&] { input_.click(3); });
        break;  // right button: back to type 1
    }
  }
  static constexpr int kCommands = 16;
  static constexpr const char* kCommandNames[kCommands] = {"Ctrl+Alt+V",
                                                           "Ctrl+X",
                                                           "Ctrl+S",
                                                           "F8",
                                                           "View > 3D Card",
                                                           "Camera > Previous",
                                                           "Camera > Next",
                                                           "View > Auto Mode",
                                                           "View > Prespective Correction",
                                                           "Reset",
                                                           "Control > Type1",
                                                           "Control > Type2",
                                                           "Misc > Above ground",
                                                           "Help > Control",
                                                           "Help > About",
                                                           "the right button"};
  static constexpr int kSampleWidth = 800, kSampleHeight = 600;
  static constexpr int kTinySide = 40;          // pixels: too small for Qt to keep a shared image
  static constexpr double kFirstMinute = 65.0;  // seconds, with the warm-up inside it

  void warm_up() {
    action_ = "the warm-up";
    resize(windows_.screenWidth(), windows_.screenHeight());
    for (int c = 0; c < kCommands; ++c) {
      command(c);
      hold_flight_key();
    }
    resize(kSampleWidth, kSampleHeight);
  }

  void random_action() {
    ++actions_;
    if (only_ >= 0) {  // one kind of input alone, to find what a change in memory follows
      if (only_ < kCommands)
        command(only_);
      else
        random_resize();
      hold_flight_key();
      return;
    }
    const int r = uniform(0, 99);
    if (r < 55) {
      action_ = "a flight key";
      hold_flight_key();
    } else if (r < 65) {
      action_ = "mouse moves";
      look_around();
    } else if (r < 72) {
      action_ = "a resize";
      random_resize();
    } else {
      command(uniform(0, kCommands - 1));
    }
  }

  // ---- measuring ---------------------------------------------------------------------------

  bool in_quiet(double from, double to) const {
    for (const auto& [a, b] : quiet_)
      if (from <= b + 0.05 && to >= a - 0.05) return true;
    return false;
  }

  // Memory is read with the window at one size, so that the picture's own buffers (which follow
  // the window) do not pass for growth. The window gets there from a tiny size: Qt keeps the
  // top-level window's shared-memory backing store while it is at most about twice the size
  // needed, so after a larger size it would still hold the larger one, and which pages of it
  // are resident depends on the sizes before (steps of up to 1.3 MB both ways, none of them
  // growth). From a tiny size it makes a new one of exactly the window's size.
  void sample() {
    resize(kTinySide, kTinySide);
    resize(kSampleWidth, kSampleHeight);
    pause_ms(500);
    Sample s{seconds_since(start_), resident_kib(pid_), actions_, cpu_seconds(pid_), 0, 0.0};
    for (const Clock::time_point frame : clock_->take()) {
      const double t = std::chrono::duration<double>(frame - start_).count();
      if (last_frame_ >= 0.0 && !in_quiet(last_frame_, t)) {
        intervals_.push_back(t - last_frame_);
        slowest_.push_back({t - last_frame_, t, action_});
        std::sort(slowest_.rbegin(), slowest_.rend());
        if (slowest_.size() > 5) slowest_.pop_back();
        s.slowest = std::max(s.slowest, t - last_frame_);
      }
      last_frame_ = t;
      ++s.frames;
    }
    const double period = samples_.empty() ? s.at : s.at - samples_.back().at;
    std::ifstream loadavg("/proc/loadavg");
    double load = 0.0;
    loadavg >> load;
    std::printf(
        "%7.0f s  %6ld inputs  RSS %8ld KiB (own %7ld)  CPU %7.1f s  %6.1f frames/s  slowest "
        "%6.1f ms  load %.1f\n",
        s.at, s.actions, s.rss.total, s.rss.own, s.cpu, static_cast<double>(s.frames) / period,
        s.slowest * 1e3, load);
    std::fflush(stdout);
    samples_.push_back(s);
  }

  // Percent by which the peak of the samples after `at` exceeds the peak of those before it.
  double growth_after(double at, long Resident::*field) const {
    long before = 0, after = 0;
    for (const Sample& s : samples_)
      (s.at <= at ? before : after) = std::max(s.at <= at ? before : after, s.rss.*field);
    return before > 0 && after > 0
               ? 100.0 * static_cast<double>(after - before) / static_cast<double>(before)
               : 0.0;
  }

  bool judge() {
    const double half = std::max(kFirstMinute, seconds_since(start_) / 2);
    const double growth = growth_after(half, &Resident::own);
    std::vector<double> sorted = intervals_;
    std::sort(sorted.begin(), sorted.end());
    const double median = sorted.empty() ? 0.0 : sorted[sorted.size() / 2];
    const double slowest = sorted.empty() ? 0.0 : sorted.back();
    const auto slow = static_cast<size_t>(
        sorted.end() - std::upper_bound(sorted.begin(), sorted.end(), 4.0 * median));
    size_t frames = 0;
    for (const Sample& s : samples_) frames += s.frames;
    std::printf(
        "frames %zu (%.1f/s), median frame %.1f ms, slowest %.1f ms (%.1fx), %zu over 4x the "
        "median\nown memory: growth %.2f%% over the second half, %.2f%% after the first minute "
        "(all RSS: %.2f%%, %.2f%%)\n",
        frames, static_cast<double>(frames) / seconds_since(start_), median * 1e3, slowest * 1e3,
        median > 0 ? slowest / median : 0.0, slow, growth,
        growth_after(kFirstMinute, &Resident::own), growth_after(half, &Resident::total),
        growth_after(kFirstMinute, &Resident::total));
    for (const SlowFrame& f : slowest_)
      std::printf("  %.1f ms at %.0f s, during %s\n", f.seconds * 1e3, f.at, f.action);
    windows_.requestClose(top_);
    const std::optional<int> code = viewer_->waitExit(10000);
    if (!code || *code != 0) return verdict("kwellor did not end cleanly when closed");
    if (growth >= 1.0) return verdict("memory grew by 1% or more over the second half");
    if (slow > 0) return verdict("frames slower than 4x the median");
    return verdict("");
  }

  bool verdict(const std::string& failure) {
    std::printf("%s: %s\n", world_.c_str(),
                failure.empty() ? "PASS" : ("FAIL: " + failure).c_str());
    std::fflush(stdout);
    return failure.empty();
  }

  std::string binary_, world_;
  double seconds_;
  std::mt19937 rng_;
  XWindows windows_;
  FakeInput input_;
  std::unique_ptr<ChildProcess> viewer_;
  std::unique_ptr<FrameClock> clock_;
  uint64_t top_ = 0, picture_ = 0;
  int pid_ = 0;
  Clock::time_point start_;
  std::vector<std::pair<double, double>> quiet_;
  std::vector<double> intervals_;
  struct SlowFrame {
    double seconds, at;
    const char* action;
    bool operator<(const SlowFrame& o) const { return seconds < o.seconds; }
  };
  std::vector<SlowFrame> slowest_;  // the five slowest frames
  const char* action_ = "start";    // what the input is doing now
  long actions_ = 0;                // random inputs given, after the warm-up
  // KWELLOR_SOAK_ONLY=N repeats command N alone (0 to 15; 16: resizes), with flight keys.
  const int only_ =
      std::getenv("KWELLOR_SOAK_ONLY") ? std::atoi(std::getenv("KWELLOR_SOAK_ONLY")) : -1;
  const bool log_ = std::getenv("KWELLOR_SOAK_LOG") != nullptr;  // each input, with its time
  double last_frame_ = -1.0;
  std::vector<Sample> samples_;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: %s KWELLOR_BINARY SECONDS_PER_WORLD WORLD...\n", argv[0]);
    return 2;
  }
  const double seconds = std::atof(argv[2]);
  bool pass = true;
  const char* seed =
      std::getenv("KWELLOR_SOAK_SEED");  // replays one world's input from a longer run
  for (int i = 3; i < argc; ++i)
    pass =
        Soak(argv[1], argv[i], seconds, seed ? static_cast<uint32_t>(std::atoi(seed)) : i).run() &&
        pass;
  std::printf("soak: %s\n", pass ? "PASS" : "FAIL");
  return pass ? 0 : 1;
}
