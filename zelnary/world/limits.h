// Caps on what a world file may hold. Each is checked before the memory it implies is taken,
// so that a hostile or broken file fails with a clear error instead of exhausting memory.
#pragma once

#include <cstddef>
#include <cstdint>

namespace znr::world_limits {

constexpr uint64_t kMaxFileBytes = 512ull << 20;
constexpr size_t kMaxLineBytes = 65536;
constexpr size_t kMaxNameBytes = 255;  // texture, object and camera names, texture file names

constexpr size_t kMaxPolygons = size_t{1} << 24;  // 16,777,216
constexpr size_t kMaxVertices = size_t{1} << 26;  // 67,108,864, over all polygons
constexpr uint32_t kMaxPolygonVertices = 64;
constexpr size_t kMaxTextures = 4096;
constexpr size_t kMaxObjects = 4096;
constexpr size_t kMaxWaypoints = 65536;             // per object
constexpr size_t kMaxPlacements = size_t{1} << 20;  // 1,048,576 uses of shared meshes in all
constexpr size_t kMaxCameras = 1024;
constexpr size_t kMaxAnimations = 1024;
constexpr size_t kMaxChannels = 65536;        // per animation
constexpr size_t kMaxKeys = size_t{1} << 20;  // per channel
constexpr size_t kMaxSkinBones = 1024;        // bones of one skin (imported models only)
constexpr size_t kMaxVertexWeights = 16;      // weights given for one vertex of a skin
// Morph targets of one mesh (imported models only); a file's mesh with more keeps its first.
constexpr size_t kMaxMorphTargets = 64;
constexpr double kMaxKeyTime = 1e6;  // seconds, also an animation's longest length

constexpr double kMaxCoordinate = 1e8;              // |x|, |y|, |z| of vertices, waypoints, cameras
constexpr double kMaxTextureCoordinate = 1e6;       // |u|, |v|
constexpr double kMaxSpeed = 1e6;                   // world units per second
constexpr double kMinZoom = 1.0, kMaxZoom = 170.0;  // horizontal field of view, degrees

}  // namespace znr::world_limits
