// The world parser: the documented example, every error class with its line, truncated files
// and limits.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>
#include <string>

#include <charconv>
#include <random>

#include "bench/big_world.h"
#include "documented_example.h"
#include "zelnary/world/limits.h"
#include "zelnary/world/line_lexer.h"
#include "zelnary/world/load_world.h"

namespace znr {
namespace {

using test::documented_example;

WorldLoadError parse_error(const std::string& text, Scene* scene = nullptr) {
  Scene s;
  s.polygons.resize(1);  // must be emptied on failure
  WorldLoadError e;
  EXPECT_FALSE(parse_world(text, "w.wld", s, e)) << text;
  EXPECT_TRUE(s.polygons.empty() && s.vertices.empty() && s.cameras.empty());
  if (scene) *scene = s;
  return e;
}

TEST(ParseWorld, DocumentedExampleGivesTheExpectedScene) {
  const std::string text = documented_example();
  ASSERT_FALSE(text.empty());
  Scene s;
  WorldLoadError e;
  ASSERT_TRUE(parse_world(text, "yard.wld", s, e)) << e.message;

  EXPECT_EQ(s.background, (Color{0.5f, 0.7f, 0.95f}));
  EXPECT_EQ(s.lighting.ambient, (Color{0.4f, 0.4f, 0.4f}));
  EXPECT_NEAR(length(s.lighting.sun_direction), 1.0, 1e-12);
  EXPECT_NEAR(s.lighting.sun_direction.x, 1.0 / std::sqrt(5.25), 1e-12);
  EXPECT_EQ(s.lighting.sun, (Color{0.7f, 0.7f, 0.6f}));

  ASSERT_EQ(s.textures.size(), 2u);
  EXPECT_EQ(s.textures[0].file, "grass.png");
  EXPECT_EQ(s.textures[1].file, "old planks.bmp");

  ASSERT_EQ(s.polygons.size(), 9u);
  EXPECT_EQ(s.vertices.size(), 35u);
  const Polygon& ground = s.polygons[0];
  EXPECT_EQ(ground.texture, 0);
  EXPECT_FALSE(ground.two_sided);
  EXPECT_EQ(ground.object, -1);
  ASSERT_EQ(ground.vertex_count, 4u);
  const auto gv = s.vertices_of(ground);
  EXPECT_EQ(gv[2].position, (Vec3{1000, 1000, 0}));
  EXPECT_EQ(gv[2].u, 4.0f);
  EXPECT_EQ(gv[2].v, 4.0f);
  EXPECT_EQ(s.polygons[1].texture, 1);
  const Polygon& roof = s.polygons[5];
  EXPECT_EQ(roof.texture, -1);
  EXPECT_EQ(roof.color, (Color{0.6f, 0.1f, 0.1f}));
  EXPECT_EQ(s.vertices_of(roof)[0].u, 0.0f);

  ASSERT_EQ(s.objects.size(), 1u);
  EXPECT_EQ(s.objects[0].name, "cart");
  EXPECT_EQ(s.objects[0].speed, 150.0);
  ASSERT_EQ(s.objects[0].path.size(), 4u);
  EXPECT_EQ(s.objects[0].path[2], (Vec3{400, 400, 0}));
  for (size_t i = 6; i < 9; ++i) EXPECT_EQ(s.polygons[i].object, 0);
  EXPECT_TRUE(s.polygons[8].two_sided);
  EXPECT_EQ(s.polygons[8].vertex_count, 3u);
  // Polygons index the flat vertex array back to back.
  for (size_t i = 1; i < s.polygons.size(); ++i)
    EXPECT_EQ(s.polygons[i].first_vertex,
              s.polygons[i - 1].first_vertex + s.polygons[i - 1].vertex_count);

  ASSERT_EQ(s.cameras.size(), 3u);
  EXPECT_EQ(s.cameras[0].name, "Behind the cart");
  EXPECT_EQ(s.cameras[0].chase, ChaseType::Behind);
  EXPECT_EQ(s.cameras[0].target, 0);
  EXPECT_EQ(s.cameras[0].distance_from_eye, 300.0);
  EXPECT_EQ(s.cameras[0].direction, (Vec3{-1, 0, 0}));
  EXPECT_EQ(s.cameras[0].zoom, 55.0);
  EXPECT_EQ(s.cameras[1].chase, ChaseType::Watch);
  EXPECT_EQ(s.cameras[1].location, (Vec3{-600, 0, 150}));
  EXPECT_EQ(s.cameras[2].chase, ChaseType::None);
  EXPECT_EQ(s.cameras[2].target, -1);
  EXPECT_EQ(s.cameras[2].zoom, 70.0);
  const double k = 1.0 / std::sqrt(3.0);
  EXPECT_NEAR(s.cameras[2].direction.x, -k, 1e-12);
  EXPECT_NEAR(s.cameras[2].direction.z, -k, 1e-12);
}

TEST(ParseWorld, LexicalDetails) {
  // CRLF line ends, a byte-order mark, ';' without blanks, '+' signs, comments after words,
  // words for chase types, a target declared later, defaults where nothing is said.
  const std::string text =
      "\xEF\xBB\xBFzelnary-world 1 # version\r\n"
      "\r\n"
      "\t# comment line\r\n"
      "camera c1 chase=watch target=later at=+1,-2,3e2\r\n"
      "poly color=1,0.5,0 twosided : 0 0 0;1 0 0;0 1 0 # a triangle\r\n"
      "object later -5\r\n"
      "waypoint 1 2 3\r\n"
      "end\r\n";
  Scene s;
  WorldLoadError e;
  ASSERT_TRUE(parse_world(text, "w.wld", s, e)) << e.message;
  EXPECT_EQ(s.background, Scene{}.background);
  ASSERT_EQ(s.polygons.size(), 1u);
  EXPECT_EQ(s.polygons[0].vertex_count, 3u);
  EXPECT_TRUE(s.polygons[0].two_sided);
  EXPECT_EQ(s.polygons[0].color, (Color{1.0f, 0.5f, 0.0f}));
  EXPECT_EQ(s.vertices[1].position, (Vec3{1, 0, 0}));
  ASSERT_EQ(s.cameras.size(), 1u);
  EXPECT_EQ(s.cameras[0].location, (Vec3{1, -2, 300}));
  EXPECT_EQ(s.cameras[0].target, 0);
  EXPECT_EQ(s.objects[0].speed, -5.0);
}

struct BadCase {
  const char* what;
  std::string body;  // after the version line, which is line 1
  WorldError kind;
  size_t line;
};

TEST(ParseWorld, EachErrorClassNamesItsLine) {
  const std::string tri = "poly : 0 0 0 ; 1 0 0 ; 0 1 0\n";
  const BadCase cases[] = {
      {"unknown keyword", "\n" + tri + "polygon : 0 0 0\n", WorldError::UnknownKeyword, 4},
      {"quoted keyword", "\"poly\" : 0 0 0\n", WorldError::UnknownKeyword, 2},
      {"bad number", tri + "poly : 0 0 0 ; 1 O 0 ; 0 1 0\n", WorldError::BadNumber, 3},
      {"decimal comma", "background 0,5 0.5 0.5\n", WorldError::BadNumber, 2},
      {"hex number", "poly : 0x10 0 0 ; 1 0 0 ; 0 1 0\n", WorldError::BadNumber, 2},
      {"nan", "poly : nan 0 0 ; 1 0 0 ; 0 1 0\n", WorldError::OutOfRange, 2},
      {"infinity", "poly : 0 0 0 ; 1 inf 0 ; 0 1 0\n", WorldError::OutOfRange, 2},
      {"overflow", "poly : 0 0 1e999 ; 1 0 0 ; 0 1 0\n", WorldError::OutOfRange, 2},
      {"huge coordinate", "poly : 0 0 2e8 ; 1 0 0 ; 0 1 0\n", WorldError::OutOfRange, 2},
      {"colour above 1", "ambient 0.5 1.5 0.5\n", WorldError::OutOfRange, 2},
      {"zero sun", "sun 0 0 0 1 1 1\n", WorldError::OutOfRange, 2},
      {"zoom 0", "camera c zoom=0\n", WorldError::OutOfRange, 2},
      {"zero direction", "camera c dir=0,0,0\n", WorldError::OutOfRange, 2},
      {"negative distance", "camera c distance=-1\n", WorldError::OutOfRange, 2},
      {"chase 3", "camera c chase=3 target=x\n", WorldError::OutOfRange, 2},
      {"unknown texture", "texture a a.png\n" + tri + "poly tex=b : 0 0 0 ; 1 0 0 ; 0 1 0\n",
       WorldError::UnknownReference, 4},
      {"texture used before declared", "poly tex=a : 0 0 0 ; 1 0 0 ; 0 1 0\ntexture a a.png\n",
       WorldError::UnknownReference, 2},
      {"unknown target", "camera c chase=1 target=ghost\n" + tri, WorldError::UnknownReference, 2},
      {"duplicate texture", "texture a a.png\ntexture a b.png\n", WorldError::Duplicate, 3},
      {"duplicate camera", "camera c\ncamera c\n", WorldError::Duplicate, 3},
      {"background twice", "background 0 0 0\nbackground 0 0 0\n", WorldError::Duplicate, 3},
      {"option twice", "poly onesided twosided : 0 0 0 ; 1 0 0 ; 0 1 0\n", WorldError::Duplicate,
       2},
      {"two vertices", tri + tri + "poly : 0 0 0 ; 1 0 0\n", WorldError::BadPolygon, 4},
      {"vertex of four numbers", "poly : 0 0 0 1 ; 1 0 0 ; 0 1 0\n", WorldError::Syntax, 2},
      {"trailing ;", "poly : 0 0 0 ; 1 0 0 ; 0 1 0 ;\n", WorldError::Syntax, 2},
      {"missing colon", "poly onesided 0 0 0\n", WorldError::Syntax, 2},
      {"extra word", "background 0 0 0 0\n", WorldError::Syntax, 2},
      {"missing number", "sun 1 1 1 1 1\n", WorldError::Syntax, 2},
      {"unclosed quote", "camera \"c\ncamera d\n", WorldError::Syntax, 2},
      {"bad name", "texture a/b x.png\n", WorldError::Syntax, 2},
      {"absolute texture file", "texture a /etc/passwd\n", WorldError::Syntax, 2},
      {"texture file outside", "texture a ../x.png\n", WorldError::Syntax, 2},
      {"waypoint outside object", "waypoint 0 0 0\n", WorldError::Syntax, 2},
      {"end outside object", "end\n", WorldError::Syntax, 2},
      {"camera inside object", "object o 1\nwaypoint 0 0 0\ncamera c\nend\n", WorldError::Syntax,
       4},
      {"object without waypoint", "object o 1\n" + tri + "end\n", WorldError::Syntax, 4},
      {"chase without target", "camera c chase=behind\n", WorldError::Syntax, 2},
      {"target without chase", "object o 1\nwaypoint 0 0 0\nend\ncamera c target=o\n",
       WorldError::Syntax, 5},
  };
  for (const BadCase& c : cases) {
    const WorldLoadError e = parse_error("zelnary-world 1\n" + c.body);
    EXPECT_EQ(e.kind, c.kind) << c.what << ": " << e.message;
    EXPECT_EQ(e.line, c.line) << c.what << ": " << e.message;
    EXPECT_TRUE(e.message.starts_with("w.wld:" + std::to_string(c.line) + ": "))
        << c.what << ": " << e.message;
  }
}

TEST(ParseWorld, VersionLine) {
  const std::pair<std::string, const char*> cases[] = {
      {"", "empty"},
      {"\n", "blank first line"},
      {"poly : 0 0 0 ; 1 0 0 ; 0 1 0\n", "no version line"},
      {"zelnary-world 3\n", "future version"},
      {"zelnary-world\n", "no number"},
      {"zelnary-world 1 extra\n", "extra word"},
      {"\x89PNG\r\n\x1a\n", "an image"},
  };
  for (const auto& [text, what] : cases) {
    const WorldLoadError e = parse_error(text);
    EXPECT_EQ(e.kind, WorldError::Version) << what << ": " << e.message;
    EXPECT_EQ(e.line, 1u) << what;
  }
}

TEST(ParseWorld, TruncatedFilesAreRefused) {
  const std::string full = documented_example();
  // Cut inside the last polygon's line, and inside the object block at a line end.
  const size_t flag = full.find("-40 0 90");
  ASSERT_NE(flag, std::string::npos);
  WorldLoadError e = parse_error(full.substr(0, flag + 5));
  EXPECT_EQ(e.kind, WorldError::Syntax) << e.message;
  const size_t end = full.rfind("end\n");
  e = parse_error(full.substr(0, end));
  EXPECT_EQ(e.kind, WorldError::Unterminated) << e.message;
  EXPECT_NE(e.message.find("\"cart\""), std::string::npos) << e.message;
  // Cut inside a number: "1000 1000 0 4 4" becomes "1000 1000 0 4", which leaves a vertex
  // of four numbers.
  const size_t ground = full.find("1000 1000 0 4 4");
  e = parse_error(full.substr(0, ground + 13) + "\n");
  EXPECT_NE(e.kind, WorldError::None);
  // Cut inside a quoted name.
  const size_t cam = full.find("\"Behind the");
  e = parse_error(full.substr(0, cam + 6));
  EXPECT_EQ(e.kind, WorldError::Syntax) << e.message;
}

TEST(ParseWorld, LimitsAreChecked) {
  namespace lim = world_limits;
  // A polygon of 64 vertices is fine; 65 is refused.
  auto polygon = [](size_t n) {
    std::string p = "poly :";
    for (size_t i = 0; i < n; ++i) p += (i ? " ; " : " ") + std::to_string(i) + " 0 0";
    return p + "\n";
  };
  Scene s;
  WorldLoadError e;
  EXPECT_TRUE(parse_world("zelnary-world 1\n" + polygon(lim::kMaxPolygonVertices), "w", s, e))
      << e.message;
  e = parse_error("zelnary-world 1\n" + polygon(lim::kMaxPolygonVertices + 1));
  EXPECT_EQ(e.kind, WorldError::Limit);
  EXPECT_EQ(e.line, 2u);

  e = parse_error("zelnary-world 1\n# " + std::string(lim::kMaxLineBytes, 'x') + "\n");
  EXPECT_EQ(e.kind, WorldError::Limit);
  EXPECT_EQ(e.line, 2u);

  std::string cams = "zelnary-world 1\n";
  for (size_t i = 0; i <= lim::kMaxCameras; ++i) cams += "camera c" + std::to_string(i) + "\n";
  e = parse_error(cams);
  EXPECT_EQ(e.kind, WorldError::Limit);
  EXPECT_EQ(e.line, lim::kMaxCameras + 2);

  std::string texs = "zelnary-world 1\n";
  for (size_t i = 0; i <= lim::kMaxTextures; ++i)
    texs += "texture t" + std::to_string(i) + " t.png\n";
  e = parse_error(texs);
  EXPECT_EQ(e.kind, WorldError::Limit);

  e = parse_error("zelnary-world 1\ntexture " + std::string(lim::kMaxNameBytes + 1, 'n') +
                  " t.png\n");
  EXPECT_EQ(e.kind, WorldError::Syntax);
}

// Directions of any finite non-zero length are normalised: neither squaring a huge component
// nor a tiny one may turn them into nothing (or into "zero").
TEST(ParseWorld, DirectionsOfAnyFiniteLengthAreNormalised) {
  for (const char* scale : {"1e-200", "1e-320", "1", "1e154", "1e300"}) {
    const std::string k = scale;
    Scene s;
    WorldLoadError e;
    ASSERT_TRUE(parse_world("zelnary-world 1\nsun -" + k + " 0 " + k + " 1 1 1\ncamera c dir=-" +
                                k + ",-" + k + ",-" + k + "\n",
                            "w", s, e))
        << scale << ": " << e.message;
    const double third = -1.0 / std::sqrt(3.0), half = 1.0 / std::sqrt(2.0);
    EXPECT_NEAR(s.cameras[0].direction.x, third, 1e-12) << scale;
    EXPECT_NEAR(s.cameras[0].direction.z, third, 1e-12) << scale;
    EXPECT_NEAR(s.lighting.sun_direction.x, -half, 1e-12) << scale;
    EXPECT_NEAR(s.lighting.sun_direction.z, half, 1e-12) << scale;
  }
  EXPECT_EQ(parse_error("zelnary-world 1\ncamera c dir=0,0,0\n").kind, WorldError::OutOfRange);
  EXPECT_EQ(parse_error("zelnary-world 1\nsun 0 0 0 1 1 1\n").kind, WorldError::OutOfRange);
}

TEST(ParseWorld, PolygonCountIsRefusedBeforeAnyPolygonIsRead) {
  // One polygon line over the limit, each one malformed: the count alone refuses the file,
  // on the line that crosses the limit, before the first polygon is parsed.
  std::string text = "zelnary-world 1\n";
  text.reserve(text.size() + (world_limits::kMaxPolygons + 1) * 5);
  for (size_t i = 0; i <= world_limits::kMaxPolygons; ++i) text += "poly\n";
  const WorldLoadError e = parse_error(text);
  EXPECT_EQ(e.kind, WorldError::Limit) << e.message;
  EXPECT_EQ(e.line, world_limits::kMaxPolygons + 2);
}

TEST(ParseWorld, EdgesOfTheLexicalRules) {
  const std::string head = "zelnary-world 1\n";
  Scene s;
  WorldLoadError e;
  // A CR before the LF does not count toward the line limit.
  const std::string longest = "# " + std::string(world_limits::kMaxLineBytes - 2, 'x');
  EXPECT_TRUE(parse_world(head + longest + "\r\n", "w", s, e)) << e.message;
  // A number too small to represent reads as zero, in double and in float fields.
  ASSERT_TRUE(parse_world(head + "poly : 1e-400 0 0 1e-50 0 ; 1 0 0 ; 0 1 0\n", "w", s, e))
      << e.message;
  EXPECT_EQ(s.vertices[0].position.x, 0.0);
  EXPECT_EQ(s.vertices[0].u, 0.0f);
  // Range messages keep the digits that put the value out of range.
  e = parse_error(head + "poly : 100000000.00000002 0 0 ; 1 0 0 ; 0 1 0\n");
  EXPECT_NE(e.message.find("100000000.00000001 is outside -1e+08..1e+08"), std::string::npos)
      << e.message;
  e = parse_error(head + "camera c zoom=170.0000001\n");
  EXPECT_NE(e.message.find("170.0000001 is outside 1..170"), std::string::npos) << e.message;
  // Control bytes in a camera name would cut it short for a C caller.
  e = parse_error(head + std::string("camera A\0B\n", 12));
  EXPECT_EQ(e.kind, WorldError::Syntax) << e.message;
  EXPECT_EQ(e.line, 2u);
}

TEST(ParseWorld, GeneratedTextMatchesTheSceneBuiltInMemory) {
  const Scene expected = bench::make_big_world(2001);
  Scene s;
  WorldLoadError e;
  ASSERT_TRUE(parse_world(bench::big_world_text(2001), "big.wld", s, e)) << e.message;
  ASSERT_EQ(s.polygons.size(), 2001u);
  ASSERT_EQ(s.vertices.size(), expected.vertices.size());
  for (size_t i = 0; i < s.vertices.size(); ++i) {
    ASSERT_EQ(s.vertices[i].position, expected.vertices[i].position) << i;
    ASSERT_EQ(s.vertices[i].u, expected.vertices[i].u) << i;
    ASSERT_EQ(s.vertices[i].v, expected.vertices[i].v) << i;
  }
  ASSERT_EQ(s.cameras.size(), 1u);
  EXPECT_EQ(s.cameras[0].chase, ChaseType::Fixed);  // the viewer lists it and opens on it
  EXPECT_EQ(s.cameras[0].location, expected.cameras[0].location);
  EXPECT_EQ(s.cameras[0].direction, expected.cameras[0].direction);
}

// The parser's quick path for plain decimals must agree with std::from_chars to the bit.
template <class T>
void expect_numbers_match_from_chars(uint32_t seed) {
  std::mt19937 rng(seed);
  for (int i = 0; i < 200000; ++i) {
    std::string text = (rng() % 3 == 0) ? "-" : "";
    const int whole = static_cast<int>(rng() % 9), fraction = static_cast<int>(rng() % 12);
    for (int d = 0; d < whole; ++d) text += static_cast<char>('0' + rng() % 10);
    if (fraction > 0 || whole == 0) text += '.';
    for (int d = 0; d < fraction; ++d) text += static_cast<char>('0' + rng() % 10);
    T expected{}, got{};
    const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), expected);
    const auto status = world_detail::parse_number(text, got);
    if (ec != std::errc() || ptr != text.data() + text.size()) {
      EXPECT_NE(status, world_detail::NumberStatus::Ok) << text;
      continue;
    }
    ASSERT_EQ(status, world_detail::NumberStatus::Ok) << text;
    ASSERT_EQ(std::signbit(got), std::signbit(expected)) << text;
    ASSERT_EQ(got, expected) << text;
  }
}

TEST(ParseWorld, NumbersAreReadExactlyAsFromChars) {
  expect_numbers_match_from_chars<double>(1);
  expect_numbers_match_from_chars<float>(2);
}

TEST(ParseWorld, KeyframedNodesAndAnimationsReadAsDocumented) {
  Scene s;
  std::string error;
  ASSERT_TRUE(
      parse_world(documented_example("### Example: a keyframed windmill"), "w.wld", s, error))
      << error;
  ASSERT_EQ(s.objects.size(), 2u);
  const MovingObject &mill = s.objects[0], &sails = s.objects[1];
  EXPECT_TRUE(mill.keyed && sails.keyed);
  EXPECT_EQ(sails.parent, 0);
  EXPECT_EQ(mill.base.m[0][3], 500.0);
  EXPECT_EQ(sails.rest.translation, (Vec3{-12, 0, 80}));
  EXPECT_EQ(s.polygons.back().object, 1);
  ASSERT_EQ(s.animations.size(), 1u);
  EXPECT_EQ(s.animations[0].length, 8.0);
  ASSERT_EQ(s.animations[0].channels.size(), 1u);
  const Channel& c = s.animations[0].channels[0];
  EXPECT_EQ(c.object, 1);
  EXPECT_EQ(c.path, ChannelPath::Rotation);
  EXPECT_EQ(c.times, (std::vector<double>{0, 4, 8}));
  EXPECT_EQ(c.values.size(), 12u);
  EXPECT_EQ(s.cameras[0].target, 0);
}

TEST(ParseWorld, KeyframedNodesRefuseWhatWouldBreakThem) {
  const std::string head = "zelnary-world 2\nobject a node\nend\n";
  const struct {
    std::string text;
    WorldError kind;
  } cases[] = {
      // Nodes are version 2 only; a waypoint object keeps needing its speed.
      {"zelnary-world 1\nobject a node\nend\n", WorldError::BadNumber},
      // A parent must come first, so that no hierarchy can loop.
      {"zelnary-world 2\nobject b node parent=a\nend\nobject a node\nend\n",
       WorldError::UnknownReference},
      {head + "object w 1\n waypoint 0 0 0\nend\nobject b node parent=w\nend\n",
       WorldError::Syntax},
      {head + "object b node\n waypoint 0 0 0\nend\n", WorldError::Syntax},
      {head + "object b node\n rest 0 0 0 0 0 0 0 1 1 1\nend\n", WorldError::OutOfRange},
      {head + "animation x 1\n channel a rotation linear\n key 1 0 0 0 1\n key 1 0 0 0 1\nend\n",
       WorldError::OutOfRange},
      {head + "animation x 1\n channel a rotation linear\n key 0 0 0 0 0\nend\n",
       WorldError::Syntax},
      {head + "animation x 1\n channel a scale cubic\n key 0 1 1 1\nend\n", WorldError::Syntax},
      {head + "animation x 1\n channel a scale step\nend\n", WorldError::Syntax},
      {head + "animation x 1\n channel a scale step\n key 0 1 1 1\n", WorldError::Unterminated},
      {head + "animation x 1\n poly : 0 0 0 0 0 ; 1 0 0 0 0 ; 0 1 0 0 0\nend\n",
       WorldError::Syntax},
  };
  for (const auto& c : cases) EXPECT_EQ(parse_error(c.text).kind, c.kind) << c.text;
}

}  // namespace
}  // namespace znr
