#include "zelnary/gl/scene_gpu.h"

#include <cstdint>
#include <span>

namespace znr::gl {
namespace {

bool texture_usable(const Image& img) {
  return img.width > 0 && img.height > 0 &&
         img.texels.size() == static_cast<size_t>(img.width) * static_cast<size_t>(img.height);
}

}  // namespace

bool SceneGpu::upload(const Scene& s, const SceneIndex& index, GLint max_texture,
                      std::string& why) {
  free();
  std::vector<bool> usable(s.textures.size());
  textures_.assign(s.textures.size(), 0);
  for (size_t t = 0; t < s.textures.size(); ++t) {
    const Image& img = s.textures[t].image;
    usable[t] = texture_usable(img);
    if (!usable[t]) continue;
    if (img.width > max_texture || img.height > max_texture) {
      why = "texture " + s.textures[t].file + " is larger than the card's limit of " +
            std::to_string(max_texture);
      return false;
    }
    textures_[t] = upload_texture(img, t < index.mip_levels.size()
                                           ? std::span<const Image>(index.mip_levels[t])
                                           : std::span<const Image>());
  }
  Image white;
  white.width = white.height = 1;
  white.texels.assign(1, 0xFFFFFFFFu);
  white_ = upload_texture(white, {});
  lay_out_scene(s, index, usable, layout_);
  upload_mesh(world_, layout_.vertices, layout_.light, layout_.light.size(), layout_.indices,
              GL_STATIC_DRAW);
  upload_mesh(moving_, layout_.object_vertices, {}, layout_.object_vertices.size(),
              layout_.object_indices, GL_DYNAMIC_DRAW);
  // The CPU copies are not needed any more, except what each frame reads.
  layout_.vertices = {};
  layout_.light = {};
  layout_.indices = {};
  layout_.object_vertices = {};
  layout_.object_indices = {};
  const size_t groups = group_count(s.textures.size());
  counts_.assign(groups, {});
  offsets_.assign(groups, {});
  return true;
}

void SceneGpu::free() {
  for (Mesh* m : {&world_, &moving_}) {
    objects_.drop(glDeleteVertexArrays, m->vao);
    objects_.drop(glDeleteBuffers, m->positions);
    objects_.drop(glDeleteBuffers, m->light);
    objects_.drop(glDeleteBuffers, m->indices);
  }
  for (GLuint& t : textures_) objects_.drop(glDeleteTextures, t);
  textures_.clear();
  objects_.drop(glDeleteTextures, white_);
  layout_ = SceneLayout{};
}

void SceneGpu::forget() {
  world_ = moving_ = Mesh{};
  textures_.clear();
  white_ = 0;
  layout_ = SceneLayout{};
  objects_.forget();
}

void SceneGpu::draw(const Frame& frame, GLint mvp_uniform, const Mat4& view_proj) {
  float mvp[16];
  view_proj.to_gl(mvp);
  glUniformMatrix4fv(mvp_uniform, 1, GL_FALSE, mvp);
  draw_world(frame);
  draw_objects(frame, mvp_uniform, view_proj);
  glBindVertexArray(0);
}

void SceneGpu::upload_mesh(Mesh& m, const std::vector<PositionUv>& positions,
                           const std::vector<VertexLight>& light, size_t light_count,
                           const std::vector<uint32_t>& indices, GLenum light_usage) {
  m.vao = objects_.make(glGenVertexArrays);
  glBindVertexArray(m.vao);
  m.positions = objects_.make(glGenBuffers);
  glBindBuffer(GL_ARRAY_BUFFER, m.positions);
  glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(positions.size() * sizeof(positions[0])),
               positions.data(), GL_STATIC_DRAW);
  glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, sizeof(PositionUv), nullptr);
  glVertexAttribPointer(1, 2, GL_FLOAT, GL_FALSE, sizeof(PositionUv),
                        reinterpret_cast<const void*>(3 * sizeof(float)));
  glEnableVertexAttribArray(0);
  glEnableVertexAttribArray(1);
  m.light = objects_.make(glGenBuffers);
  glBindBuffer(GL_ARRAY_BUFFER, m.light);
  glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(light_count * sizeof(VertexLight)),
               light.empty() ? nullptr : light.data(), light_usage);
  glVertexAttribIPointer(2, 4, GL_UNSIGNED_SHORT, sizeof(VertexLight), nullptr);
  glVertexAttribIPointer(3, 4, GL_UNSIGNED_SHORT, sizeof(VertexLight),
                         reinterpret_cast<const void*>(4 * sizeof(uint16_t)));
  glEnableVertexAttribArray(2);
  glEnableVertexAttribArray(3);
  m.indices = objects_.make(glGenBuffers);
  glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, m.indices);
  glBufferData(GL_ELEMENT_ARRAY_BUFFER, static_cast<GLsizeiptr>(indices.size() * sizeof(uint32_t)),
               indices.data(), GL_STATIC_DRAW);
  glBindVertexArray(0);
}

// The CPU's own levels (not glGenerateMipmap), so that both back ends sample the same texels;
// nearest level, nearest texel in it, as the CPU picks them.
GLuint SceneGpu::upload_texture(const Image& full, std::span<const Image> levels) {
  const GLuint t = objects_.make(glGenTextures);
  glBindTexture(GL_TEXTURE_2D, t);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER,
                  levels.empty() ? GL_NEAREST : GL_NEAREST_MIPMAP_NEAREST);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, static_cast<GLint>(levels.size()));
  // 0xAARRGGBB in memory, little end first, is B, G, R, A.
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, full.width, full.height, 0, GL_BGRA, GL_UNSIGNED_BYTE,
               full.texels.data());
  for (size_t i = 0; i < levels.size(); ++i) {
    glTexImage2D(GL_TEXTURE_2D, static_cast<GLint>(i + 1), GL_RGBA8, levels[i].width,
                 levels[i].height, 0, GL_BGRA, GL_UNSIGNED_BYTE, levels[i].texels.data());
  }
  return t;
}

void SceneGpu::bind_group(uint32_t group) {
  const int32_t t = group_texture(group);
  glBindTexture(GL_TEXTURE_2D, t >= 0 && textures_[static_cast<size_t>(t)] != 0
                                   ? textures_[static_cast<size_t>(t)]
                                   : white_);
  if (group_one_sided(group)) {
    glEnable(GL_CULL_FACE);
  } else {
    glDisable(GL_CULL_FACE);
  }
}

void SceneGpu::draw_world(const Frame& frame) {
  for (auto& c : counts_) c.clear();
  for (auto& o : offsets_) o.clear();
  for (const uint32_t c : frame.chunks) {
    for (uint32_t r = layout_.chunk_ranges[c]; r < layout_.chunk_ranges[c + 1]; ++r) {
      const DrawRange& d = layout_.ranges[r];
      counts_[d.group].push_back(static_cast<GLsizei>(d.index_count));
      offsets_[d.group].push_back(
          reinterpret_cast<const void*>(static_cast<uintptr_t>(d.first_index) * 4));
    }
  }
  glBindVertexArray(world_.vao);
  for (uint32_t g = 0; g < counts_.size(); ++g) {
    if (counts_[g].empty()) continue;
    bind_group(g);
    glMultiDrawElements(GL_TRIANGLES, counts_[g].data(), GL_UNSIGNED_INT, offsets_[g].data(),
                        static_cast<GLsizei>(counts_[g].size()));
  }
}

void SceneGpu::draw_objects(const Frame& frame, GLint mvp_uniform, const Mat4& view_proj) {
  if (frame.objects.empty()) return;
  glBindVertexArray(moving_.vao);
  glBindBuffer(GL_ARRAY_BUFFER, moving_.light);
  for (const VisibleObject& o : frame.objects) {
    const uint32_t v0 = layout_.object_vertex_start[o.object];
    const uint32_t v1 = layout_.object_vertex_start[o.object + 1];
    object_light_.resize(v1 - v0);
    for (uint32_t v = v0; v < v1; ++v) {
      object_light_[v - v0] =
          encode_light(frame.object_light[o.first_light + layout_.object_vertex_polygon[v]]);
    }
    glBufferSubData(GL_ARRAY_BUFFER, static_cast<GLintptr>(v0 * sizeof(VertexLight)),
                    static_cast<GLsizeiptr>(object_light_.size() * sizeof(VertexLight)),
                    object_light_.data());
    float mvp[16];
    (view_proj * model(o.pose)).to_gl(mvp);
    glUniformMatrix4fv(mvp_uniform, 1, GL_FALSE, mvp);
    for (uint32_t r = layout_.object_range_start[o.object];
         r < layout_.object_range_start[o.object + 1]; ++r) {
      const DrawRange& d = layout_.object_ranges[r];
      bind_group(d.group);
      glDrawElements(GL_TRIANGLES, static_cast<GLsizei>(d.index_count), GL_UNSIGNED_INT,
                     reinterpret_cast<const void*>(static_cast<uintptr_t>(d.first_index) * 4));
    }
  }
}

}  // namespace znr::gl
