// The segment query against a brute-force double-precision reference.
#include "zelnary/collision/segment_query.h"

#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace znr {
namespace {

void add_polygon(Scene& s, const std::vector<Vec3>& points, int32_t object = -1) {
  Polygon p;
  p.first_vertex = static_cast<uint32_t>(s.vertices.size());
  p.vertex_count = static_cast<uint32_t>(points.size());
  p.object = object;
  for (const Vec3& q : points) s.vertices.push_back(Vertex{q, 0.0f, 0.0f});
  s.polygons.push_back(p);
}

// Nearest crossing parameter of the segment with every triangle of every polygon, counting
// a triangle hit when all barycentric coordinates are >= min_bary.
std::optional<double> reference_hit(const Scene& s, std::span<const ObjectPose> poses,
                                    const Vec3& start, const Vec3& end, double min_bary) {
  std::optional<double> best;
  const Vec3 d = end - start;
  for (const Polygon& p : s.polygons) {
    auto world = [&](uint32_t i) {
      const Vec3& q = s.vertices[p.first_vertex + i].position;
      return p.object < 0 ? q : to_world(poses[static_cast<size_t>(p.object)], q);
    };
    const Vec3 a = world(0);
    for (uint32_t i = 1; i + 1 < p.vertex_count; ++i) {
      const Vec3 e1 = world(i) - a, e2 = world(i + 1) - a;
      const Vec3 h = cross(d, e2);
      const double det = dot(e1, h);
      if (std::abs(det) < 1e-300) continue;
      const Vec3 sa = start - a;
      const double u = dot(sa, h) / det;
      const Vec3 q = cross(sa, e1);
      const double v = dot(d, q) / det;
      const double t = dot(e2, q) / det;
      if (u < min_bary || v < min_bary || 1.0 - u - v < min_bary || t < 0.0 || t > 1.0) continue;
      if (!best || t < *best) best = t;
    }
  }
  return best;
}

// A random convex polygon: points on a circle in a random plane.
std::vector<Vec3> random_polygon(std::mt19937& rng, const Vec3& center, double radius) {
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  std::uniform_int_distribution<int> sides(3, 7);
  const Vec3 n = normalized(Vec3{u(rng), u(rng), u(rng)} + Vec3{0, 0, 0.01});
  const Vec3 a = normalized(cross(n, std::abs(n.x) < 0.9 ? Vec3{1, 0, 0} : Vec3{0, 1, 0}));
  const Vec3 b = cross(n, a);
  const int k = sides(rng);
  const double phase = u(rng);
  std::vector<Vec3> pts;
  for (int i = 0; i < k; ++i) {
    const double ang = phase + 2.0 * M_PI * i / k;
    pts.push_back(center + a * (radius * std::cos(ang)) + b * (radius * std::sin(ang)));
  }
  return pts;
}

struct RandomWorld {
  Scene scene;
  std::vector<ObjectPose> poses;

  explicit RandomWorld(uint32_t seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> pos(-500.0, 500.0), rad(5.0, 120.0), h(-180.0, 180.0);
    for (int i = 0; i < 300; ++i)
      add_polygon(scene, random_polygon(rng, {pos(rng), pos(rng), pos(rng) * 0.3}, rad(rng)));
    for (int k = 0; k < 3; ++k) {
      MovingObject o;
      o.name = "o";
      o.name += std::to_string(k);
      o.path = {{pos(rng), pos(rng), 0.0}, {pos(rng), pos(rng), 0.0}};
      scene.objects.push_back(o);
      for (int i = 0; i < 6; ++i)
        add_polygon(scene, random_polygon(rng, {pos(rng) * 0.05, pos(rng) * 0.05, 0.0}, 15.0), k);
      poses.push_back({{pos(rng), pos(rng), pos(rng) * 0.1}, h(rng)});
    }
  }
};

// The query's answer must lie between the reference with slightly shrunk triangles and the
// one with slightly grown triangles: rays grazing an edge may go either way.
// Returns whether the query reported a hit.
bool check_against_reference(SegmentQuery& q, const RandomWorld& w, const Vec3& a, const Vec3& b) {
  const std::optional<Vec3> got = q.first_hit(a, b);
  const auto loose = reference_hit(w.scene, w.poses, a, b, -1e-7);
  const auto strict = reference_hit(w.scene, w.poses, a, b, 1e-7);
  const Vec3 d = b - a;
  const double len = length(d);
  const double tol = 1e-6 * std::max(len, 1.0) / len;  // in segment parameter units
  if (!loose) {
    EXPECT_FALSE(got) << "hit where nothing is";
    return got.has_value();
  }
  if (strict) {
    EXPECT_TRUE(got) << "missed a clear hit at t=" << *strict;
  }
  if (!got) return false;
  const double t = dot(*got - a, d) / dot(d, d);
  EXPECT_NEAR(length(*got - (a + d * t)), 0.0, 1e-6 * std::max(len, 1.0)) << "off the segment";
  EXPECT_GE(t, *loose - tol);
  if (strict) {
    EXPECT_LE(t, *strict + tol);
  }
  return true;
}

TEST(SegmentQuery, MatchesBruteForceOnRandomSegments) {
  for (uint32_t seed : {1u, 2u, 3u}) {
    RandomWorld w(seed);
    SegmentQuery q;
    std::string error;
    ASSERT_TRUE(q.build(w.scene, w.poses, error)) << error;
    std::mt19937 rng(seed + 100);
    std::uniform_real_distribution<double> pos(-700.0, 700.0);
    int hits = 0;
    for (int i = 0; i < 1500; ++i) {
      const Vec3 a{pos(rng), pos(rng), pos(rng)}, b{pos(rng), pos(rng), pos(rng)};
      hits += check_against_reference(q, w, a, b);
      const Vec3 lo{a.x, a.y, -1e9}, hi{a.x, a.y, 1e9};
      hits += check_against_reference(q, w, lo, hi);  // the viewer's ground query
      hits += check_against_reference(q, w, hi, lo);
    }
    EXPECT_GT(hits, 1500) << "too few hits to tell anything";
    EXPECT_LT(hits, 4400) << "too few misses to tell anything";
  }
}

TEST(SegmentQuery, VerticalQueryOverHugeSpanIsExact) {
  // Tilted terrain cells with heights that are not whole numbers, well away from the origin.
  Scene s;
  const Vec3 origin{123456.0, -654321.0, 1000.0};
  auto height = [](double x, double y) { return 0.013 * x - 0.0071 * y + 3.141592653589793; };
  for (int j = 0; j < 20; ++j)
    for (int i = 0; i < 20; ++i) {
      const double x0 = origin.x + i * 37.3, y0 = origin.y + j * 37.3;
      const double x1 = x0 + 37.3, y1 = y0 + 37.3;
      add_polygon(s, {{x0, y0, height(x0, y0)},
                      {x1, y0, height(x1, y0)},
                      {x1, y1, height(x1, y1)},
                      {x0, y1, height(x0, y1)}});
    }
  SegmentQuery q;
  std::string error;
  ASSERT_TRUE(q.build(s, {}, error)) << error;
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> u(0.5, 745.5);
  for (int i = 0; i < 2000; ++i) {
    const double x = origin.x + u(rng), y = origin.y + u(rng);
    const auto hit = q.first_hit({x, y, -1e9}, {x, y, 1e9});
    ASSERT_TRUE(hit);
    EXPECT_NEAR(hit->z, height(x, y), 1e-6);
    EXPECT_NEAR(hit->x, x, 1e-6);
    EXPECT_NEAR(hit->y, y, 1e-6);
  }
  EXPECT_FALSE(q.first_hit({origin.x - 10, origin.y, -1e9}, {origin.x - 10, origin.y, 1e9}));
}

TEST(SegmentQuery, StepsStayExactWhereverTheSceneLies) {
  // Ground with a 0.25-unit step a quarter of a unit wide, and a box riding on it, near the
  // origin and near the edge of the allowed range.
  for (const double far : {0.0, 4e6, 1e7, 9.9e7}) {
    SCOPED_TRACE(far);
    const Vec3 o{far, -far, far};
    Scene s;
    add_polygon(s, {o + Vec3{-500, -500, 0}, o + Vec3{500, -500, 0}, o + Vec3{500, 500, 0},
                    o + Vec3{-500, 500, 0}});
    add_polygon(s, {o + Vec3{0.25, -1, 0.25}, o + Vec3{0.5, -1, 0.25}, o + Vec3{0.5, 1, 0.25},
                    o + Vec3{0.25, 1, 0.25}});
    MovingObject box;
    box.path = {o};
    s.objects.push_back(box);
    add_polygon(s, {{-0.5, -0.5, 1.5}, {0.5, -0.5, 1.5}, {0.5, 0.5, 1.5}, {-0.5, 0.5, 1.5}}, 0);
    const std::vector<ObjectPose> poses{{o + Vec3{-3, 0, 0}, 0.0}};
    SegmentQuery q;
    std::string error;
    ASSERT_TRUE(q.build(s, poses, error)) << error;
    auto ground_at = [&](double dx) {
      const auto hit = q.first_hit(o + Vec3{dx, 0.1, 100}, o + Vec3{dx, 0.1, -100});
      return hit ? hit->z - o.z : -1.0;
    };
    EXPECT_NEAR(ground_at(0.2), 0.0, 1e-6);
    EXPECT_NEAR(ground_at(0.3), 0.25, 1e-6);
    EXPECT_NEAR(ground_at(0.45), 0.25, 1e-6);
    EXPECT_NEAR(ground_at(0.55), 0.0, 1e-6);
    EXPECT_NEAR(ground_at(-3.25), 1.5, 1e-6);
    EXPECT_NEAR(ground_at(-3.75), 0.0, 1e-6);
  }
}

TEST(SegmentQuery, FirstBlockEitherFaceAndDegenerateSegments) {
  Scene s;
  add_polygon(s, {{-10, -10, 0}, {10, -10, 0}, {10, 10, 0}, {-10, 10, 0}});      // faces up
  add_polygon(s, {{-10, -10, 50}, {-10, 10, 50}, {10, 10, 50}, {10, -10, 50}});  // faces down
  SegmentQuery q;
  std::string error;
  ASSERT_TRUE(q.build(s, {}, error)) << error;
  EXPECT_EQ(q.first_hit({1, 2, -100}, {1, 2, 100}), (Vec3{1, 2, 0}));   // from below: the lower
  EXPECT_EQ(q.first_hit({1, 2, 100}, {1, 2, -100}), (Vec3{1, 2, 50}));  // from above: the upper
  EXPECT_EQ(q.first_hit({1, 2, 25}, {1, 2, 100}), (Vec3{1, 2, 50}));
  EXPECT_FALSE(q.first_hit({1, 2, 10}, {1, 2, 40}));  // between the two
  EXPECT_FALSE(q.first_hit({1, 2, 0}, {1, 2, 0}));    // no movement
  EXPECT_FALSE(q.first_hit({1, 2, NAN}, {1, 2, 40}));
  EXPECT_FALSE(q.first_hit({1, 2, -1e308}, {1, 2, 1e308}));  // the difference overflows

  SegmentQuery empty;  // never built, and built from an empty world
  EXPECT_FALSE(empty.first_hit({0, 0, -1}, {0, 0, 1}));
  ASSERT_TRUE(empty.build(Scene{}, {}, error));
  EXPECT_FALSE(empty.first_hit({0, 0, -1}, {0, 0, 1}));
}

TEST(SegmentQuery, MovingObjectsBlockWhereTheyAreNow) {
  Scene s;
  add_polygon(s, {{-1000, -1000, 0}, {1000, -1000, 0}, {1000, 1000, 0}, {-1000, 1000, 0}});
  MovingObject car;
  car.path = {{0, 0, 0}, {500, 0, 0}};
  s.objects.push_back(car);
  add_polygon(s, {{-4, -2, 3}, {4, -2, 3}, {4, 2, 3}, {-4, 2, 3}}, 0);  // its roof, 8 x 4
  std::vector<ObjectPose> poses{{{100, 0, 0}, 0.0}};
  SegmentQuery q;
  std::string error;
  ASSERT_TRUE(q.build(s, poses, error)) << error;
  auto ground_at = [&](double x, double y) { return q.first_hit({x, y, -1e9}, {x, y, 1e9})->z; };
  EXPECT_EQ(ground_at(100, 0), 0.0);  // the lowest surface from below is the ground
  EXPECT_EQ(q.first_hit({103, 1.5, 1e9}, {103, 1.5, -1e9})->z, 3.0);
  EXPECT_EQ(q.first_hit({103, 3.0, 1e9}, {103, 3.0, -1e9})->z, 0.0);  // beside the roof

  // Moved and turned a quarter: the roof now lies along y at x = 300.
  poses[0] = {{300, 0, 10}, 90.0};
  q.set_poses(poses);
  EXPECT_EQ(q.first_hit({103, 1.5, 1e9}, {103, 1.5, -1e9})->z, 0.0);
  EXPECT_NEAR(q.first_hit({301.5, 3.5, 1e9}, {301.5, 3.5, -1e9})->z, 13.0, 1e-9);
  EXPECT_EQ(q.first_hit({303, 0, 1e9}, {303, 0, -1e9})->z, 0.0);
}

TEST(SegmentQuery, SharedMeshesBlockAtEachPlacementOnly) {
  Scene s;
  add_polygon(s, {{-1000, -1000, 0}, {1000, -1000, 0}, {1000, 1000, 0}, {-1000, 1000, 0}});
  MovingObject mesh;
  mesh.shared = true;
  s.objects.push_back(mesh);
  // A roof, 8 x 4, off the mesh's origin so that every turn shows.
  add_polygon(s, {{0, -2, 3}, {8, -2, 3}, {8, 2, 3}, {0, 2, 3}}, 0);
  Placement moved{0, {}};
  moved.frame.m[0][3] = 100;
  Placement turned{0, {}};  // a quarter turn about z, twice as tall, at (300, 0, 10)
  turned.frame.m[0][0] = turned.frame.m[1][1] = 0;
  turned.frame.m[0][1] = -1;
  turned.frame.m[1][0] = 1;
  turned.frame.m[2][2] = 2;
  turned.frame.m[0][3] = 300;
  turned.frame.m[2][3] = 10;
  s.placements = {moved, turned};
  SegmentQuery q;
  std::string error;
  ASSERT_TRUE(q.build(s, {}, error)) << error;
  auto down = [&](double x, double y) { return q.first_hit({x, y, 1e9}, {x, y, -1e9})->z; };
  EXPECT_EQ(down(0, 0), 0.0);  // not where the mesh itself lies
  EXPECT_NEAR(down(103, 1.5), 3.0, 1e-9);
  EXPECT_EQ(down(103, 3.0), 0.0);
  EXPECT_NEAR(down(301.5, 3.5), 16.0, 1e-9);
  EXPECT_EQ(down(303, 0), 0.0);
  EXPECT_GE(q.bounds().hi.z, 16.0);
  EXPECT_FALSE(q.first_hit({301.5, 3.5, 100}, {301.5, 3.5, 17}));
}

}  // namespace
}  // namespace znr
