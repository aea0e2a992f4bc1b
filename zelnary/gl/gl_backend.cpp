#include "zelnary/gl/gl_backend.h"

#include "zelnary/gl/egl_context.h"
#include "zelnary/gl/gl_programs.h"
#include "zelnary/gl/gl_window.h"
#include "zelnary/gl/scene_layout.h"
// After the EGL and GL headers.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <numbers>
#include <vector>

#include "zelnary/present/frame_pacer.h"

namespace znr {
namespace {

using gl::DrawRange;
using gl::SceneLayout;

// A 4x4 matrix in double; to_gl hands it over column-major, as OpenGL takes it.
struct Mat4 {
  double m[4][4] = {};  // [row][column]
  Mat4 operator*(const Mat4& o) const {
    Mat4 r;
    for (int i = 0; i < 4; ++i)
      for (int j = 0; j < 4; ++j)
        for (int k = 0; k < 4; ++k) r.m[i][j] += m[i][k] * o.m[k][j];
    return r;
  }
  void to_gl(float out[16]) const {
    for (int c = 0; c < 4; ++c)
      for (int r = 0; r < 4; ++r) out[c * 4 + r] = static_cast<float>(m[r][c]);
  }
};

// World to clip space: the camera's axes (right, up, backwards) for GL's eye space, then the
// same perspective as the CPU's (zoom the horizontal field, square pixels) with no far plane.
// reversed: depth is near/distance (1 at the near plane, towards 0 far away) in a float
// buffer, as precise as the CPU's 1/w; otherwise the classic mapping.
Mat4 view_projection(const View& v, bool reversed) {
  Mat4 view;
  const Vec3 rows[3] = {v.right, v.up, -v.forward};
  for (int i = 0; i < 3; ++i) {
    view.m[i][0] = rows[i].x;
    view.m[i][1] = rows[i].y;
    view.m[i][2] = rows[i].z;
    view.m[i][3] = -dot(rows[i], v.eye);
  }
  view.m[3][3] = 1.0;
  Mat4 projection;
  projection.m[0][0] = 1.0 / v.tan_h;
  projection.m[1][1] = 1.0 / v.tan_v;
  if (reversed) {
    projection.m[2][3] = v.near_plane;
  } else {
    projection.m[2][2] = -1.0;
    projection.m[2][3] = -2.0 * v.near_plane;
  }
  projection.m[3][2] = -1.0;
  return projection * view;
}

// An object's frame in the world: turned about z by its heading, then moved.
Mat4 model(const ObjectPose& pose) {
  const double a = pose.heading_deg * std::numbers::pi / 180.0;
  Mat4 m;
  m.m[0][0] = std::cos(a);
  m.m[0][1] = -std::sin(a);
  m.m[1][0] = std::sin(a);
  m.m[1][1] = std::cos(a);
  m.m[2][2] = 1.0;
  m.m[0][3] = pose.position.x;
  m.m[1][3] = pose.position.y;
  m.m[2][3] = pose.position.z;
  m.m[3][3] = 1.0;
  return m;
}

bool texture_usable(const Image& img) {
  return img.width > 0 && img.height > 0 &&
         img.texels.size() == static_cast<size_t>(img.width) * static_cast<size_t>(img.height);
}

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

// Vertex arrays and buffers for one set of geometry.
struct Mesh {
  GLuint vao = 0, positions = 0, light = 0, indices = 0;
};

enum class Mode { none, window, offscreen };

}  // namespace

struct GlBackend::Impl {
  std::string failure;
  Mode mode = Mode::none;
  gl::GlWindow window;
  gl::EglContext offscreen;
  bool ready = false;  // the context is current and the programs are made
  std::string renderer;

  // Per context.
  gl::Program programs[2];  // affine, perspective
  bool reversed_depth = false;
  GLint max_texture = 0, max_frame = 0;
  GLuint fbo = 0, color = 0, depth = 0;
  int32_t fb_width = 0, fb_height = 0;
  int32_t live = 0;

  // Per scene.
  const Scene* scene = nullptr;
  const SceneIndex* index = nullptr;
  bool uploaded = false;
  SceneLayout layout;
  Mesh world, objects;
  std::vector<GLuint> textures;  // per scene texture; 0: drawn flat
  GLuint white = 0;

  // Per frame.
  int32_t width = 0, height = 0;
  std::vector<std::vector<GLsizei>> counts;
  std::vector<std::vector<const void*>> offsets;
  std::vector<gl::VertexLight> object_light;

  // Presentation.
  FramePacer pacer;
  int32_t swaps_timed = 0;
  std::chrono::steady_clock::time_point first_swap{};
  bool swaps_unpaced = false;

  // Every GL object made or deleted is counted, so that tests can see none is left behind.
  GLuint gen(decltype(glGenBuffers) make) {
    GLuint id = 0;
    make(1, &id);
    ++live;
    return id;
  }
  void drop(decltype(glDeleteBuffers) remove, GLuint& id) {
    if (id == 0) return;
    remove(1, &id);
    --live;
    id = 0;
  }

  bool fail(std::string why) {
    failure = std::move(why);
    return false;
  }

  // Programs and limits, once per context (current).
  bool start_context() {
    std::string why;
    for (int p = 0; p < 2; ++p) {
      if (!gl::make_program(p == 1, programs[p], why)) return fail(why);
      ++live;
    }
    const auto* name = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
    renderer = name != nullptr ? name : "unknown";
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

  void free_scene() {
    for (Mesh* m : {&world, &objects}) {
      drop(glDeleteVertexArrays, m->vao);
      drop(glDeleteBuffers, m->positions);
      drop(glDeleteBuffers, m->light);
      drop(glDeleteBuffers, m->indices);
      *m = Mesh{};
    }
    for (GLuint& t : textures) drop(glDeleteTextures, t);
    textures.clear();
    drop(glDeleteTextures, white);
    layout = SceneLayout{};
    uploaded = false;
  }

  // Forgets everything of the context; the caller destroys the context itself, which frees
  // its objects with it.
  void forget_context() {
    ready = false;
    uploaded = false;
    programs[0] = programs[1] = gl::Program{};
    fbo = color = depth = 0;
    fb_width = fb_height = 0;
    world = objects = Mesh{};
    textures.clear();
    white = 0;
    layout = SceneLayout{};
    live = 0;
  }

  void close_mode() {
    if (mode == Mode::window) window.close();
    if (mode == Mode::offscreen) gl::destroy_context(offscreen);
    forget_context();
    mode = Mode::none;
  }

  void upload_mesh(Mesh& m, const std::vector<gl::PositionUv>& positions,
                   const std::vector<gl::VertexLight>& light, size_t light_count,
                   const std::vector<uint32_t>& indices, GLenum light_usage) {
    m.vao = gen(glGenVertexArrays);
    glBindVertexArray(m.vao);
    m.positions = gen(glGenBuffers);
    glBindBuffer(GL_ARRAY_BUFFER, m.positions);
    glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(positions.size() * sizeof(positions[0])),
                 positions.data(), GL_STATIC_DRAW);
    glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, sizeof(gl::PositionUv), nullptr);
    glVertexAttribPointer(1, 2, GL_FLOAT, GL_FALSE, sizeof(gl::PositionUv),
                          reinterpret_cast<const void*>(3 * sizeof(float)));
    glEnableVertexAttribArray(0);
    glEnableVertexAttribArray(1);
    m.light = gen(glGenBuffers);
    glBindBuffer(GL_ARRAY_BUFFER, m.light);
    glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(light_count * sizeof(gl::VertexLight)),
                 light.empty() ? nullptr : light.data(), light_usage);
    glVertexAttribIPointer(2, 4, GL_UNSIGNED_SHORT, sizeof(gl::VertexLight), nullptr);
    glVertexAttribIPointer(3, 4, GL_UNSIGNED_SHORT, sizeof(gl::VertexLight),
                           reinterpret_cast<const void*>(4 * sizeof(uint16_t)));
    glEnableVertexAttribArray(2);
    glEnableVertexAttribArray(3);
    m.indices = gen(glGenBuffers);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, m.indices);
    glBufferData(GL_ELEMENT_ARRAY_BUFFER,
                 static_cast<GLsizeiptr>(indices.size() * sizeof(uint32_t)), indices.data(),
                 GL_STATIC_DRAW);
    glBindVertexArray(0);
  }

  GLuint upload_texture(int32_t w, int32_t h, const uint32_t* texels) {
    const GLuint t = gen(glGenTextures);
    glBindTexture(GL_TEXTURE_2D, t);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
    // 0xAARRGGBB in memory, little end first, is B, G, R, A.
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, w, h, 0, GL_BGRA, GL_UNSIGNED_BYTE, texels);
    return t;
  }

  // Buffers and textures for the prepared scene, once (context current).
  bool upload() {
    if (uploaded) return true;
    free_scene();
    if (scene == nullptr || index == nullptr) return fail("no scene was prepared");
    const Scene& s = *scene;
    std::vector<bool> usable(s.textures.size());
    textures.assign(s.textures.size(), 0);
    for (size_t t = 0; t < s.textures.size(); ++t) {
      const Image& img = s.textures[t].image;
      usable[t] = texture_usable(img);
      if (!usable[t]) continue;
      if (img.width > max_texture || img.height > max_texture) {
        return fail("texture " + s.textures[t].file + " is larger than the card's limit of " +
                    std::to_string(max_texture));
      }
      textures[t] = upload_texture(img.width, img.height, img.texels.data());
    }
    const uint32_t white_texel = 0xFFFFFFFFu;
    white = upload_texture(1, 1, &white_texel);
    gl::lay_out_scene(s, *index, usable, layout);
    upload_mesh(world, layout.vertices, layout.light, layout.light.size(), layout.indices,
                GL_STATIC_DRAW);
    upload_mesh(objects, layout.object_vertices, {}, layout.object_vertices.size(),
                layout.object_indices, GL_DYNAMIC_DRAW);
    // The CPU copies are not needed any more, except what each frame reads.
    layout.vertices = {};
    layout.light = {};
    layout.indices = {};
    layout.object_vertices = {};
    layout.object_indices = {};
    const size_t groups = gl::group_count(s.textures.size());
    counts.assign(groups, {});
    offsets.assign(groups, {});
    uploaded = true;
    if (const GLenum e = glGetError(); e != GL_NO_ERROR) {
      return fail(e == GL_OUT_OF_MEMORY ? "the card has no room for the world" : gl_error_text(e));
    }
    return true;
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
      fbo = gen(glGenFramebuffers);
      color = gen(glGenRenderbuffers);
      depth = gen(glGenRenderbuffers);
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

  void bind_group(uint32_t group) {
    const int32_t t = gl::group_texture(group);
    glBindTexture(GL_TEXTURE_2D, t >= 0 && textures[static_cast<size_t>(t)] != 0
                                     ? textures[static_cast<size_t>(t)]
                                     : white);
    if (gl::group_one_sided(group)) {
      glEnable(GL_CULL_FACE);
    } else {
      glDisable(GL_CULL_FACE);
    }
  }

  void draw_world(const Frame& frame) {
    for (auto& c : counts) c.clear();
    for (auto& o : offsets) o.clear();
    for (const uint32_t c : frame.chunks) {
      for (uint32_t r = layout.chunk_ranges[c]; r < layout.chunk_ranges[c + 1]; ++r) {
        const DrawRange& d = layout.ranges[r];
        counts[d.group].push_back(static_cast<GLsizei>(d.index_count));
        offsets[d.group].push_back(
            reinterpret_cast<const void*>(static_cast<uintptr_t>(d.first_index) * 4));
      }
    }
    glBindVertexArray(world.vao);
    for (uint32_t g = 0; g < counts.size(); ++g) {
      if (counts[g].empty()) continue;
      bind_group(g);
      glMultiDrawElements(GL_TRIANGLES, counts[g].data(), GL_UNSIGNED_INT, offsets[g].data(),
                          static_cast<GLsizei>(counts[g].size()));
    }
  }

  void draw_objects(const Frame& frame, const gl::Program& program, const Mat4& view_proj) {
    if (frame.objects.empty()) return;
    glBindVertexArray(objects.vao);
    glBindBuffer(GL_ARRAY_BUFFER, objects.light);
    for (const VisibleObject& o : frame.objects) {
      const uint32_t v0 = layout.object_vertex_start[o.object];
      const uint32_t v1 = layout.object_vertex_start[o.object + 1];
      object_light.resize(v1 - v0);
      for (uint32_t v = v0; v < v1; ++v) {
        object_light[v - v0] =
            gl::encode_light(frame.object_light[o.first_light + layout.object_vertex_polygon[v]]);
      }
      glBufferSubData(GL_ARRAY_BUFFER, static_cast<GLintptr>(v0 * sizeof(gl::VertexLight)),
                      static_cast<GLsizeiptr>(object_light.size() * sizeof(gl::VertexLight)),
                      object_light.data());
      float mvp[16];
      (view_proj * model(o.pose)).to_gl(mvp);
      glUniformMatrix4fv(program.mvp, 1, GL_FALSE, mvp);
      for (uint32_t r = layout.object_range_start[o.object];
           r < layout.object_range_start[o.object + 1]; ++r) {
        const DrawRange& d = layout.object_ranges[r];
        bind_group(d.group);
        glDrawElements(GL_TRIANGLES, static_cast<GLsizei>(d.index_count), GL_UNSIGNED_INT,
                       reinterpret_cast<const void*>(static_cast<uintptr_t>(d.first_index) * 4));
      }
    }
  }

  bool draw(const Frame& frame, const RenderSettings& settings) {
    if (mode == Mode::offscreen &&
        eglMakeCurrent(offscreen.display, offscreen.surface, offscreen.surface,
                       offscreen.context) != EGL_TRUE) {
      return fail(gl::egl_failure("making the context current"));
    }
    if (!upload()) return false;
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
    const gl::Program& program = programs[settings.perspective_accuracy > 0.0 ? 1 : 0];
    glUseProgram(program.id);
    glActiveTexture(GL_TEXTURE0);
    const Mat4 view_proj = view_projection(frame.view, reversed_depth);
    float mvp[16];
    view_proj.to_gl(mvp);
    glUniformMatrix4fv(program.mvp, 1, GL_FALSE, mvp);
    draw_world(frame);
    draw_objects(frame, program, view_proj);
    glBindVertexArray(0);
    if (const GLenum e = glGetError(); e != GL_NO_ERROR) return fail(gl_error_text(e));
    return true;
  }

  // Whether swaps really wait for the display: timed over the first few frames, since some
  // drivers accept an interval they do not keep.
  void time_swap(double refresh_hz) {
    if (swaps_unpaced || swaps_timed > 8) return;
    const auto now = std::chrono::steady_clock::now();
    if (swaps_timed++ == 0) first_swap = now;
    if (swaps_timed == 9) {
      const double seconds = std::chrono::duration<double>(now - first_swap).count();
      swaps_unpaced = seconds < 8.0 / refresh_hz * 0.5;
    }
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
  if (std::getenv("ZELNARY_NO_GL") != nullptr) {
    m.failure = "OpenGL is turned off (ZELNARY_NO_GL)";
    return BackendStatus::failed;
  }
  if (m.mode != Mode::window) {
    m.close_mode();
    if (!m.window.open(m.failure)) return BackendStatus::failed;
    m.mode = Mode::window;
  }
  switch (m.window.follow(window, width, height, m.failure)) {
    case gl::WindowStatus::parent_gone:
      return BackendStatus::window_gone;
    case gl::WindowStatus::failed:
      return BackendStatus::failed;
    case gl::WindowStatus::ok:
      break;
  }
  if (!m.ready && !m.start_context()) return BackendStatus::failed;
  m.width = width;
  m.height = height;
  return BackendStatus::ok;
}

BackendStatus GlBackend::acquire_offscreen(int32_t width, int32_t height) {
  Impl& m = *impl_;
  if (std::getenv("ZELNARY_NO_GL") != nullptr) {
    m.failure = "OpenGL is turned off (ZELNARY_NO_GL)";
    return BackendStatus::failed;
  }
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
  return impl_->draw(frame, settings) ? BackendStatus::ok : BackendStatus::failed;
}

BackendStatus GlBackend::present() {
  Impl& m = *impl_;
  if (m.mode != Mode::window) return BackendStatus::failed;
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
  switch (m.window.swap(m.failure)) {
    case gl::WindowStatus::parent_gone:
      return BackendStatus::window_gone;
    case gl::WindowStatus::failed:
      return BackendStatus::failed;
    case gl::WindowStatus::ok:
      break;
  }
  const double hz = m.window.refresh_hz();
  if (m.window.paces_swaps()) m.time_swap(hz);
  if (!m.window.paces_swaps() || m.swaps_unpaced) m.pacer.wait(hz);
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
  m.swaps_timed = 0;
  m.swaps_unpaced = false;
}

const std::string& GlBackend::failure() const {
  return impl_->failure;
}

std::string GlBackend::name() const {
  return impl_->renderer.empty() ? "OpenGL" : "OpenGL (" + impl_->renderer + ")";
}

int32_t GlBackend::live_objects() const {
  return impl_->live;
}

uint32_t GlBackend::child_window() const {
  return impl_->window.child();
}

}  // namespace znr
