// Turning a decoded import into a world to fly through: the scale fitted to the viewer's
// speeds, an overview camera first, the file's cameras, and a chase camera behind each moving
// object. All cameras are reported as chasing (fixed or behind) so the viewer lists them. The
// scene is lit from over the overview camera's shoulder.
#pragma once

#include <string>

#include "zelnary/scene/scene.h"

namespace znr {

// A scene whose largest extent lies outside [kFitMin, kFitMax] units is scaled about the
// origin so that its largest extent becomes kFitTarget: the size of the sample town, for which
// the viewer's fixed speeds are made. Other scenes keep the file's units.
constexpr double kFitMin = 1000.0, kFitMax = 20000.0, kFitTarget = 4000.0;

// The light an imported model gets: a sun over the overview camera's shoulder, and ambient.
constexpr Color kImportSun{0.7f, 0.7f, 0.66f}, kImportAmbient{0.35f, 0.35f, 0.37f};

struct ImportFit {
  double extent = 0.0;  // the largest side of the scene's bounding box, before scaling
  double scale = 1.0;   // applied to every coordinate, path and speed
};

// false: error says why (nothing to draw, too many cameras, a coordinate beyond the caps).
bool build_imported_scene(Scene& scene, ImportFit& fit, std::string& error);

}  // namespace znr
