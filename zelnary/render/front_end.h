// The render front end: finds what the camera can see in one frame. Private to the renderer;
// back ends read only its answer, a Frame.
#pragma once

#include <span>

#include "zelnary/render/frame.h"
#include "zelnary/render/scene_index.h"
#include "zelnary/render/view.h"
#include "zelnary/scene/scene.h"

namespace znr {

// The chunks whose boxes touch the view, nearest first (so that a depth test rejects most
// hidden pixels early), and the objects whose spheres do, with their poses and light. poses
// are the moving objects' places; an object without a pose stays at its own origin. With lod,
// each chunk's level of detail is chosen by its distance (else all are drawn in full).
// morph_weights: all morphs' weights (Morph::first_weight); of another length, the defaults.
// The scene and index must outlive out's use.
void find_visible(const Scene& scene, const SceneIndex& index, std::span<const ObjectPose> poses,
                  const View& view, Frame& out, bool lod = true,
                  std::span<const float> morph_weights = {});

}  // namespace znr
