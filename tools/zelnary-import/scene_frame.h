// From assimp's scene to our world axes: the file's up axis and unit (where assimp reports
// them), node transforms, and the pose of animated nodes over time.
#pragma once

#include <assimp/anim.h>
#include <assimp/scene.h>

#include <optional>
#include <string>

#include "zelnary/import/up_axis.h"

namespace znr::importer {

// Whether a file of this name is of a format written z up that assimp passes on unturned and
// without saying so (Blender, 3MF, AMF, HMP, SMD, Quick3D, Caligari, Character Studio).
bool is_z_up_format(const std::string& path);

// Takes the file's coordinates to ours: z up, x to the file's right, the file's front towards
// -y, and metres where the file names its unit. The up axis is the user's choice when given,
// else the one the scene's metadata reports (FBX), else z for the formats written z up, else
// y (what assimp gives most formats). Without metadata the front goes with the up axis: +z
// for y up (glTF), -y for z up (Blender's front view).
aiMatrix4x4 world_axes(const aiScene& scene, std::optional<UpAxis> chosen, bool z_up_format);

// The transform from a node's space to the root's.
aiMatrix4x4 global_transform(const aiNode* node);

}  // namespace znr::importer
