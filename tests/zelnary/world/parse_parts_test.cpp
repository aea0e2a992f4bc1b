// The parallel parse: a world cut into many small parts gives exactly the scene of the serial
// parse, and a file with an error falls back to the serial parse's report.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "zelnary/world/load_world.h"
#include "zelnary/world/parse_names.h"

namespace znr {
namespace {

template <class T>
bool same_bytes(const std::vector<T>& a, const std::vector<T>& b) {
  return a.size() == b.size() &&
         (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(T)) == 0);
}

void expect_same_scene(const Scene& a, const Scene& b) {
  ASSERT_EQ(a.polygons.size(), b.polygons.size());
  for (size_t i = 0; i < a.polygons.size(); ++i) {
    const Polygon &p = a.polygons[i], &q = b.polygons[i];
    ASSERT_EQ(p.first_vertex, q.first_vertex) << i;
    ASSERT_EQ(p.vertex_count, q.vertex_count) << i;
    ASSERT_EQ(p.texture, q.texture) << i;
    ASSERT_EQ(p.color, q.color) << i;
    ASSERT_EQ(p.two_sided, q.two_sided) << i;
    ASSERT_EQ(p.material, q.material) << i;
    ASSERT_EQ(p.object, q.object) << i;
  }
  ASSERT_EQ(a.vertices.size(), b.vertices.size());
  for (size_t i = 0; i < a.vertices.size(); ++i) {
    ASSERT_EQ(a.vertices[i].position, b.vertices[i].position) << i;
    ASSERT_EQ(a.vertices[i].u, b.vertices[i].u) << i;
    ASSERT_EQ(a.vertices[i].v, b.vertices[i].v) << i;
  }
  EXPECT_TRUE(same_bytes(a.normals, b.normals));
  EXPECT_TRUE(same_bytes(a.vertex_colors, b.vertex_colors));
  EXPECT_EQ(a.materials, b.materials);
  ASSERT_EQ(a.textures.size(), b.textures.size());
  ASSERT_EQ(a.objects.size(), b.objects.size());
  for (size_t i = 0; i < a.objects.size(); ++i) EXPECT_EQ(a.objects[i].path, b.objects[i].path);
  ASSERT_EQ(a.cameras.size(), b.cameras.size());
  for (size_t i = 0; i < a.cameras.size(); ++i) EXPECT_EQ(a.cameras[i].target, b.cameras[i].target);
  EXPECT_EQ(a.background, b.background);
}

// Every kind of line, spread so that parts begin inside object blocks, between a texture's
// declaration and its use, among smooth polygons and with materials first met late.
std::string rich_world(bool crlf) {
  const char* eol = crlf ? "\r\n" : "\n";
  std::string t = std::string("\xEF\xBB\xBFzelnary-world 1") + eol;
  t += std::string("camera chaser chase=behind target=cart distance=30") + eol;
  t += std::string("texture grass grass.png") + eol;
  for (int i = 0; i < 300; ++i) {
    const std::string x = std::to_string(i * 10), y = std::to_string(i % 7);
    if (i == 40) t += std::string("# a comment line") + eol + eol;
    if (i == 90) t += std::string("object cart 5") + eol + "waypoint 0 0 0" + eol;
    if (i == 110) t += std::string("waypoint 100 0 0") + eol + "end" + eol;
    if (i == 150) t += std::string("texture rock rock.png") + eol + "ambient 0.3 0.3 0.3" + eol;
    std::string opts;
    if (i % 5 == 0) opts += " tex=grass";
    if (i > 150 && i % 7 == 0 && i % 5 != 0) opts += " tex=rock";
    if (i % 11 == 0) opts += " specular=0.5,0.5,0." + std::to_string(i % 3) + " shininess=12";
    if (i % 13 == 0) opts += " color=0.2,0.4,0.6 onesided";
    if (i % 4 == 1) opts += " smooth=45";
    if (i % 17 == 0) opts += " alpha=0.5";
    std::string v2 = x + " 10 " + y;
    if (i % 6 == 0) v2 += " 0.5 0.25 n=0,0,1";
    if (i % 9 == 0) v2 += " c=1,0.5,0,0.5";
    t += "poly" + opts + " : " + x + " 0 0 ; " + v2 + " ; " + x + ".5 10 1  # trailing" + eol;
    if (i % 3 == 0) t += "  poly : " + x + " 0 0;" + x + " 0 5; 1 1 1; 2 2 2.25" + eol;
  }
  t += std::string("sun 1 2 3 0.9 0.9 0.8");  // no line end after the last line
  return t;
}

TEST(ParseWorldInParts, ManySmallPartsGiveTheSerialScene) {
  for (const bool crlf : {false, true}) {
    const std::string text = rich_world(crlf);
    Scene serial;
    WorldLoadError e;
    std::vector<std::string> names;
    ASSERT_TRUE(
        world_detail::parse_world_named(text, "w.wld", serial, names, e, nullptr, text.size()))
        << e.message;
    ASSERT_EQ(names, (std::vector<std::string>{"grass", "rock"}));
    ASSERT_GT(serial.materials.size(), 3u);
    ASSERT_FALSE(serial.normals.empty());
    ASSERT_FALSE(serial.vertex_colors.empty());
    for (const size_t part_bytes : {size_t{40}, size_t{333}, size_t{5000}}) {
      SCOPED_TRACE(part_bytes);
      Scene parts;
      std::vector<std::string> part_names;
      LoadProgress progress;
      ASSERT_TRUE(
          world_detail::parse_in_parts(text, "w.wld", parts, part_names, e, part_bytes, &progress))
          << e.message;
      uint32_t done = 0, total = 0;
      EXPECT_EQ(progress.step(&done, &total), LoadStep::Reading);
      EXPECT_GT(total, 1u);
      EXPECT_EQ(done, total);
      EXPECT_EQ(part_names, names);
      expect_same_scene(parts, serial);
    }
  }
}

TEST(ParseWorldInParts, AnErrorIsReportedAsTheSerialParseReportsIt) {
  std::string good = "zelnary-world 1\n";
  for (int i = 0; i < 200; ++i) good += "poly : 0 0 0 ; 1 0 0 ; 0 1 " + std::to_string(i) + "\n";
  const std::vector<std::pair<std::string, std::string>> cases = {
      // A texture used in a later part than its declaration, but above it.
      {"used before its declaration",
       good + "poly tex=late : 0 0 0 ; 1 0 0 ; 0 1 0\n" + good + "texture late late.png\n"},
      {"bad number late", good + good + "poly : 0 0 0 ; 1 x 0 ; 0 1 0\n" + good},
      {"two errors, the poly one first",
       good + "poly : 0 0 0 ; 1 0 0\n" + good + "frobnicate\n" + good},
      {"unterminated object", good + "object o 1\nwaypoint 0 0 0\n" + good},
      {"line 1 is a poly", "poly : 0 0 0 ; 1 0 0 ; 0 1 0\n" + good},
      {"polygon in an object after its end",
       good + "object o 1\nwaypoint 0 0 0\nend\nend\n" + good},
  };
  for (const auto& [what, text] : cases) {
    SCOPED_TRACE(what);
    Scene s;
    std::vector<std::string> names;
    WorldLoadError serial, parts;
    ASSERT_FALSE(
        world_detail::parse_world_named(text, "w.wld", s, names, serial, nullptr, text.size()));
    EXPECT_FALSE(world_detail::parse_in_parts(text, "w.wld", s, names, parts, 64));
    ASSERT_FALSE(world_detail::parse_world_named(text, "w.wld", s, names, parts, nullptr, 64));
    EXPECT_EQ(parts.kind, serial.kind);
    EXPECT_EQ(parts.line, serial.line);
    EXPECT_EQ(parts.message, serial.message);
    EXPECT_TRUE(s.polygons.empty() && s.vertices.empty());
  }
}

}  // namespace
}  // namespace znr
