// formAbout: the About box. No code and no buttons; the title bar's close box (or Alt+F4)
// closes it.
#pragma once

#include <QDialog>

namespace kwellor::qt {

class AboutBox : public QDialog {
 public:
  // twipsPerPixel converts the design's twip places to pixels.
  AboutBox(QWidget* owner, double twipsPerPixel);

  static constexpr const char* kCaption = "About KWELLOR";
  static constexpr const char* kVersionText = "KWELLOR Version 1.0 ";
  static constexpr const char* kNotice = "Free software.";

 protected:
  // Escape does not close it: only the close box does.
  void keyPressEvent(QKeyEvent* event) override;
};

}  // namespace kwellor::qt
