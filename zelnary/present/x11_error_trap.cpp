#include "zelnary/present/x11_error_trap.h"

#include <mutex>
#include <utility>
#include <vector>

namespace znr {
namespace {

std::mutex g_mutex;
std::vector<std::pair<Display*, int>> g_trapped;  // connection, first error code seen
XErrorHandler g_previous = nullptr;
bool g_installed = false;

int handle_error(Display* dpy, XErrorEvent* event) {
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    for (auto& [d, code] : g_trapped) {
      if (d == dpy) {
        if (code == 0) code = event->error_code;
        return 0;
      }
    }
  }
  return g_previous != nullptr ? g_previous(dpy, event) : 0;
}

}  // namespace

void trap_x_errors(Display* dpy) {
  std::lock_guard<std::mutex> lock(g_mutex);
  // (Re)install: a handler set since our last connection is kept as the one we pass to.
  const XErrorHandler before = XSetErrorHandler(handle_error);
  if (!g_installed || before != handle_error) g_previous = before;
  g_installed = true;
  g_trapped.emplace_back(dpy, 0);
}

void untrap_x_errors(Display* dpy) {
  std::lock_guard<std::mutex> lock(g_mutex);
  std::erase_if(g_trapped, [dpy](const auto& e) { return e.first == dpy; });
}

int take_x_error(Display* dpy) {
  std::lock_guard<std::mutex> lock(g_mutex);
  for (auto& [d, code] : g_trapped) {
    if (d == dpy) return std::exchange(code, 0);
  }
  return 0;
}

}  // namespace znr
