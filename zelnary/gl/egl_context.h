// An OpenGL 3.3 core context through EGL, on a window of the X server or with no window at all
// (surfaceless, a graphics device, or a small pbuffer), loaded through libepoxy. Only for
// gl/*.cpp: the EGL headers bring the X11 ones with them.
#pragma once

#include <epoxy/egl.h>

#include <string>

namespace znr::gl {

struct EglContext {
  EGLDisplay display = EGL_NO_DISPLAY;
  EGLConfig config = nullptr;
  EGLContext context = EGL_NO_CONTEXT;
  EGLSurface surface = EGL_NO_SURFACE;  // the window's, a pbuffer, or none (surfaceless)
  bool terminate = false;               // the display is ours alone: terminate it on destroy
};

// "eglFoo failed (0x3003)", for a warning.
std::string egl_failure(const char* what);

// A display on the X server of xlib_display (a Display*), initialised.
EGLDisplay x11_display(void* xlib_display, std::string& why);
// A display that needs no window system: a graphics device, else Mesa's surfaceless
// platform, else the default display; initialised.
EGLDisplay offscreen_display(std::string& why);

// Binds OpenGL, picks an 8-bit RGB config that can draw to surface_type (EGL_WINDOW_BIT or
// EGL_PBUFFER_BIT) and makes an OpenGL 3.3 core context on display. false: why says what is
// missing.
bool create_context(EGLDisplay display, EGLint surface_type, EglContext& out, std::string& why);

// Makes out current without a window: no surface where the display allows it, else a 1x1
// pbuffer.
bool make_current_offscreen(EglContext& out, std::string& why);

// Releases the surface and context (and the display where terminate says so).
void destroy_context(EglContext& c);

}  // namespace znr::gl
