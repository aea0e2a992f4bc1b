#include "zelnary/gl/scene_gpu.h"

#include "zelnary/render/flat_light.h"

#include <algorithm>
#include <cstdint>
#include <span>
#include <utility>

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
  usable_ = std::move(usable);
  make_mesh(world_, false);
  fill(world_, layout_.vertices, layout_.light, layout_.light.size(), layout_.indices,
       GL_STATIC_DRAW);
  make_mesh(moving_, false);
  fill(moving_, layout_.object_vertices, std::vector<VertexLight>{}, layout_.object_vertices.size(),
       layout_.object_indices, GL_DYNAMIC_DRAW);
  make_mesh(shaded_, true);
  fill(shaded_, layout_.shaded.vertices, layout_.shaded.shade, layout_.shaded.shade.size(),
       layout_.shaded.indices, GL_STATIC_DRAW);
  make_mesh(stream_flat_, false);
  make_mesh(stream_shaded_, true);
  // The CPU copies are not needed any more, except what each frame reads.
  layout_.vertices = {};
  layout_.light = {};
  layout_.indices = {};
  layout_.object_vertices = {};
  layout_.object_indices = {};
  layout_.shaded.vertices = {};
  layout_.shaded.shade = {};
  layout_.shaded.indices = {};
  upload_levels(index);
  const size_t groups = group_count(s.textures.size());
  counts_.assign(groups, {});
  offsets_.assign(groups, {});
  return true;
}

void SceneGpu::upload_levels(const SceneIndex& index) {
  free_levels();
  levels_uploaded_ = index.levels.size();
  if (index.levels.empty()) return;
  lay_out_levels(index, usable_, levels_layout_);
  make_mesh(levels_, false);
  fill(levels_, levels_layout_.vertices, levels_layout_.light, levels_layout_.light.size(),
       levels_layout_.indices, GL_STATIC_DRAW);
  levels_layout_.vertices = {};
  levels_layout_.light = {};
  levels_layout_.indices = {};
}

void SceneGpu::drop_mesh(Mesh& m) {
  objects_.drop(glDeleteVertexArrays, m.vao);
  objects_.drop(glDeleteBuffers, m.positions);
  objects_.drop(glDeleteBuffers, m.light);
  objects_.drop(glDeleteBuffers, m.indices);
}

void SceneGpu::free_levels() {
  drop_mesh(levels_);
  levels_layout_ = LevelLayout{};
  levels_uploaded_ = 0;
}

void SceneGpu::free() {
  for (Mesh* m : {&world_, &moving_, &shaded_, &stream_flat_, &stream_shaded_}) drop_mesh(*m);
  free_levels();
  for (GLuint& t : textures_) objects_.drop(glDeleteTextures, t);
  textures_.clear();
  objects_.drop(glDeleteTextures, white_);
  layout_ = SceneLayout{};
  usable_.clear();
}

void SceneGpu::forget() {
  world_ = moving_ = shaded_ = levels_ = stream_flat_ = stream_shaded_ = Mesh{};
  levels_layout_ = LevelLayout{};
  levels_uploaded_ = 0;
  textures_.clear();
  white_ = 0;
  layout_ = SceneLayout{};
  usable_.clear();
  objects_.forget();
}

void SceneGpu::draw(const Frame& frame, const Program& flat, const Program& shaded,
                    const Mat4& view_proj, bool affine) {
  if (frame.scene == nullptr || frame.index == nullptr) return;  // nothing found to draw
  if (frame.index->levels.size() != levels_uploaded_) upload_levels(*frame.index);
  stream_frame(frame, affine);
  float mvp[16];
  view_proj.to_gl(mvp);
  glUseProgram(flat.id);
  glUniformMatrix4fv(flat.mvp, 1, GL_FALSE, mvp);
  draw_chunks(world_, chunks_, layout_.chunk_ranges, layout_.ranges);
  draw_chunks(levels_, levels_drawn_, levels_layout_.level_ranges, levels_layout_.ranges);
  if (!affine) {
    draw_objects(frame, flat.mvp, view_proj);
    glUniformMatrix4fv(flat.mvp, 1, GL_FALSE, mvp);
  }
  draw_ranges(stream_flat_, stream_.flat_ranges);
  if (!layout_.shaded.ranges.empty() || !layout_.shaded.blend.empty() ||
      !stream_.shaded_indices.empty()) {
    glUseProgram(shaded.id);
    glUniformMatrix4fv(shaded.mvp, 1, GL_FALSE, mvp);
    const Vec3& eye = frame.view.eye;
    const Vec3 to_light = normalized(frame.scene->lighting.sun_direction);
    glUniform3f(shaded.eye, static_cast<float>(eye.x), static_cast<float>(eye.y),
                static_cast<float>(eye.z));
    glUniform3f(shaded.to_light, static_cast<float>(to_light.x), static_cast<float>(to_light.y),
                static_cast<float>(to_light.z));
    draw_chunks(shaded_, chunks_, layout_.shaded.chunk_ranges, layout_.shaded.ranges);
    draw_ranges(stream_shaded_, stream_.shaded_ranges);
    draw_blended(frame);
  }
  glBindVertexArray(0);
}

void SceneGpu::make_mesh(Mesh& m, bool shaded) {
  m.vao = objects_.make(glGenVertexArrays);
  glBindVertexArray(m.vao);
  m.positions = objects_.make(glGenBuffers);
  glBindBuffer(GL_ARRAY_BUFFER, m.positions);
  glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, sizeof(PositionUv), nullptr);
  glVertexAttribPointer(1, 2, GL_FLOAT, GL_FALSE, sizeof(PositionUv),
                        reinterpret_cast<const void*>(3 * sizeof(float)));
  glEnableVertexAttribArray(0);
  glEnableVertexAttribArray(1);
  m.light = objects_.make(glGenBuffers);
  glBindBuffer(GL_ARRAY_BUFFER, m.light);
  if (shaded) {
    // mul front, mul back, add front, add back, normal, specular with shininess, alpha with
    // cutoff: float after float, as ShadeAttributes lays them out.
    const GLint sizes[] = {3, 3, 3, 3, 3, 4, 2};
    size_t offset = 0;
    for (GLuint a = 0; a < 7; ++a) {
      glVertexAttribPointer(a + 2, sizes[a], GL_FLOAT, GL_FALSE, sizeof(ShadeAttributes),
                            reinterpret_cast<const void*>(offset));
      glEnableVertexAttribArray(a + 2);
      offset += static_cast<size_t>(sizes[a]) * sizeof(float);
    }
  } else {
    glVertexAttribIPointer(2, 4, GL_UNSIGNED_SHORT, sizeof(VertexLight), nullptr);
    glVertexAttribIPointer(3, 4, GL_UNSIGNED_SHORT, sizeof(VertexLight),
                           reinterpret_cast<const void*>(4 * sizeof(uint16_t)));
    glEnableVertexAttribArray(2);
    glEnableVertexAttribArray(3);
  }
  m.indices = objects_.make(glGenBuffers);
  glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, m.indices);
  glBindVertexArray(0);
}

template <typename T>
void SceneGpu::fill(const Mesh& m, const std::vector<PositionUv>& positions,
                    const std::vector<T>& light, size_t light_count,
                    const std::vector<uint32_t>& indices, GLenum usage) {
  glBindVertexArray(m.vao);
  glBindBuffer(GL_ARRAY_BUFFER, m.positions);
  glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(positions.size() * sizeof(PositionUv)),
               positions.data(), usage);
  glBindBuffer(GL_ARRAY_BUFFER, m.light);
  glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(light_count * sizeof(T)),
               light.empty() ? nullptr : light.data(), usage);
  glBufferData(GL_ELEMENT_ARRAY_BUFFER, static_cast<GLsizeiptr>(indices.size() * sizeof(uint32_t)),
               indices.data(), usage);
  glBindVertexArray(0);
}

namespace {

// Whether a placement of a shared mesh is drawn from its chosen level (streamed) rather than
// from the card's object meshes; a level lit per vertex is not, as for chunks.
bool draws_mesh_level(const SceneIndex& index, const VisibleObject& o) {
  const ObjectGroup& g = index.objects[o.object];
  return o.level > 0 && o.level <= g.level_count &&
         !index.levels[g.first_level + o.level - 1u].shaded;
}

}  // namespace

// Sorts the frame's chunks into those drawn in full and the levels drawn for the others, from
// the uploaded buffers. What the frame makes on the CPU: the objects' shaded polygons always;
// at accuracy 0 every polygon of the chunks that cross the view's edges (of the level chosen)
// and of the objects, cut as the CPU cuts.
void SceneGpu::stream_frame(const Frame& frame, bool affine) {
  const Scene& scene = *frame.scene;
  const SceneIndex& index = *frame.index;
  stream_.begin(scene, frame.view, usable_);
  chunks_.clear();
  levels_drawn_.clear();
  // A chunk in full; a block of chunks, which has levels only, by its chunks in full.
  auto draw_full = [&](auto& self, uint32_t c) -> void {
    const Chunk& chunk = index.chunks[c];
    for (uint32_t i = chunk.first_child; i < chunk.first_child + chunk.child_count; ++i)
      if (i < index.children.size() && index.children[i] < c) self(self, index.children[i]);
    if (chunk.begin == chunk.end) return;
    if (!affine || box_inside_view(frame.view, chunk.lo, chunk.hi)) {
      chunks_.push_back(c);
      return;
    }
    for (uint32_t k = chunk.begin; k < chunk.end; ++k) {
      stream_.add(scene.polygons[index.order[k]], nullptr, index.light[k], true);
    }
  };
  for (size_t i = 0; i < frame.chunks.size(); ++i) {
    const uint32_t c = frame.chunks[i];
    const Chunk& chunk = index.chunks[c];
    const bool inside = !affine || box_inside_view(frame.view, chunk.lo, chunk.hi);
    const uint32_t level = i < frame.chunk_level.size() ? frame.chunk_level[i] : 0;
    // A level not on the card leaves its chunk in full; so does one lit per vertex, which
    // the card's level buffers, lit flat, cannot draw.
    if (level > 0 && level <= chunk.level_count && chunk.first_level + level <= levels_uploaded_ &&
        !index.levels[chunk.first_level + level - 1].shaded) {
      const uint32_t l = chunk.first_level + level - 1;
      if (inside) {
        levels_drawn_.push_back(l);
        continue;
      }
      for (uint32_t k = index.levels[l].begin; k < index.levels[l].end; ++k) {
        stream_.add_simplified(index.lod_polygons[k], index.lod_vertices, index.lod_light[k]);
      }
      continue;
    }
    draw_full(draw_full, c);
  }
  // Skins are posed here on the CPU, as the CPU back end poses them, and streamed whole.
  if (posed_.begin(frame)) posed_.pose(frame, 0, 1);
  for (const VisibleObject& o : frame.objects) {
    const ObjectGroup& g = index.objects[o.object];
    if (o.skinned) {
      for (uint32_t k = g.begin; k < g.end; ++k) {
        const Polygon& p = scene.polygons[index.order[k]];
        stream_.add_skinned(p, posed_.vertices(), posed_.normals(),
                            flat_light(scene, p, polygon_normal(posed_.vertices(), p)), affine);
      }
      continue;
    }
    // A shared mesh's level, made here as the CPU back end makes it.
    if (draws_mesh_level(index, o)) {
      const ChunkLevel& l = index.levels[g.first_level + o.level - 1u];
      for (uint32_t k = l.begin; k < l.end; ++k) {
        const Polygon& p = index.lod_polygons[k];
        stream_.add_simplified(p, index.lod_vertices,
                               placed_light(scene, index.lod_vertices, p, o.pose), &o.pose);
      }
      continue;
    }
    for (uint32_t k = g.begin; k < g.end; ++k) {
      if (!affine && layout_.vertex_shaded[k] == 0) continue;  // drawn from the object meshes
      const Polygon& p = scene.polygons[index.order[k]];
      stream_.add(p, &o.pose, placed_light(scene, p, o.pose), affine);
    }
  }
  stream_.finish();
  if (!stream_.flat_indices.empty()) {
    fill(stream_flat_, stream_.flat_vertices, stream_.flat_light, stream_.flat_light.size(),
         stream_.flat_indices, GL_STREAM_DRAW);
  }
  if (!stream_.shaded_indices.empty()) {
    fill(stream_shaded_, stream_.shaded_vertices, stream_.shade, stream_.shade.size(),
         stream_.shaded_indices, GL_STREAM_DRAW);
  }
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

void SceneGpu::draw_chunks(const Mesh& mesh, const std::vector<uint32_t>& ids,
                           const std::vector<uint32_t>& starts,
                           const std::vector<DrawRange>& ranges) {
  if (ranges.empty() || ids.empty()) return;
  for (auto& c : counts_) c.clear();
  for (auto& o : offsets_) o.clear();
  for (const uint32_t id : ids) {
    for (uint32_t r = starts[id]; r < starts[id + 1]; ++r) {
      const DrawRange& d = ranges[r];
      counts_[d.group].push_back(static_cast<GLsizei>(d.index_count));
      offsets_[d.group].push_back(
          reinterpret_cast<const void*>(static_cast<uintptr_t>(d.first_index) * 4));
    }
  }
  glBindVertexArray(mesh.vao);
  for (uint32_t g = 0; g < counts_.size(); ++g) {
    if (counts_[g].empty()) continue;
    bind_group(g);
    glMultiDrawElements(GL_TRIANGLES, counts_[g].data(), GL_UNSIGNED_INT, offsets_[g].data(),
                        static_cast<GLsizei>(counts_[g].size()));
  }
}

void SceneGpu::draw_ranges(const Mesh& mesh, const std::vector<DrawRange>& ranges) {
  if (ranges.empty()) return;
  glBindVertexArray(mesh.vao);
  for (const DrawRange& d : ranges) {
    bind_group(d.group);
    glDrawElements(GL_TRIANGLES, static_cast<GLsizei>(d.index_count), GL_UNSIGNED_INT,
                   reinterpret_cast<const void*>(static_cast<uintptr_t>(d.first_index) * 4));
  }
}

// After everything opaque: each polygon mixed over what is behind it, the farthest first by
// the mean depth of its corners; tested against the depth, which it leaves as it is.
void SceneGpu::draw_blended(const Frame& frame) {
  blended_.clear();
  const View& v = frame.view;
  auto depth = [&](const BlendPolygon& b) {
    return dot(Vec3{b.center[0], b.center[1], b.center[2]} - v.eye, v.forward);
  };
  const ShadedLayout& l = layout_.shaded;
  for (const uint32_t c : chunks_) {
    for (uint32_t b = l.chunk_blend[c]; b < l.chunk_blend[c + 1]; ++b) {
      blended_.push_back({depth(l.blend[b]), &shaded_, &l.blend[b]});
    }
  }
  for (const BlendPolygon& b : stream_.blend) blended_.push_back({depth(b), &stream_shaded_, &b});
  if (blended_.empty()) return;
  std::stable_sort(blended_.begin(), blended_.end(),
                   [](const Blended& a, const Blended& b) { return a.depth > b.depth; });
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glDepthMask(GL_FALSE);
  const Mesh* bound = nullptr;
  for (const Blended& b : blended_) {
    if (b.mesh != bound) glBindVertexArray(b.mesh->vao);
    bound = b.mesh;
    bind_group(b.polygon->group);
    glDrawElements(
        GL_TRIANGLES, static_cast<GLsizei>(b.polygon->index_count), GL_UNSIGNED_INT,
        reinterpret_cast<const void*>(static_cast<uintptr_t>(b.polygon->first_index) * 4));
  }
  glDepthMask(GL_TRUE);
  glDisable(GL_BLEND);
}

namespace {

// Whether two poses turn an object's planes alike (and so light it alike): moves aside.
bool same_turn(const ObjectPose& a, const ObjectPose& b) {
  if (a.general != b.general) return false;
  if (!a.general) return a.heading_deg == b.heading_deg;
  return std::equal(&a.linear[0][0], &a.linear[0][0] + 9, &b.linear[0][0]);
}

}  // namespace

void SceneGpu::draw_objects(const Frame& frame, GLint mvp_uniform, const Mat4& view_proj) {
  if (frame.objects.empty()) return;
  glBindVertexArray(moving_.vao);
  glBindBuffer(GL_ARRAY_BUFFER, moving_.light);
  const VisibleObject* lit = nullptr;  // whose light the buffer holds
  for (const VisibleObject& o : frame.objects) {
    if (o.skinned || draws_mesh_level(*frame.index, o)) continue;  // streamed
    const uint32_t v0 = layout_.object_vertex_start[o.object];
    const uint32_t v1 = layout_.object_vertex_start[o.object + 1];
    const ObjectGroup& g = frame.index->objects[o.object];
    // Placements of a mesh that stand alike (rows of upright trees) share their light: only
    // the first of a run is lit and uploaded.
    const bool relit = !lit || lit->object != o.object || !same_turn(lit->pose, o.pose);
    lit = &o;
    if (relit) {
      polygon_light_.clear();
      for (uint32_t k = g.begin; k < g.end; ++k) {
        const Polygon& p = frame.scene->polygons[frame.index->order[k]];
        polygon_light_.push_back(encode_light(placed_light(*frame.scene, p, o.pose)));
      }
      object_light_.resize(v1 - v0);
      for (uint32_t v = v0; v < v1; ++v)
        object_light_[v - v0] = polygon_light_[layout_.object_vertex_polygon[v]];
      glBufferSubData(GL_ARRAY_BUFFER, static_cast<GLintptr>(v0 * sizeof(VertexLight)),
                      static_cast<GLsizeiptr>(object_light_.size() * sizeof(VertexLight)),
                      object_light_.data());
    }
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
