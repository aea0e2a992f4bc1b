#include "shared_meshes.h"

#include <cmath>

#include "zelnary/world/limits.h"

namespace znr::importer {
namespace {

constexpr int32_t kNone = -1, kNever = -2;

// The rows the stream carries, as it carries them.
void rows(const aiMatrix4x4& m, double (&v)[12]) {
  for (unsigned r = 0; r < 3; ++r)
    for (unsigned c = 0; c < 4; ++c) v[r * 4 + c] = m[r][c];
}

}  // namespace

bool placeable(const aiMesh& m, const aiMatrix4x4& to_world) {
  if (m.mNumBones > 0 || m.mNumAnimMeshes > 0 || !m.mVertices) return false;
  bool triangles = false;
  for (unsigned f = 0; f < m.mNumFaces && !triangles; ++f) triangles = m.mFaces[f].mNumIndices == 3;
  if (!triangles) return false;
  double v[12];
  rows(to_world, v);
  for (double x : v)
    if (!(std::fabs(x) <= world_limits::kMaxCoordinate)) return false;
  // The engine's test, on the numbers it receives.
  const double det = v[0] * (v[5] * v[10] - v[6] * v[9]) - v[1] * (v[4] * v[10] - v[6] * v[8]) +
                     v[2] * (v[4] * v[9] - v[5] * v[8]);
  return det > 0.0 && std::isfinite(det);
}

SharedMeshes::SharedMeshes(const aiScene& scene, const aiMatrix4x4& axes,
                           const std::unordered_set<std::string>& animated)
    : scene_(scene), uses_(scene.mNumMeshes, 0), object_(scene.mNumMeshes, kNone) {
  if (scene.mRootNode) count(*scene.mRootNode, axes, animated);
}

void SharedMeshes::count(const aiNode& node, const aiMatrix4x4& above,
                         const std::unordered_set<std::string>& animated) {
  if (animated.count(node.mName.C_Str())) return;  // it and all below it move
  const aiMatrix4x4 here = above * node.mTransformation;
  for (unsigned i = 0; i < node.mNumMeshes; ++i) {
    const unsigned k = node.mMeshes[i];
    if (k < scene_.mNumMeshes && scene_.mMeshes[k] && placeable(*scene_.mMeshes[k], here))
      ++uses_[k];
  }
  for (unsigned i = 0; i < node.mNumChildren; ++i) count(*node.mChildren[i], here, animated);
}

bool SharedMeshes::place(unsigned i, const aiMatrix4x4& to_world, StreamWriter& out,
                         int32_t& object_count,
                         const std::function<void(int32_t object)>& write_mesh) {
  if (i >= uses_.size() || uses_[i] < 2 || object_[i] == kNever ||
      placements_ >= world_limits::kMaxPlacements || !placeable(*scene_.mMeshes[i], to_world))
    return false;
  if (object_[i] == kNone) {
    if (static_cast<size_t>(object_count) >= world_limits::kMaxObjects) {
      object_[i] = kNever;
      return false;
    }
    const aiMesh& m = *scene_.mMeshes[i];
    std::string name = m.mName.length ? m.mName.C_Str() : "mesh";
    if (name.size() > world_limits::kMaxNameBytes) name.resize(world_limits::kMaxNameBytes);
    out.record(import_stream::Tag::Shared, StreamWriter::string_bytes(name));
    out.string(name);
    object_[i] = object_count++;
    write_mesh(object_[i]);
  }
  double v[12];
  rows(to_world, v);
  out.record(import_stream::Tag::Placement, import_stream::kPlacementBytes);
  out.put(object_[i]);
  out.bytes(v, sizeof v);
  ++placements_;
  return true;
}

}  // namespace znr::importer
