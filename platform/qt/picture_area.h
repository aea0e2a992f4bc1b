// Picture1: a native child window that the engine renders into through its own X
// connection. Qt never paints it.
#pragma once

#include <QWidget>
#include <functional>

namespace kwellor::qt {

class PictureArea : public QWidget {
 public:
  // Called on a mouse-button release over the area: button 1/2/4, shift mask, position in
  // the area's pixels.
  using MouseUpHandler = std::function<void(int16_t button, int16_t shift, QPointF pos)>;

  PictureArea(QWidget* parent, MouseUpHandler onMouseUp);

  QPaintEngine* paintEngine() const override { return nullptr; }

 protected:
  void paintEvent(QPaintEvent*) override {}
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  MouseUpHandler onMouseUp_;
};

}  // namespace kwellor::qt
