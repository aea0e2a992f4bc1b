#include "platform/qt/system_calls.h"

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>

namespace kwellor::qt {

std::string JoinArguments(int argc, const char* const* argv) {
  std::string line;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) line += ' ';
    line += argv[i];
  }
  return line;
}

std::string FileNameOf(const std::string& path) {
  struct stat st {};
  // stat follows links; a path with a trailing '/' to a file fails here with ENOTDIR.
  if (path.empty() || ::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return "";
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

int32_t MonotonicTickCount() {
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                      std::chrono::steady_clock::now().time_since_epoch())
                      .count();
  return static_cast<int32_t>(static_cast<uint32_t>(ms));
}

std::vector<std::string> OpenDialogFilters(const std::string& filter) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (true) {
    const size_t bar = filter.find('|', start);
    parts.push_back(filter.substr(start, bar - start));
    if (bar == std::string::npos) break;
    start = bar + 1;
  }
  std::vector<std::string> out;
  for (size_t i = 0; i + 1 < parts.size(); i += 2) {
    std::string patterns = parts[i + 1];
    for (char& c : patterns)
      if (c == ';') c = ' ';
    out.push_back(parts[i] + " (" + patterns + ")");
  }
  return out;
}

std::string ExecutableDirectory() {
  std::string buf(4096, '\0');
  const ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size());
  if (n <= 0 || static_cast<size_t>(n) >= buf.size()) return "";
  buf.resize(static_cast<size_t>(n));
  const size_t slash = buf.rfind('/');
  if (slash == std::string::npos) return "";
  return slash == 0 ? "/" : buf.substr(0, slash);
}

std::string ChooseQtPlatform(const char* qtQpaPlatform) {
  if (qtQpaPlatform != nullptr && qtQpaPlatform[0] != '\0') return qtQpaPlatform;
  return "xcb";
}

bool NeedsXDisplay(const std::string& plugin) {
  return plugin == "xcb" || plugin.rfind("xcb:", 0) == 0;
}

std::string NoXDisplayMessage(const char* display, const char* waylandDisplay) {
  const bool wayland = waylandDisplay != nullptr && waylandDisplay[0] != '\0';
  std::string text = display != nullptr && display[0] != '\0'
                         ? std::string("kwellor: cannot open the X display '") + display + "'."
                         : std::string("kwellor: no X display (DISPLAY is not set).");
  text += wayland ? " KWELLOR draws through X11: on a Wayland desktop it needs XWayland, which"
                    " sets DISPLAY."
                  : " KWELLOR draws through X11: run it on an X desktop, or under Xvfb.";
  return text;
}

}  // namespace kwellor::qt
