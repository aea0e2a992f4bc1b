// kwellor [world path]: binds the engine library, then runs the main window's start-up, which
// holds the frame loop until the run ends.
#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/form1.h"
#include "engine/engine_binding.h"
#include "platform/qt/qt_platform.h"
#include "platform/qt/system_calls.h"
#include "platform/qt/x11_input.h"

int main(int argc, char** argv) {
  // The whole command line is the world path: Qt gets none of it to interpret.
  const std::string commandLine = kwellor::qt::JoinArguments(argc, argv);
  // Without a display there is no window to show a message in; Qt would abort.
  const char* qpa = std::getenv("QT_QPA_PLATFORM");
  if ((!qpa || std::string(qpa).rfind("xcb", 0) == 0) && !kwellor::qt::DisplayReachable()) {
    const char* display = std::getenv("DISPLAY");
    std::fprintf(stderr, "kwellor: cannot open the X display '%s'\n", display ? display : "");
    return 1;
  }
  int qtArgc = 1;
  char* qtArgv[] = {argv[0], nullptr};
  QApplication app(qtArgc, qtArgv);
  kwellor::qt::QtPlatform platform(commandLine);

  std::string error;
  auto engine =
      kwellor::BindEngine(kwellor::EngineLibraryPath(kwellor::qt::ExecutableDirectory()), error);
  if (!engine) {
    platform.messageBox(error);
    return 1;
  }
  kwellor::Form1 form(*engine, platform);
  form.Load();
  return 0;
}
