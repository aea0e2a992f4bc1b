#include "zelnary/gl/gl_backend.h"
#include "zelnary/gl/gl_backend_probe.h"

#include "zelnary/gl/egl_context.h"
#include "zelnary/gl/gl_matrices.h"
#include "zelnary/gl/gl_objects.h"
#include "zelnary/gl/gl_programs.h"
#include "zelnary/gl/gl_window.h"
#include "zelnary/gl/scene_gpu.h"
// After the EGL and GL headers.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "zelnary/present/frame_pacer.h"

namespace znr {
namespace {

std::string gl_error_text(GLenum e) {
  char text[64];
  std::snprintf(text, sizeof text, "OpenGL error 0x%04x during a frame", e);
  return text;
}

// The process's display without a window system, found once and kept: contexts of several
// renderers may live on it.
EGLDisplay shared_offscreen_display(std::string& why) {
  static std::string failure;
  static const EGLDisplay display = gl::offscreen_display(failure);
  if (display == EGL_NO_DISPLAY) why = failure;
  return display;
}

enum class Mode { none, window, offscreen };

// ZELNARY_NO_GL makes every start fail, as on a machine without GL (the fallback's tests).
bool turned_off(std::string& failure) {
  if (std::getenv("ZELNARY_NO_GL") == nullptr) return false;
  failure = "OpenGL is turned off (ZELNARY_NO_GL)";
  return true;
}

// A GL that draws on the processor (Mesa's llvmpipe, softpipe, swrast) is slower on every world
// than the engine's own CPU back end, so the card mode falls back to that instead, unless
// ZELNARY_SOFTWARE_GL is set (the tests and the benchmark, which compare the two).
bool refuse_software(const std::string& renderer, std::string& failure) {
  const char* allow = std::getenv("ZELNARY_SOFTWARE_GL");
  if (allow != nullptr && *allow != '\0' && std::string(allow) != "0") return false;
  for (const char* name : {"llvmpipe", "softpipe", "swrast", "Software Rasterizer"}) {
    if (renderer.find(name) != std::string::npos) {
      failure = "OpenGL here is a software renderer (" + renderer + "), slower than the CPU's own";
      return true;
    }
  }
  return false;
}

// What the child window's state means for the frame.
BackendStatus status_of(gl::WindowStatus status) {
  switch (status) {
    case gl::WindowStatus::parent_gone:
      return BackendStatus::window_gone;
    case gl::WindowStatus::failed:
      return BackendStatus::failed;
    case gl::WindowStatus::ok:
      break;
  }
  return BackendStatus::ok;
}

}  // namespace

struct GlBackend::Impl {
  std::string failure;
  Mode mode = Mode::none;
  gl::GlWindow window;
  gl::EglContext offscreen;
  bool ready = false;  // the context is current and the programs are made
  std::string renderer;

  // Per context.
  gl::Program programs[2];         // flat light: affine, perspective
  gl::Program shaded_programs[2];  // a shade per vertex: affine, perspective
  bool reversed_depth = false;
  GLint max_texture = 0, max_frame = 0;
  GLuint fbo = 0, color = 0, depth = 0;
  // The parent window is unmapped, minimised or wholly covered: nothing is drawn or shown.
  bool unseen = false;
  int64_t frames_shown = 0;  // swapped into the window
  int32_t fb_width = 0, fb_height = 0;
  gl::GlObjects objects;  // the programs and the frame buffers

  // Per scene.
  const Scene* scene = nullptr;
  const SceneIndex* index = nullptr;
  bool uploaded = false;
  gl::SceneGpu gpu;

  // Per frame.
  int32_t width = 0, height = 0;

  // Presentation.
  FramePacer pacer;
  SwapCheck swaps;

  bool fail(std::string why) {
    failure = std::move(why);
    return false;
  }

  // Programs and limits, once per context (current).
  bool start_context() {
    const auto* name = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
    renderer = name != nullptr ? name : "unknown";
    if (refuse_software(renderer, failure)) return false;
    std::string why;
    for (int p = 0; p < 2; ++p) {
      if (!gl::make_program(p == 1, false, programs[p], why)) return fail(why);
      objects.count_one();
      if (!gl::make_program(p == 1, true, shaded_programs[p], why)) return fail(why);
      objects.count_one();
    }
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &max_texture);
    glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE, &max_frame);
    reversed_depth = epoxy_gl_version() >= 45 || epoxy_has_gl_extension("GL_ARB_clip_control");
    if (reversed_depth) glClipControl(GL_LOWER_LEFT, GL_ZERO_TO_ONE);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    ready = true;
    if (const GLenum e = glGetError(); e != GL_NO_ERROR) return fail(gl_error_text(e));
    return true;
  }

  // Forgets everything of the context; the caller destroys the context itself, which frees
  // its objects with it.
  void forget_context() {
    ready = false;
    uploaded = false;
    programs[0] = programs[1] = shaded_programs[0] = shaded_programs[1] = gl::Program{};
    fbo = color = depth = 0;
    fb_width = fb_height = 0;
    objects.forget();
    gpu.forget();
  }

  void close_mode() {
    if (mode == Mode::window) window.close();
    if (mode == Mode::offscreen) gl::destroy_context(offscreen);
    forget_context();
    mode = Mode::none;
  }

  // The frame's own colour and depth buffers: depth in float, for the same precision as the
  // CPU's; shown by a blit or read back.
  bool ensure_framebuffer(int32_t w, int32_t h) {
    if (w > max_frame || h > max_frame) {
      return fail("a frame of " + std::to_string(w) + "x" + std::to_string(h) +
                  " is larger than the card's limit");
    }
    if (fbo != 0 && fb_width == w && fb_height == h) {
      glBindFramebuffer(GL_FRAMEBUFFER, fbo);
      return true;
    }
    if (fbo == 0) {
      fbo = objects.make(glGenFramebuffers);
      color = objects.make(glGenRenderbuffers);
      depth = objects.make(glGenRenderbuffers);
    }
    glBindRenderbuffer(GL_RENDERBUFFER, color);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, w, h);
    glBindRenderbuffer(GL_RENDERBUFFER, depth);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT32F, w, h);
    glBindFramebuffer(GL_FRAMEBUFFER, fbo);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, color);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, depth);
    if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
      return fail("the card cannot draw into a float depth buffer");
    }
    fb_width = w;
    fb_height = h;
    return true;
  }

  bool draw(const Frame& frame, const RenderSettings& settings) {
    if (mode == Mode::offscreen &&
        eglMakeCurrent(offscreen.display, offscreen.surface, offscreen.surface,
                       offscreen.context) != EGL_TRUE) {
      return fail(gl::egl_failure("making the context current"));
    }
    if (!uploaded) {
      if (scene == nullptr || index == nullptr) return fail("no scene was prepared");
      std::string why;
      if (!gpu.upload(*scene, *index, max_texture, why)) return fail(why);
      uploaded = true;
      if (const GLenum e = glGetError(); e != GL_NO_ERROR) {
        return fail(e == GL_OUT_OF_MEMORY ? "the card has no room for the world"
                                          : gl_error_text(e));
      }
    }
    if (width <= 0 || height <= 0) return true;  // nothing to draw
    if (!ensure_framebuffer(width, height)) return false;
    glViewport(0, 0, width, height);
    const uint32_t bg = frame.background;
    glClearColor(static_cast<float>((bg >> 16) & 0xFFu) / 255.0f,
                 static_cast<float>((bg >> 8) & 0xFFu) / 255.0f,
                 static_cast<float>(bg & 0xFFu) / 255.0f, 1.0f);
    glClearDepth(reversed_depth ? 0.0 : 1.0);
    glDepthMask(GL_TRUE);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(reversed_depth ? GL_GREATER : GL_LESS);  // ties: the first drawn stays
    glFrontFace(GL_CCW);
    glCullFace(GL_BACK);
    const int perspective = settings.perspective_accuracy > 0.0 ? 1 : 0;
    glActiveTexture(GL_TEXTURE0);
    gpu.draw(frame, programs[perspective], shaded_programs[perspective],
             gl::view_projection(frame.view, reversed_depth), perspective == 0);
    if (const GLenum e = glGetError(); e != GL_NO_ERROR) return fail(gl_error_text(e));
    return true;
  }
};

GlBackend::GlBackend() : impl_(std::make_unique<Impl>()) {}
GlBackend::~GlBackend() {
  release();
}

BackendStatus GlBackend::prepare(const Scene& scene, const SceneIndex& index) {
  impl_->scene = &scene;
  impl_->index = &index;
  impl_->uploaded = false;  // uploaded by the next draw, with the context current
  return BackendStatus::ok;
}

BackendStatus GlBackend::acquire_window(uint32_t window, int32_t& width, int32_t& height) {
  Impl& m = *impl_;
  if (turned_off(m.failure)) return BackendStatus::failed;
  if (m.mode != Mode::window) {
    m.close_mode();
    if (!m.window.open(m.failure)) return BackendStatus::failed;
    m.mode = Mode::window;
  }
  bool visible = true;
  if (const BackendStatus s = status_of(m.window.follow(window, width, height, visible, m.failure));
      s != BackendStatus::ok)
    return s;
  m.unseen = !visible;
  if (!m.ready && !m.start_context()) return BackendStatus::failed;
  m.width = width;
  m.height = height;
  return BackendStatus::ok;
}

BackendStatus GlBackend::acquire_offscreen(int32_t width, int32_t height) {
  Impl& m = *impl_;
  if (turned_off(m.failure)) return BackendStatus::failed;
  if (m.mode != Mode::offscreen) {
    m.close_mode();
    const EGLDisplay d = shared_offscreen_display(m.failure);
    if (d == EGL_NO_DISPLAY) return BackendStatus::failed;
    if (!gl::create_context(d, EGL_PBUFFER_BIT, m.offscreen, m.failure) ||
        !gl::make_current_offscreen(m.offscreen, m.failure)) {
      gl::destroy_context(m.offscreen);
      return BackendStatus::failed;
    }
    m.mode = Mode::offscreen;
    if (!m.start_context()) return BackendStatus::failed;
  }
  m.width = width;
  m.height = height;
  return BackendStatus::ok;
}

BackendStatus GlBackend::draw(const Frame& frame, const RenderSettings& settings) {
  if (impl_->mode == Mode::window && impl_->unseen) return BackendStatus::ok;  // nobody sees it
  return impl_->draw(frame, settings) ? BackendStatus::ok : BackendStatus::failed;
}

bool GlBackend::draws_levels_of_detail() const {
  return true;
}

bool GlBackend::keeps_its_frame() const {
  // Frames are drawn into a framebuffer object and only copied to the window: present() can
  // copy the last one again.
  const Impl& m = *impl_;
  return m.mode == Mode::window && !m.unseen && m.fbo != 0;
}

BackendStatus GlBackend::present() {
  Impl& m = *impl_;
  if (m.mode != Mode::window) return BackendStatus::failed;
  if (m.unseen) {
    m.pacer.wait(m.window.refresh_hz());
    return BackendStatus::ok;
  }
  if (m.fbo != 0 && m.width > 0 && m.height > 0) {
    glBindFramebuffer(GL_READ_FRAMEBUFFER, m.fbo);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
    glBlitFramebuffer(0, 0, m.width, m.height, 0, 0, m.width, m.height, GL_COLOR_BUFFER_BIT,
                      GL_NEAREST);
    if (const GLenum e = glGetError(); e != GL_NO_ERROR) {
      m.failure = gl_error_text(e);
      return BackendStatus::failed;
    }
  }
  if (const BackendStatus s = status_of(m.window.swap(m.failure)); s != BackendStatus::ok) return s;
  ++m.frames_shown;
  const double hz = m.window.refresh_hz();
  if (!m.window.paces_swaps() || m.swaps.unpaced_after_swap(std::chrono::steady_clock::now(), hz)) {
    m.pacer.wait(hz);
  }
  return BackendStatus::ok;
}

void GlBackend::read_back(Image& out) {
  Impl& m = *impl_;
  out.width = m.width;
  out.height = m.height;
  out.texels.assign(static_cast<size_t>(m.width) * static_cast<size_t>(m.height), 0);
  if (m.fbo == 0 || out.texels.empty()) return;
  glBindFramebuffer(GL_READ_FRAMEBUFFER, m.fbo);
  glReadPixels(0, 0, m.width, m.height, GL_BGRA, GL_UNSIGNED_BYTE, out.texels.data());
  // GL's rows run bottom to top.
  const auto w = static_cast<size_t>(m.width);
  for (size_t top = 0, bottom = static_cast<size_t>(m.height) - 1; top < bottom; ++top, --bottom) {
    std::swap_ranges(out.texels.begin() + static_cast<std::ptrdiff_t>(top * w),
                     out.texels.begin() + static_cast<std::ptrdiff_t>((top + 1) * w),
                     out.texels.begin() + static_cast<std::ptrdiff_t>(bottom * w));
  }
  for (uint32_t& t : out.texels) t |= 0xFF000000u;
}

void GlBackend::suspend() {
  impl_->window.hide();
}

void GlBackend::release() {
  Impl& m = *impl_;
  m.close_mode();
  m.scene = nullptr;
  m.index = nullptr;
  m.pacer.reset();
  m.swaps.reset();
}

const std::string& GlBackend::failure() const {
  return impl_->failure;
}

std::string GlBackend::name() const {
  return impl_->renderer.empty() ? "OpenGL" : "OpenGL (" + impl_->renderer + ")";
}

int32_t GlBackendProbe::live_objects(const GlBackend& gl) {
  return gl.impl_->objects.live() + gl.impl_->gpu.live_objects();
}

int64_t GlBackendProbe::frames_shown(const GlBackend& gl) {
  return gl.impl_->frames_shown;
}

}  // namespace znr
