// The main window's logic: the form variables and every handler, behind the Engine and
// Platform seams. Each subsystem folder defines its own handlers (app/: start-up, shutdown,
// resize, menu dispatch; cameras/: roster, take-over, camera commands; navigation/: the frame
// loop, input schemes, scheme switching and help, ground clamp; render_options/: quality and
// 3D card).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/engine.h"
#include "navigation/motion_state.h"
#include "platform/platform.h"

namespace kwellor {

class Form1 : public FormEvents {
 public:
  Form1(Engine& engine, Platform& platform);

  // Creates the hidden main window from its design and runs Form_Load. Returns when the run
  // ends normally (Escape, or start-up stopped early); other ends go through endProgram().
  void Load();

  // --- Window events (FormEvents) ---
  void Form_Resize() override;
  void Form_Unload(int16_t& cancel) override;
  void Form_KeyDown(int16_t keyCode, int16_t shift) override;
  void Picture1_MouseUp(int16_t button, int16_t shift, float x, float y) override;
  void MenuClick(std::string_view name) override;

  // --- Start-up and shutdown (app/) ---
  void Form_Load();
  std::string GetCommandLineFile();
  std::string GetOpenedFile();
  std::string GetDirectory(const std::string& path);
  void mnuExit_Click();
  void mnuAbout_Click();

  // --- Cameras (cameras/) ---
  void CollectChaseCameras();
  void TakeOverCamera();
  void mnuNextCam_Click();
  void mnuPrevCam_Click();
  void mnuViewAutoMode_Click();
  void mnuResetLoc_Click();
  void mnuResetDir_Click();
  void mnuResetBoth_Click();

  // --- Navigation (navigation/) ---
  void UserControl();
  void KeyboardInputStep();   // control type 1
  void MouseLookInputStep();  // control type 2
  void StayAboveGround();
  void mnuMiscAbvGnd_Click();
  void mnuControlType1_Click();
  void mnuControlType2_Click();
  void mnuControl_Click();

  // --- Rendering options (render_options/) ---
  void mnuLow_Click();
  void mnuMedium_Click();
  void mnuHigh_Click();
  void UncheckQualityMenus();
  void mnu3Dcard_Click();

  // --- Form variables: zero or false when the window is created ---
  CameraHandle viewerCamera = 0;
  CameraHandle activeCamera = 0;
  std::vector<CameraHandle> chaseCameras;  // position p of the roster is chaseCameras[p - 1]
  int32_t chaseCameraCount = 0;
  int32_t chaseCameraIndex = 0;
  int32_t controlType = 0;
  bool quitRequested = false;

  // The frame loop's state, reset when UserControl starts; read by the input steps.
  MotionState motion;
  int32_t screenCenterX = 0;
  int32_t screenCenterY = 0;

 private:
  bool IsKeyDown(int32_t virtualKey);
  // A perspective-correction level: its mark alone among the three, its accuracy to the engine.
  void SelectQualityLevel(std::string_view item, double accuracy);
  // Shows a message naming what failed, unloads the window if it is still there and ends the
  // program. Used where a handler without an error trap of its own fails.
  [[noreturn]] void EndAfterFailure(const std::string& what);

  Engine& engine_;
  Platform& platform_;
};

}  // namespace kwellor
