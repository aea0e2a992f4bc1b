// The loaded world: what the parser produces and what the simulation, collision and renderer
// read. Geometry is stored flat (one vertex array, polygons index into it) so that large
// worlds load without one allocation per polygon.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "zelnary/core/vec3.h"
#include "zelnary/scene/image.h"

namespace znr {

struct Color {
  float r = 1.0f, g = 1.0f, b = 1.0f;  // 0..1
  constexpr bool operator==(const Color&) const = default;
};

struct Vertex {
  Vec3 position;             // world coordinates, or the object's own for an object's polygon
  float u = 0.0f, v = 0.0f;  // texture coordinates; 1.0 = one texture width / height, repeating
};

// A vertex's own normal, for light that varies smoothly across polygons; all zero: none (the
// polygon is lit by its own plane).
struct Normal {
  float x = 0.0f, y = 0.0f, z = 0.0f;
  constexpr bool operator==(const Normal&) const = default;
  constexpr bool none() const { return x == 0.0f && y == 0.0f && z == 0.0f; }
};

// How a surface's alpha (texel alpha times vertex alpha times the material's) is used.
enum class AlphaMode : uint8_t {
  Opaque = 0,  // alpha ignored
  Mask = 1,    // cut out where alpha is below the cutoff; the rest is opaque
  Blend = 2,   // mixed over what is behind, after everything opaque, far to near
};

// What a surface does beyond its colour: highlights, its own glow, see-through.
struct Material {
  Color specular{0.0f, 0.0f, 0.0f};  // highlight colour (Blinn-Phong); black: no highlight
  float shininess = 32.0f;           // the highlight's exponent, 1 to 1024: larger is tighter
  Color emissive{0.0f, 0.0f, 0.0f};  // added to the lit colour
  float alpha = 1.0f;                // 0..1, times the texel's and the vertex's alpha
  AlphaMode alpha_mode = AlphaMode::Opaque;
  float cutoff = 0.5f;  // Mask: drawn where alpha >= cutoff
  constexpr bool operator==(const Material&) const = default;
  // Lit and drawn exactly like a polygon without a material.
  constexpr bool plain() const { return *this == Material{}; }
  constexpr bool has_highlight() const {
    return specular.r > 0.0f || specular.g > 0.0f || specular.b > 0.0f;
  }
};

struct Polygon {
  uint32_t first_vertex = 0;  // into Scene::vertices
  uint32_t vertex_count = 0;  // >= 3; convex, counter-clockwise seen from the front
  int32_t texture = -1;       // into Scene::textures; -1: flat colour
  Color color;                // the flat colour; multiplies the texture when there is one
  bool two_sided = true;      // false: culled when seen from the back
  uint16_t material = 0;      // into Scene::materials; out of range (no materials): plain
  int32_t object = -1;        // -1: static world geometry; else into Scene::objects
};

// A rotation as a unit quaternion (x, y, z the axis times sin(angle/2), w = cos(angle/2)).
struct Quat {
  double x = 0.0, y = 0.0, z = 0.0, w = 1.0;
  constexpr bool operator==(const Quat&) const = default;
};

// A node's place in its parent's frame: scaled, then turned, then moved.
struct Transform {
  Vec3 translation{};
  Quat rotation{};
  Vec3 scale{1.0, 1.0, 1.0};
  constexpr bool operator==(const Transform&) const = default;
};

// An affine map: rows of a 3x3 linear part, then a translation column.
struct Affine {
  double m[3][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}};
  constexpr bool operator==(const Affine&) const = default;
};

// A group of polygons that moves. Either it travels along a looped path of waypoints at a
// steady speed, facing its direction of travel (its polygons in its own frame: x forward, y to
// the left, z up, the origin on the path), or it is a keyframed node: its frame is its parent's
// (the world's for none) times base times its transform, which the playing animation's
// channels replace over time.
struct MovingObject {
  std::string name;
  std::vector<Vec3> path;  // waypoints in world coordinates, looped (last leads back to first)
  double speed = 0.0;      // world units per second
  // Keyframed nodes only (keyed): the parent, an earlier keyed object or -1; the fixed map
  // before the node's transform; the transform where no channel drives it; the direction in
  // its own frame that a chase camera takes for its front.
  bool keyed = false;
  int32_t parent = -1;
  Affine base{};
  Transform rest{};
  Vec3 front{1.0, 0.0, 0.0};
  // A shared mesh: neither on a path nor keyed, its polygons (in its own frame) are drawn only
  // where Scene::placements put them, once per placement, and stored once for all of them.
  bool shared = false;
};

// One use of a shared mesh: the map from the mesh's frame into world coordinates.
struct Placement {
  int32_t object = -1;  // a shared object
  Affine frame{};
};

// How a channel's value runs between keys.
enum class Interpolation : uint8_t {
  Step = 0,         // holds each key until the next
  Linear = 1,       // straight between keys; rotations by slerp
  CubicSpline = 2,  // Hermite, with an in and an out tangent stored around each value
};

// Weights: the morph weights of the object's meshes (imported models only).
enum class ChannelPath : uint8_t { Translation = 0, Rotation = 1, Scale = 2, Weights = 3 };

// Keys for one part of one node's transform, or for its morph weights. values holds per key 3
// numbers (x y z), 4 for a rotation (x y z w) or `weights` for morph weights (one per target
// of the object's morphs); a cubic spline holds three such groups per key: in-tangent, value,
// out-tangent. Times rise strictly, in seconds.
struct Channel {
  int32_t object = -1;  // a keyed object
  ChannelPath path = ChannelPath::Translation;
  Interpolation interpolation = Interpolation::Linear;
  std::vector<double> times;
  std::vector<double> values;
  uint32_t weights = 0;  // Weights only: 1 to kMorphTargets
};

// The number of values a channel holds per key: 3, 4 for a rotation, `weights` for morph
// weights; times 3 for a cubic spline.
size_t values_per_key(const Channel& c);
// What is wrong with a channel, or nullptr: no keys, no weights, values that do not match the
// keys, times not finite, below 0 or not rising, a rotation key of zero length.
const char* channel_fault(const Channel& c);

// One of the file's animations: its channels loop over length seconds (0: the pose of the
// first keys holds).
struct Animation {
  std::string name;
  double length = 0.0;
  std::vector<Channel> channels;
};

// Up to this many bones move one vertex of a skin.
inline constexpr int kSkinWeights = 4;

// The bones that move one vertex of a skin and by how much: weights of at least 0 that add up
// to 1, the largest first; an unused place has weight 0 (and bone 0).
struct SkinInfluence {
  uint16_t bone[kSkinWeights] = {};  // into Skin::bones
  float weight[kSkinWeights] = {1.0f, 0.0f, 0.0f, 0.0f};
};

// A bone of a skin: a keyed object, and the map from the skin's bind space into the bone's
// own frame as it was when the skin was bound to it.
struct Bone {
  int32_t object = -1;
  Affine inverse_bind{};
};

// Vertices of one keyed object's polygons moved by bones: a vertex at p (bind space) is drawn
// at the weighted sum of frame(bone) * inverse_bind * p over its influences, in world
// coordinates; the object's own pose only places its chase camera and the ground under it.
// Normals go the same way, through the inverse transpose of each map.
struct Skin {
  int32_t object = -1;        // the keyed object all of whose polygons lie in the range
  uint32_t first_vertex = 0;  // into Scene::vertices (and normals)
  uint32_t vertex_count = 0;
  std::vector<Bone> bones;
  std::vector<SkinInfluence> influences;  // per vertex of the range
  // Per bone: the sphere around the bind-space positions the bone moves (radius < 0: none),
  // from which a posed skin's bounds follow (skin_bounds in simulation/skinning.h).
  std::vector<Vec3> bound_center;
  std::vector<double> bound_radius;
};

// Up to this many targets change the shape of one mesh (world_limits::kMaxMorphTargets).
inline constexpr size_t kMorphTargets = 64;

// A position (or normal) offset of one vertex in one morph target.
struct MorphDelta {
  float x = 0.0f, y = 0.0f, z = 0.0f;
};

// Morph targets of one mesh: the vertices of a keyed object's range, in its own frame (bind
// space when a skin covers the same range), are drawn at rest + sum of weight(t) * delta(t),
// their normals likewise and made unit length again; then placed by the object's pose, or
// moved by the skin. An object with a morph holds no polygon outside its morphs; a morph of
// no targets only says so for a mesh of it that does not change shape.
struct Morph {
  int32_t object = -1;        // a keyed object
  uint32_t first_vertex = 0;  // into Scene::vertices (and normals)
  uint32_t vertex_count = 0;
  uint32_t targets = 0;  // at most kMorphTargets
  // Where its weights start among all morphs' weights, which lie end to end in Scene::morphs'
  // order (the Simulation's and the Frame's morph weights).
  uint32_t first_weight = 0;
  std::vector<float> default_weights;  // per target: where no Weights channel drives them
  // Deltas are per vertex of the mesh as it was given (before its triangles' corners were
  // spread out), target by target: delta(t, v) = positions[t * mesh_vertices + v]. normals is
  // empty or as long as positions. corner_vertex: per vertex of the range, its mesh vertex.
  uint32_t mesh_vertices = 0;
  std::vector<MorphDelta> positions;
  std::vector<MorphDelta> normals;
  std::vector<uint32_t> corner_vertex;
  // The rest sphere of the range and, per target, its longest position delta: a posed morph
  // lies within radius + sum |weight(t)| * reach(t) of center (simulation/morphing.h).
  Vec3 center;
  double radius = 0.0;
  std::vector<double> reach;
};

enum class ChaseType : int32_t {
  None = 0,    // a fixed camera
  Behind = 1,  // follows the target from behind, at the distance from the eye
  Watch = 2,   // stays at its own location and turns to keep the target in view
  Fixed = 3,   // stays where it is put, like None, but listed among the chase cameras
};

struct CameraDef {
  std::string name;
  Vec3 location;
  Vec3 direction{-1.0, 0.0, 0.0};
  double zoom = 55.0;              // horizontal field of view, degrees
  double distance_from_eye = 0.0;  // world units
  ChaseType chase = ChaseType::None;
  int32_t target = -1;  // into Scene::objects for a chase camera
};

struct Lighting {
  Color ambient{0.45f, 0.45f, 0.45f};
  Vec3 sun_direction{0.3, 0.2, 1.0};  // towards the light; need not be unit length
  Color sun{0.65f, 0.65f, 0.6f};
};

struct Texture {
  std::string file;       // as named in the world file
  Image image;            // never empty: a fallback pattern when the file is missing or broken
  bool fallback = false;  // true when the pattern stands in for a missing or broken file
};

struct Scene {
  Color background{0.55f, 0.7f, 0.9f};
  Lighting lighting;
  std::vector<Texture> textures;
  std::vector<Vertex> vertices;
  // Optional, each empty or parallel to vertices: the vertex's normal (world orientation, or
  // the object's frame), and its colour 0xAARRGGBB, which multiplies the polygon's colour and
  // texture (alpha too). Most worlds have neither, and pay nothing for them.
  std::vector<Normal> normals;
  std::vector<uint32_t> vertex_colors;
  // At most 65,536; Polygon::material indexes it. The first is the plain one whenever there
  // are any, since polygons that name none keep index 0.
  std::vector<Material> materials;
  std::vector<Polygon> polygons;
  std::vector<MovingObject> objects;
  std::vector<CameraDef> cameras;  // in file order
  std::vector<Animation> animations;
  std::vector<Skin> skins;    // in vertex order, ranges apart
  std::vector<Morph> morphs;  // in vertex order, ranges apart; a skin's range may be one too
  std::vector<Placement> placements;

  const Material& material_of(const Polygon& p) const {
    static constexpr Material kPlain{};
    return p.material < materials.size() ? materials[p.material] : kPlain;
  }

  std::span<const Vertex> vertices_of(const Polygon& p) const {
    return std::span<const Vertex>(vertices).subspan(p.first_vertex, p.vertex_count);
  }
};

// Where a moving object is now: its frame is turned by heading about world z, then moved; or,
// for a general pose, taken through linear (any turn, scale or shear) and then moved.
struct ObjectPose {
  Vec3 position;
  double heading_deg = 0.0;  // 0: the object's x axis along world x; positive turns left
  bool general = false;
  double linear[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};  // rows; general poses only

  bool operator==(const ObjectPose&) const = default;
};

// A general pose from an affine map; its heading is that of the map's image of front.
ObjectPose pose_from(const Affine& a, const Vec3& front = {1.0, 0.0, 0.0});

// An object-frame point in world coordinates.
Vec3 to_world(const ObjectPose& pose, const Vec3& local);
// An object-frame direction turned into world orientation (the origin's move left out).
Vec3 turn_direction(const ObjectPose& pose, const Vec3& d);
// An object-frame surface normal in world orientation: turned like a direction under a
// heading, by the inverse transpose under a general pose; not of unit length.
Vec3 turn_normal(const ObjectPose& pose, const Vec3& n);
// A bound on the largest factor by which the pose stretches a length: exact for a heading and
// for any turn, however scaled; never below the truth.
double largest_stretch(const ObjectPose& pose);

}  // namespace znr
