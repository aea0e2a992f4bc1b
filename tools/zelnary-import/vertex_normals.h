// Smooth normals for the meshes a file gives without any, made here rather than by assimp's
// step of the same name, whose search for vertices at one point dominated the import of large
// meshes. Same rule: each vertex takes its face's plane (the last face to use it, for a vertex
// that several faces share), then the unit sum of the planes of the vertices at exactly its
// position that turn from its own by no more than the crease angle.
#pragma once

#include <assimp/mesh.h>

namespace znr::importer {

// Gives m normals when it has none; a face of fewer than three corners gives its vertices none
// (zero). cos_crease: the cosine of the largest angle between planes that are averaged.
void add_smooth_normals(aiMesh& m, float cos_crease);

}  // namespace znr::importer
