// What the front end says about one frame, for a back end to draw: the view, the chunks in it
// nearest first, the moving objects in it with their poses, and the light of their polygons.
// No clipping, projection or pixels: those are each back end's own.
#pragma once

#include <cstdint>
#include <vector>

#include "zelnary/render/scene_index.h"
#include "zelnary/render/view.h"
#include "zelnary/scene/scene.h"

namespace znr {

struct VisibleObject {
  uint32_t object = 0;  // into SceneIndex::objects (and Scene::objects)
  ObjectPose pose;
  // Its polygons' light, in SceneIndex::order's order, start at Frame::object_light[first_light].
  uint32_t first_light = 0;
  // Its polygons lie in skins or morphs: they are drawn from the posed vertices, in world
  // coordinates, and the back end finds their light from the posed shape.
  bool skinned = false;
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
  std::vector<uint32_t> chunks;       // into SceneIndex::chunks, nearest first
  // Parallel to chunks: 0 to draw the chunk in full, k for its level k (Chunk::first_level +
  // k - 1 in SceneIndex::levels).
  std::vector<uint8_t> chunk_level;
  std::vector<VisibleObject> objects;      // those in view, by object
  std::vector<PolygonLight> object_light;  // placeholders for skinned objects
  std::vector<VisibleSkin> skins;
  std::vector<Affine> skin_matrices;  // per bone of each skin: bind space to world
  std::vector<VisibleMorph> morphs;
  // All morphs' weights this frame (Morph::first_weight); empty for a scene without morphs.
  std::vector<float> morph_weights;
};

}  // namespace znr
