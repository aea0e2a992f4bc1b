// World time: moving objects along their paths and chase cameras following them.
#pragma once

#include <optional>
#include <span>
#include <vector>

#include "zelnary/cameras/camera.h"
#include "zelnary/scene/scene.h"
#include "zelnary/simulation/keyframes.h"
#include "zelnary/simulation/path_motion.h"

namespace znr {

// A Behind camera looks down on its target from this angle above its back, and closes on its
// ideal place exponentially with this time constant, whatever the frame rate.
inline constexpr double kBehindElevationDeg = 15.0;
inline constexpr double kBehindSmoothingSeconds = 0.3;

// Where a Behind camera wants to be: distance_from_eye from the target's origin, behind it
// along its heading and raised by kBehindElevationDeg.
Vec3 behind_eye(const ObjectPose& target, double distance_from_eye);

// Moves a Behind camera with its target (from `before` to `target`) and swings it a step towards
// its ideal place behind it (all the way when snap), then turns it to look at the target. The
// smoothing acts on the offset from the target, so a camera that has settled stays exactly
// at its distance on a straight path and only swings round smoothly at turns.
void follow_behind(Camera& cam, const ObjectPose& before, const ObjectPose& target,
                   double dt_seconds, bool snap);
// Turns a Watch camera, which keeps its location, to look at the target.
void watch_target(Camera& cam, const ObjectPose& target);

class Simulation {
 public:
  // Takes the world's objects, and plays its animation of that index (none when out of
  // range: keyed objects rest); world time goes back to 0 and the poses are those at time 0.
  // The scene must outlive the simulation's use.
  void reset(const Scene& scene, size_t animation = 0);

  // Moves world time to `seconds` (never backwards) and updates the poses and the chase
  // cameras. The first advance after reset puts Behind cameras straight into place.
  void advance_to(double seconds, std::span<Camera> cameras);

  std::span<const ObjectPose> poses() const { return poses_; }
  // All morphs' weights now, laid out as Morph::first_weight says; empty without morphs.
  std::span<const float> morph_weights() const { return weights_; }
  double time() const { return time_; }

 private:
  std::vector<PathMotion> paths_;
  std::optional<NodeAnimator> nodes_;
  std::vector<ObjectPose> poses_;
  std::vector<ObjectPose> before_;  // the poses of the previous step
  std::vector<float> weights_;
  double time_ = 0.0;
  bool started_ = false;
};

}  // namespace znr
