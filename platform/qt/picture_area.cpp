#include "platform/qt/picture_area.h"

#include <QMouseEvent>

#include "platform/platform.h"
#include "platform/qt/key_codes.h"

namespace kwellor::qt {

PictureArea::PictureArea(QWidget* parent, MouseUpHandler onMouseUp)
    : QWidget(parent), onMouseUp_(std::move(onMouseUp)) {
  setObjectName("Picture1");
  // A window of its own that Qt leaves alone: no backing store, no background fill.
  setAttribute(Qt::WA_NativeWindow);
  setAttribute(Qt::WA_PaintOnScreen);
  setAttribute(Qt::WA_NoSystemBackground);
  setAttribute(Qt::WA_OpaquePaintEvent);
  setFocusPolicy(Qt::StrongFocus);
}

void PictureArea::mouseReleaseEvent(QMouseEvent* event) {
  int16_t button = 0;
  switch (event->button()) {
    case Qt::LeftButton:
      button = kLeftButton;
      break;
    case Qt::RightButton:
      button = kRightButton;
      break;
    case Qt::MiddleButton:
      button = kMiddleButton;
      break;
    default:
      break;
  }
  const Qt::KeyboardModifiers m = event->modifiers();
  if (button != 0 && onMouseUp_)
    onMouseUp_(button,
               ShiftState(m & Qt::ShiftModifier, m & Qt::ControlModifier, m & Qt::AltModifier),
               event->position());
  event->accept();
}

}  // namespace kwellor::qt
