// The Xlib error handler shared by every connection the engine opens: errors on our own
// connections are recorded for the caller to check; all others go to the handler that was
// there before (the application's, or Xlib's default).
#pragma once

#include <X11/Xlib.h>

namespace znr {

// Starts recording errors for dpy (installs the handler on first use).
void trap_x_errors(Display* dpy);
// Stops recording for dpy (before it is closed).
void untrap_x_errors(Display* dpy);
// The first error code recorded on dpy since the last call, then clears it; 0 when none.
int take_x_error(Display* dpy);

}  // namespace znr
