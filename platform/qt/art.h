// The application's pictures, compiled into the program.
#pragma once

#include <QIcon>
#include <QPixmap>

namespace kwellor::qt {

// The camera, 32 x 32: the windows' icon and the About box's picture.
QIcon ApplicationIcon();
// The About box logo, 98 x 70.
QPixmap LogoPicture();

}  // namespace kwellor::qt
