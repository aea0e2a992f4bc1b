#include "platform/qt/main_window.h"

#include <QCloseEvent>

namespace kwellor::qt {

MainWindow::MainWindow(Hooks hooks) : hooks_(std::move(hooks)), client_(new QWidget(this)) {
  client_->setObjectName("clientArea");
  setCentralWidget(client_);
}

void MainWindow::reportResize() {
  lastFrameSize_ = frameGeometry().size();
  if (hooks_.resized) hooks_.resized();
}

void MainWindow::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  reportResize();
}

void MainWindow::moveEvent(QMoveEvent* event) {
  QMainWindow::moveEvent(event);
  // A window manager adds its frame after the first showing: the outer size changes then
  // without a resize of the window itself.
  if (isVisible() && frameGeometry().size() != lastFrameSize_) reportResize();
}

void MainWindow::changeEvent(QEvent* event) {
  QMainWindow::changeEvent(event);
  if (event->type() == QEvent::WindowStateChange) reportResize();
}

void MainWindow::closeEvent(QCloseEvent* event) {
  event->accept();
  if (hooks_.closeRequested) hooks_.closeRequested();
}

}  // namespace kwellor::qt
