// The render front end: finds what the camera can see, culls, clips, lights and projects it
// into draw lists for a back end. The visible set can be emitted in parts, one per thread.
#pragma once

#include <span>
#include <vector>

#include "zelnary/render/draw_list.h"
#include "zelnary/render/scene_index.h"
#include "zelnary/render/view.h"
#include "zelnary/scene/scene.h"

namespace znr {

class FrontEnd {
 public:
  // Finds the chunks and objects in view for this frame (nearest chunks first, so that the
  // depth test rejects most hidden pixels early). poses are the moving objects' places; an
  // object without a pose stays at its own origin. The scene, index and view must outlive
  // the emit calls.
  void begin(const Scene& scene, const SceneIndex& index, std::span<const ObjectPose> poses,
             const View& view);
  // Emits share `part` of `parts` of the visible polygons into out (cleared first). Parts
  // may be emitted at the same time from different threads.
  void emit_part(int part, int parts, DrawList& out) const;
  // begin + the whole frame into one list.
  void build(const Scene& scene, const SceneIndex& index, std::span<const ObjectPose> poses,
             const View& view, DrawList& out);

 private:
  struct VisibleObject {
    uint32_t object;
    ObjectPose pose;
  };
  const Scene* scene_ = nullptr;
  const SceneIndex* index_ = nullptr;
  const View* view_ = nullptr;
  uint32_t background_ = 0xFF000000u;
  std::vector<uint32_t> visible_chunks_;
  std::vector<VisibleObject> visible_objects_;
};

}  // namespace znr
