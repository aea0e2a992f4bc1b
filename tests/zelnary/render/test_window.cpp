#include "test_window.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace znr::test {
namespace {

int g_errors = 0;

int count_error(Display*, XErrorEvent*) {
  ++g_errors;
  return 0;
}

}  // namespace

struct TestWindow::Impl {
  Display* dpy = nullptr;
  Window window = 0;
  Window last_id = 0;
};

TestWindow::TestWindow() : impl_(std::make_unique<Impl>()) {}

TestWindow::~TestWindow() {
  if (impl_->dpy == nullptr) return;
  destroy();
  XCloseDisplay(impl_->dpy);
}

bool TestWindow::open(int width, int height) {
  Impl& m = *impl_;
  m.dpy = XOpenDisplay(nullptr);
  if (m.dpy == nullptr) return false;
  m.window =
      XCreateSimpleWindow(m.dpy, DefaultRootWindow(m.dpy), 0, 0, static_cast<unsigned>(width),
                          static_cast<unsigned>(height), 0, 0, 0);
  m.last_id = m.window;
  XSelectInput(m.dpy, m.window, StructureNotifyMask);
  XMapWindow(m.dpy, m.window);
  XEvent e;
  do {
    XNextEvent(m.dpy, &e);
  } while (e.type != MapNotify);
  XSync(m.dpy, False);
  return true;
}

uint32_t TestWindow::id() const {
  return static_cast<uint32_t>(impl_->last_id);
}

std::vector<uint32_t> TestWindow::read_back(int width, int height) {
  Impl& m = *impl_;
  std::vector<uint32_t> out;
  XImage* img = XGetImage(m.dpy, m.window, 0, 0, static_cast<unsigned>(width),
                          static_cast<unsigned>(height), AllPlanes, ZPixmap);
  if (img == nullptr) return out;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      out.push_back(static_cast<uint32_t>(XGetPixel(img, x, y) & 0xFFFFFFul));
    }
  }
  XDestroyImage(img);
  return out;
}

void TestWindow::resize(int width, int height) {
  XResizeWindow(impl_->dpy, impl_->window, static_cast<unsigned>(width),
                static_cast<unsigned>(height));
  XSync(impl_->dpy, False);
}

void TestWindow::set_mapped(bool mapped) {
  Impl& m = *impl_;
  if (mapped) {
    XMapWindow(m.dpy, m.window);
  } else {
    XUnmapWindow(m.dpy, m.window);
  }
  XEvent e;
  do {
    XNextEvent(m.dpy, &e);
  } while (e.type != (mapped ? MapNotify : UnmapNotify));
  XSync(m.dpy, False);
}

void TestWindow::destroy() {
  if (impl_->window == 0) return;
  XDestroyWindow(impl_->dpy, impl_->window);
  XSync(impl_->dpy, False);
  impl_->window = 0;
}

std::vector<TestWindow::Child> TestWindow::children() {
  Impl& m = *impl_;
  std::vector<Child> out;
  Window root = 0, parent = 0, *kids = nullptr;
  unsigned count = 0;
  XSync(m.dpy, False);
  if (m.window == 0 || XQueryTree(m.dpy, m.window, &root, &parent, &kids, &count) == 0) return out;
  for (unsigned i = 0; i < count; ++i) {
    XWindowAttributes a{};
    if (XGetWindowAttributes(m.dpy, kids[i], &a) != 0) {
      out.push_back({static_cast<uint32_t>(kids[i]), a.width, a.height, a.map_state != IsUnmapped});
    }
  }
  if (kids != nullptr) XFree(kids);
  return out;
}

void TestWindow::count_errors_in_own_handler() {
  g_errors = 0;
  XSetErrorHandler(count_error);
}

int TestWindow::query_window_and_count_errors(uint32_t id) {
  XWindowAttributes attrs;
  XGetWindowAttributes(impl_->dpy, id, &attrs);
  return g_errors;
}

void TestWindow::restore_default_handler() {
  XSetErrorHandler(nullptr);
}

}  // namespace znr::test
