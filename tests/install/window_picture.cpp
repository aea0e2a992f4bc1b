// window_picture TITLE SECONDS: waits up to SECONDS for a shown top-level window whose title
// holds TITLE and whose middle shows a picture rather than a blank or flat area. Exits 0 when it
// does; otherwise says what it last saw and exits 1.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <unordered_map>

namespace {

std::string Title(Display* display, Window window) {
  for (const char* property : {"_NET_WM_NAME", "WM_NAME"}) {
    Atom type;
    int format;
    unsigned long count, after;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(display, window, XInternAtom(display, property, False), 0, 4096, False,
                           AnyPropertyType, &type, &format, &count, &after, &data) == Success &&
        data != nullptr) {
      std::string title(reinterpret_cast<char*>(data), format == 8 ? count : 0);
      XFree(data);
      if (!title.empty()) return title;
    }
  }
  return {};
}

Window FindWindow(Display* display, const std::string& part, XWindowAttributes& attributes) {
  Window root, parent, *children = nullptr;
  unsigned int count = 0;
  Window found = 0;
  if (!XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count)) return 0;
  for (unsigned int i = 0; i < count && found == 0; ++i) {
    if (XGetWindowAttributes(display, children[i], &attributes) &&
        attributes.map_state == IsViewable &&
        Title(display, children[i]).find(part) != std::string::npos)
      found = children[i];
  }
  if (children) XFree(children);
  return found;
}

// The middle half of the window in each direction lies inside the picture area; a rendered
// world there has many colours, none of them covering nearly all of it.
bool ShowsPicture(Display* display, Window window, const XWindowAttributes& a, std::string& seen) {
  int x = 0, y = 0;
  Window child;
  XTranslateCoordinates(display, window, DefaultRootWindow(display), 0, 0, &x, &y, &child);
  const int w = a.width / 2, h = a.height / 2;
  XImage* image = XGetImage(display, DefaultRootWindow(display), x + a.width / 4, y + a.height / 4,
                            static_cast<unsigned>(w), static_cast<unsigned>(h), AllPlanes, ZPixmap);
  if (image == nullptr) {
    seen = "no image could be read";
    return false;
  }
  std::unordered_map<unsigned long, int> colours;
  int most = 0;
  for (int row = 0; row < h; ++row)
    for (int col = 0; col < w; ++col) {
      const int n = ++colours[XGetPixel(image, col, row)];
      if (n > most) most = n;
    }
  XDestroyImage(image);
  const double share = most / static_cast<double>(w * h);
  seen = std::to_string(colours.size()) + " colours, the commonest on " +
         std::to_string(static_cast<int>(share * 100)) + "% of " + std::to_string(w) + "x" +
         std::to_string(h) + " pixels";
  return colours.size() >= 32 && share < 0.9;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: window_picture TITLE SECONDS\n");
    return 2;
  }
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) {
    std::fprintf(stderr, "window_picture: no X display\n");
    return 1;
  }
  // Windows come and go while the tree is walked (the viewer's splash closes as its main
  // window opens): a window gone between listing and asking is skipped, not fatal.
  XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(std::atoi(argv[2]));
  std::string seen = "no window titled '" + std::string(argv[1]) + "'";
  while (std::chrono::steady_clock::now() < deadline) {
    XWindowAttributes attributes;
    const Window window = FindWindow(display, argv[1], attributes);
    if (window != 0 && ShowsPicture(display, window, attributes, seen)) {
      std::printf("window_picture: %s\n", seen.c_str());
      XCloseDisplay(display);
      return 0;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(250));
  }
  std::fprintf(stderr, "window_picture: %s\n", seen.c_str());
  XCloseDisplay(display);
  return 1;
}
