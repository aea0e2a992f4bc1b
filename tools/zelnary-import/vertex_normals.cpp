#include "vertex_normals.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

namespace znr::importer {
namespace {

constexpr uint32_t kNone = UINT32_MAX;

uint64_t position_hash(const aiVector3D& p) {
  uint32_t bits[3];
  // +0.0f folds -0 into 0, so that they count as the same point.
  const float xyz[3] = {p.x + 0.0f, p.y + 0.0f, p.z + 0.0f};
  std::memcpy(bits, xyz, sizeof bits);
  uint64_t h = bits[0] * 0x9E3779B97F4A7C15ull;
  h = (h ^ bits[1]) * 0xC2B2AE3D27D4EB4Full;
  h = (h ^ bits[2]) * 0x165667B19E3779F9ull;
  return h ^ (h >> 29);
}

bool same_point(const aiVector3D& a, const aiVector3D& b) {
  return a.x == b.x && a.y == b.y && a.z == b.z;
}

aiVector3D unit_or_zero(const aiVector3D& v) {
  const float len = v.Length();
  return len > 0.0f && std::isfinite(len) ? v / len : aiVector3D();
}

}  // namespace

void add_smooth_normals(aiMesh& m, float cos_crease) {
  if (m.mNormals || !m.mVertices || m.mNumVertices == 0) return;
  const uint32_t n = m.mNumVertices;
  std::vector<aiVector3D> plane(n);
  for (unsigned f = 0; f < m.mNumFaces; ++f) {
    const aiFace& face = m.mFaces[f];
    aiVector3D p;
    if (face.mNumIndices >= 3) {
      const aiVector3D& a = m.mVertices[face.mIndices[0]];
      p = unit_or_zero((m.mVertices[face.mIndices[1]] - a) ^ (m.mVertices[face.mIndices[2]] - a));
    }
    for (unsigned i = 0; i < face.mNumIndices; ++i)
      if (face.mIndices[i] < n) plane[face.mIndices[i]] = p;
  }

  // The vertices at one point, chained: first of each point found through an open-addressed
  // table, then next_at from one to the following.
  size_t slots = 16;
  while (slots < size_t{n} * 2) slots *= 2;
  std::vector<uint32_t> table(slots, kNone), next_at(n, kNone), first_at(n);
  for (uint32_t v = 0; v < n; ++v) {
    size_t s = position_hash(m.mVertices[v]) & (slots - 1);
    while (table[s] != kNone && !same_point(m.mVertices[table[s]], m.mVertices[v]))
      s = (s + 1) & (slots - 1);
    if (table[s] == kNone) {
      table[s] = v;
      first_at[v] = v;
    } else {
      const uint32_t head = table[s];
      first_at[v] = head;
      next_at[v] = next_at[head];  // after the head; the order does not change the sum
      next_at[head] = v;
    }
  }
  table = {};

  auto* normals = new aiVector3D[n];
  for (uint32_t v = 0; v < n; ++v) {
    const aiVector3D& own = plane[v];
    aiVector3D sum = own;
    for (uint32_t o = first_at[v]; o != kNone; o = next_at[o])
      if (o != v && plane[o] * own >= cos_crease) sum += plane[o];
    normals[v] = unit_or_zero(sum);
  }
  m.mNormals = normals;
}

}  // namespace znr::importer
