#include "zelnary/gl/gl_window.h"

#include "zelnary/gl/egl_context.h"
// The EGL headers above bring Xlib in.
#include <X11/Xutil.h>
#include <X11/extensions/Xfixes.h>
#include <X11/extensions/shape.h>

#include "zelnary/present/display_refresh.h"
#include "zelnary/present/frame_pacer.h"
#include "zelnary/present/x11_error_trap.h"

namespace znr::gl {

struct GlWindow::Impl {
  Display* dpy = nullptr;
  EglContext egl;
  XVisualInfo visual{};
  Colormap colormap = 0;
  Window parent = 0, child = 0;
  Window watched = 0;             // the parent whose visibility changes this connection receives
  bool obscured = false;          // watched is wholly covered, as its last VisibilityNotify said
  int32_t width = 0, height = 0;  // the child's
  bool mapped = false;
  bool paces = false;
  double refresh = 0.0;

  bool open(std::string& why) {
    if (dpy != nullptr) return true;
    dpy = XOpenDisplay(nullptr);
    if (dpy == nullptr) {
      why = "no X display";
      return false;
    }
    trap_x_errors(dpy);
    const EGLDisplay d = x11_display(dpy, why);
    if (d == EGL_NO_DISPLAY || !create_context(d, EGL_WINDOW_BIT, egl, why)) {
      egl.display = d;
      egl.terminate = d != EGL_NO_DISPLAY;
      close();
      return false;
    }
    egl.terminate = true;  // one EGL display per X connection
    EGLint id = 0;
    eglGetConfigAttrib(egl.display, egl.config, EGL_NATIVE_VISUAL_ID, &id);
    XVisualInfo want{};
    want.visualid = static_cast<VisualID>(id);
    int found = 0;
    XVisualInfo* info = XGetVisualInfo(dpy, VisualIDMask, &want, &found);
    if (info == nullptr || found < 1) {
      if (info != nullptr) XFree(info);
      why = "no X visual for the EGL configuration";
      close();
      return false;
    }
    visual = *info;
    XFree(info);
    refresh = display_refresh_hz(dpy);
    return true;
  }

  void forget_child() {
    if (egl.surface != EGL_NO_SURFACE) {
      eglMakeCurrent(egl.display, EGL_NO_SURFACE, EGL_NO_SURFACE, egl.context);
      eglDestroySurface(egl.display, egl.surface);
      egl.surface = EGL_NO_SURFACE;
    }
    child = 0;
    parent = 0;
    mapped = false;
    XSync(dpy, False);
    take_x_error(dpy);  // the window may be gone already
  }

  void destroy_child() {
    if (child == 0) return;
    const Window c = child;
    forget_child();
    XDestroyWindow(dpy, c);  // BadWindow when the parent took it along: recorded, dropped
    XSync(dpy, False);
    take_x_error(dpy);
  }

  bool make_child(Window p, std::string& why) {
    if (colormap == 0) colormap = XCreateColormap(dpy, p, visual.visual, AllocNone);
    XSetWindowAttributes a{};
    a.colormap = colormap;
    a.border_pixel = 0;
    a.background_pixmap = None;  // GL paints every pixel; no flash of background
    child = XCreateWindow(dpy, p, 0, 0, static_cast<unsigned>(width), static_cast<unsigned>(height),
                          0, visual.depth, InputOutput, visual.visual,
                          CWColormap | CWBorderPixel | CWBackPixmap, &a);
    XSync(dpy, False);
    if (take_x_error(dpy) != 0) {
      child = 0;
      why = "cannot create a child window with the GL visual";
      return false;
    }
    parent = p;
    // No input region: the pointer and its clicks go to the parent as if the child were not
    // there.
    int event = 0, error = 0;
    if (XFixesQueryExtension(dpy, &event, &error)) {
      const XserverRegion empty = XFixesCreateRegion(dpy, nullptr, 0);
      XFixesSetWindowShapeRegion(dpy, child, ShapeInput, 0, 0, empty);
      XFixesDestroyRegion(dpy, empty);
    }
    egl.surface = eglCreateWindowSurface(egl.display, egl.config,
                                         static_cast<EGLNativeWindowType>(child), nullptr);
    if (egl.surface == EGL_NO_SURFACE) {
      why = egl_failure("creating the window surface");
      destroy_child();
      return false;
    }
    if (eglMakeCurrent(egl.display, egl.surface, egl.surface, egl.context) != EGL_TRUE) {
      why = egl_failure("making the context current");
      destroy_child();
      return false;
    }
    // Swap interval 1 where the driver offers it; the pacer otherwise; neither without pacing.
    const bool pacing = !FramePacer::disabled();
    EGLint most = 0;
    eglGetConfigAttrib(egl.display, egl.config, EGL_MAX_SWAP_INTERVAL, &most);
    paces = pacing && most >= 1 && eglSwapInterval(egl.display, 1) == EGL_TRUE;
    if (!pacing) eglSwapInterval(egl.display, 0);
    return true;
  }

  void close() {
    if (dpy != nullptr && child != 0) destroy_child();
    destroy_context(egl);
    if (dpy != nullptr) {
      if (colormap != 0) XFreeColormap(dpy, colormap);
      XSync(dpy, False);
      untrap_x_errors(dpy);
      XCloseDisplay(dpy);
    }
    colormap = 0;
    dpy = nullptr;
    child = parent = watched = 0;
    obscured = false;
    mapped = false;
  }
};

GlWindow::GlWindow() : impl_(std::make_unique<Impl>()) {}
GlWindow::~GlWindow() {
  close();
}

bool GlWindow::open(std::string& why) {
  return impl_->open(why);
}

WindowStatus GlWindow::follow(uint32_t parent, int32_t& width, int32_t& height, bool& visible,
                              std::string& why) {
  Impl& m = *impl_;
  if (m.dpy == nullptr || parent == 0) return WindowStatus::parent_gone;
  take_x_error(m.dpy);
  XWindowAttributes attrs{};
  if (XGetWindowAttributes(m.dpy, parent, &attrs) == 0 || take_x_error(m.dpy) != 0) {
    if (m.parent == parent) m.forget_child();  // the server destroyed the child with it
    if (m.watched == parent) m.watched = 0;
    return WindowStatus::parent_gone;
  }
  if (m.watched != parent) {
    // Whether other windows cover the parent wholly; its own children, ours included, do not
    // count.
    XSelectInput(m.dpy, parent, VisibilityChangeMask);
    m.watched = parent;
    m.obscured = false;
  }
  // The attributes' round trip brought every visibility change made before it.
  XEvent ev;
  while (XCheckTypedWindowEvent(m.dpy, parent, VisibilityNotify, &ev))
    m.obscured = ev.xvisibility.state == VisibilityFullyObscured;
  width = attrs.width;
  height = attrs.height;
  visible = attrs.map_state == IsViewable && !m.obscured;
  const int32_t w = width > 0 ? width : 1, h = height > 0 ? height : 1;
  if (m.child != 0 && m.parent != parent) m.destroy_child();
  if (m.child == 0) {
    m.width = w;
    m.height = h;
    if (!m.make_child(parent, why)) return WindowStatus::failed;
  } else if (m.width != w || m.height != h) {
    m.width = w;
    m.height = h;
    XResizeWindow(m.dpy, m.child, static_cast<unsigned>(w), static_cast<unsigned>(h));
  }
  if (!m.mapped) {
    XMapWindow(m.dpy, m.child);
    m.mapped = true;
  }
  if (eglMakeCurrent(m.egl.display, m.egl.surface, m.egl.surface, m.egl.context) != EGL_TRUE) {
    why = egl_failure("making the context current");
    return WindowStatus::failed;
  }
  XSync(m.dpy, False);
  if (take_x_error(m.dpy) != 0) {
    // The parent went away between the two requests, most likely.
    m.forget_child();
    return WindowStatus::parent_gone;
  }
  return WindowStatus::ok;
}

WindowStatus GlWindow::swap(std::string& why) {
  Impl& m = *impl_;
  if (eglSwapBuffers(m.egl.display, m.egl.surface) != EGL_TRUE) {
    const EGLint error = eglGetError();
    XSync(m.dpy, False);
    if (take_x_error(m.dpy) != 0 || error == EGL_BAD_NATIVE_WINDOW) {
      m.forget_child();
      return WindowStatus::parent_gone;
    }
    why = "eglSwapBuffers failed";
    return WindowStatus::failed;
  }
  XSync(m.dpy, False);  // the server has the frame before render returns
  if (take_x_error(m.dpy) != 0) {
    m.forget_child();
    return WindowStatus::parent_gone;
  }
  return WindowStatus::ok;
}

bool GlWindow::paces_swaps() const {
  return impl_->paces;
}

double GlWindow::refresh_hz() {
  return impl_->refresh >= 1.0 ? impl_->refresh : 60.0;
}

void GlWindow::hide() {
  Impl& m = *impl_;
  if (m.dpy == nullptr || m.child == 0 || !m.mapped) return;
  XUnmapWindow(m.dpy, m.child);
  XSync(m.dpy, False);
  take_x_error(m.dpy);
  m.mapped = false;
}

uint32_t GlWindow::child() const {
  return static_cast<uint32_t>(impl_->child);
}

void GlWindow::close() {
  impl_->close();
}

}  // namespace znr::gl
