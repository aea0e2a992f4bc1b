// The stream zelnary-import writes on its standard output and the engine reads: a header, then
// records, each a tag and a byte length followed by that many bytes of payload. Numbers are in
// the machine's own byte order (both ends run on the same machine); strings are a u32 length
// and that many bytes. The engine checks every count and size against the world format's caps
// before it allocates (stream_decode.h).
//
//   header    u32 kStreamMagic, u32 kStreamVersion
//   record    u32 tag, u64 payload bytes, payload
//   Texture   string name, u32 kind, u32 width, u32 height, bytes to the end of the payload
//             (kind Encoded: a PNG/JPEG/BMP/TGA file, width = height = 0;
//              kind Texels: width * height texels 0xAARRGGBB)
//   Material  i32 texture (-1: none), f32 r, g, b, u8 two_sided, f32 specular r g b,
//             f32 shininess, f32 emissive r g b, f32 alpha, u8 alpha mode (scene.h's
//             AlphaMode), f32 cutoff
//   Object    string name, f64 speed, u32 waypoint count, f64 x y z per waypoint
//   Mesh      i32 object (-1: static), i32 material (-1: default), u32 vertex count,
//             u32 triangle count, u32 normal count, u32 colour count (each 0 or the vertex
//             count), f32 x y z u v per vertex, f32 x y z per normal, f32 r g b a (0..1) per
//             colour, u32 a b c per triangle
//   Node      string name, i32 parent (an earlier Node's object index, or -1), f64 base 3x4 by
//             rows, f64 rest translation x y z, rotation x y z w, scale x y z, f64 front x y z
//             (a keyframed object)
//   Animation string name, f64 length (seconds), u32 channel count, then per channel: i32
//             object (a Node), u8 path (scene.h's ChannelPath), u8 interpolation
//             (Interpolation), u32 key count, for a Weights path u32 weights per key (the
//             target count of the node's morphs, read before), f64 time per key, f64 values per
//             key (3, 4 for a rotation, the weights; three times that for a cubic spline)
//   Skin      u32 bone count (1 to kMaxSkinBones), u32 weights per vertex W (1 to
//             kMaxVertexWeights), u32 vertex count (the Mesh record's just before, which it
//             follows), then per bone: i32 object (a Node), f64 inverse bind 3x4 by rows (from
//             the mesh's space into the bone's frame); then per vertex W times: u32 bone (into
//             this record's bones), f32 weight. The mesh's object must be a Node that holds
//             no other polygons; the engine keeps each vertex's 4 largest weights, normalised
//             (simulation/skinning.h)
//   Shared    string name (a mesh drawn where its placements put it: its Mesh records, in its
//             own frame, follow; Object, Node and Shared records share the object indices)
//   Placement i32 object (a Shared object before it), f64 3x4 by rows: the map from the mesh's
//             frame into world axes, turning it without mirroring or flattening (a positive
//             determinant). Every shared object has at least one
//   Morph     u32 target count T (0 to kMaxMorphTargets), u32 vertex count V (the Mesh
//             record's, which it follows, directly or after that mesh's Skin), u32 normal
//             deltas (0 or 1), then f32 default weight per target, then per target V times f32
//             x y z (position deltas, in the mesh's space); with normal deltas, then per target
//             V times f32 x y z. The mesh's object must be a Node whose other meshes carry a
//             Morph record too (T = 0 for one that keeps its shape), and whose morphs with
//             targets all have the same T (simulation/morphing.h)
//   Camera    string name, f64 location x y z, f64 direction x y z, f64 zoom (degrees)
//   Warning   one line for the user, to the end of the payload (what the import leaves out)
//   Error     the importer's reason, to the end of the payload; the import failed
//   End       empty; the last record of every complete stream
//
// Geometry arrives in world axes (z up, the file's unit and up axis already applied); a mesh of
// an object is in the object's own frame (x forward, y left, z up, origin on its path), and a
// shared mesh's in its own (placed by its Placement records).
#pragma once

#include <cstdint>

namespace znr::import_stream {

constexpr uint32_t kStreamMagic = 0x49524E5Au;  // "ZNRI" in a little-endian dump
constexpr uint32_t kStreamVersion = 2;

enum class Tag : uint32_t {
  Texture = 1,
  Material = 2,
  Object = 3,
  Mesh = 4,
  Camera = 5,
  Error = 6,
  End = 7,
  Node = 8,
  Animation = 9,
  Warning = 10,
  Skin = 11,
  Shared = 12,
  Placement = 13,
  Morph = 14,
};

enum class TextureKind : uint32_t { Encoded = 0, Texels = 1 };

constexpr uint64_t kRecordHeaderBytes = 12;
constexpr uint64_t kMaterialBytes = 4 + 3 * 4 + 1 + 8 * 4 + 1 + 4;
constexpr uint64_t kMeshHeaderBytes = 24;
constexpr uint64_t kVertexBytes = 5 * 4;
constexpr uint64_t kNormalBytes = 3 * 4;
constexpr uint64_t kColourBytes = 4 * 4;
constexpr uint64_t kTriangleBytes = 3 * 4;
constexpr uint64_t kNodeBytes = 4 + 25 * 8;  // after the name
constexpr uint64_t kChannelHeaderBytes = 4 + 1 + 1 + 4;
constexpr uint64_t kSkinHeaderBytes = 3 * 4;
constexpr uint64_t kBoneBytes = 4 + 12 * 8;
constexpr uint64_t kWeightBytes = 4 + 4;
constexpr uint64_t kPlacementBytes = 4 + 12 * 8;
constexpr uint64_t kMorphHeaderBytes = 3 * 4;
constexpr uint64_t kDeltaBytes = 3 * 4;

}  // namespace znr::import_stream
