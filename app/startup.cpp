// Start-up: choosing the world, loading it and handing over to the frame loop.
#include <exception>
#include <stdexcept>
#include <string>

#include "app/form1.h"

namespace kwellor {
namespace {

constexpr const char* kOpenFilter =
    "All Supported files|*.wld;*.vindle;*.zelnary|*.wld|*.wld|*.vindle|*.vindle|*.zelnary|"
    "*.zelnary|3D models|*.gltf;*.glb;*.obj;*.fbx;*.dae;*.3ds;*.ply;*.stl;*.ifc";

// The bitmaps folder beside the world. A bare file name has an empty directory part; its
// textures are then in ./bitmaps, not in /bitmaps.
std::string TexturesFolder(const std::string& directory) {
  return directory.empty() ? std::string("bitmaps") : directory + "/bitmaps";
}

}  // namespace

void Form1::Form_Load() {
  std::string step = "setting the perspective correction";
  try {
    controlType = 1;
    engine_.ZNR_engine_set_perspective_correction_accuracy(0.0);
    chaseCameraIndex = 1;

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
    const std::string textures = TexturesFolder(directory);
    if (engine_.ZNR_engine_load_world(path.c_str(), "", textures.c_str(), 0) == -1) {
      platform_.messageBox("Error Loading World");
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
