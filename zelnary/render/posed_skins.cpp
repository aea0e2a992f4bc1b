#include "zelnary/render/posed_skins.h"

#include <algorithm>

#include "zelnary/simulation/morphing.h"
#include "zelnary/simulation/skinning.h"

namespace znr {

bool PosedSkins::begin(const Frame& frame) {
  total_ = 0;
  if (frame.scene == nullptr || (frame.skins.empty() && frame.morphs.empty())) return false;
  const Scene& s = *frame.scene;
  if (vertices_.size() != s.vertices.size()) vertices_.resize(s.vertices.size());
  if (normals_.size() != s.normals.size()) normals_.resize(s.normals.size());
  for (const VisibleSkin& v : frame.skins) total_ += s.skins[v.skin].vertex_count;
  for (const VisibleMorph& v : frame.morphs) total_ += s.morphs[v.morph].vertex_count;
  return true;
}

void PosedSkins::pose(const Frame& frame, size_t part, size_t parts) {
  if (total_ == 0 || parts == 0) return;
  const Scene& s = *frame.scene;
  const size_t from = total_ * part / parts, to = total_ * (part + 1) / parts;
  size_t at = 0;  // where the range starts among all visible ranges' vertices
  // A morph under a skin is posed into the output first, which the skin then moves in place.
  for (const VisibleSkin& v : frame.skins) {
    const Skin& skin = s.skins[v.skin];
    const size_t begin = std::max(from, at), end = std::min(to, at + skin.vertex_count);
    if (begin < end) {
      const auto matrices =
          std::span<const Affine>(frame.skin_matrices).subspan(v.first_matrix, skin.bones.size());
      if (v.morph >= 0) {
        const Morph& m = s.morphs[static_cast<size_t>(v.morph)];
        pose_morph(m, weights_of(m, frame.morph_weights), s.vertices, s.normals, begin - at,
                   end - at, vertices_, normals_);
        pose_skin(skin, matrices, vertices_, normals_, begin - at, end - at, vertices_, normals_);
      } else {
        pose_skin(skin, matrices, s.vertices, s.normals, begin - at, end - at, vertices_, normals_);
      }
    }
    at += skin.vertex_count;
  }
  for (const VisibleMorph& v : frame.morphs) {
    const Morph& m = s.morphs[v.morph];
    const size_t begin = std::max(from, at), end = std::min(to, at + m.vertex_count);
    if (begin < end) {
      pose_morph(m, weights_of(m, frame.morph_weights), s.vertices, s.normals, begin - at, end - at,
                 vertices_, normals_);
      place_range(v.pose, m.first_vertex, begin - at, end - at, vertices_, normals_);
    }
    at += m.vertex_count;
  }
}

}  // namespace znr
