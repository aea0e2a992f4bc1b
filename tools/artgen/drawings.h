// The two pictures of the application: its icon and the About box logo.
#pragma once

#include "canvas.h"

namespace artgen {

// A camera, size x size pixels (the window icon is 32).
Canvas DrawIcon(int size);
// A landscape with a perspective grid and the name below it, 98 x 70.
Canvas DrawLogo();

}  // namespace artgen
