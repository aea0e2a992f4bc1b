// The ground clamp: keeps a camera at least 100 units above the ground below it.
#pragma once

#include "engine/engine.h"

namespace kwellor {

// Asks the engine what lies on the vertical line through the camera and, when the camera is
// less than 100 units above the point reported, lifts it there along z only.
void StayAboveGround(Engine& engine, CameraHandle camera);

}  // namespace kwellor
