#include "write_world.h"

#include <charconv>
#include <filesystem>
#include <fstream>
#include <set>
#include <vector>

#include "zelnary/present/png_writer.h"

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

void write_poly(std::ostream& out, const Scene& scene, const Polygon& p,
                const std::vector<std::string>& tex, const char* indent) {
  out << indent << "poly";
  if (p.texture >= 0) out << " tex=" << tex[static_cast<size_t>(p.texture)];
  if (!(p.color == Color{})) out << " color=" << colour(p.color);
  out << (p.two_sided ? "" : " onesided") << " :";
  const char* sep = " ";
  for (const Vertex& v : scene.vertices_of(p)) {
    out << sep << triple(v.position, ' ') << ' ' << num(v.u) << ' ' << num(v.v);
    sep = " ; ";
  }
  out << '\n';
}

}  // namespace

bool write_world(const Scene& scene, const std::string& dir, const std::string& name,
                 std::string& error) {
  std::error_code ec;
  const fs::path bitmaps = fs::path(dir) / "bitmaps";
  fs::create_directories(bitmaps, ec);
  if (ec) {
    error = bitmaps.string() + ": " + ec.message();
    return false;
  }
  const std::vector<std::string> tex = texture_names(scene);
  for (size_t i = 0; i < tex.size(); ++i)
    if (!write_png((bitmaps / (tex[i] + ".png")).string(), scene.textures[i].image, error))
      return false;

  const fs::path file = fs::path(dir) / (name + ".wld");
  std::ofstream out(file, std::ios::binary);
  out << "zelnary-world 1\n# Imported by zelnary-tool. z is up.\n\n";
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
  for (const Polygon& p : scene.polygons)
    if (p.object < 0) write_poly(out, scene, p, tex, "");
  for (size_t k = 0; k < scene.objects.size(); ++k) {
    const MovingObject& o = scene.objects[k];
    out << "\nobject " << o.name << ' ' << num(o.speed) << '\n';
    for (const Vec3& w : o.path) out << "  waypoint " << triple(w, ' ') << '\n';
    for (const Polygon& p : scene.polygons)
      if (p.object == static_cast<int32_t>(k)) write_poly(out, scene, p, tex, "  ");
    out << "end\n";
  }
  out.close();
  if (!out) {
    error = file.string() + ": cannot write";
    return false;
  }
  return true;
}

}  // namespace znr::tool
