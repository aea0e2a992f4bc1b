// Form1's window: a menu bar over a client area that holds Picture1. It reports size and
// state changes and the close box to its owner, which turns them into form events.
#pragma once

#include <QMainWindow>
#include <QSize>
#include <functional>
#include <memory>

#include "platform/qt/menu_bar.h"

namespace kwellor::qt {

class PictureArea;

class MainWindow : public QMainWindow {
 public:
  struct Hooks {
    std::function<void()> resized;         // a change of size, frame size or state
    std::function<void()> closeRequested;  // the close box or Alt+F4
  };

  explicit MainWindow(Hooks hooks);

  QWidget* clientArea() const { return client_; }
  PictureArea* picture() const { return picture_; }
  void setPicture(PictureArea* picture) { picture_ = picture; }
  // The menu model lives exactly as long as the window whose actions it holds.
  MenuBarModel* menus() const { return menus_.get(); }
  void setMenus(std::unique_ptr<MenuBarModel> menus) { menus_ = std::move(menus); }

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void moveEvent(QMoveEvent* event) override;
  void changeEvent(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void reportResize();

  Hooks hooks_;
  QWidget* client_;
  PictureArea* picture_ = nullptr;
  std::unique_ptr<MenuBarModel> menus_;
  QSize lastFrameSize_;
};

}  // namespace kwellor::qt
