// Geometry the OpenGL back end makes afresh every frame on the CPU, in world coordinates:
// - the moving objects' shaded polygons, whose light turns with them;
// - at accuracy 0, every polygon that crosses the view's edges, cut to the view and fanned
//   exactly as the CPU back end cuts and fans it, so that the screen-linear texture mapping
//   runs over the same triangles on both back ends (a triangle the card clips itself keeps
//   its mapping over the whole triangle, off-screen part included); for a chunk drawn at one
//   of its levels of detail, the level's triangles.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "zelnary/gl/scene_layout.h"
#include "zelnary/render/view.h"

namespace znr::gl {

// Whether the box lies wholly inside the view, where nothing in it is cut.
bool box_inside_view(const View& view, const Vec3& lo, const Vec3& hi);

class FrameStream {
 public:
  // Empties the stream for a frame seen through view.
  void begin(const Scene& scene, const View& view, const std::vector<bool>& usable);
  // Polygon p with its flat light (used where it has no shade per vertex); pose: its object's,
  // nullptr for static geometry. cut: cut it to the view where it crosses an edge.
  void add(const Polygon& p, const ObjectPose* pose, const PolygonLight& light, bool cut);
  // A triangle of a chunk's (or, placed by pose, a shared mesh's) level of detail, its corners
  // in vertices (SceneIndex::lod_vertices), cut like a static polygon; always with its flat
  // light, as on the CPU.
  void add_simplified(const Polygon& p, std::span<const Vertex> vertices, const PolygonLight& light,
                      const ObjectPose* pose = nullptr);
  // A polygon of a skin, its corners and normals posed in world coordinates (indexed like the
  // scene's), lit like the scene's own polygons.
  void add_skinned(const Polygon& p, std::span<const Vertex> vertices,
                   std::span<const Normal> normals, const PolygonLight& light, bool cut);
  // Gathers each kind's triangles by draw group into the index lists below.
  void finish();

  std::vector<PositionUv> flat_vertices;
  std::vector<VertexLight> flat_light;
  std::vector<uint32_t> flat_indices;
  std::vector<DrawRange> flat_ranges;

  std::vector<PositionUv> shaded_vertices;
  std::vector<ShadeAttributes> shade;
  std::vector<uint32_t> shaded_indices;  // those that blend last
  std::vector<DrawRange> shaded_ranges;
  std::vector<BlendPolygon> blend;

 private:
  struct CutVertex {
    double x, y, z, u, v;  // camera space (forward, right, up) and texture coordinates
    ShadeAttributes shade;
  };
  // shaded: p has a shade per vertex (the scene's polygons only), normals: those of vertices.
  void add(const Polygon& p, std::span<const Vertex> vertices, bool shaded, const ObjectPose* pose,
           const PolygonLight& light, bool cut, std::span<const Normal> normals = {});
  void cut(int plane);
  void gather(std::vector<std::vector<uint32_t>>& by_group, std::vector<uint32_t>& indices,
              std::vector<DrawRange>& ranges);

  const Scene* scene_ = nullptr;
  View view_;
  const std::vector<bool>* usable_ = nullptr;
  std::vector<CutVertex> poly_, scratch_;
  std::vector<std::vector<uint32_t>> flat_by_group_, shaded_by_group_;
  std::vector<uint32_t> blend_indices_;
};

}  // namespace znr::gl
