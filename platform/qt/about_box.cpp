#include "platform/qt/about_box.h"

#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <cmath>

#include "platform/qt/art.h"

namespace kwellor::qt {
namespace {

struct TwipRect {
  int left, top, width, height;
};

QRect ToPixels(TwipRect r, double tpp) {
  auto px = [tpp](int twips) { return static_cast<int>(std::lround(twips / tpp)); };
  return {px(r.left), px(r.top), px(r.width), px(r.height)};
}

QLabel* AddLabel(QWidget* parent, const char* name, const QString& text, QRect place) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(name);
  label->setTextFormat(Qt::PlainText);
  QFont font = label->font();
  font.setPixelSize(std::max(8, place.height() - 2));
  label->setFont(font);
  label->setGeometry(place);
  return label;
}

}  // namespace

AboutBox::AboutBox(QWidget* owner, double tpp)
    : QDialog(owner, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                         Qt::WindowTitleHint | Qt::WindowCloseButtonHint) {
  setObjectName("formAbout");
  setWindowTitle(kCaption);
  setWindowIcon(ApplicationIcon());
  const QRect client = ToPixels({0, 0, 3495, 2115}, tpp);
  setFixedSize(client.size());

  QPalette grey = palette();
  grey.setColor(QPalette::Window, QColor(211, 211, 211));
  setPalette(grey);
  setAutoFillBackground(true);

  // The frame's top edge sits above the client area, so only three of its sides show.
  auto* frame = new QFrame(this);
  frame->setObjectName("Frame1");
  frame->setFrameStyle(QFrame::Box | QFrame::Sunken);
  frame->setGeometry(ToPixels({60, -30, 3345, 2055}, tpp));
  frame->setPalette(grey);
  frame->setAutoFillBackground(true);

  auto* icon = new QLabel(frame);
  icon->setObjectName("Image1");
  icon->setGeometry(ToPixels({360, 360, 480, 480}, tpp));
  icon->setPixmap(ApplicationIcon().pixmap(32, 32));

  auto* logo = new QLabel(frame);
  logo->setObjectName("Image2");
  logo->setGeometry(ToPixels({990, 960, 1470, 1050}, tpp));
  logo->setPixmap(LogoPicture());

  AddLabel(frame, "Label1", kVersionText, ToPixels({1140, 300, 1785, 195}, tpp));
  AddLabel(frame, "Label2", kNotice, ToPixels({1320, 630, 1305, 195}, tpp));
}

void AboutBox::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape) {
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

}  // namespace kwellor::qt
