// From assimp's scene to our world axes: the file's up axis and unit (where assimp reports
// them), node transforms, and the pose of animated nodes over time.
#pragma once

#include <assimp/anim.h>
#include <assimp/scene.h>

namespace znr::importer {

// Takes the file's coordinates to ours: z up, x to the file's right, the file's front towards
// -y, and metres where the file names its unit. assimp gives most formats y up; FBX reports
// its axes and unit in the scene's metadata.
aiMatrix4x4 world_axes(const aiScene& scene);

// The transform from a node's space to the root's.
aiMatrix4x4 global_transform(const aiNode* node);

// A node's local transform at `ticks` from its animation channel (keys interpolated linearly,
// rotations by slerp; times outside the keys hold the nearest key). What the channel has no
// keys for comes from the node's own transform, rest.
aiMatrix4x4 channel_transform(const aiNodeAnim& channel, const aiMatrix4x4& rest, double ticks);

}  // namespace znr::importer
