// Start-up: choosing the world, loading it and handing over to the frame loop.
#include <exception>
#include <stdexcept>
#include <string>

#include "app/form1.h"
#include "app/model_patterns.h"
#include "app/world_load.h"
#include "navigation/frame_loop.h"
#include "platform/error_modes.h"

namespace kwellor {
namespace {

// The Open dialog's filter list, "name|pattern" pairs: the world files first, then every model
// format the importer reads (listed by it at build time), then any file.
constexpr const char* kOpenFilter =
    "All Supported files|*.wld;*.vindle;*.zelnary|*.wld|*.wld|*.vindle|*.vindle|*.zelnary|"
    "*.zelnary|3D models|" KWELLOR_MODEL_PATTERNS "|All files|*";

// The bitmaps folder beside the world. A bare file name has an empty directory part; its
// textures are then in ./bitmaps, not in /bitmaps.
std::string TexturesFolder(const std::string& directory) {
  return directory.empty() ? std::string("bitmaps") : directory + "/bitmaps";
}

}  // namespace

void Form1::Form_Load() {
  std::string step = "setting the perspective correction";
  try {
    scheme_.set(kKeyboardScheme);
    engine_.ZNR_engine_set_perspective_correction_accuracy(0.0);
    cameras_.RewindIndex();

    step = "reading the command line";
    std::string path = GetCommandLineFile();
    if (path.empty()) {
      step = "choosing a world";
      path = GetOpenedFile();
      if (path.empty()) {
        platform_.unload();
        return;
      }
    }

    step = "finding the folder of " + path;
    const std::string directory = GetDirectory(path);

    step = "loading the world " + path;
    const WorldLoad load = LoadBehindSplash(engine_, platform_, path, TexturesFolder(directory));
    if (load.cancelled) {
      // Stopped by the user: the run ends as after a failed load, but without a message
      // reporting a failure the user asked for.
      loadFailed_ = true;
      platform_.unload();
      return;
    }
    if (load.result == -1) {
      // The engine's own reason, when it gives one, goes behind the message as its details.
      std::string reason;
      ResumeNext([&] { reason = LastLoadError(engine_); });
      platform_.messageBox("Error Loading World", reason);
      loadFailed_ = true;
      platform_.unload();
      return;
    }

    step = "showing the main window";
    platform_.setCaption(platform_.caption() + " [" + path + "]");
    platform_.show();

    step = "collecting the chase cameras";
    CollectChaseCameras();

    step = "running the frame loop";
    UserControl();
  } catch (const std::exception& e) {
    EndAfterFailure("Start-up failed while " + step + ": " + e.what());
  }
}

void Form1::CollectChaseCameras() {
  cameras_.Collect();
}

void Form1::UserControl() {
  FrameLoop(engine_, platform_, cameras_, scheme_).Run(quitRequested_);
}

std::string Form1::GetCommandLineFile() {
  std::string text = platform_.commandLine();
  const size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  const size_t last = text.find_last_not_of(' ');
  text = text.substr(first, last - first + 1);
  if (text.front() == '"') text.erase(0, 1);
  if (!text.empty() && text.back() == '"') text.pop_back();
  return text;
}

std::string Form1::GetOpenedFile() {
  std::string result;
  try {
    result = platform_.showOpenDialog(kOpenFilter);
  } catch (const std::exception&) {
    // A cancel or a failing dialog leaves the result as it stands.
  }
  return result;
}

std::string Form1::GetDirectory(const std::string& path) {
  const std::string name = platform_.fileNameOf(path);
  if (name.size() > path.size()) {
    throw std::runtime_error("the file name " + name + " is longer than the path itself");
  }
  return path.substr(0, path.size() - name.size());
}

}  // namespace kwellor
