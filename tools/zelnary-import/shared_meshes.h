// Meshes sent once and drawn at each use: a mesh that two or more nodes of the static world
// hold goes into the stream in its own frame as a shared object, with one placement (its map
// into world axes) per use, instead of one copy of its vertices per use.
#pragma once

#include <assimp/scene.h>

#include <cstdint>
#include <functional>
#include <string>
#include <unordered_set>
#include <vector>

#include "stream_writer.h"

namespace znr::importer {

// Whether a use of m, taken into world axes by to_world, may be a placement: m is neither
// skinned nor morphed and has triangles, and to_world neither mirrors nor flattens it (the copy
// would turn its faces round, or drop its normals) and stays within the world's coordinates.
bool placeable(const aiMesh& m, const aiMatrix4x4& to_world);

class SharedMeshes {
 public:
  // Counts each mesh's placeable uses by nodes with no animated node (named in animated) at or
  // above them; axes: the file's axes to ours.
  SharedMeshes(const aiScene& scene, const aiMatrix4x4& axes,
               const std::unordered_set<std::string>& animated);

  // Writes a static node's use of mesh i as a placement when the mesh is shared. Its first use
  // declares the shared object (the next index, counted in object_count), and write_mesh sends
  // the mesh's polygons in its own frame under that object. false: write the use as a copy.
  bool place(unsigned i, const aiMatrix4x4& to_world, StreamWriter& out, int32_t& object_count,
             const std::function<void(int32_t object)>& write_mesh);

 private:
  void count(const aiNode& node, const aiMatrix4x4& above,
             const std::unordered_set<std::string>& animated);

  const aiScene& scene_;
  std::vector<uint32_t> uses_;   // per mesh: its placeable uses
  std::vector<int32_t> object_;  // per mesh: its shared object; kNone, or kNever past the caps
  size_t placements_ = 0;
};

}  // namespace znr::importer
