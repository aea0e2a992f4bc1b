// Vertex normals made by averaging the planes of polygons that meet at a point: what a world's
// "smooth" polygons ask for.
#pragma once

#include <cstdint>
#include <span>

#include "zelnary/scene/scene.h"

namespace znr {

struct SmoothPolygon {
  uint32_t polygon = 0;     // into Scene::polygons
  float cos_crease = 0.5f;  // neighbours whose plane turns further than this are left out
};

// Gives each vertex of the listed polygons that has no normal yet (Normal::none) the unit
// average of the plane normals of the listed polygons with a vertex at exactly the same
// position (and in the same object), counting only those whose plane is within the crease
// angle of the vertex's own polygon. Scene::normals is made parallel to Scene::vertices first
// when it is empty. Runs in O(n log n) for n vertices, whatever the sharing: at a point shared
// by many polygons the neighbours are compared in at most kMaxPlaneGroups groups of planes.
void smooth_normals(Scene& scene, std::span<const SmoothPolygon> smooth);

constexpr size_t kMaxPlaneGroups = 64;

}  // namespace znr
