#include "tests/zelnary/engine/x_window.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <set>

namespace znr::testing {

XWindow::~XWindow() {
  if (!display_) return;
  destroy();
  XCloseDisplay(static_cast<Display*>(display_));
}

bool XWindow::open(int width, int height) {
  Display* dpy = XOpenDisplay(nullptr);
  if (!dpy) return false;
  display_ = dpy;
  width_ = width;
  height_ = height;
  const Window w =
      XCreateSimpleWindow(dpy, DefaultRootWindow(dpy), 0, 0, static_cast<unsigned>(width),
                          static_cast<unsigned>(height), 0, 0, 0);
  XSelectInput(dpy, w, StructureNotifyMask);
  XMapWindow(dpy, w);
  XEvent e;
  do {
    XNextEvent(dpy, &e);
  } while (e.type != MapNotify);
  XSync(dpy, False);
  id_ = static_cast<uint32_t>(w);
  alive_ = true;
  return true;
}

int XWindow::colour_count() {
  if (!alive_) return 0;
  Display* dpy = static_cast<Display*>(display_);
  XImage* img = XGetImage(dpy, id_, 0, 0, static_cast<unsigned>(width_),
                          static_cast<unsigned>(height_), AllPlanes, ZPixmap);
  if (!img) return 0;
  std::set<unsigned long> colours;
  for (int y = 0; y < height_ && colours.size() < 64; ++y)
    for (int x = 0; x < width_ && colours.size() < 64; ++x) colours.insert(XGetPixel(img, x, y));
  XDestroyImage(img);
  return static_cast<int>(colours.size());
}

void XWindow::destroy() {
  if (!alive_) return;
  Display* dpy = static_cast<Display*>(display_);
  XDestroyWindow(dpy, id_);
  XSync(dpy, False);
  alive_ = false;
}

}  // namespace znr::testing
