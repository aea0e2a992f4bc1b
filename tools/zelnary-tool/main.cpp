// zelnary-tool: checks a world file, or renders one of its cameras offscreen into a PNG.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "options.h"
#include "write_world.h"
#include "zelnary/api/engine_core.h"
#include "zelnary/import/import_model.h"
#include "zelnary/import/up_axis.h"
#include "zelnary/present/png_writer.h"
#include "zelnary/scene/image.h"
#include "zelnary/simulation/keyframes.h"
#include "zelnary/simulation/morphing.h"
#include "zelnary/simulation/skinning.h"
#include "zelnary/world/load_world.h"

namespace {

using znr::tool::Command;

std::string bitmaps_beside(const std::string& world) {
  return (std::filesystem::path(world).parent_path() / "bitmaps").string();
}

// "6 (6 chase: 2 behind, 2 watch, 2 fixed)": the viewer lists every camera of a non-zero
// chase type, and the types say which of those follow an object.
std::string camera_summary(const std::vector<znr::CameraDef>& cameras) {
  size_t behind = 0, watch = 0, fixed = 0;
  for (const znr::CameraDef& c : cameras) {
    behind += c.chase == znr::ChaseType::Behind ? 1 : 0;
    watch += c.chase == znr::ChaseType::Watch ? 1 : 0;
    fixed += c.chase == znr::ChaseType::Fixed ? 1 : 0;
  }
  std::string text =
      std::to_string(cameras.size()) + " (" + std::to_string(behind + watch + fixed) + " chase";
  const char* separator = ": ";
  const std::pair<size_t, const char*> types[] = {
      {behind, "behind"}, {watch, "watch"}, {fixed, "fixed"}};
  for (const auto& [count, type] : types) {
    if (count == 0) continue;
    text += separator + std::to_string(count) + " " + type;
    separator = ", ";
  }
  return text + ")";
}

int check(const std::string& world) {
  znr::Scene scene;
  std::string error;
  const bool loaded = znr::is_world_file(world)
                          ? znr::load_world(world, bitmaps_beside(world), scene, error)
                          : znr::import_model(world, scene, error);
  if (!loaded) return 1;  // the loader has printed the error with its file (and line)
  size_t fallbacks = 0;
  for (const znr::Texture& t : scene.textures) fallbacks += t.fallback ? 1 : 0;
  std::printf("%s: ok\n", world.c_str());
  std::printf("polygons: %zu (%zu vertices)\n", scene.polygons.size(), scene.vertices.size());
  std::printf("textures: %zu (%zu fell back)\n", scene.textures.size(), fallbacks);
  std::printf("cameras: %s\n", camera_summary(scene.cameras).c_str());
  std::printf("objects: %zu\n", scene.objects.size());
  if (!scene.placements.empty()) {
    size_t shared = 0;
    for (const znr::MovingObject& o : scene.objects) shared += o.shared ? 1 : 0;
    std::printf("placements: %zu (of %zu shared meshes)\n", scene.placements.size(), shared);
  }
  return 0;
}

int render(const znr::tool::RenderOptions& r) {
  // World time is 0 at the first advance after the load, then jumps to --time.
  double now = 0.0;
  znr::EngineCore core([&now] { return now; });
  if (core.load_world(r.world, bitmaps_beside(r.world)) != 0) return 1;
  core.advance();
  int32_t camera = r.camera;
  if (camera == 0) {
    camera = core.camera_create("zelnary-tool");
  } else {
    int32_t h = core.first_camera();
    while (h != 0 && h != camera) h = core.next_camera(h);
    if (h == 0) {
      std::fprintf(stderr, "zelnary-tool: %s has no camera %d\n", r.world.c_str(), camera);
      return 1;
    }
  }
  core.set_perspective_correction_accuracy(r.accuracy);
  // --gl asks for OpenGL by name, so a software GL (which the viewer's card mode passes over)
  // is used too.
  if (r.gl) setenv("ZELNARY_SOFTWARE_GL", "1", 0);
  core.use_accelerator(r.gl);
  now = r.time;
  znr::Image image;
  if (!core.render_to_image(camera, r.width, r.height, image)) {
    std::fprintf(stderr, "zelnary-tool: camera %d could not be rendered\n", camera);
    return 1;
  }
  if (r.gl) {
    // Asked for OpenGL: say what drew, and fail when it was not OpenGL (the engine has said why).
    const std::string name = core.renderer_name();
    std::printf("renderer: %s\n", name.c_str());
    if (name.rfind("OpenGL", 0) != 0) return 1;
  }
  std::string error;
  // A picture is written once and looked at: speed before size.
  if (!znr::write_png(r.out, image, error, znr::kPngFast)) {
    std::fprintf(stderr, "zelnary-tool: cannot write %s\n", error.c_str());
    return 1;
  }
  return 0;
}

// The file a texture named by the model was read from when it lies outside the model's folder
// (an absolute path, ../, a file:// address); empty otherwise. The importer looks at the path
// as named first, so a file there is the one it read.
std::filesystem::path outside_model_folder(const std::string& model, std::string name) {
  namespace fs = std::filesystem;
  std::replace(name.begin(), name.end(), '\\', '/');
  if (name.starts_with("file://")) name.erase(0, 7);
  if (name.empty()) return {};
  const fs::path folder = fs::path(model).parent_path();
  const fs::path file = name.starts_with('/') ? fs::path(name) : folder / name;
  std::error_code ec;
  if (!fs::is_regular_file(file, ec)) return {};
  const fs::path real = fs::weakly_canonical(file, ec), home = fs::weakly_canonical(folder, ec);
  const fs::path inside = real.lexically_relative(home);
  if (!inside.empty() && *inside.begin() != "..") return {};
  return real;
}

// Imports a model and writes it as a world beside its textures, named after the model.
int import(const std::string& model, const std::string& out_dir, bool force) {
  znr::Scene scene;
  std::string error;
  if (!znr::import_model(model, scene, error)) return 1;  // it has printed the reason
  std::string name = std::filesystem::path(model).stem().string();
  if (name.empty()) name = "model";
  if (!scene.morphs.empty()) {
    znr::drop_morphs(scene);
    std::printf(
        "%s: morph targets were left out (a world holds none): their meshes are written in "
        "the shape their default weights give them, and do not change\n",
        model.c_str());
  }
  if (!scene.skins.empty()) {
    std::vector<znr::ObjectPose> start(scene.objects.size());
    znr::NodeAnimator(scene, 0).pose(0.0, start);
    znr::freeze_skins(scene, start);
    std::printf(
        "%s: skinned meshes are written as their bones hold them at 0 s (a world holds "
        "no bone weights): they move with their root node but do not bend\n",
        model.c_str());
  }
  if (!znr::tool::write_world(scene, out_dir, name, force, error)) {
    std::fprintf(stderr, "zelnary-tool: %s\n", error.c_str());
    return 1;
  }
  const std::filesystem::path world = std::filesystem::path(out_dir) / (name + ".wld");
  std::printf("%s: wrote %s (%zu polygons, %zu textures in %s)\n", model.c_str(), world.c_str(),
              scene.polygons.size(), scene.textures.size(),
              (std::filesystem::path(out_dir) / "bitmaps").c_str());
  // A world shared later carries its textures: say which came from elsewhere on this disk.
  for (const znr::Texture& t : scene.textures) {
    if (t.fallback) continue;
    const std::filesystem::path from = outside_model_folder(model, t.file);
    if (!from.empty())
      std::printf("%s: copied %s from outside the model's folder\n", model.c_str(), from.c_str());
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  std::string error;
  const auto cmd = znr::tool::parse_command(args, error);
  if (!cmd) {
    std::fprintf(stderr, "zelnary-tool: %s\n%s", error.c_str(), znr::tool::kUsage);
    return 1;
  }
  // The importer child inherits the up axis with the environment.
  if (!cmd->up.empty()) setenv(znr::kUpAxisVariable, cmd->up.c_str(), 1);
  // The engine reads the animation to play from its environment, as the viewer's does.
  if (!cmd->animation.empty()) setenv(znr::kAnimationVariable, cmd->animation.c_str(), 1);
  switch (cmd->kind) {
    case Command::Help:
      std::fputs(znr::tool::kUsage, stdout);
      return 0;
    case Command::Check:
      return check(cmd->world);
    case Command::Import:
      return import(cmd->model, cmd->out_dir, cmd->force);
    case Command::Render:
      break;
  }
  return render(cmd->render);
}
