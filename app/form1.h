// The main window Form1: the edge the platform calls. Each handler keeps its own name and error
// mode and hands the work to the component that owns it: the camera roster (cameras/), the
// control scheme and the frame loop (navigation/), the rendering options (render_options/).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "cameras/camera_roster.h"
#include "engine/engine.h"
#include "navigation/control_schemes.h"
#include "platform/platform.h"
#include "render_options/render_options.h"

namespace kwellor {

class Form1 : public FormEvents {
 public:
  Form1(Engine& engine, Platform& platform);

  // Creates the hidden main window from its design and runs Form_Load. Returns the program's
  // exit status when the run ends there (Escape, or start-up stopped early): 1 after a world
  // failed to load, else 0. Other ends go through Platform::endProgram.
  int Load();

  // --- Window events (FormEvents) ---
  void Form_Resize() override;
  void Form_Unload(int16_t& cancel) override;
  void Form_KeyDown(int16_t keyCode, int16_t shift) override;
  void Picture1_MouseUp(int16_t button, int16_t shift, float x, float y) override;
  // Runs the <name>_Click handler of a menu item; menus and unknown names do nothing.
  void MenuClick(std::string_view name) override;

  // --- Start-up ---
  void Form_Load();
  std::string GetCommandLineFile();
  std::string GetOpenedFile();
  std::string GetDirectory(const std::string& path);
  void CollectChaseCameras();
  void UserControl();

  // --- Menu commands ---
  void mnuExit_Click();
  void mnu3Dcard_Click();
  void mnuPrevCam_Click();
  void mnuNextCam_Click();
  void mnuViewAutoMode_Click();
  void mnuLow_Click();
  void mnuMedium_Click();
  void mnuHigh_Click();
  void mnuResetLoc_Click();
  void mnuResetDir_Click();
  void mnuResetBoth_Click();
  void mnuControlType1_Click();
  void mnuControlType2_Click();
  void mnuMiscAbvGnd_Click();
  void mnuControl_Click();
  void mnuAbout_Click();

  const CameraRoster& cameras() const { return cameras_; }
  const ControlScheme& scheme() const { return scheme_; }
  bool quitRequested() const { return quitRequested_; }

 private:
  // Shows a message naming what failed, unloads the window if it is still there and ends the
  // program. Used where a handler without an error trap of its own fails.
  [[noreturn]] void EndAfterFailure(const std::string& what);

  Engine& engine_;
  Platform& platform_;
  CameraRoster cameras_;
  ControlScheme scheme_;
  RenderOptions renderOptions_;
  bool quitRequested_ = false;  // set only by Form_Unload
  bool loadFailed_ = false;
};

}  // namespace kwellor
