#include "x_windows.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <unordered_set>

namespace kwellor::testing {
namespace {

// The program under test may destroy a window between our query and our use of it: record
// the error instead of letting Xlib end the test.
int IgnoreError(Display*, XErrorEvent*) {
  return 0;
}

}  // namespace

struct XWindows::Impl {
  Display* display = nullptr;
};

XWindows::XWindows() : impl_(std::make_unique<Impl>()) {
  impl_->display = XOpenDisplay(nullptr);
  XSetErrorHandler(IgnoreError);
}

XWindows::~XWindows() {
  if (impl_->display) XCloseDisplay(impl_->display);
}

bool XWindows::connected() const {
  return impl_->display != nullptr;
}

std::string XWindows::name(uint64_t window) {
  char* text = nullptr;
  std::string result;
  if (XFetchName(impl_->display, static_cast<Window>(window), &text) && text) result = text;
  if (text) XFree(text);
  return result;
}

uint64_t XWindows::findByNamePrefix(const std::string& prefix, uint64_t under) {
  const std::vector<uint64_t> list = children(under ? under : DefaultRootWindow(impl_->display));
  for (uint64_t w : list)
    if (name(w).rfind(prefix, 0) == 0) return w;
  for (uint64_t w : list)
    if (const uint64_t found = findByNamePrefix(prefix, w)) return found;
  return 0;
}

std::vector<uint64_t> XWindows::children(uint64_t window) {
  Window root = 0, parent = 0;
  Window* list = nullptr;
  unsigned int count = 0;
  std::vector<uint64_t> result;
  if (!XQueryTree(impl_->display, static_cast<Window>(window), &root, &parent, &list, &count))
    return result;
  result.assign(list, list + count);
  if (list) XFree(list);
  return result;
}

bool XWindows::box(uint64_t window, WindowBox& out) {
  Display* d = impl_->display;
  XWindowAttributes a{};
  if (!XGetWindowAttributes(d, static_cast<Window>(window), &a)) return false;
  Window child = 0;
  XTranslateCoordinates(d, static_cast<Window>(window), DefaultRootWindow(d), 0, 0, &out.x, &out.y,
                        &child);
  out.width = a.width;
  out.height = a.height;
  out.viewable = a.map_state == IsViewable;
  return true;
}

std::vector<uint32_t> XWindows::grab(uint64_t window) {
  WindowBox b;
  if (!box(window, b) || b.width <= 0 || b.height <= 0) return {};
  XImage* image =
      XGetImage(impl_->display, static_cast<Window>(window), 0, 0, static_cast<unsigned>(b.width),
                static_cast<unsigned>(b.height), AllPlanes, ZPixmap);
  if (!image) return {};
  std::vector<uint32_t> pixels;
  pixels.reserve(static_cast<size_t>(b.width) * static_cast<size_t>(b.height));
  for (int y = 0; y < b.height; ++y)
    for (int x = 0; x < b.width; ++x)
      pixels.push_back(static_cast<uint32_t>(XGetPixel(image, x, y) & 0xffffff));
  XDestroyImage(image);
  return pixels;
}

void XWindows::move(uint64_t window, int x, int y) {
  XMoveWindow(impl_->display, static_cast<Window>(window), x, y);
  XSync(impl_->display, False);
}

int XWindows::screenWidth() {
  return DisplayWidth(impl_->display, DefaultScreen(impl_->display));
}

int XWindows::screenHeight() {
  return DisplayHeight(impl_->display, DefaultScreen(impl_->display));
}

void XWindows::requestClose(uint64_t window) {
  Display* d = impl_->display;
  XEvent e{};
  e.xclient.type = ClientMessage;
  e.xclient.window = static_cast<Window>(window);
  e.xclient.message_type = XInternAtom(d, "WM_PROTOCOLS", False);
  e.xclient.format = 32;
  e.xclient.data.l[0] = static_cast<long>(XInternAtom(d, "WM_DELETE_WINDOW", False));
  e.xclient.data.l[1] = CurrentTime;
  XSendEvent(d, static_cast<Window>(window), False, NoEventMask, &e);
  XSync(d, False);
}

size_t DistinctColours(const std::vector<uint32_t>& pixels) {
  return std::unordered_set<uint32_t>(pixels.begin(), pixels.end()).size();
}

}  // namespace kwellor::testing
