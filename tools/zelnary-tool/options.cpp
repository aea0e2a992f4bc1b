#include "options.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <filesystem>

#include "zelnary/import/up_axis.h"
#include "zelnary/render/renderer.h"
#include "zelnary/world/limits.h"

namespace znr::tool {

const char* const kUsage =
    "usage: zelnary-tool check WORLD [--up AXIS] [--animation A]\n"
    "       zelnary-tool render WORLD --camera N --size WxH --out FILE.png"
    " [--time SECONDS] [--accuracy A] [--gl] [--up AXIS] [--animation A]\n"
    "       zelnary-tool import [--force] MODEL OUTDIR [--up AXIS]\n"
    "           (writes OUTDIR/NAME.wld and OUTDIR/bitmaps/; --force replaces them)\n"
    "       zelnary-tool help\n"
    "  check: load WORLD (or a model) with its textures, report the first error, count what it"
    " holds\n"
    "  render: draw camera N of WORLD (or a model) offscreen into a PNG file\n"
    "  N: camera handle (1 = the world's first camera; 0 = a new camera at the origin"
    " looking along -x)\n"
    "  AXIS: the model file's axis that points up: x, y, z, -x, -y or -z (by default the"
    " file's own, or its format's)\n"
    "  A: which of the world's animations plays: 1 = the first (the default), 0 = none\n";

namespace {

template <typename T>
bool parse_number(const std::string& s, T& out) {
  const char* end = s.data() + s.size();
  const auto r = std::from_chars(s.data(), end, out);
  return r.ec == std::errc() && r.ptr == end;
}

bool parse_size(const std::string& s, int32_t& w, int32_t& h) {
  const size_t x = s.find('x');
  if (x == std::string::npos) return false;
  return parse_number(s.substr(0, x), w) && parse_number(s.substr(x + 1), h) && w >= 1 && h >= 1 &&
         w <= kMaxFrameSide && h <= kMaxFrameSide && static_cast<int64_t>(w) * h <= kMaxFramePixels;
}

// Case-insensitive, so that view.PNG is accepted as well.
bool has_png_extension(const std::string& path) {
  const std::string ext = std::filesystem::path(path).extension().string();
  if (ext.size() != 4) return false;
  std::string lower;
  for (char ch : ext) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  return lower == ".png";
}

}  // namespace

std::optional<Command> parse_command(const std::vector<std::string>& all_args, std::string& error) {
  if (all_args.empty()) {
    error = "no command given";
    return std::nullopt;
  }
  // --up goes with any command that reads a model; the rest is parsed without it.
  Command cmd;
  std::vector<std::string> args;
  for (size_t i = 0; i < all_args.size(); ++i) {
    const bool animation = i > 0 && all_args[i] == "--animation";
    if (i == 0 || (all_args[i] != "--up" && !animation)) {
      args.push_back(all_args[i]);
      continue;
    }
    if (i + 1 >= all_args.size()) {
      error = all_args[i] + " needs a value";
      return std::nullopt;
    }
    if (animation) {
      cmd.animation = all_args[++i];
      uint32_t n = 0;
      if (!parse_number(cmd.animation, n) || n > world_limits::kMaxAnimations) {
        error = "bad value '" + cmd.animation + "' for --animation (0 to 1024)";
        return std::nullopt;
      }
      continue;
    }
    cmd.up = all_args[++i];
    if (!parse_up_axis(cmd.up)) {
      error = "bad value '" + cmd.up + "' for --up (" + kUpAxisValues + ")";
      return std::nullopt;
    }
  }
  if (args[0] == "help" || args[0] == "--help" || args[0] == "-h") {
    cmd.kind = Command::Help;
    return cmd;
  }
  if (args[0] == "check") {
    if (args.size() != 2) {
      error = "check takes one world file";
      return std::nullopt;
    }
    cmd.kind = Command::Check;
    cmd.world = args[1];
    return cmd;
  }
  if (args[0] == "import") {
    std::vector<std::string> files;
    for (size_t i = 1; i < args.size(); ++i) {
      if (args[i] == "--force") {
        cmd.force = true;
      } else {
        files.push_back(args[i]);
      }
    }
    if (files.size() != 2) {
      error = "import takes a model file and an output folder";
      return std::nullopt;
    }
    cmd.kind = Command::Import;
    cmd.model = files[0];
    cmd.out_dir = files[1];
    return cmd;
  }
  if (args[0] != "render") {
    error = "unknown command '" + args[0] + "'";
    return std::nullopt;
  }
  cmd.kind = Command::Render;
  RenderOptions& r = cmd.render;
  bool have_camera = false, have_size = false;
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a.rfind("--", 0) != 0) {
      if (!r.world.empty()) {
        error = "more than one world file given";
        return std::nullopt;
      }
      r.world = a;
      continue;
    }
    if (a == "--gl") {
      r.gl = true;
      continue;
    }
    if (i + 1 >= args.size()) {
      error = a + " needs a value";
      return std::nullopt;
    }
    const std::string& v = args[++i];
    bool ok = true;
    if (a == "--camera") {
      ok = parse_number(v, r.camera) && r.camera >= 0;
      have_camera = true;
    } else if (a == "--size") {
      ok = parse_size(v, r.width, r.height);
      have_size = true;
    } else if (a == "--out") {
      r.out = v;
      if (!has_png_extension(v)) {
        error = "--out " + v + ": zelnary-tool writes PNG images only; name the file *.png";
        return std::nullopt;
      }
    } else if (a == "--time") {
      ok = parse_number(v, r.time) && std::isfinite(r.time) && r.time >= 0.0;
    } else if (a == "--accuracy") {
      ok = parse_number(v, r.accuracy) && std::isfinite(r.accuracy) && r.accuracy >= 0.0;
    } else {
      error = "unknown option " + a;
      return std::nullopt;
    }
    if (!ok) {
      error = "bad value '" + v + "' for " + a;
      if (a == "--size") error += " (WxH, each from 1 to 16384, at most 8192x8192 pixels in all)";
      return std::nullopt;
    }
  }
  if (r.world.empty())
    error = "render needs a world file";
  else if (!have_camera)
    error = "render needs --camera N";
  else if (!have_size)
    error = "render needs --size WxH";
  else if (r.out.empty())
    error = "render needs --out FILE.png";
  if (!error.empty()) return std::nullopt;
  return cmd;
}

}  // namespace znr::tool
