// Start-up, the command line, the directory part, resize and every way the run ends.
#include <string>
#include <vector>

#include "app/command_line.h"
#include "tests/viewer/viewer_fixture.h"

namespace kwellor::fakes {
namespace {

using Lines = std::vector<std::string>;

TEST_F(ViewerTest, StartUpRunsItsStepsInOrderAndEscapeUnloads) {
  AddCamera(7, 1);
  EXPECT_FALSE(Run(1));

  const Lines expectedStart = {
      "loadMainWindow()",
      "ZNR_engine_set_perspective_correction_accuracy(0)",
      "ZNR_engine_load_world(\"/w/town.wld\", \"\", \"/w//bitmaps\", 0)",
      "setCaption(\"KWELLOR [/w/town.wld]\")",
      "show()",
      "ZNR_camera_get_first_camera()",
      "ZNR_camera_get_chase_type(7)",
      "ZNR_camera_get_next_camera(7)",
      "ZNR_camera_create(\"ViewerCam\")",
      "ZNR_camera_set_zoom(100, 55)",
  };
  ASSERT_GE(log.size(), expectedStart.size());
  EXPECT_EQ(Lines(log.begin(), log.begin() + 10), expectedStart);
  const Lines expectedEnd = {"doEvents()", "unload()", "ZNR_engine_is_engine_empty()",
                             "ZNR_engine_close()", "ShowCursor(true)"};
  EXPECT_EQ(Lines(log.end() - 5, log.end()), expectedEnd);

  EXPECT_EQ(form.scheme().type(), 1);
  EXPECT_EQ(form.cameras().chaseCameraIndex(), 1);
  EXPECT_TRUE(form.quitRequested());
  EXPECT_EQ(platform.cursorCounter, 1);
  // The first showing sized the picture area from the outer size.
  EXPECT_EQ(platform.pictureHeight, 5700.0f - 730.0f);
  EXPECT_EQ(platform.pictureWidth, 6840.0f - 150.0f);
  EXPECT_EQ(engine.closeCount, 1);
  EXPECT_EQ(engine.callsAfterClose(), 0);
  EXPECT_EQ(exitStatus, 0);
  // The splash named the world during the load and closed before the window showed.
  EXPECT_EQ(platform.splashWorld, "/w/town.wld");
  EXPECT_FALSE(platform.splashOpen);
  EXPECT_EQ(platform.splashClosedAt, IndexOf("setCaption(\"KWELLOR [/w/town.wld]\")"));
}

TEST_F(ViewerTest, CancelledOpenDialogUnloadsBeforeTheWindowIsShown) {
  platform.commandLineText = "   ";
  EXPECT_FALSE(Run(1));
  // The four world entries first, as they always were; then the models, every format the
  // importer reads; then any file.
  ASSERT_EQ(platform.openDialogFilters.size(), 1u);
  const std::string filter = platform.openDialogFilters[0];
  const std::string worlds =
      "All Supported files|*.wld;*.vindle;*.zelnary|*.wld|*.wld|*.vindle|*.vindle|*.zelnary|"
      "*.zelnary|";
  EXPECT_EQ(filter.substr(0, worlds.size()), worlds);
  const std::string models = "3D models|";
  ASSERT_EQ(filter.compare(worlds.size(), models.size(), models), 0) << filter;
  const std::string any = "|All files|*";
  ASSERT_EQ(filter.substr(filter.size() - any.size()), any) << filter;
  const std::string patterns =
      ";" +
      filter.substr(worlds.size() + models.size(),
                    filter.size() - any.size() - worlds.size() - models.size()) +
      ";";
  for (const char* ext : {"gltf", "glb", "obj", "fbx", "dae", "stl", "ply", "3mf", "blend", "x",
                          "md2", "lwo", "iqm", "ifc"})
    EXPECT_NE(patterns.find(std::string(";*.") + ext + ";"), std::string::npos) << ext;
  EXPECT_EQ(
      LogFrom("showOpenDialog()"),
      (Lines{"showOpenDialog()", "unload()", "ZNR_engine_is_engine_empty()", "ShowCursor(true)"}));
  EXPECT_FALSE(platform.shown);
  EXPECT_TRUE(platform.messages.empty());
  EXPECT_TRUE(Calls("ZNR_engine_load_world").empty());
  EXPECT_EQ(exitStatus, 0);  // the user's choice, not a failure
  EXPECT_TRUE(platform.splashWorld.empty());

  // A failing dialog counts as a cancel.
  Form1 second{engine, platform};
  platform.failing.insert("showOpenDialog");
  second.Load();
  EXPECT_FALSE(platform.shown);
  EXPECT_TRUE(platform.messages.empty());
}

TEST_F(ViewerTest, PathFromTheDialogIsLoadedAndCaptioned) {
  platform.commandLineText = "";
  platform.openDialogAnswer = "/maps/a b.vindle";
  platform.fileNames["/maps/a b.vindle"] = "a b.vindle";
  EXPECT_FALSE(Run(1));
  EXPECT_EQ(Calls("ZNR_engine_load_world"),
            Lines{"ZNR_engine_load_world(\"/maps/a b.vindle\", \"\", \"/maps//bitmaps\", 0)"});
  EXPECT_EQ(platform.windowCaption, "KWELLOR [/maps/a b.vindle]");
}

TEST_F(ViewerTest, FailedLoadShowsTheMessageThenUnloadsUnshown) {
  platform.commandLineText = "/w/a.wld /w/b.wld";  // two paths are one path
  engine.loadResult = -1;
  EXPECT_FALSE(Run(1));
  EXPECT_EQ(LogFrom("ZNR_engine_load_world(\"/w/a.wld /w/b.wld\", \"\", \"/w/a.wld "
                    "/w/b.wld/bitmaps\", 0)"),
            (Lines{"ZNR_engine_load_world(\"/w/a.wld /w/b.wld\", \"\", \"/w/a.wld "
                   "/w/b.wld/bitmaps\", 0)",
                   "messageBox(\"Error Loading World\")", "unload()",
                   "ZNR_engine_is_engine_empty()", "ShowCursor(true)"}));
  EXPECT_FALSE(platform.shown);
  EXPECT_EQ(exitStatus, 1);
  EXPECT_FALSE(platform.splashOpen);
  EXPECT_EQ(platform.splashClosedAt, IndexOf("messageBox(\"Error Loading World\")"));
  EXPECT_EQ(platform.messageDetails, Lines{""});  // the engine gave no reason

  // The engine's reason goes behind the message as its details.
  engine.lastError = "a.wld:4440: poly vertex: a number is missing";
  Form1 second{engine, platform};
  EXPECT_EQ(second.Load(), 1);
  EXPECT_EQ(platform.messages.back(), "Error Loading World");
  EXPECT_EQ(platform.messageDetails.back(), engine.lastError);
}

// Exit and the close box unload inside the pump; the next pass ends the program at once.
TEST_F(ViewerTest, ExitAndCloseBoxEndTheProgramBeforeAnyFurtherEngineCall) {
  for (bool viaExit : {true, false}) {
    log.clear();
    FakeEngine freshEngine{log};
    FakePlatform freshPlatform{log};
    freshPlatform.commandLineText = "/w/town.wld";
    Form1 freshForm{freshEngine, freshPlatform};
    freshPlatform.onPump = [&](int pump) {
      if (pump != 3) return;
      if (viaExit) {
        freshForm.MenuClick("mnuExit");
      } else {
        freshPlatform.unload();
      }
    };
    EXPECT_THROW(freshForm.Load(), ProgramEnded);
    EXPECT_EQ(Calls("ZNR_engine_render").size(), 3u);
    EXPECT_EQ(Lines(log.end() - 6, log.end()),
              (Lines{"doEvents()", "unload()", "ZNR_engine_is_engine_empty()", "ZNR_engine_close()",
                     "ShowCursor(true)", "endProgram()"}));
    EXPECT_EQ(freshEngine.closeCount, 1);
    EXPECT_EQ(freshEngine.callsAfterClose(), 0);
    EXPECT_EQ(freshPlatform.pumps, 3);
  }
}

TEST_F(ViewerTest, CommandLineIsTrimmedOfSpacesAndOneQuoteAtEachEnd) {
  platform.loadMainWindow(MainMenuDesign(), form);
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"", ""},
      {"     ", ""},
      {"\"", ""},
      {"\"\"", ""},
      {"\"/My Worlds/town.wld\"", "/My Worlds/town.wld"},
      {"  \"/My Worlds/town.wld\"  ", "/My Worlds/town.wld"},
      {"\t/w/a.wld\t", "\t/w/a.wld\t"},
      {"\"/w/open.wld", "/w/open.wld"},
      {"/w/close.wld\"", "/w/close.wld"},
      {"/w/a\"b.wld", "/w/a\"b.wld"},
      {"\"\"/w/x.wld\"\"", "\"/w/x.wld\""},
      {"/w/a.wld /w/b.wld", "/w/a.wld /w/b.wld"},
  };
  for (const auto& [text, expected] : cases) {
    platform.commandLineText = text;
    EXPECT_EQ(form.GetCommandLineFile(), expected) << "command line [" << text << "]";
  }
}

TEST(CommandLine, HelpAndVersionAnswerOnlyWhenNoFileHasTheirName) {
  EXPECT_EQ(RequestOf("--help", false), ProgramRequest::kHelp);
  EXPECT_EQ(RequestOf("--version", false), ProgramRequest::kVersion);
  EXPECT_EQ(RequestOf("--help", true), ProgramRequest::kRun);
  EXPECT_EQ(RequestOf("--version", true), ProgramRequest::kRun);
  EXPECT_EQ(RequestOf("--help /w/town.wld", false), ProgramRequest::kRun);
  EXPECT_EQ(RequestOf("", false), ProgramRequest::kRun);
}

TEST_F(ViewerTest, DirectoryPartIsThePathLessTheFileName) {
  platform.fileNames["/w/town.wld"] = "town.wld";
  platform.fileNames["town.wld"] = "town.wld";
  EXPECT_EQ(form.GetDirectory("/w/town.wld"), "/w/");
  EXPECT_EQ(form.GetDirectory("town.wld"), "");
  EXPECT_EQ(form.GetDirectory("/w/missing.wld"), "/w/missing.wld");  // no such file
  EXPECT_EQ(form.GetDirectory("/w"), "/w");                          // a folder
  platform.fileNames["t.wld"] = "longer-name.wld";
  EXPECT_THROW(form.GetDirectory("t.wld"), std::exception);
}

TEST_F(ViewerTest, TexturesFolderOfBareNameIsRelativeAndOfMissingFileIsAppended) {
  platform.commandLineText = "town.wld";
  platform.fileNames["town.wld"] = "town.wld";
  Run(1);
  EXPECT_EQ(Calls("ZNR_engine_load_world"),
            Lines{"ZNR_engine_load_world(\"town.wld\", \"\", \"bitmaps\", 0)"});

  log.clear();
  platform.commandLineText = "/w/gone.wld";
  engine.loadResult = -1;
  Form1 second{engine, platform};
  second.Load();
  EXPECT_EQ(Calls("ZNR_engine_load_world"),
            Lines{"ZNR_engine_load_world(\"/w/gone.wld\", \"\", \"/w/gone.wld/bitmaps\", 0)"});
  EXPECT_EQ(platform.messages.back(), "Error Loading World");
}

// A failing start-up step is reported and ends the program; no silent window is left.
TEST_F(ViewerTest, StartUpFailureIsReportedAndEndsTheProgram) {
  engine.failing.insert("ZNR_engine_load_world");
  EXPECT_TRUE(Run(1));
  ASSERT_EQ(platform.messages.size(), 1u);
  EXPECT_EQ(platform.messages[0],
            "Start-up failed while loading the world /w/town.wld: ZNR_engine_load_world failed");
  EXPECT_TRUE(Calls("ZNR_engine_render").empty());
  EXPECT_TRUE(platform.unloaded);
  EXPECT_FALSE(platform.splashOpen);
  EXPECT_EQ(log.back(), "endProgram(1)");
}

TEST_F(ViewerTest, StartUpFailureAfterTheLoadClosesTheEngine) {
  platform.failing.insert("show");
  EXPECT_TRUE(Run(1));
  ASSERT_EQ(platform.messages.size(), 1u);
  EXPECT_NE(platform.messages[0].find("showing the main window"), std::string::npos);
  EXPECT_EQ(engine.closeCount, 1);
  EXPECT_TRUE(Calls("ZNR_engine_render").empty());
}

TEST_F(ViewerTest, UnformableDirectoryPartIsAStartUpFailure) {
  platform.commandLineText = "t.wld";
  platform.fileNames["t.wld"] = "longer-name.wld";
  EXPECT_TRUE(Run(1));
  ASSERT_EQ(platform.messages.size(), 1u);
  EXPECT_NE(platform.messages[0].find("finding the folder of t.wld"), std::string::npos);
  EXPECT_TRUE(Calls("ZNR_engine_load_world").empty());
}

TEST_F(ViewerTest, ResizeSetsHeightThenWidthAndStopsAtARefusal) {
  platform.loadMainWindow(MainMenuDesign(), form);
  platform.minimized = true;
  form.Form_Resize();
  EXPECT_EQ(platform.pictureHeight, -1.0f);
  EXPECT_EQ(platform.pictureWidth, -1.0f);

  platform.minimized = false;
  platform.windowHeight = 9000.0f;
  platform.windowWidth = 12000.0f;
  form.Form_Resize();
  EXPECT_EQ(platform.pictureHeight, 8270.0f);
  EXPECT_EQ(platform.pictureWidth, 11850.0f);

  // Too low: the height is refused and the width is left alone too.
  platform.windowHeight = 700.0f;
  platform.windowWidth = 3000.0f;
  form.Form_Resize();
  EXPECT_EQ(platform.pictureHeight, 8270.0f);
  EXPECT_EQ(platform.pictureWidth, 11850.0f);

  // Too narrow: the new height stays in place.
  platform.windowHeight = 2000.0f;
  platform.windowWidth = 100.0f;
  form.Form_Resize();
  EXPECT_EQ(platform.pictureHeight, 1270.0f);
  EXPECT_EQ(platform.pictureWidth, 11850.0f);

  // A failing window system ends the handler silently.
  platform.failing.insert("setPictureHeight");
  EXPECT_NO_THROW(form.Form_Resize());
}

TEST_F(ViewerTest, UnloadSkipsTheCloseWhenTheEngineIsEmptyAndSurvivesFailures) {
  int16_t cancel = 0;
  form.Form_Unload(cancel);
  EXPECT_EQ(log, (Lines{"ZNR_engine_is_engine_empty()", "ShowCursor(true)"}));
  EXPECT_EQ(cancel, 0);
  EXPECT_TRUE(form.quitRequested());

  log.clear();
  Form1 second{engine, platform};
  engine.failing.insert("ZNR_engine_is_engine_empty");
  second.Form_Unload(cancel);
  EXPECT_EQ(log, Lines{"ZNR_engine_is_engine_empty()"});
  EXPECT_FALSE(second.quitRequested());
}

}  // namespace
}  // namespace kwellor::fakes
