// The flat light of one polygon, found once per scene for static polygons and once per frame
// for those of moving objects, and shared by every back end.
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

}  // namespace znr
