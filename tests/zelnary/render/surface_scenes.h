// Scenes for light per vertex: smooth normals, highlights, vertex colours and alpha. Each is
// seen from the origin looking along +x, under a light whose ambient and sun are chosen so
// that the expected colours are easy to work out.
#pragma once

#include "test_scenes.h"

namespace znr::test {

// A sphere of radius 10 at (40, 0, 0), 24 rings by 32 segments of quads: with normals, its
// vertices carry the sphere's own; shiny adds a white highlight.
TestView sphere_view(bool normals, bool shiny);

// A square facing the eye whose corners are red (top left), green (top right), blue (bottom
// right) and white (bottom left), under full ambient light and no sun: every pixel shows the
// vertex colours' mix unchanged.
TestView vertex_color_view();

// A red square behind a square textured with a checker of opaque white and clear texels, its
// material cut out below alpha 0.5.
TestView mask_view();

// An opaque blue square behind two half-transparent squares (red nearer, green further),
// listed in the scene near first or far first, all under full ambient light.
TestView blend_view(bool near_first);

}  // namespace znr::test
