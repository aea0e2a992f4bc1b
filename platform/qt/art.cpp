#include "platform/qt/art.h"

namespace kwellor::qt {

QIcon ApplicationIcon() {
  return QIcon(QPixmap(":/kwellor/icon.png"));
}

QPixmap LogoPicture() {
  return QPixmap(":/kwellor/logo.jpg");
}

}  // namespace kwellor::qt
