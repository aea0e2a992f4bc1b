#include "zelnary/gl/egl_context.h"

#include <dlfcn.h>

#include <cstdio>
#include <cstring>
#include <vector>

namespace znr::gl {
namespace {

bool has_extension(const char* list, const char* name) {
  if (list == nullptr) return false;
  const size_t n = std::strlen(name);
  for (const char* p = list; (p = std::strstr(p, name)) != nullptr; p += n) {
    if ((p == list || p[-1] == ' ') && (p[n] == ' ' || p[n] == '\0')) return true;
  }
  return false;
}

bool client_has(const char* name) {
  return has_extension(eglQueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS), name);
}

// Through the extension: libepoxy cannot tell before a display exists whether the core EGL
// 1.5 entry point is there, and aborts when it guesses wrong.
EGLDisplay platform_display(EGLenum platform, void* native) {
  if (!client_has("EGL_EXT_platform_base")) return EGL_NO_DISPLAY;
  return eglGetPlatformDisplayEXT(platform, native, nullptr);
}

bool initialise(EGLDisplay d) {
  if (d == EGL_NO_DISPLAY) return false;
  EGLint major = 0, minor = 0;
  return eglInitialize(d, &major, &minor) == EGL_TRUE;
}

// The first device that is not a software renderer, then any device.
EGLDisplay device_display() {
  if (!client_has("EGL_EXT_platform_device") || !client_has("EGL_EXT_device_enumeration")) {
    return EGL_NO_DISPLAY;
  }
  EGLint count = 0;
  if (eglQueryDevicesEXT(0, nullptr, &count) != EGL_TRUE || count <= 0) return EGL_NO_DISPLAY;
  std::vector<EGLDeviceEXT> devices(static_cast<size_t>(count));
  if (eglQueryDevicesEXT(count, devices.data(), &count) != EGL_TRUE) return EGL_NO_DISPLAY;
  const bool can_ask = client_has("EGL_EXT_device_query");
  for (const bool software_too : {false, true}) {
    for (EGLint i = 0; i < count; ++i) {
      const char* ext =
          can_ask ? eglQueryDeviceStringEXT(devices[static_cast<size_t>(i)], EGL_EXTENSIONS)
                  : nullptr;
      if (!software_too && has_extension(ext, "EGL_MESA_device_software")) continue;
      const EGLDisplay d =
          platform_display(EGL_PLATFORM_DEVICE_EXT, devices[static_cast<size_t>(i)]);
      if (initialise(d)) return d;
    }
  }
  return EGL_NO_DISPLAY;
}

// libepoxy loads libEGL and libGL itself and ends the process when one is missing; look first.
bool libraries_present(std::string& why) {
  auto present = [](const char* name) {
    void* lib = dlopen(name, RTLD_LAZY | RTLD_LOCAL);
    if (lib != nullptr) dlclose(lib);
    return lib != nullptr;
  };
  if (!present("libEGL.so.1")) {
    why = "libEGL.so.1 is not installed";
    return false;
  }
  if (!present("libOpenGL.so.0") && !present("libGL.so.1")) {
    why = "neither libOpenGL.so.0 nor libGL.so.1 is installed";
    return false;
  }
  return true;
}

}  // namespace

std::string egl_failure(const char* what) {
  char text[96];
  std::snprintf(text, sizeof text, "%s failed (EGL error 0x%04x)", what,
                static_cast<unsigned>(eglGetError()));
  return text;
}

EGLDisplay x11_display(void* xlib_display, std::string& why) {
  if (!libraries_present(why)) return EGL_NO_DISPLAY;
  EGLDisplay d = EGL_NO_DISPLAY;
  if (client_has("EGL_KHR_platform_x11") || client_has("EGL_EXT_platform_x11")) {
    d = platform_display(EGL_PLATFORM_X11_KHR, xlib_display);
  } else {
    d = eglGetDisplay(reinterpret_cast<EGLNativeDisplayType>(xlib_display));
  }
  if (!initialise(d)) {
    why = egl_failure("EGL on the X display");
    return EGL_NO_DISPLAY;
  }
  return d;
}

EGLDisplay offscreen_display(std::string& why) {
  if (!libraries_present(why)) return EGL_NO_DISPLAY;
  if (const EGLDisplay d = device_display(); d != EGL_NO_DISPLAY) return d;
  if (client_has("EGL_MESA_platform_surfaceless")) {
    const EGLDisplay d = platform_display(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY);
    if (initialise(d)) return d;
  }
  const EGLDisplay d = eglGetDisplay(EGL_DEFAULT_DISPLAY);
  if (initialise(d)) return d;
  why = egl_failure("an EGL display without a window system");
  return EGL_NO_DISPLAY;
}

bool create_context(EGLDisplay display, EGLint surface_type, EglContext& out, std::string& why) {
  out.display = display;
  if (eglBindAPI(EGL_OPENGL_API) != EGL_TRUE) {
    why = "this EGL has no desktop OpenGL";
    return false;
  }
  const EGLint attributes[] = {EGL_SURFACE_TYPE,
                               surface_type,
                               EGL_RENDERABLE_TYPE,
                               EGL_OPENGL_BIT,
                               EGL_RED_SIZE,
                               8,
                               EGL_GREEN_SIZE,
                               8,
                               EGL_BLUE_SIZE,
                               8,
                               EGL_NONE};
  EGLint found = 0;
  if (eglChooseConfig(display, attributes, &out.config, 1, &found) != EGL_TRUE || found < 1) {
    why = "no EGL configuration with 8-bit RGB and OpenGL";
    return false;
  }
  const EGLint context_attributes[] = {EGL_CONTEXT_MAJOR_VERSION,
                                       3,
                                       EGL_CONTEXT_MINOR_VERSION,
                                       3,
                                       EGL_CONTEXT_OPENGL_PROFILE_MASK,
                                       EGL_CONTEXT_OPENGL_CORE_PROFILE_BIT,
                                       EGL_NONE};
  out.context = eglCreateContext(display, out.config, EGL_NO_CONTEXT, context_attributes);
  if (out.context == EGL_NO_CONTEXT) {
    why = egl_failure("creating an OpenGL 3.3 core context");
    return false;
  }
  return true;
}

bool make_current_offscreen(EglContext& out, std::string& why) {
  if (!has_extension(eglQueryString(out.display, EGL_EXTENSIONS), "EGL_KHR_surfaceless_context")) {
    const EGLint size[] = {EGL_WIDTH, 1, EGL_HEIGHT, 1, EGL_NONE};
    out.surface = eglCreatePbufferSurface(out.display, out.config, size);
    if (out.surface == EGL_NO_SURFACE) {
      why = egl_failure("creating a pbuffer");
      return false;
    }
  }
  if (eglMakeCurrent(out.display, out.surface, out.surface, out.context) != EGL_TRUE) {
    why = egl_failure("making the context current");
    return false;
  }
  return true;
}

void destroy_context(EglContext& c) {
  if (c.display != EGL_NO_DISPLAY) {
    if (eglGetCurrentContext() == c.context) {
      eglMakeCurrent(c.display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    }
    if (c.surface != EGL_NO_SURFACE) eglDestroySurface(c.display, c.surface);
    if (c.context != EGL_NO_CONTEXT) eglDestroyContext(c.display, c.context);
    if (c.terminate) eglTerminate(c.display);
  }
  c = EglContext{};
}

}  // namespace znr::gl
