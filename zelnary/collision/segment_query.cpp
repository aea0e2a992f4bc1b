#include "zelnary/collision/segment_query.h"

#include <embree3/rtcore.h>

#include "zelnary/core/cores.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <numbers>
#include <string>
#include <vector>

namespace znr {

void Box::add(const Vec3& p) {
  if (empty()) {
    lo = hi = p;
    return;
  }
  lo = {std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z)};
  hi = {std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z)};
}

std::optional<Span01> clip_segment(const Vec3& start, const Vec3& end, const Box& box) {
  if (box.empty()) return std::nullopt;
  double t0 = 0.0, t1 = 1.0;
  const double s[3] = {start.x, start.y, start.z};
  const double d[3] = {end.x - start.x, end.y - start.y, end.z - start.z};
  const double lo[3] = {box.lo.x, box.lo.y, box.lo.z};
  const double hi[3] = {box.hi.x, box.hi.y, box.hi.z};
  for (int a = 0; a < 3; ++a) {
    if (d[a] == 0.0) {
      if (s[a] < lo[a] || s[a] > hi[a]) return std::nullopt;
      continue;
    }
    double ta = (lo[a] - s[a]) / d[a], tb = (hi[a] - s[a]) / d[a];
    if (ta > tb) std::swap(ta, tb);
    t0 = std::max(t0, ta);
    t1 = std::min(t1, tb);
    if (t0 > t1) return std::nullopt;
  }
  return Span01{t0, t1};
}

namespace {

// One mesh's triangles as index triples into Scene::vertices.
using Triangles = std::vector<uint32_t>;

void fan(const Polygon& p, Triangles& out) {
  for (uint32_t i = 1; i + 1 < p.vertex_count; ++i) {
    out.push_back(p.first_vertex);
    out.push_back(p.first_vertex + i);
    out.push_back(p.first_vertex + i + 1);
  }
}

// Column-major 3x4: the object's axes turned by its heading about z, then its position
// relative to the scene's origin.
std::array<float, 12> instance_transform(const ObjectPose& pose, const Vec3& origin) {
  const double a = pose.heading_deg * std::numbers::pi / 180.0;
  const float c = static_cast<float>(std::cos(a)), s = static_cast<float>(std::sin(a));
  const Vec3 at = pose.position - origin;
  const float x = static_cast<float>(at.x), y = static_cast<float>(at.y),
              z = static_cast<float>(at.z);
  return {c, s, 0.0f, -s, c, 0.0f, 0.0f, 0.0f, 1.0f, x, y, z};
}

// Column-major 3x4: a placement's map, moved by -origin.
std::array<float, 12> placement_transform(const Affine& a, const Vec3& origin) {
  std::array<float, 12> t{};
  for (int c = 0; c < 3; ++c)
    for (int r = 0; r < 3; ++r) t[size_t(c * 3 + r)] = static_cast<float>(a.m[r][c]);
  t[9] = static_cast<float>(a.m[0][3] - origin.x);
  t[10] = static_cast<float>(a.m[1][3] - origin.y);
  t[11] = static_cast<float>(a.m[2][3] - origin.z);
  return t;
}

// The middle of the box around the static geometry, the objects' paths and the placed meshes'
// origins.
Vec3 scene_middle(const Scene& scene) {
  Box all;
  for (const Polygon& p : scene.polygons)
    if (p.object < 0)
      for (const Vertex& v : scene.vertices_of(p)) all.add(v.position);
  for (const MovingObject& o : scene.objects)
    for (const Vec3& w : o.path) all.add(w);
  for (const Placement& p : scene.placements)
    all.add({p.frame.m[0][3], p.frame.m[1][3], p.frame.m[2][3]});
  return all.empty() ? Vec3{} : (all.lo + all.hi) * 0.5;
}

bool placeable(const Scene& scene, const Placement& p) {
  return p.object >= 0 && static_cast<size_t>(p.object) < scene.objects.size() &&
         scene.objects[static_cast<size_t>(p.object)].shared;
}

RTCGeometry triangle_mesh(RTCDevice device, const std::vector<float>& vertices, size_t vertex_count,
                          const Triangles& tris) {
  RTCGeometry g = rtcNewGeometry(device, RTC_GEOMETRY_TYPE_TRIANGLE);
  rtcSetSharedGeometryBuffer(g, RTC_BUFFER_TYPE_VERTEX, 0, RTC_FORMAT_FLOAT3, vertices.data(), 0,
                             3 * sizeof(float), vertex_count);
  rtcSetSharedGeometryBuffer(g, RTC_BUFFER_TYPE_INDEX, 0, RTC_FORMAT_UINT3, tris.data(), 0,
                             3 * sizeof(uint32_t), tris.size() / 3);
  rtcCommitGeometry(g);
  return g;
}

}  // namespace

struct SegmentQuery::Impl {
  RTCDevice device = nullptr;
  const Scene* scene = nullptr;
  // Embree works in float, which at 1e7 from zero cannot tell apart points a unit apart. So it
  // sees the static geometry (and the objects' places) relative to the middle of the scene,
  // where float is as fine as the scene is small; objects keep their own frames.
  Vec3 origin;
  std::vector<float> vertices;  // every scene vertex in float, plus padding Embree reads past
  Triangles static_tris;
  std::vector<Triangles> object_tris;
  RTCScene static_scene = nullptr;
  RTCScene dynamic_scene = nullptr;     // one instance per object that has polygons
  std::vector<RTCScene> object_scenes;  // by object; null without polygons
  std::vector<RTCGeometry> instances;   // by object; null without polygons
  std::vector<uint32_t> object_of_instance;
  // Shared meshes where the scene places them: one instance of the mesh's scene per placement,
  // static. placement_of_instance maps an instance back to Scene::placements.
  RTCScene placed_scene = nullptr;
  std::vector<uint32_t> placement_of_instance;
  std::vector<ObjectPose> placement_poses;
  std::vector<ObjectPose> poses;
  bool dirty = false;
  Box box;  // everything, grown by a margin

  // Frees every Embree object but the device, which is kept for the next build.
  void release() {
    for (RTCScene s : object_scenes)
      if (s) rtcReleaseScene(s);
    object_scenes.clear();
    instances.clear();  // owned by dynamic_scene
    object_of_instance.clear();
    placement_of_instance.clear();
    placement_poses.clear();
    if (placed_scene) rtcReleaseScene(placed_scene);
    if (dynamic_scene) rtcReleaseScene(dynamic_scene);
    if (static_scene) rtcReleaseScene(static_scene);
    placed_scene = dynamic_scene = static_scene = nullptr;
    vertices = {};
    static_tris = {};
    object_tris = {};
    poses.clear();
    scene = nullptr;
    origin = {};
    box = Box{};
    extents.clear();
    dirty = false;
  }

  Vec3 world_vertex(uint32_t index, const ObjectPose* pose) const {
    const Vec3& p = scene->vertices[index].position;
    return pose ? to_world(*pose, p) : p;
  }

  // An object's reach about its origin: any turn about z, its own height range.
  struct Extent {
    double radius = 0.0, zlo = 0.0, zhi = 0.0;
  };
  std::vector<Extent> extents;  // by object

  static Box object_box(const Extent& e, const Vec3& at) {
    Box b;
    b.add({at.x - e.radius, at.y - e.radius, at.z + e.zlo});
    b.add({at.x + e.radius, at.y + e.radius, at.z + e.zhi});
    return b;
  }

  // Adds b to the query box, with a margin so that geometry never touches the box's faces.
  void grow(const Box& b) {
    if (b.empty()) return;
    const Vec3 size = b.hi - b.lo;
    const double margin = 1.0 + 1e-3 * std::max({size.x, size.y, size.z});
    box.add(b.lo - Vec3{margin, margin, margin});
    box.add(b.hi + Vec3{margin, margin, margin});
  }

  void compute_bounds() {
    Box all;
    for (uint32_t i : static_tris) all.add(scene->vertices[i].position);
    extents.assign(object_tris.size(), Extent{});
    for (size_t k = 0; k < object_tris.size(); ++k) {
      if (object_tris[k].empty()) continue;
      Extent& e = extents[k];
      e.zlo = std::numeric_limits<double>::max();
      e.zhi = -e.zlo;
      for (uint32_t i : object_tris[k]) {
        const Vec3& p = scene->vertices[i].position;
        e.radius = std::max(e.radius, std::hypot(p.x, p.y));
        e.zlo = std::min(e.zlo, p.z);
        e.zhi = std::max(e.zhi, p.z);
      }
      if (scene->objects[k].shared) continue;  // see below
      // Wherever it goes along its path, and where it is now.
      for (const Vec3& w : scene->objects[k].path) {
        const Box b = object_box(e, w);
        all.add(b.lo);
        all.add(b.hi);
      }
      const Box now = object_box(e, poses[k].position);
      all.add(now.lo);
      all.add(now.hi);
    }
    // Each placed mesh's box, its corners mapped by the placement.
    std::vector<Box> local(object_tris.size());
    for (size_t k = 0; k < object_tris.size(); ++k)
      if (scene->objects[k].shared)
        for (uint32_t i : object_tris[k]) local[k].add(scene->vertices[i].position);
    for (size_t i = 0; i < scene->placements.size(); ++i) {
      const Placement& p = scene->placements[i];
      if (!placeable(*scene, p) || local[static_cast<size_t>(p.object)].empty()) continue;
      const Box& b = local[static_cast<size_t>(p.object)];
      for (int c = 0; c < 8; ++c)
        all.add(to_world(placement_poses[i], {c & 1 ? b.hi.x : b.lo.x, c & 2 ? b.hi.y : b.lo.y,
                                              c & 4 ? b.hi.z : b.lo.z}));
    }
    grow(all);
  }

  // Keeps an object placed off its path (a pose set from outside) inside the query box.
  void cover(size_t k) {
    const Box b = object_box(extents[k], poses[k].position);
    if (b.lo.x < box.lo.x || b.lo.y < box.lo.y || b.lo.z < box.lo.z || b.hi.x > box.hi.x ||
        b.hi.y > box.hi.y || b.hi.z > box.hi.z)
      grow(b);
  }

  void commit_poses() {
    for (size_t k = 0; k < instances.size(); ++k) {
      if (!instances[k]) continue;
      const std::array<float, 12> xfm = instance_transform(poses[k], origin);
      rtcSetGeometryTransform(instances[k], 0, RTC_FORMAT_FLOAT3X4_COLUMN_MAJOR, xfm.data());
      rtcCommitGeometry(instances[k]);
    }
    rtcCommitScene(dynamic_scene);
    dirty = false;
  }
};

SegmentQuery::SegmentQuery() : impl_(std::make_unique<Impl>()) {}

SegmentQuery::~SegmentQuery() {
  impl_->release();
  if (impl_->device) rtcReleaseDevice(impl_->device);
}

void SegmentQuery::clear() {
  impl_->release();
}

const Box& SegmentQuery::bounds() const {
  return impl_->box;
}

bool SegmentQuery::build(const Scene& scene, std::span<const ObjectPose> poses, std::string& error,
                         const std::atomic<bool>* stop) {
  Impl& m = *impl_;
  m.release();
  if (!m.device) {
    // Embree builds on its own threads: as many as this process may use cores.
    const std::string config = "threads=" + std::to_string(usable_cores());
    m.device = rtcNewDevice(config.c_str());
    if (!m.device) {
      error = "cannot start the collision library (Embree)";
      return false;
    }
  }
  m.scene = &scene;
  m.poses.assign(scene.objects.size(), ObjectPose{});
  std::copy_n(poses.begin(), std::min(poses.size(), m.poses.size()), m.poses.begin());

  m.origin = scene_middle(scene);
  m.vertices.resize(scene.vertices.size() * 3 + 1);
  for (const Polygon& p : scene.polygons) {
    const Vec3 shift = p.object < 0 ? m.origin : Vec3{};
    for (uint32_t i = p.first_vertex; i < p.first_vertex + p.vertex_count; ++i) {
      const Vec3 q = scene.vertices[i].position - shift;
      m.vertices[3 * size_t{i}] = static_cast<float>(q.x);
      m.vertices[3 * size_t{i} + 1] = static_cast<float>(q.y);
      m.vertices[3 * size_t{i} + 2] = static_cast<float>(q.z);
    }
  }
  m.object_tris.assign(scene.objects.size(), {});
  for (const Polygon& p : scene.polygons) {
    if (p.object < 0) {
      fan(p, m.static_tris);
    } else if (static_cast<size_t>(p.object) < scene.objects.size() &&
               !scene.objects[static_cast<size_t>(p.object)].keyed) {
      // Keyframed nodes turn and stretch any way; queries answer without them.
      fan(p, m.object_tris[static_cast<size_t>(p.object)]);
    }
  }

  m.static_scene = rtcNewScene(m.device);
  rtcSetSceneFlags(m.static_scene, RTC_SCENE_FLAG_ROBUST);
  if (stop) {
    rtcSetSceneProgressMonitorFunction(
        m.static_scene,
        [](void* flag, double) { return !static_cast<const std::atomic<bool>*>(flag)->load(); },
        const_cast<std::atomic<bool>*>(stop));
  }
  if (!m.static_tris.empty()) {
    RTCGeometry g = triangle_mesh(m.device, m.vertices, scene.vertices.size(), m.static_tris);
    rtcAttachGeometry(m.static_scene, g);
    rtcReleaseGeometry(g);
  }
  rtcCommitScene(m.static_scene);

  m.dynamic_scene = rtcNewScene(m.device);
  rtcSetSceneFlags(m.dynamic_scene,
                   static_cast<RTCSceneFlags>(RTC_SCENE_FLAG_ROBUST | RTC_SCENE_FLAG_DYNAMIC));
  m.object_scenes.assign(scene.objects.size(), nullptr);
  m.instances.assign(scene.objects.size(), nullptr);
  for (size_t k = 0; k < scene.objects.size(); ++k) {
    if (m.object_tris[k].empty()) continue;
    RTCScene os = rtcNewScene(m.device);
    rtcSetSceneFlags(os, RTC_SCENE_FLAG_ROBUST);
    RTCGeometry g = triangle_mesh(m.device, m.vertices, scene.vertices.size(), m.object_tris[k]);
    rtcAttachGeometry(os, g);
    rtcReleaseGeometry(g);
    rtcCommitScene(os);
    m.object_scenes[k] = os;
    if (scene.objects[k].shared) continue;  // only where placed
    RTCGeometry inst = rtcNewGeometry(m.device, RTC_GEOMETRY_TYPE_INSTANCE);
    rtcSetGeometryInstancedScene(inst, os);
    const unsigned id = rtcAttachGeometry(m.dynamic_scene, inst);
    rtcReleaseGeometry(inst);  // the scene keeps it alive
    if (m.object_of_instance.size() <= id) m.object_of_instance.resize(id + 1);
    m.object_of_instance[id] = static_cast<uint32_t>(k);
    m.instances[k] = inst;
  }
  m.commit_poses();

  m.placed_scene = rtcNewScene(m.device);
  rtcSetSceneFlags(m.placed_scene, RTC_SCENE_FLAG_ROBUST);
  m.placement_poses.resize(scene.placements.size());
  for (size_t i = 0; i < scene.placements.size(); ++i) {
    const Placement& p = scene.placements[i];
    m.placement_poses[i] = pose_from(p.frame);
    if (!placeable(scene, p) || !m.object_scenes[static_cast<size_t>(p.object)]) continue;
    RTCGeometry inst = rtcNewGeometry(m.device, RTC_GEOMETRY_TYPE_INSTANCE);
    rtcSetGeometryInstancedScene(inst, m.object_scenes[static_cast<size_t>(p.object)]);
    const std::array<float, 12> xfm = placement_transform(p.frame, m.origin);
    rtcSetGeometryTransform(inst, 0, RTC_FORMAT_FLOAT3X4_COLUMN_MAJOR, xfm.data());
    rtcCommitGeometry(inst);
    const unsigned id = rtcAttachGeometry(m.placed_scene, inst);
    rtcReleaseGeometry(inst);
    if (m.placement_of_instance.size() <= id) m.placement_of_instance.resize(id + 1);
    m.placement_of_instance[id] = static_cast<uint32_t>(i);
  }
  rtcCommitScene(m.placed_scene);
  m.compute_bounds();

  if (rtcGetDeviceError(m.device) != RTC_ERROR_NONE || (stop && stop->load())) {
    m.release();
    error = stop && stop->load() ? "stopped"
                                 : "the collision library (Embree) failed to build the world";
    return false;
  }
  return true;
}

void SegmentQuery::set_poses(std::span<const ObjectPose> poses) {
  Impl& m = *impl_;
  const size_t n = std::min(poses.size(), m.poses.size());
  for (size_t k = 0; k < n; ++k) {
    if (!is_finite(poses[k].position) || !std::isfinite(poses[k].heading_deg)) continue;
    if (poses[k].position == m.poses[k].position && poses[k].heading_deg == m.poses[k].heading_deg)
      continue;
    m.poses[k] = poses[k];
    if (!m.instances[k]) continue;
    m.cover(k);
    m.dirty = true;
  }
}

std::optional<Vec3> SegmentQuery::first_hit(const Vec3& start, const Vec3& end) {
  Impl& m = *impl_;
  if (!m.scene || !is_finite(start) || !is_finite(end) || start == end) return std::nullopt;
  const auto span = clip_segment(start, end, m.box);
  const Vec3 d = end - start;
  if (!span || !is_finite(d)) return std::nullopt;
  if (m.dirty) m.commit_poses();

  // Embree sees only the part inside the world's box, so float precision is relative to the
  // world's size, not to the segment's.
  const Vec3 cs = start + d * span->t0 - m.origin;
  const Vec3 cd = d * (span->t1 - span->t0);
  RTCRayHit rh{};
  rh.ray.org_x = static_cast<float>(cs.x);
  rh.ray.org_y = static_cast<float>(cs.y);
  rh.ray.org_z = static_cast<float>(cs.z);
  rh.ray.dir_x = static_cast<float>(cd.x);
  rh.ray.dir_y = static_cast<float>(cd.y);
  rh.ray.dir_z = static_cast<float>(cd.z);
  rh.ray.tnear = 0.0f;
  rh.ray.tfar = 1.0f;
  rh.ray.mask = 0xFFFFFFFFu;

  // The static world, then the objects, then the placed meshes: each search is cut short at
  // the nearest hit so far (tfar), so a hit in a later one is nearer.
  auto hit_in = [&rh](RTCScene scene, bool any) {
    rh.hit.geomID = RTC_INVALID_GEOMETRY_ID;
    rh.hit.instID[0] = RTC_INVALID_GEOMETRY_ID;
    if (any) {
      RTCIntersectContext ctx;
      rtcInitIntersectContext(&ctx);
      rtcIntersect1(scene, &ctx, &rh);
    }
    return rh.hit.geomID != RTC_INVALID_GEOMETRY_ID;
  };
  const bool static_hit = hit_in(m.static_scene, true);
  const unsigned static_prim = rh.hit.primID;
  const bool object_hit = hit_in(m.dynamic_scene, !m.instances.empty());
  const unsigned object_inst = rh.hit.instID[0], object_prim = rh.hit.primID;
  const bool placed_hit = hit_in(m.placed_scene, !m.placement_of_instance.empty());
  if (!static_hit && !object_hit && !placed_hit) return std::nullopt;

  const ObjectPose* pose = nullptr;
  const uint32_t* tri = nullptr;
  if (placed_hit) {
    const uint32_t i = m.placement_of_instance[rh.hit.instID[0]];
    pose = &m.placement_poses[i];
    const size_t object = static_cast<size_t>(m.scene->placements[i].object);
    tri = &m.object_tris[object][3 * size_t{rh.hit.primID}];
  } else if (object_hit) {
    const size_t object = m.object_of_instance[object_inst];
    pose = &m.poses[object];
    tri = &m.object_tris[object][3 * size_t{object_prim}];
  } else {
    tri = &m.static_tris[3 * size_t{static_prim}];
  }

  // The hit again in double: where the segment crosses the triangle's plane.
  const double t_rough = span->t0 + static_cast<double>(rh.ray.tfar) * (span->t1 - span->t0);
  const Vec3 a = m.world_vertex(tri[0], pose);
  const Vec3 n = cross(m.world_vertex(tri[1], pose) - a, m.world_vertex(tri[2], pose) - a);
  const double denom = dot(n, d);
  double t = t_rough;
  if (denom != 0.0) {
    const double t_plane = dot(n, a - start) / denom;
    // A segment grazing the plane gives a meaningless crossing; keep Embree's then.
    if (std::isfinite(t_plane) && std::abs(t_plane - t_rough) <= 1e-3 * (span->t1 - span->t0))
      t = t_plane;
  }
  t = std::clamp(t, 0.0, 1.0);
  return start + d * t;
}

}  // namespace znr
