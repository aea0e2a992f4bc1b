// libFuzzer harness for the engine's side of the import: any bytes from the importer give a
// consistent scene or an error, never a crash or an unbounded allocation, and a scene that
// decodes is fitted and given its cameras.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

#include "zelnary/import/build_scene.h"
#include "zelnary/import/stream_decode.h"
#include "zelnary/simulation/keyframes.h"
#include "zelnary/simulation/morphing.h"
#include "zelnary/simulation/skinning.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  znr::DecodedImport decoded;
  std::string error;
  if (!znr::decode_import_stream(std::span<const uint8_t>(data, size), decoded, error)) {
    if (error.empty() || !decoded.scene.polygons.empty()) std::abort();
    return 0;
  }
  znr::Scene& scene = decoded.scene;
  for (const znr::Polygon& p : scene.polygons) {
    if (p.vertex_count != 3 || p.first_vertex + p.vertex_count > scene.vertices.size())
      std::abort();
    if (p.texture >= static_cast<int32_t>(scene.textures.size())) std::abort();
    if (p.object >= static_cast<int32_t>(scene.objects.size())) std::abort();
  }
  // Channels drive nodes and hold what their keys need; any pose of them is finite.
  for (const znr::Animation& a : scene.animations)
    for (const znr::Channel& c : a.channels)
      if (c.object < 0 || static_cast<size_t>(c.object) >= scene.objects.size() ||
          !scene.objects[static_cast<size_t>(c.object)].keyed || znr::channel_fault(c))
        std::abort();
  // Skins lie on nodes, within the vertices, on bones that are nodes, with one influence per
  // vertex whose weights are usable; any pose of them is finite.
  const auto keyed = [&](int32_t o) {
    return o >= 0 && static_cast<size_t>(o) < scene.objects.size() &&
           scene.objects[static_cast<size_t>(o)].keyed;
  };
  for (const znr::Skin& k : scene.skins) {
    if (!keyed(k.object) || size_t{k.first_vertex} + k.vertex_count > scene.vertices.size() ||
        k.influences.size() != k.vertex_count || k.bones.empty() ||
        k.bound_radius.size() != k.bones.size())
      std::abort();
    for (const znr::Bone& b : k.bones)
      if (!keyed(b.object)) std::abort();
    for (const znr::SkinInfluence& f : k.influences) {
      double sum = 0.0;
      for (int i = 0; i < znr::kSkinWeights; ++i) {
        if (!(f.weight[i] >= 0.0f) || f.bone[i] >= k.bones.size()) std::abort();
        sum += f.weight[i];
      }
      if (std::fabs(sum - 1.0) > 1e-5) std::abort();
    }
  }
  // Placements put shared meshes, which neither a path nor a key moves, through finite maps.
  for (const znr::MovingObject& o : scene.objects)
    if (o.shared && (o.keyed || !o.path.empty())) std::abort();
  for (const znr::Placement& p : scene.placements) {
    if (p.object < 0 || static_cast<size_t>(p.object) >= scene.objects.size() ||
        !scene.objects[static_cast<size_t>(p.object)].shared)
      std::abort();
    for (const auto& row : p.frame.m)
      for (double v : row)
        if (!std::isfinite(v)) std::abort();
  }
  // Morphs lie on nodes, within the vertices, each corner on a vertex of its mesh, with one
  // delta per target and mesh vertex and their weights laid end to end.
  const size_t weights = znr::default_morph_weights(scene).size();
  for (const znr::Morph& m : scene.morphs) {
    if (!keyed(m.object) || size_t{m.first_vertex} + m.vertex_count > scene.vertices.size() ||
        m.corner_vertex.size() != m.vertex_count || m.targets > znr::kMorphTargets ||
        m.positions.size() != size_t{m.targets} * m.mesh_vertices ||
        (!m.normals.empty() && m.normals.size() != m.positions.size()) ||
        m.default_weights.size() != m.targets || m.reach.size() != m.targets ||
        size_t{m.first_weight} + m.targets > weights)
      std::abort();
    for (uint32_t v : m.corner_vertex)
      if (v >= m.mesh_vertices) std::abort();
  }
  std::vector<znr::ObjectPose> poses(scene.objects.size());
  std::vector<znr::Vertex> posed(
      scene.skins.empty() && scene.morphs.empty() ? 0 : scene.vertices.size());
  std::vector<znr::Normal> normals(scene.morphs.empty() ? 0 : scene.normals.size());
  std::vector<znr::Affine> m;
  for (size_t a = 0; a <= scene.animations.size(); ++a)
    for (double t : {0.0, 0.7, 1e3}) {
      znr::NodeAnimator(scene, a).pose(t, poses);
      for (const znr::ObjectPose& p : poses)
        if (!znr::is_finite(p.position) || !std::isfinite(p.heading_deg)) std::abort();
      std::vector<float> w = znr::default_morph_weights(scene);
      znr::NodeAnimator(scene, a).weights(t, w);
      for (const znr::Morph& k : scene.morphs) {
        const auto mine = znr::weights_of(k, w);
        znr::pose_morph(k, mine, scene.vertices, scene.normals, 0, k.vertex_count, posed, normals);
        for (size_t i = k.first_vertex; i < k.first_vertex + k.vertex_count; ++i)
          if (!znr::is_finite(posed[i].position)) std::abort();
        if (!std::isfinite(znr::morph_growth(k, mine))) std::abort();
      }
      for (const znr::Skin& k : scene.skins) {
        m.resize(k.bones.size());
        znr::skin_matrices(k, poses, m);
        znr::pose_skin(k, m, scene.vertices, {}, 0, k.vertex_count, posed, {});
        for (size_t i = k.first_vertex; i < k.first_vertex + k.vertex_count; ++i)
          if (!znr::is_finite(posed[i].position)) std::abort();
        znr::Vec3 center;
        double radius = 0.0;
        znr::skin_bounds(k, m, center, radius);
        if (!znr::is_finite(center) || !std::isfinite(radius)) std::abort();
      }
    }
  znr::ImportFit fit;
  if (znr::build_imported_scene(scene, fit, error)) {
    if (scene.cameras.empty() || scene.cameras[0].chase != znr::ChaseType::Fixed) std::abort();
    for (const znr::CameraDef& c : scene.cameras) {
      if (c.target >= static_cast<int32_t>(scene.objects.size())) std::abort();
      if (c.target >= 0 && scene.objects[static_cast<size_t>(c.target)].shared) std::abort();
      if (!znr::is_finite(c.location)) std::abort();
    }
  }
  return 0;
}
