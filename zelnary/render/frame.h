// What the front end says about one frame, for a back end to draw: the view, the chunks in it
// nearest first, the moving objects and placed meshes in it with their poses.
// No clipping, projection or pixels: those are each back end's own.
#pragma once

#include <cstdint>
#include <vector>

#include "zelnary/render/scene_index.h"
#include "zelnary/render/view.h"
#include "zelnary/scene/scene.h"

namespace znr {

// An object in view, or one placement of a shared mesh (an object may then appear once per
// placement, each with its own pose). Its polygons' light follows from the pose (placed_light).
struct VisibleObject {
  uint32_t object = 0;  // into SceneIndex::objects (and Scene::objects)
  ObjectPose pose;
  // Its polygons lie in skins or morphs: they are drawn from the posed vertices, in world
  // coordinates, and the back end finds their light from the posed shape.
  bool skinned = false;
  // A shared mesh's level of detail: 0 for full detail, k for SceneIndex::levels[first_level +
  // k - 1] of its group.
  uint8_t level = 0;
};

// A skin of an object in view, posed by Frame::skin_matrices[first_matrix ...] (one per bone).
struct VisibleSkin {
  uint32_t skin = 0;  // into Scene::skins
  uint32_t first_matrix = 0;
  int32_t morph = -1;  // into Scene::morphs: a morph of the same range, applied before the skin
};

// A morph of an object in view that no skin moves: morphed, then placed by the object's pose.
struct VisibleMorph {
  uint32_t morph = 0;  // into Scene::morphs
  ObjectPose pose;
};

struct Frame {
  const Scene* scene = nullptr;
  const SceneIndex* index = nullptr;
  View view;
  uint32_t background = 0xFF000000u;  // 0xFFRRGGBB
  // Into SceneIndex::chunks, nearest first: grid cells, and blocks standing for theirs.
  std::vector<uint32_t> chunks;
  // Parallel to chunks: 0 to draw the chunk in full, k for its level k (Chunk::first_level +
  // k - 1 in SceneIndex::levels); never 0 for a block.
  std::vector<uint8_t> chunk_level;
  std::vector<VisibleObject> objects;  // those in view, by object, then the placements in view
  std::vector<VisibleSkin> skins;
  std::vector<Affine> skin_matrices;  // per bone of each skin: bind space to world
  std::vector<VisibleMorph> morphs;
  // All morphs' weights this frame (Morph::first_weight); empty for a scene without morphs.
  std::vector<float> morph_weights;
};

}  // namespace znr
