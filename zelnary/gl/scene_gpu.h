// A scene on the card: its textures, and its geometry in the buffers that SceneLayout plans,
// uploaded once, and the chunks' levels of detail once they are in the index; each frame draws
// the visible chunks, each at the level the frame chose, group by group (one multi-draw each),
// the visible objects with their model matrices and this frame's light, then what the frame
// makes on the CPU (FrameStream), then the polygons that blend, far to near. The context must
// be current for every call but forget().
#pragma once

#include <epoxy/gl.h>

#include <span>
#include <string>
#include <vector>

#include "zelnary/gl/frame_stream.h"
#include "zelnary/gl/gl_matrices.h"
#include "zelnary/gl/gl_objects.h"
#include "zelnary/gl/gl_programs.h"
#include "zelnary/gl/scene_layout.h"
#include "zelnary/render/frame.h"
#include "zelnary/render/posed_skins.h"

namespace znr::gl {

class SceneGpu {
 public:
  // Replaces what was uploaded before. false: why (a texture above max_texture).
  bool upload(const Scene& scene, const SceneIndex& index, GLint max_texture, std::string& why);
  // Uploads the index's levels of detail where they are not those on the card (they come in
  // after the first frames); a frame drawn before draws its chunks in full.
  void upload_levels(const SceneIndex& index);
  // Deletes every object.
  void free();
  // The context went, and its objects with it.
  void forget();
  // Draws the frame: flat light with flat, shades per vertex with shaded. affine: the texture
  // mapping is linear on screen, over the triangles the CPU back end cuts and fans.
  void draw(const Frame& frame, const Program& flat, const Program& shaded, const Mat4& view_proj,
            bool affine);
  int32_t live_objects() const { return objects_.live(); }

 private:
  struct Mesh {
    GLuint vao = 0, positions = 0, light = 0, indices = 0;
  };
  // A vertex array with its buffers; light holds VertexLight, or ShadeAttributes when shaded.
  void make_mesh(Mesh& m, bool shaded);
  template <typename T>
  static void fill(const Mesh& m, const std::vector<PositionUv>& positions,
                   const std::vector<T>& light, size_t light_count,
                   const std::vector<uint32_t>& indices, GLenum usage);
  GLuint upload_texture(const Image& full, std::span<const Image> levels);
  void bind_group(uint32_t group);
  // The ranges of the chunks or levels ids (starts[id] to starts[id + 1] in ranges), one
  // multi-draw per group.
  void draw_chunks(const Mesh& mesh, const std::vector<uint32_t>& ids,
                   const std::vector<uint32_t>& starts, const std::vector<DrawRange>& ranges);
  // Frees the levels' buffers.
  void free_levels();
  void drop_mesh(Mesh& m);
  void draw_ranges(const Mesh& mesh, const std::vector<DrawRange>& ranges);
  void draw_objects(const Frame& frame, GLint mvp_uniform, const Mat4& view_proj);
  void stream_frame(const Frame& frame, bool affine);
  void draw_blended(const Frame& frame);

  GlObjects objects_;
  SceneLayout layout_;
  std::vector<bool> usable_;  // per scene texture: can be sampled
  Mesh world_, moving_, shaded_, levels_;
  LevelLayout levels_layout_;         // its ranges only, once uploaded
  size_t levels_uploaded_ = 0;        // SceneIndex::levels on the card
  Mesh stream_flat_, stream_shaded_;  // refilled every frame
  std::vector<GLuint> textures_;      // per scene texture; 0: drawn flat
  GLuint white_ = 0;                  // the texture of flat polygons
  // Per frame, kept for their capacity.
  std::vector<uint32_t> chunks_;        // those drawn in full from the uploaded buffers
  std::vector<uint32_t> levels_drawn_;  // the levels (into SceneIndex::levels) drawn from them
  std::vector<std::vector<GLsizei>> counts_;
  std::vector<std::vector<const void*>> offsets_;
  std::vector<VertexLight> object_light_;
  std::vector<VertexLight> polygon_light_;  // an object's polygons, lit as it is placed now
  FrameStream stream_;
  PosedSkins posed_;
  struct Blended {
    double depth;
    const Mesh* mesh;
    const BlendPolygon* polygon;
  };
  std::vector<Blended> blended_;
};

}  // namespace znr::gl
