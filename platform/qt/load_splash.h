// The splash shown while a world loads: the world's name, the step the load is in, a progress
// bar and, where the load can be stopped, a Cancel button.
#pragma once

#include <QFrame>
#include <QString>

class QLabel;
class QProgressBar;
class QPushButton;

namespace kwellor::qt {

class LoadSplash : public QFrame {
 public:
  LoadSplash(const QString& worldName, bool offerCancel);

  // fraction in [0, 1]; below 0, a busy bar.
  void setProgress(const QString& step, double fraction);
  bool cancelled() const { return cancelled_; }

  // For tests: the parts as they show.
  QLabel* stepLabel() const { return step_; }
  QProgressBar* bar() const { return bar_; }
  QPushButton* cancelButton() const { return cancel_; }

 protected:
  // Closing the splash from the window manager is a Cancel where one is offered; otherwise the
  // splash stays until the load ends.
  void closeEvent(QCloseEvent* event) override;

 private:
  void cancel();

  QLabel* step_ = nullptr;
  QProgressBar* bar_ = nullptr;
  QPushButton* cancel_ = nullptr;
  bool cancelled_ = false;
};

}  // namespace kwellor::qt
