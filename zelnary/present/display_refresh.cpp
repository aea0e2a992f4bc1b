#include "zelnary/present/display_refresh.h"

#include <dlfcn.h>

#include "zelnary/present/x11_error_trap.h"

namespace znr {
namespace {

// RandR's configuration type is opaque to us. The library stays loaded: it hooks itself into
// the connection, and XCloseDisplay calls back into it.
double randr_refresh(Display* dpy) {
  static void* const lib = dlopen("libXrandr.so.2", RTLD_LAZY | RTLD_LOCAL);
  if (lib == nullptr) return 0.0;
  using GetInfo = void* (*)(Display*, Window);
  using Rate = short (*)(void*);
  using Free = void (*)(void*);
  auto get_info = reinterpret_cast<GetInfo>(dlsym(lib, "XRRGetScreenInfo"));
  auto rate = reinterpret_cast<Rate>(dlsym(lib, "XRRConfigCurrentRate"));
  auto free_info = reinterpret_cast<Free>(dlsym(lib, "XRRFreeScreenConfigInfo"));
  double hz = 0.0;
  if (get_info != nullptr && rate != nullptr && free_info != nullptr) {
    if (void* info = get_info(dpy, DefaultRootWindow(dpy))) {
      hz = rate(info);
      free_info(info);
    }
  }
  return hz;
}

}  // namespace

double display_refresh_hz(Display* dpy) {
  const double hz = randr_refresh(dpy);
  take_x_error(dpy);  // a RandR failure only means "unknown"
  return hz >= 1.0 ? hz : 60.0;
}

}  // namespace znr
