// The display's refresh rate, for the frame pacer of every back end that presents to X11.
#pragma once

#include <X11/Xlib.h>

namespace znr {

// The refresh rate in Hz through the RandR library when it is installed (loaded at run time,
// so that it is not a build dependency); 60 when it cannot be found out.
double display_refresh_hz(Display* dpy);

}  // namespace znr
