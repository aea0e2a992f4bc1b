#include "platform/qt/load_splash.h"

#include <QCloseEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

namespace kwellor::qt {
namespace {

constexpr int kBarSteps = 1000;

}  // namespace

LoadSplash::LoadSplash(const QString& worldName, bool offerCancel)
    : QFrame(nullptr, Qt::SplashScreen | Qt::FramelessWindowHint) {
  setWindowTitle("Loading " + worldName);
  setFrameStyle(QFrame::Box | QFrame::Plain);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(24, 24, 24, 24);
  auto* title = new QLabel(QString("Loading %1\u2026").arg(worldName), this);
  title->setTextFormat(Qt::PlainText);
  title->setAlignment(Qt::AlignCenter);
  layout->addWidget(title);
  step_ = new QLabel(this);
  step_->setTextFormat(Qt::PlainText);
  step_->setAlignment(Qt::AlignCenter);
  layout->addWidget(step_);
  bar_ = new QProgressBar(this);
  bar_->setTextVisible(false);
  bar_->setMinimumWidth(280);
  bar_->setRange(0, 0);  // busy until the first step is known
  layout->addWidget(bar_);
  if (offerCancel) {
    cancel_ = new QPushButton("Cancel", this);
    QObject::connect(cancel_, &QPushButton::clicked, this, [this] { cancel(); });
    layout->addWidget(cancel_, 0, Qt::AlignHCenter);
  }
  adjustSize();
}

void LoadSplash::setProgress(const QString& step, double fraction) {
  if (step_->text() != step) step_->setText(step);
  if (fraction < 0.0 || !std::isfinite(fraction)) {
    bar_->setRange(0, 0);
    return;
  }
  bar_->setRange(0, kBarSteps);
  bar_->setValue(static_cast<int>(std::lround(std::min(fraction, 1.0) * kBarSteps)));
}

void LoadSplash::cancel() {
  if (cancelled_ || !cancel_) return;
  cancelled_ = true;
  cancel_->setEnabled(false);
  step_->setText("Cancelling\u2026");
}

void LoadSplash::closeEvent(QCloseEvent* event) {
  event->ignore();
  cancel();
}

}  // namespace kwellor::qt
