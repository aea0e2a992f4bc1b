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
  std::vector<znr::ObjectPose> poses(scene.objects.size());
  for (size_t a = 0; a <= scene.animations.size(); ++a)
    for (double t : {0.0, 0.7, 1e3}) {
      znr::NodeAnimator(scene, a).pose(t, poses);
      for (const znr::ObjectPose& p : poses)
        if (!znr::is_finite(p.position) || !std::isfinite(p.heading_deg)) std::abort();
    }
  znr::ImportFit fit;
  if (znr::build_imported_scene(scene, fit, error)) {
    if (scene.cameras.empty() || scene.cameras[0].chase != znr::ChaseType::Fixed) std::abort();
    for (const znr::CameraDef& c : scene.cameras)
      if (c.target >= static_cast<int32_t>(scene.objects.size())) std::abort();
  }
  return 0;
}
