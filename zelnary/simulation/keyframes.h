// Keyframed nodes: their channels sampled at a time and their frames composed down the
// hierarchy into world poses.
#pragma once

#include <span>
#include <utility>
#include <vector>

#include "zelnary/scene/scene.h"

namespace znr {

// The quaternion of unit length along q; a zero or non-finite one gives no turn.
Quat unit(const Quat& q);
// The turn a fraction f of the way from a to b, along the shorter arc.
Quat slerp(const Quat& a, Quat b, double f);
Affine to_affine(const Transform& t);
Affine operator*(const Affine& a, const Affine& b);

// The channel's value at `seconds` (held before its first key and after its last): 3 numbers,
// or 4 for a rotation (then of unit length). false, out untouched, for a channel without keys
// or whose values do not match its keys, or where the value is not finite.
bool sample(const Channel& c, double seconds, double out[4]);
// A Weights channel's values at `seconds`, one per weight (out as long as the channel's
// weights); false, out untouched, as for sample().
bool sample_weights(const Channel& c, double seconds, std::span<float> out);

// Poses every keyed object of a scene for one of its animations.
class NodeAnimator {
 public:
  // animation: into scene.animations; out of range plays none (every node at rest).
  NodeAnimator(const Scene& scene, size_t animation);

  // The keyed objects' poses `seconds` into the loop; other entries of poses are left alone.
  // poses must have one entry per object.
  void pose(double seconds, std::span<ObjectPose> poses);

  // The animated morph weights `seconds` into the loop, into all morphs' weights (laid out as
  // Morph::first_weight says); weights no channel drives are left alone.
  void weights(double seconds, std::span<float> out) const;

  bool any() const { return !keyed_.empty(); }
  bool animates_morphs() const { return !morph_channels_.empty(); }

 private:
  double loop_time(double seconds) const;

  const Scene& scene_;
  const Animation* animation_ = nullptr;
  std::vector<size_t> keyed_;                // the keyed objects, parents first
  std::vector<std::vector<size_t>> driven_;  // per object: its channels in the animation
  std::vector<Affine> world_;                // per object, this step's frame
  std::vector<std::pair<size_t, size_t>> morph_channels_;  // morph, its Weights channel
};

}  // namespace znr
