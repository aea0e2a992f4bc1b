// The world-file parser: one pass over the text held in memory, line by line, numbers read
// with std::from_chars (locale independent), geometry appended to the Scene's flat arrays.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <mutex>
#include <new>
#include <string>
#include <unordered_map>
#include <vector>

#include "zelnary/core/parallel_for.h"
#include "zelnary/world/limits.h"
#include "zelnary/world/line_lexer.h"
#include "zelnary/world/load_world.h"
#include "zelnary/world/material_table.h"
#include "zelnary/world/parse_names.h"
#include "zelnary/world/smooth_normals.h"

namespace znr {
namespace world_detail {
namespace {

namespace lim = world_limits;

constexpr std::string_view kVersionWord = "zelnary-world";

bool is_identifier(std::string_view s) {
  if (s.empty() || s.size() > lim::kMaxNameBytes) return false;
  for (const char c : s) {
    const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                    c == '_' || c == '-' || c == '.';
    if (!ok) return false;
  }
  return true;
}

// Control bytes (a NUL above all) would cut or garble a name read as a C string.
bool has_control(std::string_view s) {
  return std::any_of(s.begin(), s.end(), [](char c) {
    const auto b = static_cast<unsigned char>(c);
    return b < 0x20 || b == 0x7F;
  });
}

std::string quote(std::string_view s) {
  constexpr size_t kShown = 40;
  std::string out = "\"";
  for (const char c : s.substr(0, kShown)) out += has_control(std::string_view(&c, 1)) ? '?' : c;
  if (s.size() > kShown) out += "...";
  out += '"';
  return out;
}

// The polygons and vertices of a text's "poly" lines, counted before anything is parsed so
// that a file over a limit is refused before its geometry takes memory, and the flat arrays
// are allocated once. Exact for well-formed lines: a vertex list has one ';' fewer than
// vertices, and a comment starts at a '#' that begins a word.
struct GeometryCounts {
  size_t polygons = 0;
  size_t vertices = 0;
  size_t over_line = 0;  // the line on which a limit is first exceeded; 0: none
  bool too_many_polygons = false;
};

// The vertices a "poly" line lists (at most the most a polygon may have, since more is refused
// anyway), or 0 for any other line.
size_t poly_line_vertices(const char* q, const char* line_end) {
  while (q < line_end && (*q == ' ' || *q == '\t')) ++q;
  if (line_end - q < 4 || std::memcmp(q, "poly", 4) != 0) return 0;
  q += 4;
  if (q < line_end && *q != ' ' && *q != '\t' && *q != ';' && *q != '#') return 0;
  size_t vertices = 1;
  for (char prev = ' ';
       q < line_end && !(*q == '#' && (prev == ' ' || prev == '\t' || prev == ';')); prev = *q++)
    vertices += *q == ';';
  return std::min(vertices, size_t{lim::kMaxPolygonVertices});
}

GeometryCounts count_geometry(std::string_view text) {
  GeometryCounts n;
  const char* p = text.data();
  const char* end = p + text.size();
  for (size_t line = 1; p < end && n.over_line == 0; ++line) {
    const char* nl = static_cast<const char*>(std::memchr(p, '\n', static_cast<size_t>(end - p)));
    const char* line_end = nl ? nl : end;
    const size_t vertices = poly_line_vertices(p, line_end);
    p = line_end + 1;
    if (vertices == 0) continue;
    ++n.polygons;
    n.vertices += vertices;
    if (n.polygons > lim::kMaxPolygons || n.vertices > lim::kMaxVertices) {
      n.over_line = line;
      n.too_many_polygons = n.polygons > lim::kMaxPolygons;
    }
  }
  return n;
}

struct PendingTarget {
  size_t camera;
  std::string object;
  size_t line;
};

// A line that is not a "poly" line, in a file parsed in parts: all of them are parsed first,
// in order, and the parts then skip them.
struct OtherLine {
  std::string_view text;
  size_t line;
  int32_t object_after = -1;  // the object block open after it
};

// One part of a file parsed in parallel: whole lines, and where its polygons and vertices go.
struct Part {
  std::string_view text;
  size_t first_line = 1, lines = 0;
  size_t polygon = 0, polygons = 0;  // the first polygon, and how many the part holds
  size_t vertex = 0, vertices = 0;
  size_t first_other = 0;  // into the other lines: the first at or after first_line
  std::vector<OtherLine> others;
  std::vector<Material> materials;  // the part's own table, merged in file order afterwards
  std::vector<SmoothPolygon> smooth;
  bool ok = false;
};

// What the parts of one file share: the number of vertices, to size the optional arrays
// parallel to them when the first part needs one.
struct PartsShared {
  size_t vertices = 0;
  std::once_flag normals, colors;
};

class WorldParser {
 public:
  WorldParser(std::string_view text, const std::string& file, Scene& scene,
              std::vector<std::string>& texture_names, WorldLoadError& error)
      : text_(text), file_(file), scene_(scene), texture_names_(texture_names), error_(error) {}

  // A parser for one part: the declarations (textures, objects) come from the parser that has
  // read the file's other lines, the materials go to the part's own table.
  WorldParser(const WorldParser& declarations, Part& part, PartsShared& shared, Scene& scene,
              WorldLoadError& error)
      : text_(part.text),
        file_(declarations.file_),
        scene_(scene),
        texture_names_(unused_names_),
        error_(error),
        textures_(declarations.textures_),
        texture_lines_(declarations.texture_lines_),
        materials_(part.materials),
        part_(&part),
        shared_(&shared),
        next_polygon_(part.polygon),
        next_vertex_(part.vertex) {}

  // Every line that is not a poly line, in order: declarations and settings, then the checks
  // made at the end of the file. Records the object block open after each line.
  bool run_others(std::span<OtherLine> lines) {
    for (OtherLine& other : lines) {
      line_ = other.line;
      std::string_view line = other.text;
      if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
      if (line.size() > lim::kMaxLineBytes) return fail(WorldError::Limit, "line too long");
      if (!(line_ == 1 ? version_line(line) : statement(line))) return false;
      other.object_after = object_;
    }
    if (lines.empty() || lines.front().line != 1 || object_ >= 0 || !resolve_targets())
      return fail(WorldError::Syntax, "left to the serial parse");
    return true;
  }

  // The part's poly lines into its place in the scene's arrays; false on any error, or when
  // they hold other counts than the part was given.
  bool run_part(std::span<const OtherLine> others) {
    const Part& part = *part_;
    size_t k = part.first_other;
    object_ = k > 0 ? others[k - 1].object_after : -1;
    const char* p = part.text.data();
    const char* end = p + part.text.size();
    for (line_ = part.first_line; p < end; ++line_) {
      const char* nl = static_cast<const char*>(std::memchr(p, '\n', static_cast<size_t>(end - p)));
      const char* line_end = nl ? nl : end;
      std::string_view line(p, static_cast<size_t>(line_end - p));
      p = line_end + 1;
      if (k < others.size() && others[k].line == line_) {
        object_ = others[k++].object_after;
        continue;
      }
      if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
      if (line.size() > lim::kMaxLineBytes || !statement(line)) return false;
    }
    part_->smooth = std::move(smooth_);
    return next_polygon_ == part.polygon + part.polygons &&
           next_vertex_ == part.vertex + part.vertices;
  }

  // After the parts: their materials merged in file order, and their smooth polygons.
  bool merge(std::span<Part> parts) {
    for (Part& part : parts) {
      std::vector<uint16_t> index(part.materials.size(), 0);
      for (size_t m = 1; m < part.materials.size(); ++m)
        if (!materials_.index(part.materials[m], index[m])) return false;
      for (size_t i = part.polygon; i < part.polygon + part.polygons && index.size() > 1; ++i)
        scene_.polygons[i].material = index[scene_.polygons[i].material];
      smooth_.insert(smooth_.end(), part.smooth.begin(), part.smooth.end());
    }
    finish_vertices();
    return true;
  }

  bool run() {
    const char* p = text_.data();
    const char* end = p + text_.size();
    if (text_.size() >= 3 && std::memcmp(p, "\xEF\xBB\xBF", 3) == 0) p += 3;  // UTF-8 mark
    const GeometryCounts counts = count_geometry(text_);
    if (counts.over_line != 0) {
      line_ = counts.over_line;
      return fail(
          WorldError::Limit,
          counts.too_many_polygons
              ? "more than " + std::to_string(lim::kMaxPolygons) + " polygons"
              : "more than " + std::to_string(lim::kMaxVertices) + " vertices in the world");
    }
    scene_.polygons.reserve(counts.polygons);
    scene_.vertices.reserve(counts.vertices);
    bool seen_version = false;
    while (p < end) {
      ++line_;
      const char* nl = static_cast<const char*>(std::memchr(p, '\n', static_cast<size_t>(end - p)));
      const char* line_end = nl ? nl : end;
      std::string_view line(p, static_cast<size_t>(line_end - p));
      if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
      if (line.size() > lim::kMaxLineBytes)
        return fail(WorldError::Limit,
                    "line longer than " + std::to_string(lim::kMaxLineBytes) + " bytes");
      p = line_end + 1;
      if (!seen_version) {
        if (!version_line(line)) return false;
        seen_version = true;
        continue;
      }
      if (!statement(line)) return false;
    }
    if (!seen_version) {
      line_ = 1;
      return fail(WorldError::Version, "empty file: the first line must be \"zelnary-world 1\"");
    }
    if (animation_) {
      return fail(WorldError::Unterminated,
                  "the file ends inside animation " + quote(scene_.animations.back().name) +
                      " (begun on line " + std::to_string(animation_line_) + "): missing \"end\"");
    }
    if (object_ >= 0) {
      return fail(WorldError::Unterminated,
                  "the file ends inside object " + quote(scene_.objects.back().name) +
                      " (begun on line " + std::to_string(object_line_) + "): missing \"end\"");
    }
    if (!resolve_targets()) return false;
    finish_vertices();
    return true;
  }

 private:
  bool fail(WorldError kind, const std::string& message) {
    error_.kind = kind;
    error_.line = line_;
    error_.message = file_ + ":" + std::to_string(line_) + ": " + message;
    return false;
  }

  bool version_line(std::string_view line) {
    LineLexer lex(line);
    const Token word = lex.next();
    const Token version = lex.next();
    if (word.quoted || word.text != kVersionWord || version.empty() || !lex.at_end())
      return fail(WorldError::Version,
                  "not a world file: the first line must be \"zelnary-world 1\"");
    if (version.text != "1" && version.text != "2")
      return fail(WorldError::Version, "unsupported format version " + quote(version.text) +
                                           " (this engine reads versions 1 and 2)");
    version_ = version.text == "2" ? 2 : 1;
    return true;
  }

  bool statement(std::string_view line) {
    LineLexer lex(line);
    const Token keyword = lex.next();
    if (lex.bad_quote()) return fail(WorldError::Syntax, "unclosed quote");
    if (keyword.empty()) return true;  // blank or comment
    const std::string_view k = keyword.text;
    if (!keyword.quoted) {
      if (k == "poly" && !animation_) return poly(lex);
      if (k == "waypoint") return waypoint(lex);
      if (k == "end") return animation_ ? end_animation(lex) : end_object(lex);
      if (version_ >= 2) {
        if (k == "base" || k == "rest" || k == "front") return node_setting(lex, k);
        if (k == "animation") return animation(lex);
        if (k == "channel") return channel(lex);
        if (k == "key") return key(lex);
        if (k == "place") return place(lex);
      }
      if ((object_ >= 0 || animation_) &&
          (k == "background" || k == "ambient" || k == "sun" || k == "texture" || k == "object" ||
           k == "camera" || k == "poly"))
        return fail(WorldError::Syntax, "\"" + std::string(k) + "\" inside " +
                                            (animation_ ? "an animation" : "an object") +
                                            " block (close it with \"end\" first)");
      if (k == "background") return color_setting(lex, scene_.background, seen_background_, k);
      if (k == "ambient") return color_setting(lex, scene_.lighting.ambient, seen_ambient_, k);
      if (k == "sun") return sun(lex);
      if (k == "texture") return texture(lex);
      if (k == "object") return object(lex);
      if (k == "camera") return camera(lex);
    }
    return fail(WorldError::UnknownKeyword, "unknown keyword " + quote(k));
  }

  // ---- small readers ------------------------------------------------------------------------

  bool expect_end(LineLexer& lex) {
    if (lex.at_end()) return true;
    return fail(WorldError::Syntax,
                "unexpected " + quote(lex.next().text) + " at the end of the line");
  }

  template <class T>
  bool number_from(std::string_view text, T& value, std::string_view what) {
    switch (parse_number(text, value)) {
      case NumberStatus::Ok:
        return true;
      case NumberStatus::Bad:
        return fail(WorldError::BadNumber,
                    std::string(what) + ": " + quote(text) + " is not a number");
      case NumberStatus::OutOfRange:
      case NumberStatus::NotFinite:
        return fail(WorldError::OutOfRange,
                    std::string(what) + ": " + quote(text) + " is not a finite number");
    }
    return false;
  }

  template <class T>
  bool number(LineLexer& lex, T& value, std::string_view what) {
    const Token t = lex.next();
    if (t.empty() || t.text == ";")
      return fail(WorldError::Syntax, std::string(what) + ": a number is missing");
    return number_from(t.text, value, what);
  }

  bool in_range(double v, double lo, double hi, std::string_view what) {
    if (v >= lo && v <= hi) return true;
    return fail(WorldError::OutOfRange, std::string(what) + ": " + shortest(v) + " is outside " +
                                            shortest(lo) + ".." + shortest(hi));
  }

  // The fewest digits that read back as exactly v, so that 100000000.00000001 stays itself.
  static std::string shortest(double v) {
    char buf[32];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v);
    return ec == std::errc() ? std::string(buf, end) : std::string("?");
  }

  bool number_within(std::string_view text, double& v, double lo, double hi,
                     std::string_view what) {
    return number_from(text, v, what) && in_range(v, lo, hi, what);
  }

  bool coordinate(double v, std::string_view what) {
    return in_range(v, -lim::kMaxCoordinate, lim::kMaxCoordinate, what);
  }

  bool point(LineLexer& lex, Vec3& out, std::string_view what) {
    return number(lex, out.x, what) && number(lex, out.y, what) && number(lex, out.z, what) &&
           coordinate(out.x, what) && coordinate(out.y, what) && coordinate(out.z, what);
  }

  bool color_value(Color& c, const double (&rgb)[3], std::string_view what) {
    for (const double v : rgb)
      if (!in_range(v, 0.0, 1.0, what)) return false;
    c = {static_cast<float>(rgb[0]), static_cast<float>(rgb[1]), static_cast<float>(rgb[2])};
    return true;
  }

  bool color(LineLexer& lex, Color& c, std::string_view what) {
    double rgb[3];
    for (double& v : rgb)
      if (!number(lex, v, what)) return false;
    return color_value(c, rgb, what);
  }

  // "a,b,c": exactly n numbers separated by commas.
  bool number_list(std::string_view text, double* out, size_t n, std::string_view what) {
    for (size_t i = 0; i < n; ++i) {
      const size_t comma = text.find(',');
      const bool last = i + 1 == n;
      if (last != (comma == std::string_view::npos))
        return fail(WorldError::Syntax, std::string(what) + ": expected " + std::to_string(n) +
                                            " numbers separated by commas");
      if (!number_from(text.substr(0, comma), out[i], what)) return false;
      if (!last) text.remove_prefix(comma + 1);
    }
    return true;
  }

  bool name(LineLexer& lex, std::string_view what, std::string& out, bool any_text) {
    const Token t = lex.next();
    if (lex.bad_quote()) return fail(WorldError::Syntax, "unclosed quote");
    if (t.empty() || t.text == ";")
      return fail(WorldError::Syntax, std::string(what) + " name is missing");
    if (any_text ? (t.text.empty() || t.text.size() > lim::kMaxNameBytes || has_control(t.text))
                 : (t.quoted || !is_identifier(t.text)))
      return fail(WorldError::Syntax,
                  "bad " + std::string(what) + " name " + quote(t.text) +
                      (any_text ? " (1 to 255 characters, no control characters)"
                                : " (letters, digits, '_', '-' and '.', at most 255)"));
    out.assign(t.text);
    return true;
  }

  // ---- statements ---------------------------------------------------------------------------

  bool color_setting(LineLexer& lex, Color& c, bool& seen, std::string_view keyword) {
    if (seen) return fail(WorldError::Duplicate, "\"" + std::string(keyword) + "\" given twice");
    seen = true;
    return color(lex, c, keyword) && expect_end(lex);
  }

  bool sun(LineLexer& lex) {
    if (seen_sun_) return fail(WorldError::Duplicate, "\"sun\" given twice");
    seen_sun_ = true;
    Vec3 d;
    if (!number(lex, d.x, "sun direction") || !number(lex, d.y, "sun direction") ||
        !number(lex, d.z, "sun direction"))
      return false;
    scene_.lighting.sun_direction = normalized(d);
    if (length(scene_.lighting.sun_direction) == 0.0)
      return fail(WorldError::OutOfRange, "sun direction is zero");
    return color(lex, scene_.lighting.sun, "sun colour") && expect_end(lex);
  }

  bool texture(LineLexer& lex) {
    std::string tex_name, file;
    if (!name(lex, "texture", tex_name, false) || !name(lex, "texture file", file, true))
      return false;
    if (file.front() == '/' || file.find("..") != std::string::npos || file.find('\\') != file.npos)
      return fail(WorldError::Syntax, "texture file " + quote(file) +
                                          " must be a plain name inside the bitmaps folder");
    if (!expect_end(lex)) return false;
    if (scene_.textures.size() >= lim::kMaxTextures)
      return fail(WorldError::Limit,
                  "more than " + std::to_string(lim::kMaxTextures) + " textures");
    const auto [it, added] =
        textures_.emplace(tex_name, static_cast<int32_t>(scene_.textures.size()));
    if (!added)
      return fail(WorldError::Duplicate, "texture " + quote(tex_name) + " declared twice");
    Texture t;
    t.file = std::move(file);
    scene_.textures.push_back(std::move(t));
    texture_names_.push_back(std::move(tex_name));
    texture_lines_.push_back(line_);
    return true;
  }

  bool poly(LineLexer& lex) {
    Polygon poly;
    poly.object = object_;
    bool seen_tex = false, seen_color = false, seen_sides = false;
    SurfaceOptions surface;
    for (;;) {
      const Token t = lex.next();
      if (lex.bad_quote()) return fail(WorldError::Syntax, "unclosed quote");
      if (t.empty()) return fail(WorldError::Syntax, "poly: \":\" and the vertices are missing");
      if (t.quoted) return fail(WorldError::Syntax, "poly: unexpected " + quote(t.text));
      const std::string_view s = t.text;
      if (s == ":") break;
      if (s == "onesided" || s == "twosided") {
        if (seen_sides) return fail(WorldError::Duplicate, "poly: sidedness given twice");
        seen_sides = true;
        poly.two_sided = s == "twosided";
      } else if (s.starts_with("tex=")) {
        if (seen_tex) return fail(WorldError::Duplicate, "poly: tex= given twice");
        seen_tex = true;
        const auto it = textures_.find(std::string(s.substr(4)));
        if (it == textures_.end() || texture_lines_[static_cast<size_t>(it->second)] > line_)
          return fail(WorldError::UnknownReference,
                      "poly: texture " + quote(s.substr(4)) + " is not declared");
        poly.texture = it->second;
      } else if (s.starts_with("color=")) {
        if (seen_color) return fail(WorldError::Duplicate, "poly: color= given twice");
        seen_color = true;
        double rgb[3];
        if (!number_list(s.substr(6), rgb, 3, "poly colour") ||
            !color_value(poly.color, rgb, "poly colour"))
          return false;
      } else if (!surface_option(s, surface)) {
        return false;
      }
    }
    Material material;
    if (!surface_material(surface, material)) return false;
    if (!materials_.index(material, poly.material))
      return fail(WorldError::Limit, "more than " + std::to_string(MaterialTable::kMaxMaterials) +
                                         " different materials (the plain one counts too)");
    if (polygons_so_far() >= lim::kMaxPolygons)
      return fail(WorldError::Limit,
                  "more than " + std::to_string(lim::kMaxPolygons) + " polygons");
    poly.first_vertex = static_cast<uint32_t>(vertices_so_far());
    for (;;) {
      if (poly.vertex_count >= lim::kMaxPolygonVertices)
        return fail(WorldError::Limit,
                    "poly: more than " + std::to_string(lim::kMaxPolygonVertices) + " vertices");
      if (vertices_so_far() >= lim::kMaxVertices)
        return fail(WorldError::Limit,
                    "more than " + std::to_string(lim::kMaxVertices) + " vertices in the world");
      Vertex v;
      if (!point(lex, v.position, "poly vertex")) return vertex_failed(poly.vertex_count);
      Token t = lex.next();
      if (!t.empty() && t.text != ";" && !is_vertex_extra(t)) {
        if (!number_from(t.text, v.u, "poly texture coordinate") ||
            !number(lex, v.v, "poly texture coordinate") ||
            !in_range(v.u, -lim::kMaxTextureCoordinate, lim::kMaxTextureCoordinate,
                      "poly texture coordinate") ||
            !in_range(v.v, -lim::kMaxTextureCoordinate, lim::kMaxTextureCoordinate,
                      "poly texture coordinate"))
          return vertex_failed(poly.vertex_count);
        t = lex.next();
      }
      if (is_vertex_extra(t)) {
        if (!vertex_extras(lex, t, vertices_so_far())) return vertex_failed(poly.vertex_count);
      }
      if (!add_vertex(v)) return false;
      ++poly.vertex_count;
      if (t.empty()) break;
      if (t.text != ";")
        return fail(WorldError::Syntax, "poly vertex " + std::to_string(poly.vertex_count) +
                                            ": unexpected " + quote(t.text) +
                                            " (x y z, or x y z u v, then \";\")");
    }
    if (lex.bad_quote()) return fail(WorldError::Syntax, "unclosed quote");
    if (poly.vertex_count < 3)
      return fail(WorldError::BadPolygon, "poly: " + std::to_string(poly.vertex_count) +
                                              " vertices, at least 3 are needed");
    if (surface.smooth)
      smooth_.push_back({static_cast<uint32_t>(polygons_so_far()), surface.cos_crease});
    return add_polygon(poly);
  }

  // Where poly lines put what they read: appended to the scene, or for a part into the place
  // the counts gave it (false past its end: the counts were wrong, and the serial parse runs).
  size_t polygons_so_far() const { return part_ ? next_polygon_ : scene_.polygons.size(); }
  size_t vertices_so_far() const { return part_ ? next_vertex_ : scene_.vertices.size(); }

  bool add_vertex(const Vertex& v) {
    return add(scene_.vertices, v, next_vertex_, part_ ? part_->vertex + part_->vertices : 0);
  }
  bool add_polygon(const Polygon& p) {
    return add(scene_.polygons, p, next_polygon_, part_ ? part_->polygon + part_->polygons : 0);
  }
  template <class T>
  bool add(std::vector<T>& array, const T& item, size_t& next, size_t end) {
    if (!part_) {
      array.push_back(item);
      return true;
    }
    if (next >= end) return false;
    array[next++] = item;
    return true;
  }

  // The optional per-vertex arrays: grown as far as the vertex for a serial parse, sized for
  // the whole file once for parts.
  template <class T>
  void make_room(std::vector<T>& array, size_t vertex, T none, std::once_flag PartsShared::*once) {
    if (part_) {
      std::call_once(shared_->*once, [&] { array.resize(shared_->vertices, none); });
      return;
    }
    if (array.size() <= vertex) {
      if (array.empty()) array.reserve(scene_.vertices.capacity());
      array.resize(vertex + 1, none);
    }
  }

  // ---- surfaces: smoothing, materials, vertex normals and colours -------------------------

  // A poly's options beyond texture, colour and sides, as written.
  struct SurfaceOptions {
    uint32_t seen = 0;  // one bit per option key
    bool smooth = false;
    float cos_crease = 0.5f;  // 60 degrees
    Material material;
    bool alpha = false, cutout = false, blend = false;
  };

  // One of the surface options (smooth, specular=, ...); false with the error reported, an
  // unknown option among them.
  bool surface_option(std::string_view s, SurfaceOptions& o) {
    const size_t eq = s.find('=');
    const std::string_view key = s.substr(0, eq);
    const std::string_view value = eq == s.npos ? std::string_view() : s.substr(eq + 1);
    static constexpr std::string_view kKeys[] = {"smooth", "specular", "shininess", "emissive",
                                                 "alpha",  "cutout",   "blend"};
    size_t k = 0;
    while (k < std::size(kKeys) && kKeys[k] != key) ++k;
    const bool takes_value = k >= 1 && k <= 4;  // the rest may go without one
    const bool may_take_value = k <= 5;         // blend never has one
    if (k == std::size(kKeys) || (takes_value && eq == s.npos) || (!may_take_value && eq != s.npos))
      return fail(WorldError::Syntax,
                  "poly: unknown option " + quote(s) +
                      " (tex=, color=, onesided, twosided, smooth, smooth=DEG, specular=, "
                      "shininess=, emissive=, alpha=, cutout, cutout=C, blend, then \":\")");
    if (o.seen & (1u << k))
      return fail(WorldError::Duplicate, "poly: " + std::string(key) + " given twice");
    o.seen |= 1u << k;
    Material& m = o.material;
    double rgb[3], v = 0.0;
    switch (k) {
      case 0:
        o.smooth = true;
        if (eq != s.npos) {
          if (!number_within(value, v, 0.0, 180.0, "poly crease angle")) return false;
          o.cos_crease = static_cast<float>(std::cos(v * 3.14159265358979323846 / 180.0));
        }
        return true;
      case 1:
        return number_list(value, rgb, 3, "poly specular colour") &&
               color_value(m.specular, rgb, "poly specular colour");
      case 2:
        if (!number_within(value, v, 1.0, 1024.0, "poly shininess")) return false;
        m.shininess = static_cast<float>(v);
        return true;
      case 3:
        return number_list(value, rgb, 3, "poly emissive colour") &&
               color_value(m.emissive, rgb, "poly emissive colour");
      case 4:
        if (!number_within(value, v, 0.0, 1.0, "poly alpha")) return false;
        m.alpha = static_cast<float>(v);
        o.alpha = true;
        return true;
      case 5:
        o.cutout = true;
        if (eq != s.npos) {
          if (!number_within(value, v, 0.0, 1.0, "poly cutout")) return false;
          m.cutoff = static_cast<float>(v);
        }
        return true;
      default:
        o.blend = true;
        return true;
    }
  }

  // The material the options make: cutout cuts out (alpha= then scales the texture's alpha),
  // blend or alpha= alone blends.
  bool surface_material(const SurfaceOptions& o, Material& m) {
    if (o.cutout && o.blend)
      return fail(WorldError::Syntax, "poly: cutout and blend exclude each other");
    m = o.material;
    m.alpha_mode = o.cutout             ? AlphaMode::Mask
                   : o.blend || o.alpha ? AlphaMode::Blend
                                        : AlphaMode::Opaque;
    return true;
  }

  // Whether the token is a vertex's key=value word rather than a number.
  static bool is_vertex_extra(const Token& t) {
    return !t.quoted && t.text.find('=') != std::string_view::npos;
  }

  // The key=value words after a vertex's numbers, from t on; t is left on the word after them.
  // vertex: the index the vertex will have in Scene::vertices.
  bool vertex_extras(LineLexer& lex, Token& t, size_t vertex) {
    bool seen_normal = false, seen_color = false;
    for (; is_vertex_extra(t); t = lex.next()) {
      const size_t eq = t.text.find('=');
      const std::string_view key = t.text.substr(0, eq), value = t.text.substr(eq + 1);
      double xyzw[4];
      if (key == "n") {
        if (seen_normal) return fail(WorldError::Duplicate, "poly vertex: n= given twice");
        seen_normal = true;
        if (!number_list(value, xyzw, 3, "poly vertex normal")) return false;
        const Vec3 n = normalized(Vec3{xyzw[0], xyzw[1], xyzw[2]});
        if (n == Vec3{})
          return fail(WorldError::OutOfRange, "poly vertex normal " + quote(value) + " is zero");
        make_room(scene_.normals, vertex, Normal{}, &PartsShared::normals);
        scene_.normals[vertex] = {static_cast<float>(n.x), static_cast<float>(n.y),
                                  static_cast<float>(n.z)};
      } else if (key == "c") {
        if (seen_color) return fail(WorldError::Duplicate, "poly vertex: c= given twice");
        seen_color = true;
        const size_t n = std::count(value.begin(), value.end(), ',') == 3 ? 4 : 3;
        xyzw[3] = 1.0;
        if (!number_list(value, xyzw, n, "poly vertex colour")) return false;
        uint32_t argb = 0;
        for (const size_t i : {3, 0, 1, 2}) {
          if (!in_range(xyzw[i], 0.0, 1.0, "poly vertex colour")) return false;
          argb = argb << 8 | static_cast<uint32_t>(std::lround(xyzw[i] * 255.0));
        }
        make_room(scene_.vertex_colors, vertex, 0xFFFFFFFFu, &PartsShared::colors);
        scene_.vertex_colors[vertex] = argb;
      } else {
        return fail(WorldError::Syntax,
                    "poly vertex: unknown option " + quote(t.text) + " (n=NX,NY,NZ, c=R,G,B[,A])");
      }
    }
    return true;
  }

  // After the last line: the optional arrays made parallel to the vertices, and the normals
  // of smooth polygons.
  void finish_vertices() {
    if (!scene_.normals.empty()) scene_.normals.resize(scene_.vertices.size());
    if (!scene_.vertex_colors.empty())
      scene_.vertex_colors.resize(scene_.vertices.size(), 0xFFFFFFFFu);
    smooth_normals(scene_, smooth_);
    smooth_.clear();
    smooth_.shrink_to_fit();
  }

  // Names the vertex in the error just reported; kept off the path of every vertex read.
  bool vertex_failed(uint32_t index) {
    error_.message += " (vertex " + std::to_string(index + 1) + ")";
    return false;
  }

  bool object(LineLexer& lex) {
    MovingObject obj;
    if (!name(lex, "object", obj.name, false)) return false;
    LineLexer rest = lex;
    const std::string_view kind = rest.next().text;
    if (version_ >= 2 && kind == "node") {
      lex = rest;
      if (!node_options(lex, obj)) return false;
    } else if (version_ >= 2 && kind == "shared") {
      lex = rest;
      obj.shared = true;
      if (!expect_end(lex)) return false;
    } else if (!number(lex, obj.speed, "object speed") ||
               !in_range(obj.speed, -lim::kMaxSpeed, lim::kMaxSpeed, "object speed") ||
               !expect_end(lex)) {
      return false;
    }
    if (scene_.objects.size() >= lim::kMaxObjects)
      return fail(WorldError::Limit, "more than " + std::to_string(lim::kMaxObjects) + " objects");
    if (!objects_.emplace(obj.name, static_cast<int32_t>(scene_.objects.size())).second)
      return fail(WorldError::Duplicate, "object " + quote(obj.name) + " declared twice");
    object_ = static_cast<int32_t>(scene_.objects.size());
    object_line_ = line_;
    scene_.objects.push_back(std::move(obj));
    return true;
  }

  bool waypoint(LineLexer& lex) {
    if (object_ < 0) return fail(WorldError::Syntax, "\"waypoint\" outside an object block");
    if (scene_.objects.back().keyed)
      return fail(WorldError::Syntax, "\"waypoint\" in a keyframed node");
    if (scene_.objects.back().shared)
      return fail(WorldError::Syntax, "\"waypoint\" in a shared mesh (\"place\" puts it)");
    Vec3 w;
    if (!point(lex, w, "waypoint") || !expect_end(lex)) return false;
    std::vector<Vec3>& path = scene_.objects.back().path;
    if (path.size() >= lim::kMaxWaypoints)
      return fail(WorldError::Limit,
                  "more than " + std::to_string(lim::kMaxWaypoints) + " waypoints in one object");
    path.push_back(w);
    return true;
  }

  bool end_object(LineLexer& lex) {
    if (object_ < 0) return fail(WorldError::Syntax, "\"end\" without an object block");
    if (!expect_end(lex)) return false;
    const MovingObject& o = scene_.objects.back();
    if (o.path.empty() && !o.keyed && !o.shared)
      return fail(WorldError::Syntax, "object " + quote(o.name) + " has no waypoint");
    object_ = -1;
    return true;
  }

  // ---- keyframed nodes and animations (version 2) --------------------------------------------

  // After "object NAME node": parent=NAME, an object declared before that is a node too.
  bool node_options(LineLexer& lex, MovingObject& obj) {
    obj.keyed = true;
    for (Token t = lex.next(); !t.empty(); t = lex.next()) {
      if (t.quoted || !t.text.starts_with("parent="))
        return fail(WorldError::Syntax,
                    "object: unexpected " + quote(t.text) + " after \"node\" (parent=NAME)");
      const std::string parent(t.text.substr(7));
      const auto it = objects_.find(parent);
      if (it == objects_.end())
        return fail(WorldError::UnknownReference,
                    "object: parent " + quote(parent) + " is not declared before it");
      if (!scene_.objects[static_cast<size_t>(it->second)].keyed)
        return fail(WorldError::Syntax, "object: parent " + quote(parent) + " is not a node");
      obj.parent = it->second;
    }
    return true;
  }

  // Inside a node's block: base (12 numbers, rows of a 3x4 map), rest (translation, rotation
  // quaternion x y z w, scale) or front (a direction).
  bool node_setting(LineLexer& lex, std::string_view k) {
    if (object_ < 0 || !scene_.objects.back().keyed)
      return fail(WorldError::Syntax, quote(k) + " outside a keyframed node's block");
    MovingObject& o = scene_.objects.back();
    double v[12];
    const size_t n = k == "base" ? 12 : k == "rest" ? 10 : 3;
    for (size_t i = 0; i < n; ++i)
      if (!number(lex, v[i], k) || !coordinate(v[i], k)) return false;
    if (!expect_end(lex)) return false;
    if (k == "base") {
      for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 4; ++c) o.base.m[r][c] = v[r * 4 + c];
    } else if (k == "rest") {
      o.rest = {{v[0], v[1], v[2]}, {v[3], v[4], v[5], v[6]}, {v[7], v[8], v[9]}};
      if (v[3] == 0.0 && v[4] == 0.0 && v[5] == 0.0 && v[6] == 0.0)
        return fail(WorldError::OutOfRange, "rest: a rotation of zero length");
    } else {
      o.front = {v[0], v[1], v[2]};
      if (length(o.front) == 0.0) return fail(WorldError::OutOfRange, "front: zero direction");
    }
    return true;
  }

  static constexpr const char* kPlaceForms = " (3: a move; 12: a 3x4 map by rows)";

  // place NAME X Y Z (a move), or place NAME and 12 numbers (a 3x4 map by rows, like base):
  // one use of a shared mesh declared before it.
  bool place(LineLexer& lex) {
    if (object_ >= 0 || animation_)
      return fail(WorldError::Syntax, "\"place\" inside a block (close it with \"end\" first)");
    std::string mesh;
    if (!name(lex, "place", mesh, false)) return false;
    const auto it = objects_.find(mesh);
    if (it == objects_.end() || !scene_.objects[static_cast<size_t>(it->second)].shared)
      return fail(WorldError::UnknownReference,
                  "place: " + quote(mesh) + " is not a shared mesh declared before it");
    double v[12];
    size_t n = 0;
    for (Token t = lex.next(); !t.empty(); t = lex.next()) {
      if (n == 12)
        return fail(WorldError::Syntax, std::string("place: more than 12 numbers") + kPlaceForms);
      if (!number_from(t.text, v[n], "place") || !coordinate(v[n], "place")) return false;
      ++n;
    }
    if (lex.bad_quote()) return fail(WorldError::Syntax, "unclosed quote");
    if (n != 3 && n != 12)
      return fail(WorldError::Syntax,
                  "place: " + std::to_string(n) + " numbers" + std::string(kPlaceForms));
    if (scene_.placements.size() >= lim::kMaxPlacements)
      return fail(WorldError::Limit,
                  "more than " + std::to_string(lim::kMaxPlacements) + " placements");
    Placement p;
    p.object = it->second;
    for (size_t r = 0; r < 3; ++r) {
      if (n == 3) p.frame.m[r][3] = v[r];
      for (size_t c = 0; c < 4 && n == 12; ++c) p.frame.m[r][c] = v[r * 4 + c];
    }
    scene_.placements.push_back(p);
    return true;
  }

  bool animation(LineLexer& lex) {
    if (object_ >= 0 || animation_)
      return fail(WorldError::Syntax, "\"animation\" inside a block (close it with \"end\")");
    Animation a;
    if (!name(lex, "animation", a.name, true) || !number(lex, a.length, "animation length") ||
        !in_range(a.length, 0.0, lim::kMaxKeyTime, "animation length") || !expect_end(lex))
      return false;
    if (scene_.animations.size() >= lim::kMaxAnimations)
      return fail(WorldError::Limit,
                  "more than " + std::to_string(lim::kMaxAnimations) + " animations");
    scene_.animations.push_back(std::move(a));
    animation_ = true;
    animation_line_ = line_;
    return true;
  }

  // The channel just closed, or one being closed by the next, must hold keys.
  bool close_channel() {
    if (scene_.animations.empty() || scene_.animations.back().channels.empty()) return true;
    const Channel& c = scene_.animations.back().channels.back();
    if (const char* fault = channel_fault(c))
      return fail(WorldError::Syntax,
                  "channel of object " + quote(scene_.objects[static_cast<size_t>(c.object)].name) +
                      ": " + fault);
    return true;
  }

  // channel OBJECT translation|rotation|scale step|linear|cubic
  bool channel(LineLexer& lex) {
    if (!animation_) return fail(WorldError::Syntax, "\"channel\" outside an animation block");
    if (!close_channel()) return false;
    std::string object;
    if (!name(lex, "channel object", object, false)) return false;
    const auto it = objects_.find(object);
    if (it == objects_.end() || !scene_.objects[static_cast<size_t>(it->second)].keyed)
      return fail(WorldError::UnknownReference,
                  "channel: " + quote(object) + " is not a node declared before it");
    Channel c;
    c.object = it->second;
    const std::string_view path = lex.next().text, how = lex.next().text;
    if (path == "translation") {
      c.path = ChannelPath::Translation;
    } else if (path == "rotation") {
      c.path = ChannelPath::Rotation;
    } else if (path == "scale") {
      c.path = ChannelPath::Scale;
    } else {
      return fail(WorldError::Syntax,
                  "channel: " + quote(path) + " (translation, rotation, scale)");
    }
    if (how == "step") {
      c.interpolation = Interpolation::Step;
    } else if (how == "linear") {
      c.interpolation = Interpolation::Linear;
    } else if (how == "cubic") {
      c.interpolation = Interpolation::CubicSpline;
    } else {
      return fail(WorldError::Syntax, "channel: " + quote(how) + " (step, linear, cubic)");
    }
    if (!expect_end(lex)) return false;
    std::vector<Channel>& channels = scene_.animations.back().channels;
    if (channels.size() >= lim::kMaxChannels)
      return fail(WorldError::Limit,
                  "more than " + std::to_string(lim::kMaxChannels) + " channels in one animation");
    channels.push_back(std::move(c));
    return true;
  }

  // key TIME VALUES: 3 or 4 numbers (a rotation x y z w), three times that for cubic
  // (in-tangent, value, out-tangent).
  bool key(LineLexer& lex) {
    if (!animation_ || scene_.animations.back().channels.empty())
      return fail(WorldError::Syntax, "\"key\" outside a channel");
    Channel& c = scene_.animations.back().channels.back();
    if (c.times.size() >= lim::kMaxKeys)
      return fail(WorldError::Limit,
                  "more than " + std::to_string(lim::kMaxKeys) + " keys in one channel");
    double t;
    if (!number(lex, t, "key time") || !in_range(t, 0.0, lim::kMaxKeyTime, "key time"))
      return false;
    if (!c.times.empty() && !(t > c.times.back()))
      return fail(WorldError::OutOfRange, "key time " + shortest(t) + " is not after the last");
    const size_t n = values_per_key(c);
    for (size_t i = 0; i < n; ++i) {
      double v;
      if (!number(lex, v, "key value") || !coordinate(v, "key value")) return false;
      c.values.push_back(v);
    }
    if (!expect_end(lex)) return false;
    c.times.push_back(t);
    return true;
  }

  bool end_animation(LineLexer& lex) {
    if (!expect_end(lex) || !close_channel()) return false;
    animation_ = false;
    return true;
  }

  bool camera(LineLexer& lex) {
    CameraDef cam;
    if (!name(lex, "camera", cam.name, true)) return false;
    bool seen[6] = {};
    std::string target;
    for (Token t = lex.next(); !t.empty(); t = lex.next()) {
      const size_t eq = t.text.find('=');
      if (t.quoted || eq == std::string_view::npos)
        return fail(WorldError::Syntax,
                    "camera: unexpected " + quote(t.text) + " (options are key=value)");
      const std::string_view key = t.text.substr(0, eq), value = t.text.substr(eq + 1);
      static constexpr std::string_view kKeys[6] = {"at",       "dir",   "zoom",
                                                    "distance", "chase", "target"};
      size_t k = 0;
      while (k < 6 && kKeys[k] != key) ++k;
      if (k == 6)
        return fail(WorldError::Syntax, "camera: unknown option " + quote(key) +
                                            " (at, dir, zoom, distance, chase, target)");
      if (seen[k])
        return fail(WorldError::Duplicate, "camera: " + std::string(key) + "= given twice");
      seen[k] = true;
      double xyz[3];
      switch (k) {
        case 0:
          if (!number_list(value, xyz, 3, "camera location")) return false;
          cam.location = {xyz[0], xyz[1], xyz[2]};
          if (!coordinate(xyz[0], "camera location") || !coordinate(xyz[1], "camera location") ||
              !coordinate(xyz[2], "camera location"))
            return false;
          break;
        case 1:
          if (!number_list(value, xyz, 3, "camera direction")) return false;
          cam.direction = normalized(Vec3{xyz[0], xyz[1], xyz[2]});
          if (length(cam.direction) == 0.0)
            return fail(WorldError::OutOfRange, "camera direction is zero");
          break;
        case 2:
          if (!number_from(value, cam.zoom, "camera zoom") ||
              !in_range(cam.zoom, lim::kMinZoom, lim::kMaxZoom, "camera zoom"))
            return false;
          break;
        case 3:
          if (!number_from(value, cam.distance_from_eye, "camera distance") ||
              !in_range(cam.distance_from_eye, 0.0, lim::kMaxCoordinate, "camera distance"))
            return false;
          break;
        case 4:
          if (value == "none" || value == "0") {
            cam.chase = ChaseType::None;
          } else if (value == "behind" || value == "1") {
            cam.chase = ChaseType::Behind;
          } else if (value == "watch" || value == "2") {
            cam.chase = ChaseType::Watch;
          } else if (value == "fixed") {
            cam.chase = ChaseType::Fixed;
          } else {
            return fail(WorldError::OutOfRange, "camera: chase " + quote(value) +
                                                    " (0 or none, 1 or behind, 2 or watch, "
                                                    "fixed)");
          }
          break;
        default:
          if (!is_identifier(value))
            return fail(WorldError::Syntax, "camera: bad target name " + quote(value));
          target.assign(value);
          break;
      }
    }
    if (lex.bad_quote()) return fail(WorldError::Syntax, "unclosed quote");
    const bool follows = cam.chase == ChaseType::Behind || cam.chase == ChaseType::Watch;
    if (follows && target.empty())
      return fail(WorldError::Syntax, "camera: a chase camera needs target=OBJECT");
    if (!follows && !target.empty())
      return fail(WorldError::Syntax, "camera: target= given to a camera that does not chase");
    if (scene_.cameras.size() >= lim::kMaxCameras)
      return fail(WorldError::Limit, "more than " + std::to_string(lim::kMaxCameras) + " cameras");
    for (const CameraDef& other : scene_.cameras)
      if (other.name == cam.name)
        return fail(WorldError::Duplicate, "camera " + quote(cam.name) + " declared twice");
    if (!target.empty()) targets_.push_back({scene_.cameras.size(), std::move(target), line_});
    scene_.cameras.push_back(std::move(cam));
    return true;
  }

  // Chase targets may name objects declared further down the file.
  bool resolve_targets() {
    for (const PendingTarget& t : targets_) {
      const auto it = objects_.find(t.object);
      if (it == objects_.end()) {
        line_ = t.line;
        return fail(WorldError::UnknownReference,
                    "camera: target object " + quote(t.object) + " is not declared");
      }
      if (scene_.objects[static_cast<size_t>(it->second)].shared) {
        line_ = t.line;
        return fail(WorldError::UnknownReference,
                    "camera: target " + quote(t.object) +
                        " is a shared mesh, which stands at each of its placements and has no "
                        "one place to follow");
      }
      scene_.cameras[t.camera].target = it->second;
    }
    return true;
  }

  std::string_view text_;
  const std::string& file_;
  Scene& scene_;
  std::vector<std::string>& texture_names_;
  WorldLoadError& error_;

  size_t line_ = 0;
  int version_ = 1;
  int32_t object_ = -1;     // the open object block, or -1
  bool animation_ = false;  // an animation block is open
  size_t animation_line_ = 0;
  size_t object_line_ = 0;
  bool seen_background_ = false, seen_ambient_ = false, seen_sun_ = false;
  std::vector<std::string> unused_names_;  // a part declares no textures
  std::unordered_map<std::string, int32_t> textures_;
  std::vector<size_t> texture_lines_;  // by texture: the line that declares it
  std::unordered_map<std::string, int32_t> objects_;
  std::vector<PendingTarget> targets_;
  MaterialTable materials_{scene_.materials};
  std::vector<SmoothPolygon> smooth_;
  Part* part_ = nullptr;
  PartsShared* shared_ = nullptr;
  size_t next_polygon_ = 0, next_vertex_ = 0;
};

}  // namespace

// The parts are counted in parallel (lines, polygons, vertices), the other lines then parsed in
// order, and the parts' poly lines in parallel into the arrays sized by the counts.
bool parse_in_parts(std::string_view text, const std::string& file, Scene& scene,
                    std::vector<std::string>& texture_names, WorldLoadError& error,
                    size_t part_bytes, LoadProgress* progress) {
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);  // UTF-8 mark
  const size_t count = std::clamp<size_t>(text.size() / std::max<size_t>(part_bytes, 1), 1, 4096);
  std::vector<Part> parts(count);
  const char* const end = text.data() + text.size();
  const char* at = text.data();
  for (size_t i = 0; i < count; ++i) {
    const char* stop = std::max(at, text.data() + text.size() * (i + 1) / count);
    if (stop < end) {
      const void* nl = std::memchr(stop, '\n', static_cast<size_t>(end - stop));
      stop = nl ? static_cast<const char*>(nl) + 1 : end;
    }
    parts[i].text = std::string_view(at, static_cast<size_t>(stop - at));
    at = stop;
  }
  parallel_for(count, [&](size_t i) {
    Part& part = parts[i];
    const char* p = part.text.data();
    const char* e = p + part.text.size();
    while (p < e) {
      const char* nl = static_cast<const char*>(std::memchr(p, '\n', static_cast<size_t>(e - p)));
      const char* line_end = nl ? nl : e;
      ++part.lines;
      // The first line is the version line, whatever it says.
      const size_t vertices = i == 0 && part.lines == 1 ? 0 : poly_line_vertices(p, line_end);
      if (vertices == 0) {
        part.others.push_back({std::string_view(p, static_cast<size_t>(line_end - p)), part.lines});
      } else {
        ++part.polygons;
        part.vertices += vertices;
      }
      p = line_end + 1;
    }
  });
  // Each part's place: its first line, polygon and vertex, and its first other line.
  std::vector<OtherLine> others;
  size_t lines = 0, polygons = 0, vertices = 0;
  for (Part& part : parts) {
    part.first_line = lines + 1;
    part.polygon = polygons;
    part.vertex = vertices;
    part.first_other = others.size();
    for (OtherLine& o : part.others) {
      o.line += lines;
      others.push_back(o);
    }
    part.others = {};
    lines += part.lines;
    polygons += part.polygons;
    vertices += part.vertices;
  }
  if (polygons > lim::kMaxPolygons || vertices > lim::kMaxVertices) return false;
  scene.polygons.resize(polygons);
  scene.vertices.resize(vertices);
  WorldParser declarations(text, file, scene, texture_names, error);
  if (!declarations.run_others(others)) return false;

  if (progress) progress->enter(LoadStep::Reading, static_cast<uint32_t>(count));
  PartsShared shared;
  shared.vertices = vertices;
  std::atomic<bool> failed{false};
  parallel_for(count, [&](size_t i) {
    if (failed.load()) return;
    WorldLoadError part_error;
    try {
      WorldParser parser(declarations, parts[i], shared, scene, part_error);
      parts[i].ok = parser.run_part(others);
    } catch (const std::bad_alloc&) {
      parts[i].ok = false;
    }
    if (!parts[i].ok) failed.store(true);
    if (progress) progress->advance();
  });
  return !failed.load() && declarations.merge(parts);
}

bool parse_world_named(std::string_view text, const std::string& file_name, Scene& out,
                       std::vector<std::string>& texture_names, WorldLoadError& error,
                       LoadProgress* progress, size_t part_bytes) {
  Scene scene;
  texture_names.clear();
  error = {};
  if (text.size() > lim::kMaxFileBytes) {
    error = {WorldError::Limit, 0,
             file_name + ": file larger than " + std::to_string(lim::kMaxFileBytes >> 20) + " MiB"};
    out = Scene{};
    return false;
  }
  bool ok = false;
  try {
    if (text.size() >= 2 * part_bytes && usable_cores() > 1) {
      ok = parse_in_parts(text, file_name, scene, texture_names, error, part_bytes, progress);
      if (!ok) {  // parsed again on one thread, which reports the first error as it should
        scene = Scene{};
        texture_names.clear();
        error = {};
      }
    }
    if (!ok) {
      WorldParser parser(text, file_name, scene, texture_names, error);
      ok = parser.run();
    }
  } catch (const std::bad_alloc&) {
    error = {WorldError::Limit, 0, file_name + ": out of memory"};
  }
  if (!ok) {
    out = Scene{};
    texture_names.clear();
    return false;
  }
  out = std::move(scene);
  return true;
}

}  // namespace world_detail

bool parse_world(std::string_view text, const std::string& file_name, Scene& out,
                 WorldLoadError& error) {
  std::vector<std::string> names;
  return world_detail::parse_world_named(text, file_name, out, names, error);
}

bool parse_world(std::string_view text, const std::string& file_name, Scene& out,
                 std::string& error) {
  WorldLoadError e;
  const bool ok = parse_world(text, file_name, out, e);
  error = std::move(e.message);
  return ok;
}

}  // namespace znr
