// The render front end: finds what the camera can see, culls, clips, lights and projects it
// into a draw list for a back end.
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
  // Fills out with the visible polygons of the scene; poses are the moving objects' places
  // (an object without a pose stays at its own origin).
  void build(const Scene& scene, const SceneIndex& index, std::span<const ObjectPose> poses,
             const View& view, DrawList& out);

 private:
  struct CamVertex {
    double x, y, z;  // camera space: x forward (depth), y right, z up
    double u, v;
  };
  void emit(const Scene& scene, const Polygon& p, const ObjectPose* pose, DrawList& out);
  void clip(int plane);

  const View* view_ = nullptr;
  Vec3 sun_;  // unit, towards the light
  std::vector<Vec3> world_;
  std::vector<CamVertex> poly_, scratch_;
  std::vector<uint32_t> visible_chunks_;
};

}  // namespace znr
