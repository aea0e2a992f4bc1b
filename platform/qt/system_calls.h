// The platform's plain system services: no window, no X connection.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kwellor::qt {

// argv[1..] joined with single spaces: the command line after the program's own name.
std::string JoinArguments(int argc, const char* const* argv);

// The last component of path when it names an existing regular file (links followed), else
// the empty text.
std::string FileNameOf(const std::string& path);

// Milliseconds of the monotonic clock, wrapping as a signed 32-bit value.
int32_t MonotonicTickCount();

// "name|pattern|name|pattern..." (patterns separated by ';') as file-dialog filters
// "name (pattern pattern)". A trailing name without a pattern is dropped.
std::vector<std::string> OpenDialogFilters(const std::string& filter);

// The folder that holds the running executable, from /proc/self/exe; empty when unknown.
std::string ExecutableDirectory();

// The Qt platform plugin to run on: the user's QT_QPA_PLATFORM when set, else "xcb". The
// engine draws into X11 windows, so on a Wayland desktop too the viewer is an X11 client
// (through XWayland).
std::string ChooseQtPlatform(const char* qtQpaPlatform);
// Whether the plugin talks to an X server, so that one must answer before Qt starts.
bool NeedsXDisplay(const std::string& plugin);
// What to tell the user when no X server answers, from DISPLAY and WAYLAND_DISPLAY.
std::string NoXDisplayMessage(const char* display, const char* waylandDisplay);

}  // namespace kwellor::qt
