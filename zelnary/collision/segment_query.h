// Where a straight movement first meets the world: static polygons, shared meshes where they
// are placed and moving objects where they are now, either face. Embree finds the polygon; the
// point is then worked out again in double precision, so it stays exact even for segments a
// thousand million units long.
#pragma once

#include <atomic>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "zelnary/core/vec3.h"
#include "zelnary/scene/scene.h"

namespace znr {

// An axis-aligned box; empty while lo > hi.
struct Box {
  Vec3 lo{1.0, 1.0, 1.0};
  Vec3 hi{-1.0, -1.0, -1.0};
  bool empty() const { return lo.x > hi.x || lo.y > hi.y || lo.z > hi.z; }
  void add(const Vec3& p);
};

// The part [t0, t1] of the segment start + t (end - start), t in [0, 1], inside the box.
// nullopt when the segment misses the box.
struct Span01 {
  double t0, t1;
};
std::optional<Span01> clip_segment(const Vec3& start, const Vec3& end, const Box& box);

class SegmentQuery {
 public:
  SegmentQuery();
  ~SegmentQuery();
  SegmentQuery(const SegmentQuery&) = delete;
  SegmentQuery& operator=(const SegmentQuery&) = delete;

  // Builds the acceleration structures for the scene, which must outlive this object (or the
  // next clear / build) unchanged. Polygons are split into triangle fans. false: error says why
  // (the query is then empty). stop, when given, is heard during the build: set, the build
  // ends soon after and fails.
  bool build(const Scene& scene, std::span<const ObjectPose> poses, std::string& error,
             const std::atomic<bool>* stop = nullptr);
  void clear();

  // Moving objects are where these poses put them, from the next query on.
  void set_poses(std::span<const ObjectPose> poses);

  // The first point from start at which the segment meets a polygon; nullopt when it meets
  // none, when start == end (no movement crosses nothing) or for non-finite input.
  std::optional<Vec3> first_hit(const Vec3& start, const Vec3& end);

  // The box that holds every polygon wherever the objects go (empty without geometry).
  const Box& bounds() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace znr
