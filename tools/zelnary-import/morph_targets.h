// Morph targets as the stream carries them: which nodes must become keyframed nodes for their
// meshes to change shape, the Morph record after a mesh, and an animation's Weights channels.
#pragma once

#include <assimp/anim.h>
#include <assimp/mesh.h>
#include <assimp/scene.h>

#include <cstdint>
#include <string>
#include <unordered_set>
#include <vector>

#include "stream_writer.h"

namespace znr::importer {

// How many of the mesh's targets the stream carries: all, up to kMaxMorphTargets.
uint32_t morph_targets(const aiMesh& m);

// Adds the names of the nodes that hold a mesh without bones but with morph targets.
void add_morphed_nodes(const aiScene& scene, std::unordered_set<std::string>& names);

// The Morph record of the mesh just written through to_world: its first `targets` targets (0
// for a mesh of a morphed node that keeps its shape), as deltas in the written mesh's space.
void write_morph(const aiMesh& m, const aiMatrix4x4& to_world, uint32_t targets, StreamWriter& out);

// A Weights channel: per key, one weight per target of the node's morphs.
struct WeightsChannel {
  int32_t object = -1;
  uint32_t weights = 0;
  std::vector<double> times;  // seconds
  std::vector<double> values;
};

// The file's keys as weights; a target a key leaves out weighs 0 at that key.
WeightsChannel weights_channel(const aiMeshMorphAnim& c, double ticks_per_second, int32_t object,
                               uint32_t weights);
uint64_t channel_bytes(const WeightsChannel& c);
void write_channel(const WeightsChannel& c, StreamWriter& out);

}  // namespace znr::importer
