#include "zelnary/import/build_scene.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <set>

#include "zelnary/simulation/keyframes.h"
#include "zelnary/simulation/skinning.h"
#include "zelnary/world/limits.h"

namespace znr {
namespace {

namespace lim = world_limits;

struct Box {
  Vec3 lo{INFINITY, INFINITY, INFINITY}, hi{-INFINITY, -INFINITY, -INFINITY};
  void add(const Vec3& p) {
    lo = {std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z)};
    hi = {std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z)};
  }
  bool empty() const { return lo.x > hi.x; }
  Vec3 centre() const { return (lo + hi) * 0.5; }
  double extent() const { return std::max({hi.x - lo.x, hi.y - lo.y, hi.z - lo.z}); }
};

// Object names follow the world format's rule (letters, digits, _ - .), so that an import can
// be written out as a world; camera names lose quotes and control characters. Both are made
// unique with a numbered suffix.
std::string clean_name(const std::string& raw, bool identifier, const std::string& fallback) {
  std::string name;
  for (char c : raw) {
    const auto u = static_cast<unsigned char>(c);
    const bool keep = identifier ? (std::isalnum(u) || c == '_' || c == '-' || c == '.')
                                 : (u >= 0x20 && c != '"' && u != 0x7f);
    name += keep ? c : '_';
  }
  if (name.empty()) name = fallback;
  return name.substr(0, lim::kMaxNameBytes - 8);
}

// At most the format's longest name, with the suffix inside that length.
std::string unique_name(std::string name, std::set<std::string>& taken) {
  name.resize(std::min(name.size(), lim::kMaxNameBytes));
  const std::string base = name;
  for (int n = 2; !taken.insert(name).second; ++n) {
    std::string suffix(1, '-');  // not "-" + ...: GCC 12 at -O3 warns falsely of an overlap
    suffix += std::to_string(n);
    name.assign(base, 0, lim::kMaxNameBytes - suffix.size());
    name.append(suffix);
  }
  return name;
}

// The point distance back from target against direction, brought nearer where it would leave
// the coordinates a world may hold (a model far from the origin), so that the world written
// from the import loads.
Vec3 back_within_limits(const Vec3& target, const Vec3& direction, double distance) {
  double t = distance;
  const double at[3] = {target.x, target.y, target.z},
               d[3] = {direction.x, direction.y, direction.z};
  for (int a = 0; a < 3; ++a) {
    if (d[a] < 0.0) t = std::min(t, (lim::kMaxCoordinate - at[a]) / -d[a]);
    if (d[a] > 0.0) t = std::min(t, (lim::kMaxCoordinate + at[a]) / d[a]);
  }
  const Vec3 p = target - direction * std::max(t, 0.0);
  auto clamp = [](double v) { return std::clamp(v, -lim::kMaxCoordinate, lim::kMaxCoordinate); };
  return {clamp(p.x), clamp(p.y), clamp(p.z)};
}

}  // namespace

bool build_imported_scene(Scene& scene, ImportFit& fit, std::string& error) {
  if (scene.polygons.empty()) {
    error = "nothing to draw: the file holds no polygons";
    return false;
  }
  size_t roots = 0;
  for (const MovingObject& o : scene.objects)
    roots += (o.keyed && o.parent >= 0) || o.shared ? 0 : 1;
  const size_t cameras = 1 + scene.cameras.size() + roots;
  if (cameras > lim::kMaxCameras) {
    error = "scene too large: more than " + std::to_string(lim::kMaxCameras) + " cameras";
    return false;
  }

  // Each object's reach from its origin, then the bounds of everything where it starts. A
  // keyframed node's polygons count where the first animation has them at time 0, and towards
  // the reach of the root of its hierarchy, which its chase camera follows.
  std::vector<ObjectPose> start(scene.objects.size());
  NodeAnimator(scene, 0).pose(0.0, start);
  auto root_of = [&](size_t k) {
    while (scene.objects[k].parent >= 0) k = static_cast<size_t>(scene.objects[k].parent);
    return k;
  };
  // Skinned vertices count where their bones put them at time 0.
  std::vector<Vertex> posed;
  std::vector<bool> skinned(scene.objects.size(), false);
  if (!scene.skins.empty()) {
    posed.resize(scene.vertices.size());
    for (const Skin& k : scene.skins) {
      std::vector<Affine> m(k.bones.size());
      skin_matrices(k, start, m);
      pose_skin(k, m, scene.vertices, {}, 0, k.vertex_count, posed, {});
      skinned[static_cast<size_t>(k.object)] = true;
    }
  }
  std::vector<double> radius(scene.objects.size(), 0.0);
  std::vector<bool> carries(scene.objects.size(), false);
  std::vector<Box> own(scene.objects.size());  // a shared mesh's, in its own frame
  Box box;
  for (const Polygon& p : scene.polygons)
    for (uint32_t i = p.first_vertex; i < p.first_vertex + p.vertex_count; ++i) {
      const Vertex& v = scene.vertices[i];
      if (p.object < 0) {
        box.add(v.position);
      } else if (scene.objects[static_cast<size_t>(p.object)].shared) {
        own[static_cast<size_t>(p.object)].add(v.position);
      } else if (scene.objects[static_cast<size_t>(p.object)].keyed) {
        const size_t root = root_of(static_cast<size_t>(p.object));
        const Vec3 w = skinned[static_cast<size_t>(p.object)]
                           ? posed[i].position
                           : to_world(start[static_cast<size_t>(p.object)], v.position);
        box.add(w);
        radius[root] = std::max(radius[root], length(w - start[root].position));
        carries[root] = true;
      } else {
        double& r = radius[static_cast<size_t>(p.object)];
        r = std::max(r, length(v.position));
        carries[static_cast<size_t>(p.object)] = true;
      }
    }
  // Each placement's share: the corners of its mesh's box where the placement puts them.
  for (const Placement& p : scene.placements) {
    const Box& b = own[static_cast<size_t>(p.object)];
    if (b.empty()) continue;
    const ObjectPose pose = pose_from(p.frame);
    for (int c = 0; c < 8; ++c)
      box.add(to_world(
          pose, {c & 1 ? b.hi.x : b.lo.x, c & 2 ? b.hi.y : b.lo.y, c & 4 ? b.hi.z : b.lo.z}));
  }
  for (size_t k = 0; k < scene.objects.size(); ++k)
    for (const Vec3& w : scene.objects[k].path) {
      box.add(w + Vec3{radius[k], radius[k], radius[k]});
      box.add(w - Vec3{radius[k], radius[k], radius[k]});
    }

  fit.extent = box.extent();
  fit.scale = 1.0;
  if (fit.extent > 0.0 && (fit.extent < kFitMin || fit.extent > kFitMax))
    fit.scale = kFitTarget / fit.extent;
  const double s = fit.scale;
  const double bound = lim::kMaxCoordinate;
  auto scaled = [&](Vec3& p) {
    p = p * s;
    return std::fabs(p.x) <= bound && std::fabs(p.y) <= bound && std::fabs(p.z) <= bound;
  };
  if (s != 1.0) {
    bool ok = true;
    // A keyframed node's polygons keep its own units: the scale goes on the roots' bases, and
    // from them down each hierarchy.
    for (const Polygon& p : scene.polygons)
      if (p.object < 0 || !scene.objects[static_cast<size_t>(p.object)].keyed)
        for (uint32_t i = p.first_vertex; i < p.first_vertex + p.vertex_count; ++i)
          ok = scaled(scene.vertices[i].position) && ok;
    for (MovingObject& o : scene.objects) {
      for (Vec3& w : o.path) ok = scaled(w) && ok;
      o.speed = std::clamp(o.speed * s, -lim::kMaxSpeed, lim::kMaxSpeed);
      if (o.keyed && o.parent < 0)
        for (auto& row : o.base.m)
          for (double& v : row) {
            v *= s;
            ok = ok && std::fabs(v) <= bound;
          }
    }
    // A shared mesh's vertices were scaled above, in its own frame: its placements keep their
    // turn and scale their move.
    for (Placement& p : scene.placements)
      for (auto& row : p.frame.m) {
        row[3] *= s;
        ok = ok && std::fabs(row[3]) <= bound;
      }
    for (ObjectPose& pose : start) pose.position = pose.position * s;
    for (CameraDef& c : scene.cameras) ok = scaled(c.location) && ok;
    for (double& r : radius) r *= s;
    box.lo = box.lo * s;
    box.hi = box.hi * s;
    if (!ok) {
      error = "scene too large: a coordinate beyond 1e8 after scaling";
      return false;
    }
  }

  std::set<std::string> taken;
  std::vector<CameraDef> list;
  list.reserve(cameras);

  // The overview looks at the model's front (a file's front faces -y) from above and a little
  // to its right, at the middle of the scene, far enough back that the bounding sphere fits
  // the height of a 4:3 picture at its field of view.
  CameraDef overview;
  overview.name = unique_name("Overview", taken);
  overview.chase = ChaseType::Fixed;
  overview.zoom = 60.0;
  overview.direction = normalized(Vec3{-0.5, 1.0, -0.6});
  const double half_vertical =
      std::atan(std::tan(overview.zoom / 2.0 * std::numbers::pi / 180.0) * 0.75);
  const double sphere = std::max(length(box.hi - box.lo) * 0.5, 1.0);
  overview.location =
      back_within_limits(box.centre(), overview.direction, sphere * 1.05 / std::sin(half_vertical));
  list.push_back(overview);

  // A model brings no light of its own (the stream has none): the sun shines from above and
  // in front, over the overview's shoulder, so that faces turned differently differ in light
  // and the shape shows; ambient keeps the faces the sun misses readable.
  const Vec3 right = normalized(cross(overview.direction, Vec3{0, 0, 1}));
  scene.lighting.sun_direction = normalized(-overview.direction + Vec3{0, 0, 0.9} + right * 0.4);
  scene.lighting.sun = kImportSun;
  scene.lighting.ambient = kImportAmbient;

  for (CameraDef& c : scene.cameras) {
    c.name = unique_name(clean_name(c.name, false, "Camera"), taken);
    c.chase = ChaseType::Fixed;
    c.target = -1;
    list.push_back(std::move(c));
  }

  std::set<std::string> object_names;
  for (size_t k = 0; k < scene.objects.size(); ++k) {
    MovingObject& o = scene.objects[k];
    o.name = unique_name(clean_name(o.name, true, "object"), object_names);
    // Nothing to follow: a part of a hierarchy, or a mesh that stands in many places.
    if ((o.keyed && !carries[k]) || o.shared) continue;
    CameraDef c;
    c.name = unique_name("Behind " + o.name, taken);
    c.chase = ChaseType::Behind;
    c.target = static_cast<int32_t>(k);
    c.location = o.keyed ? start[k].position : o.path.front();
    c.distance_from_eye = std::max(radius[k] * 3.0, kFitTarget / 100.0);
    list.push_back(std::move(c));
  }
  scene.cameras = std::move(list);
  for (size_t i = 0; i < scene.animations.size(); ++i)
    scene.animations[i].name =
        clean_name(scene.animations[i].name, false, "Animation " + std::to_string(i + 1));
  return true;
}

}  // namespace znr
