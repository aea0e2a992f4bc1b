// Skins: vertices moved by the weighted frames of several bones, posed every frame from the
// bones' poses. Pure functions over spans, so that a back end can pose parts of a skin on
// several threads at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "zelnary/scene/scene.h"

namespace znr {

// One vertex's weights, as given (any count, any values), made into an influence: the
// kSkinWeights largest that are finite, above 0 and on a bone below bone_count, scaled to add
// up to 1. false where the given weights needed mending (a bad bone or weight left out, or
// none left: the vertex then follows bone 0 alone); out is usable either way.
bool make_influence(std::span<const uint32_t> bones, std::span<const float> weights,
                    size_t bone_count, SkinInfluence& out);

// The bone spheres of a skin (Skin::bound_center, bound_radius) from its bind-space vertices.
void bind_bounds(std::span<const Vertex> vertices, Skin& skin);

// A pose as an affine map from the object's frame to the world.
Affine affine_of(const ObjectPose& pose);

// Per bone, the map from bind space to world: its object's pose times its inverse bind. A
// bone whose object has no pose stays at the world's origin. out: one per bone.
void skin_matrices(const Skin& skin, std::span<const ObjectPose> poses, std::span<Affine> out);

// A sphere holding the posed skin: each posed vertex is a weighted mean of its bones' maps of
// it, so it lies within the spheres those maps make of the bones' bind spheres.
void skin_bounds(const Skin& skin, std::span<const Affine> matrices, Vec3& center, double& radius);

// Poses vertices [begin, end) of the skin's range (0 its first) from in into out, which are
// whole-scene arrays indexed like Scene::vertices; normals likewise where in_normals is not
// empty (a vertex without a normal keeps none). Parts that do not overlap may be posed at once.
void pose_skin(const Skin& skin, std::span<const Affine> matrices, std::span<const Vertex> in,
               std::span<const Normal> in_normals, size_t begin, size_t end, std::span<Vertex> out,
               std::span<Normal> out_normals);

// Leaves every skin in the shape its bones give it at these poses, in its object's frame (so
// that it still moves with the object, but no longer bends), and drops the skins: for a form
// that holds no bone weights. A skin whose object's pose flattens space keeps its bind shape.
void freeze_skins(Scene& scene, std::span<const ObjectPose> poses);

}  // namespace znr
