// Morph targets: a mesh's vertices moved by the weighted sum of its targets' deltas, posed
// every frame from the weights. Pure functions over spans, as skins are, so that a back end
// can pose parts of a morph on several threads at once.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

#include "zelnary/scene/scene.h"

namespace znr {

// All morphs' weights end to end (Morph::first_weight), each at its default.
std::vector<float> default_morph_weights(const Scene& scene);

// The morph's own weights among all morphs' weights; its defaults where those are too short.
std::span<const float> weights_of(const Morph& m, std::span<const float> all);

// Morph::center, radius and reach from the range's rest vertices and the deltas.
void rest_bounds(std::span<const Vertex> vertices, Morph& m);

// How far the weights can move a vertex from its rest place: sum |weight(t)| * reach(t).
double morph_growth(const Morph& m, std::span<const float> weights);

// Poses vertices [begin, end) of the morph's range (0 its first) from in into out, which are
// whole-scene arrays indexed like Scene::vertices: rest plus the weighted deltas. Normals
// likewise where in_normals is not empty, made unit length (a vertex without one keeps none).
// weights: the morph's own. In and out may be the same arrays.
void pose_morph(const Morph& m, std::span<const float> weights, std::span<const Vertex> in,
                std::span<const Normal> in_normals, size_t begin, size_t end, std::span<Vertex> out,
                std::span<Normal> out_normals);

// Takes vertices [begin, end) of a range from the object's frame into the world by its pose,
// normals through the pose's inverse transpose, in place.
void place_range(const ObjectPose& pose, size_t first, size_t begin, size_t end,
                 std::span<Vertex> vertices, std::span<Normal> normals);

// Leaves every morphed mesh in the shape its default weights give it and drops the morphs and
// the Weights channels: for a form that holds no morph targets.
void drop_morphs(Scene& scene);

}  // namespace znr
