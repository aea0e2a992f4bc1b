#include "zelnary/cpu/x11_presenter.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include <cstdlib>
#include <cstring>

#include "zelnary/present/display_refresh.h"
#include "zelnary/present/x11_error_trap.h"

namespace znr {
namespace {

int mask_shift(unsigned long mask) {
  int s = 0;
  while (mask != 0 && (mask & 1ul) == 0) {
    mask >>= 1;
    ++s;
  }
  return s;
}

int mask_bits(unsigned long mask) {
  int n = 0;
  for (; mask != 0; mask >>= 1) n += static_cast<int>(mask & 1ul);
  return n;
}

}  // namespace

struct X11Presenter::Impl {
  Display* dpy = nullptr;
  bool open_failed = false;
  bool shm_available = false;
  bool shm_used = false;
  double refresh = 0.0;

  // The window last sized, its visual and a GC for it.
  uint32_t window = 0;
  bool obscured = false;  // wholly covered by other windows, as its last VisibilityNotify said
  Visual* visual = nullptr;
  int depth = 0;
  GC gc = nullptr;

  XImage* image = nullptr;
  Visual* image_visual = nullptr;  // the pixel layout the image was made for
  bool image_shm = false;
  XShmSegmentInfo shm{};

  bool open() {
    if (dpy != nullptr) return true;
    if (open_failed) return false;
    dpy = XOpenDisplay(nullptr);
    if (dpy == nullptr) {
      open_failed = true;  // no display: every render fails quietly from now on
      return false;
    }
    trap_x_errors(dpy);
    int major = 0, minor = 0;
    Bool pixmaps = False;
    shm_available = XShmQueryVersion(dpy, &major, &minor, &pixmaps) == True &&
                    std::getenv("ZELNARY_NO_SHM") == nullptr;
    refresh = display_refresh_hz(dpy);
    return true;
  }

  void free_image() {
    if (image == nullptr) return;
    if (image_shm) {
      XShmDetach(dpy, &shm);
      XSync(dpy, False);
      image->data = nullptr;
      XDestroyImage(image);
      shmdt(shm.shmaddr);
    } else {
      XDestroyImage(image);  // frees its malloc'd data too
    }
    image = nullptr;
    image_shm = false;
    take_x_error(dpy);
  }

  void free_gc() {
    if (gc != nullptr) XFreeGC(dpy, gc);
    gc = nullptr;
  }

  XImage* make_shm_image(int w, int h) {
    XImage* img = XShmCreateImage(dpy, visual, static_cast<unsigned>(depth), ZPixmap, nullptr, &shm,
                                  static_cast<unsigned>(w), static_cast<unsigned>(h));
    if (img == nullptr) return nullptr;
    shm.shmid =
        shmget(IPC_PRIVATE, static_cast<size_t>(img->bytes_per_line) * static_cast<size_t>(h),
               IPC_CREAT | 0600);
    if (shm.shmid < 0) {
      XDestroyImage(img);
      return nullptr;
    }
    shm.shmaddr = img->data = static_cast<char*>(shmat(shm.shmid, nullptr, 0));
    shm.readOnly = False;
    bool ok = shm.shmaddr != reinterpret_cast<char*>(-1);
    if (ok) {
      XShmAttach(dpy, &shm);
      XSync(dpy, False);
      ok = take_x_error(dpy) == 0;  // e.g. a server on another machine
      if (!ok) shmdt(shm.shmaddr);
    }
    shmctl(shm.shmid, IPC_RMID, nullptr);  // freed once both sides detach
    if (!ok) {
      img->data = nullptr;
      XDestroyImage(img);
      return nullptr;
    }
    return img;
  }

  XImage* make_plain_image(int w, int h) {
    XImage* img = XCreateImage(dpy, visual, static_cast<unsigned>(depth), ZPixmap, 0, nullptr,
                               static_cast<unsigned>(w), static_cast<unsigned>(h), 32, 0);
    if (img == nullptr) return nullptr;
    img->data = static_cast<char*>(
        std::malloc(static_cast<size_t>(img->bytes_per_line) * static_cast<size_t>(h)));
    if (img->data == nullptr) {
      XDestroyImage(img);
      return nullptr;
    }
    return img;
  }

  bool ensure_image(int w, int h) {
    if (image != nullptr && image->width == w && image->height == h && image->depth == depth &&
        image_visual == visual) {
      return true;
    }
    free_image();
    image_visual = visual;
    if (shm_available) {
      image = make_shm_image(w, h);
      if (image != nullptr) {
        image_shm = true;
      } else {
        shm_available = false;  // do not try again on every frame
      }
    }
    if (image == nullptr) image = make_plain_image(w, h);
    return image != nullptr;
  }

  void copy_pixels(const Framebuffer& fb) {
    const bool direct = image->bits_per_pixel == 32 && image->red_mask == 0xFF0000ul &&
                        image->green_mask == 0xFF00ul && image->blue_mask == 0xFFul &&
                        image->byte_order == LSBFirst;
    for (int32_t y = 0; y < fb.height; ++y) {
      const uint32_t* src = fb.color.data() + fb.index(0, y);
      char* dst = image->data + static_cast<size_t>(image->bytes_per_line) * static_cast<size_t>(y);
      if (direct) {
        std::memcpy(dst, src, static_cast<size_t>(fb.width) * 4);
        continue;
      }
      // Any other true-colour layout, one pixel at a time.
      for (int32_t x = 0; x < fb.width; ++x) {
        const uint32_t c = src[x];
        auto channel = [](uint32_t v8, unsigned long mask) {
          const int bits = mask_bits(mask);
          const unsigned long v = bits >= 8 ? (static_cast<unsigned long>(v8) << (bits - 8))
                                            : (static_cast<unsigned long>(v8) >> (8 - bits));
          return (v << mask_shift(mask)) & mask;
        };
        XPutPixel(image, x, y,
                  channel((c >> 16) & 0xFFu, image->red_mask) |
                      channel((c >> 8) & 0xFFu, image->green_mask) |
                      channel(c & 0xFFu, image->blue_mask));
      }
    }
  }

  void close() {
    if (dpy == nullptr) return;
    free_image();
    free_gc();
    untrap_x_errors(dpy);
    XCloseDisplay(dpy);
    dpy = nullptr;
    window = 0;
    visual = nullptr;
  }
};

X11Presenter::X11Presenter() : impl_(std::make_unique<Impl>()) {}
X11Presenter::~X11Presenter() {
  release();
}

bool X11Presenter::window_size(uint32_t window, int32_t& width, int32_t& height, bool* visible) {
  Impl& m = *impl_;
  if (window == 0 || !m.open()) return false;
  take_x_error(m.dpy);
  XWindowAttributes attrs{};
  const Status ok = XGetWindowAttributes(m.dpy, window, &attrs);
  if (ok == 0 || take_x_error(m.dpy) != 0) {
    if (m.window == window) {
      m.free_gc();
      m.window = 0;
    }
    return false;  // BadWindow: the window is gone
  }
  if (attrs.visual == nullptr || attrs.visual->c_class != TrueColor) return false;
  if (m.window != window || m.visual != attrs.visual || m.depth != attrs.depth) {
    m.free_gc();
    if (m.window != window) {
      // Our own connection's interest in the window: whether others cover it wholly.
      XSelectInput(m.dpy, window, VisibilityChangeMask);
      m.obscured = false;
    }
    m.window = window;
    m.visual = attrs.visual;
    m.depth = attrs.depth;
  }
  // The attributes' round trip brought every visibility change made before it.
  XEvent ev;
  while (XCheckTypedWindowEvent(m.dpy, window, VisibilityNotify, &ev))
    m.obscured = ev.xvisibility.state == VisibilityFullyObscured;
  width = attrs.width;
  height = attrs.height;
  if (visible) *visible = attrs.map_state == IsViewable && !m.obscured;
  return true;
}

bool X11Presenter::present(uint32_t window, const Framebuffer& fb) {
  Impl& m = *impl_;
  if (m.dpy == nullptr || window == 0 || window != m.window) return false;
  if (fb.width <= 0 || fb.height <= 0) return true;  // nothing to show
  if (!m.ensure_image(fb.width, fb.height)) return false;
  if (m.gc == nullptr) {
    m.gc = XCreateGC(m.dpy, window, 0, nullptr);
    if (m.gc == nullptr) return false;
  }
  m.copy_pixels(fb);
  const auto w = static_cast<unsigned>(fb.width), h = static_cast<unsigned>(fb.height);
  if (m.image_shm) {
    XShmPutImage(m.dpy, window, m.gc, m.image, 0, 0, 0, 0, w, h, False);
  } else {
    XPutImage(m.dpy, window, m.gc, m.image, 0, 0, 0, 0, w, h);
  }
  // Wait for the server: the shared image must not change under it, and errors (the window
  // destroyed meanwhile) show up here.
  XSync(m.dpy, False);
  if (take_x_error(m.dpy) != 0) return false;
  m.shm_used = m.shm_used || m.image_shm;
  return true;
}

double X11Presenter::refresh_hz() {
  return impl_->open() ? impl_->refresh : 60.0;
}

bool X11Presenter::used_shared_memory() const {
  return impl_->shm_used;
}

void X11Presenter::release() {
  impl_->close();
  impl_->open_failed = false;
}

}  // namespace znr
