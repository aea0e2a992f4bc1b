// A scene on the card: its textures, and its geometry in the buffers that SceneLayout plans,
// uploaded once; each frame draws the visible chunks group by group (one multi-draw each) and
// the visible objects with their model matrices and this frame's light. The context must be
// current for every call but forget().
#pragma once

#include <epoxy/gl.h>

#include <span>
#include <string>
#include <vector>

#include "zelnary/gl/gl_matrices.h"
#include "zelnary/gl/gl_objects.h"
#include "zelnary/gl/scene_layout.h"
#include "zelnary/render/frame.h"

namespace znr::gl {

class SceneGpu {
 public:
  // Replaces what was uploaded before. false: why (a texture above max_texture).
  bool upload(const Scene& scene, const SceneIndex& index, GLint max_texture, std::string& why);
  // Deletes every object.
  void free();
  // The context went, and its objects with it.
  void forget();
  // Draws the frame with the bound program; mvp_uniform gets view_proj (times each object's
  // model matrix).
  void draw(const Frame& frame, GLint mvp_uniform, const Mat4& view_proj);
  int32_t live_objects() const { return objects_.live(); }

 private:
  struct Mesh {
    GLuint vao = 0, positions = 0, light = 0, indices = 0;
  };
  void upload_mesh(Mesh& m, const std::vector<PositionUv>& positions,
                   const std::vector<VertexLight>& light, size_t light_count,
                   const std::vector<uint32_t>& indices, GLenum light_usage);
  GLuint upload_texture(const Image& full, std::span<const Image> levels);
  void bind_group(uint32_t group);
  void draw_world(const Frame& frame);
  void draw_objects(const Frame& frame, GLint mvp_uniform, const Mat4& view_proj);

  GlObjects objects_;
  SceneLayout layout_;
  Mesh world_, moving_;
  std::vector<GLuint> textures_;  // per scene texture; 0: drawn flat
  GLuint white_ = 0;              // the texture of flat polygons
  // Per frame, kept for their capacity.
  std::vector<std::vector<GLsizei>> counts_;
  std::vector<std::vector<const void*>> offsets_;
  std::vector<VertexLight> object_light_;
};

}  // namespace znr::gl
