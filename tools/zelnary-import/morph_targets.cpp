#include "morph_targets.h"

#include <algorithm>
#include <cmath>

#include "zelnary/world/limits.h"

namespace znr::importer {
namespace {

void add_nodes(const aiScene& scene, const aiNode* node, std::unordered_set<std::string>& names) {
  for (unsigned i = 0; i < node->mNumMeshes; ++i) {
    if (node->mMeshes[i] >= scene.mNumMeshes) continue;
    const aiMesh& m = *scene.mMeshes[node->mMeshes[i]];
    if (m.mNumBones == 0 && morph_targets(m) > 0) names.insert(node->mName.C_Str());
  }
  for (unsigned i = 0; i < node->mNumChildren; ++i) add_nodes(scene, node->mChildren[i], names);
}

void put_delta(StreamWriter& out, const aiVector3D& d) {
  const float xyz[3] = {d.x, d.y, d.z};
  out.bytes(xyz, sizeof xyz);
}

}  // namespace

uint32_t morph_targets(const aiMesh& m) {
  if (!m.mAnimMeshes) return 0;
  return static_cast<uint32_t>(std::min<size_t>(m.mNumAnimMeshes, world_limits::kMaxMorphTargets));
}

void add_morphed_nodes(const aiScene& scene, std::unordered_set<std::string>& names) {
  if (scene.mRootNode) add_nodes(scene, scene.mRootNode, names);
}

void write_morph(const aiMesh& m, const aiMatrix4x4& to_world, uint32_t targets,
                 StreamWriter& out) {
  const uint32_t n = m.mNumVertices;
  // A target replaces the mesh's arrays (assimp holds whole positions and normals): its deltas
  // are the differences, turned as the mesh's own were (normals by the inverse transpose).
  const aiMatrix3x3 linear(to_world);
  const float determinant = linear.Determinant();
  const bool mesh_normals = m.mNormals && determinant != 0.0f && std::isfinite(determinant);
  auto whole = [&](const aiAnimMesh* a) { return a && a->mNumVertices == n; };
  bool normals = false;
  for (uint32_t t = 0; t < targets; ++t)
    normals = normals || (mesh_normals && whole(m.mAnimMeshes[t]) && m.mAnimMeshes[t]->mNormals);
  out.record(import_stream::Tag::Morph,
             import_stream::kMorphHeaderBytes + uint64_t{targets} * 4 +
                 uint64_t{targets} * n * import_stream::kDeltaBytes * (normals ? 2 : 1));
  out.put(targets);
  out.put(n);
  out.put(uint32_t{normals ? 1u : 0u});
  for (uint32_t t = 0; t < targets; ++t)
    out.put(m.mAnimMeshes[t] ? m.mAnimMeshes[t]->mWeight : 0.0f);
  // A target whose arrays are missing or of another length moves nothing.
  for (uint32_t t = 0; t < targets; ++t) {
    const aiAnimMesh* a = m.mAnimMeshes[t];
    const bool moves = whole(a) && a->mVertices;
    for (uint32_t v = 0; v < n; ++v)
      put_delta(out, moves ? linear * (a->mVertices[v] - m.mVertices[v]) : aiVector3D());
  }
  if (!normals) return;
  const aiMatrix3x3 turn = aiMatrix3x3(linear).Inverse().Transpose();
  for (uint32_t t = 0; t < targets; ++t) {
    const aiAnimMesh* a = m.mAnimMeshes[t];
    const bool turns = whole(a) && a->mNormals;
    for (uint32_t v = 0; v < n; ++v)
      put_delta(out, turns ? turn * (a->mNormals[v] - m.mNormals[v]) : aiVector3D());
  }
}

WeightsChannel weights_channel(const aiMeshMorphAnim& c, double ticks_per_second, int32_t object,
                               uint32_t weights) {
  WeightsChannel w;
  w.object = object;
  w.weights = weights;
  w.times.reserve(c.mNumKeys);
  w.values.assign(size_t{c.mNumKeys} * weights, 0.0);
  for (unsigned k = 0; k < c.mNumKeys; ++k) {
    const aiMeshMorphKey& key = c.mKeys[k];
    w.times.push_back(key.mTime / ticks_per_second);
    for (unsigned j = 0; j < key.mNumValuesAndWeights && key.mValues && key.mWeights; ++j)
      if (key.mValues[j] < weights)
        w.values[size_t{k} * weights + key.mValues[j]] = key.mWeights[j];
  }
  return w;
}

uint64_t channel_bytes(const WeightsChannel& c) {
  return import_stream::kChannelHeaderBytes + 4 + c.times.size() * 8 + c.values.size() * 8;
}

void write_channel(const WeightsChannel& c, StreamWriter& out) {
  out.put(c.object);
  out.put(uint8_t{3});  // ChannelPath::Weights
  out.put(uint8_t{1});  // linear: assimp hands the keys over without their interpolation
  out.put(static_cast<uint32_t>(c.times.size()));
  out.put(c.weights);
  for (double t : c.times) out.put(t);
  for (double v : c.values) out.put(v);
}

}  // namespace znr::importer
