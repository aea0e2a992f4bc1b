// The posed vertices of a frame's visible skins and morphs, which a back end keeps: arrays
// indexed like the scene's own, whose skinned and morphed ranges are posed afresh every frame
// (on the back end's threads, in parts) and whose other entries are never read.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

#include "zelnary/render/frame.h"

namespace znr {

class PosedSkins {
 public:
  // Makes room for the frame's skins and morphs; false when it has none in view.
  bool begin(const Frame& frame);
  // Poses part `part` of `parts` equal shares of the visible skins' and morphs' vertices.
  // Different parts may be posed at the same time; all of them before the arrays are read.
  void pose(const Frame& frame, size_t part, size_t parts);

  std::span<const Vertex> vertices() const { return vertices_; }
  std::span<const Normal> normals() const { return normals_; }

 private:
  std::vector<Vertex> vertices_;
  std::vector<Normal> normals_;
  size_t total_ = 0;  // vertices of the visible skins and morphs
};

}  // namespace znr
