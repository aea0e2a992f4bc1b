// libFuzzer harness for the engine's side of the import: any bytes from the importer give a
// consistent scene or an error, never a crash or an unbounded allocation, and a scene that
// decodes is fitted and given its cameras.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>

#include "zelnary/import/build_scene.h"
#include "zelnary/import/stream_decode.h"

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
  znr::ImportFit fit;
  if (znr::build_imported_scene(scene, fit, error)) {
    if (scene.cameras.empty() || scene.cameras[0].chase != znr::ChaseType::Fixed) std::abort();
    for (const znr::CameraDef& c : scene.cameras)
      if (c.target >= static_cast<int32_t>(scene.objects.size())) std::abort();
  }
  return 0;
}
