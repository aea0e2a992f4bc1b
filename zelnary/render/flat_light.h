// The flat light of one polygon, found once per scene for static polygons and once per frame
// for those of moving objects and shared meshes, and shared by every back end.
#pragma once

#include "zelnary/core/vec3.h"
#include "zelnary/render/scene_index.h"
#include "zelnary/scene/scene.h"

namespace znr {

// The normal (Newell's, robust when the first vertices happen to be in a line) on the side
// from which the vertices run counter-clockwise; not unit length.
Vec3 polygon_normal(const Scene& scene, const Polygon& p);
// The same over other vertices indexed like the scene's (a skin's posed ones).
Vec3 polygon_normal(std::span<const Vertex> vertices, const Polygon& p);

// Ambient plus the sun by the cosine of its angle to the normal of the side seen, times the
// polygon's colour; channels that are not finite become 0. normal: world orientation.
PolygonLight flat_light(const Scene& scene, const Polygon& p, const Vec3& normal);

// The flat light of a polygon of an object (or a shared mesh) placed by pose: its plane turned
// with the object. Back ends find it as they draw, since objects turn from frame to frame.
inline PolygonLight placed_light(const Scene& scene, const Polygon& p, const ObjectPose& pose) {
  return flat_light(scene, p, turn_normal(pose, polygon_normal(scene, p)));
}
// The same for a polygon over other vertices (a shared mesh's level of detail).
inline PolygonLight placed_light(const Scene& scene, std::span<const Vertex> vertices,
                                 const Polygon& p, const ObjectPose& pose) {
  return flat_light(scene, p, turn_normal(pose, polygon_normal(vertices, p)));
}

}  // namespace znr
