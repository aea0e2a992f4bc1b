// kwellor [world path]: binds the engine library, then runs the main window's start-up, which
// holds the frame loop until the run ends.
#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "app/command_line.h"
#include "app/form1.h"
#include "engine/engine_binding.h"
#include "platform/qt/qt_platform.h"
#include "platform/qt/system_calls.h"
#include "platform/qt/x11_input.h"

namespace {

QtMessageHandler qtHandler = nullptr;

// Started from a file manager outside a desktop session's environment, Qt falls back to a
// runtime folder of its own and says so at every start: nothing the user can act on.
void dropRuntimeFolderNotice(QtMsgType type, const QMessageLogContext& context,
                             const QString& text) {
  if (type == QtWarningMsg && text.startsWith("QStandardPaths: XDG_RUNTIME_DIR not set")) return;
  qtHandler(type, context, text);
}

}  // namespace

int main(int argc, char** argv) {
  // The whole command line is the world path: Qt gets none of it to interpret.
  const std::string commandLine = kwellor::qt::JoinArguments(argc, argv);
  std::error_code ignored;
  switch (kwellor::RequestOf(commandLine, std::filesystem::exists(commandLine, ignored))) {
    case kwellor::ProgramRequest::kHelp:
      std::fputs(kwellor::UsageText().c_str(), stdout);
      return 0;
    case kwellor::ProgramRequest::kVersion:
      std::fputs(kwellor::VersionText().c_str(), stdout);
      return 0;
    case kwellor::ProgramRequest::kRun:
      break;
  }

  // X11 even on a Wayland desktop, unless the user chose; without a display Qt would abort.
  const std::string plugin = kwellor::qt::ChooseQtPlatform(std::getenv("QT_QPA_PLATFORM"));
  setenv("QT_QPA_PLATFORM", plugin.c_str(), 1);
  if (kwellor::qt::NeedsXDisplay(plugin) && !kwellor::qt::DisplayReachable()) {
    const std::string message =
        kwellor::qt::NoXDisplayMessage(std::getenv("DISPLAY"), std::getenv("WAYLAND_DISPLAY"));
    std::fprintf(stderr, "%s\n", message.c_str());
    return 1;
  }
  qtHandler = qInstallMessageHandler(dropRuntimeFolderNotice);
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
  return form.Load();
}
