#include "write_world.h"

#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <set>
#include <span>
#include <sstream>
#include <vector>

#include "zelnary/core/write_all.h"
#include "zelnary/present/png_writer.h"
#include "zelnary/render/surface_light.h"
#include "zelnary/world/limits.h"

namespace znr::tool {
namespace {

namespace fs = std::filesystem;

// Shortest text that reads back as the same number, in every locale.
std::string num(double v) {
  char buf[32];
  const auto r = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, r.ptr);
}

std::string triple(const Vec3& v, char sep) {
  return num(v.x) + sep + num(v.y) + sep + num(v.z);
}

std::string colour(const Color& c) {
  return num(c.r) + ',' + num(c.g) + ',' + num(c.b);
}

// Texture names from the model's own file names (the base name, of a Windows path too),
// made to fit the format's name rule.
std::vector<std::string> texture_names(const Scene& scene) {
  std::vector<std::string> names;
  std::set<std::string> taken;
  for (size_t i = 0; i < scene.textures.size(); ++i) {
    const std::string& file = scene.textures[i].file;
    const size_t slash = file.find_last_of("/\\");
    const std::string stem =
        fs::path(slash == std::string::npos ? file : file.substr(slash + 1)).stem().string();
    std::string name;
    for (char c : stem)
      name += (std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-') ? c : '_';
    if (name.empty()) name = "texture";
    name = name.substr(0, 200);
    const std::string base = name;
    for (int n = 2; !taken.insert(name).second; ++n) name = base + "-" + std::to_string(n);
    names.push_back(name);
  }
  return names;
}

// A unit normal's component to 6 significant digits: enough for light, a third of the text.
std::string short_num(float v) {
  char buf[32];
  const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, 6);
  return std::string(buf, r.ptr);
}

// A colour channel 0..255 as the fraction that reads back as the same byte.
std::string channel(uint32_t argb, int shift) {
  return num(static_cast<float>((argb >> shift) & 0xFF) / 255.0f);
}

// The material's options; nothing for the plain material.
void write_material(std::ostream& out, const Material& m) {
  const Color black{0.0f, 0.0f, 0.0f};
  if (!(m.specular == black)) out << " specular=" << colour(m.specular);
  if (m.shininess != Material{}.shininess) out << " shininess=" << num(m.shininess);
  if (!(m.emissive == black)) out << " emissive=" << colour(m.emissive);
  if (m.alpha_mode == AlphaMode::Mask) out << " cutout=" << num(m.cutoff);
  if (m.alpha_mode == AlphaMode::Blend) out << " blend";
  if (m.alpha_mode != AlphaMode::Opaque && m.alpha != 1.0f) out << " alpha=" << num(m.alpha);
}

void write_poly(std::ostream& out, const Scene& scene, const Polygon& p,
                const std::vector<std::string>& tex, const char* indent) {
  out << indent << "poly";
  if (p.texture >= 0) out << " tex=" << tex[static_cast<size_t>(p.texture)];
  if (!(p.color == Color{})) out << " color=" << colour(p.color);
  out << (p.two_sided ? "" : " onesided");
  write_material(out, scene.material_of(p));
  out << " :";
  const char* sep = " ";
  for (uint32_t i = p.first_vertex; i < p.first_vertex + p.vertex_count; ++i) {
    const Vertex& v = scene.vertices[i];
    out << sep << triple(v.position, ' ') << ' ' << num(v.u) << ' ' << num(v.v);
    if (i < scene.normals.size() && !scene.normals[i].none()) {
      const Normal& n = scene.normals[i];
      out << " n=" << short_num(n.x) << ',' << short_num(n.y) << ',' << short_num(n.z);
    }
    if (const uint32_t c = vertex_color(scene, i); c != 0xFFFFFFFFu) {
      out << " c=" << channel(c, 16) << ',' << channel(c, 8) << ',' << channel(c, 0);
      if (c >> 24 != 0xFF) out << ',' << channel(c, 24);
    }
    sep = " ; ";
  }
  out << '\n';
}

// A keyframed node's header and its settings that differ from the defaults.
void write_node(std::ostream& out, const Scene& scene, const MovingObject& o) {
  out << "\nobject " << o.name << " node";
  if (o.parent >= 0) out << " parent=" << scene.objects[static_cast<size_t>(o.parent)].name;
  out << '\n';
  if (!(o.base == Affine{})) {
    out << "  base";
    for (const auto& row : o.base.m)
      for (double v : row) out << ' ' << num(v);
    out << '\n';
  }
  if (!(o.rest == Transform{})) {
    const Transform& t = o.rest;
    out << "  rest " << triple(t.translation, ' ') << ' ' << num(t.rotation.x) << ' '
        << num(t.rotation.y) << ' ' << num(t.rotation.z) << ' ' << num(t.rotation.w) << ' '
        << triple(t.scale, ' ') << '\n';
  }
  if (!(o.front == Vec3{1.0, 0.0, 0.0})) out << "  front " << triple(o.front, ' ') << '\n';
}

// One use of a shared mesh: the 3 numbers of its move when that is all its frame does, else
// the 12 of the frame by rows.
void write_placement(std::ostream& out, const Scene& scene, const Placement& p) {
  out << "place " << scene.objects[static_cast<size_t>(p.object)].name;
  Affine linear = p.frame;
  for (auto& row : linear.m) row[3] = 0.0;
  const bool moved_only = linear == Affine{};
  for (const auto& row : p.frame.m)
    for (size_t c = moved_only ? 3 : 0; c < 4; ++c) out << ' ' << num(row[c]);
  out << '\n';
}

void write_animation(std::ostream& out, const Scene& scene, const Animation& a) {
  static constexpr const char* kPath[] = {"translation", "rotation", "scale"};
  static constexpr const char* kHow[] = {"step", "linear", "cubic"};
  out << "\nanimation \"" << a.name << "\" " << num(a.length) << '\n';
  for (const Channel& c : a.channels) {
    out << "  channel " << scene.objects[static_cast<size_t>(c.object)].name << ' '
        << kPath[static_cast<int>(c.path) % 3] << ' ' << kHow[static_cast<int>(c.interpolation) % 3]
        << '\n';
    const size_t n = values_per_key(c);
    for (size_t k = 0; k < c.times.size(); ++k) {
      out << "    key " << num(c.times[k]);
      for (size_t i = 0; i < n; ++i) out << ' ' << num(c.values[k * n + i]);
      out << '\n';
    }
  }
  out << "end\n";
}

// The world file's text; false when it would be larger than a world file may be, checked as
// it grows so that a scene far too big never takes the memory of its whole text.
bool world_text(const Scene& scene, const std::vector<std::string>& tex, std::string& text,
                std::string& error) {
  std::ostringstream out;
  auto too_big = [&] {
    if (static_cast<uint64_t>(out.tellp()) <= world_limits::kMaxFileBytes) return false;
    error = "the world would be larger than " + std::to_string(world_limits::kMaxFileBytes >> 20) +
            " MiB, the most a world file may hold: nothing was written";
    return true;
  };
  // Nodes, animations and shared meshes need version 2.
  bool v2 = !scene.animations.empty() || !scene.placements.empty();
  for (const MovingObject& o : scene.objects) v2 = v2 || o.keyed || o.shared;
  out << (v2 ? "zelnary-world 2" : "zelnary-world 1")
      << "\n# Imported by zelnary-tool. z is up.\n\n";
  const Lighting& l = scene.lighting;
  out << "background " << num(scene.background.r) << ' ' << num(scene.background.g) << ' '
      << num(scene.background.b) << '\n';
  out << "ambient " << num(l.ambient.r) << ' ' << num(l.ambient.g) << ' ' << num(l.ambient.b)
      << '\n';
  out << "sun " << triple(l.sun_direction, ' ') << ' ' << num(l.sun.r) << ' ' << num(l.sun.g) << ' '
      << num(l.sun.b) << "\n\n";
  for (size_t i = 0; i < tex.size(); ++i) out << "texture " << tex[i] << ' ' << tex[i] << ".png\n";
  out << '\n';
  static constexpr const char* kChase[] = {"none", "behind", "watch", "fixed"};
  for (const CameraDef& c : scene.cameras) {
    out << "camera \"" << c.name << "\" chase=" << kChase[static_cast<int>(c.chase) & 3]
        << " at=" << triple(c.location, ',') << " dir=" << triple(c.direction, ',')
        << " zoom=" << num(c.zoom);
    if (c.target >= 0)
      out << " target=" << scene.objects[static_cast<size_t>(c.target)].name
          << " distance=" << num(c.distance_from_eye);
    out << '\n';
  }
  out << '\n';
  for (const Polygon& p : scene.polygons) {
    if (p.object < 0) write_poly(out, scene, p, tex, "");
    if (too_big()) return false;
  }
  for (size_t k = 0; k < scene.objects.size(); ++k) {
    const MovingObject& o = scene.objects[k];
    if (o.keyed) {
      write_node(out, scene, o);
    } else if (o.shared) {
      out << "\nobject " << o.name << " shared\n";
    } else {
      out << "\nobject " << o.name << ' ' << num(o.speed) << '\n';
    }
    for (const Vec3& w : o.path) out << "  waypoint " << triple(w, ' ') << '\n';
    for (const Polygon& p : scene.polygons) {
      if (p.object == static_cast<int32_t>(k)) write_poly(out, scene, p, tex, "  ");
      if (too_big()) return false;
    }
    out << "end\n";
  }
  // A shared mesh's polygons went out once above, whatever the number of its placements.
  if (!scene.placements.empty()) out << '\n';
  for (const Placement& p : scene.placements) {
    write_placement(out, scene, p);
    if (too_big()) return false;
  }
  for (const Animation& a : scene.animations) {
    write_animation(out, scene, a);
    if (too_big()) return false;
  }
  text = std::move(out).str();
  return true;
}

std::string cause(const fs::path& path, int code) {
  return path.string() + ": " + std::strerror(code);
}

// Writes a new file (never one that is there) and flushes it to the disk, so that a full disk
// shows here and not after the file has been moved into place.
bool write_new_file(const fs::path& path, std::span<const char> bytes, std::string& error) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) {
    error = cause(path, errno);
    return false;
  }
  const bool written = write_all_and_sync(fd, bytes.data(), bytes.size());
  const int code = errno;
  if (::close(fd) != 0 || !written) {
    error = cause(path, written ? errno : code);
    return false;
  }
  return true;
}

// Moves from to to; without replace, a file already at to stays and the move fails.
bool move_into_place(const fs::path& from, const fs::path& to, bool replace, std::string& error) {
  const int r = replace
                    ? ::rename(from.c_str(), to.c_str())
                    : ::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE);
  if (r == 0) return true;
  error = errno == EEXIST ? to.string() + " exists (--force replaces it)" : cause(to, errno);
  return false;
}

// A folder of this run's own, removed with what is left in it whatever happens.
struct Staging {
  fs::path path;
  ~Staging() {
    std::error_code ec;
    if (!path.empty()) fs::remove_all(path, ec);
  }
};

}  // namespace

bool write_world(const Scene& scene, const std::string& dir, const std::string& name, bool force,
                 std::string& error) {
  const fs::path out = dir, bitmaps = out / "bitmaps", world = out / (name + ".wld");
  const std::vector<std::string> tex = texture_names(scene);
  std::vector<fs::path> targets;
  for (const std::string& t : tex) targets.push_back(bitmaps / (t + ".png"));
  targets.push_back(world);
  std::error_code ec;
  if (!force) {
    for (const fs::path& t : targets) {
      if (fs::exists(fs::symlink_status(t, ec))) {
        error = t.string() + " exists (--force replaces it)";
        return false;
      }
    }
  }
  std::string text;
  if (!world_text(scene, tex, text, error)) return false;
  fs::create_directories(bitmaps, ec);
  if (ec) {
    error = bitmaps.string() + ": " + ec.message();
    return false;
  }

  // Everything is written beside the result first, on the same file system, and moved into
  // place only once all of it is written: a failure leaves the user's folder as it was.
  Staging staging;
  std::string pattern = (out / ("." + name.substr(0, 100) + ".import-XXXXXX")).string();
  if (!::mkdtemp(pattern.data())) {
    error = cause(out, errno);
    return false;
  }
  staging.path = pattern;
  std::vector<uint8_t> png;
  for (size_t i = 0; i < tex.size(); ++i) {
    if (!encode_png(scene.textures[i].image, png, error)) {
      error = targets[i].string() + ": " + error;
      return false;
    }
    const std::span<const char> bytes(reinterpret_cast<const char*>(png.data()), png.size());
    if (!write_new_file(staging.path / (tex[i] + ".png"), bytes, error)) return false;
  }
  if (!write_new_file(staging.path / world.filename(), text, error)) return false;

  // The textures first, the world last, so that no world is ever there without its textures.
  std::vector<fs::path> moved;
  for (size_t i = 0; i < targets.size(); ++i) {
    const fs::path from = staging.path / targets[i].filename();
    if (!move_into_place(from, targets[i], force, error)) {
      // Without --force what was moved was new: take it away again.
      if (!force)
        for (const fs::path& m : moved) fs::remove(m, ec);
      return false;
    }
    moved.push_back(targets[i]);
  }
  return true;
}

}  // namespace znr::tool
