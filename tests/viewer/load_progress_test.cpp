// The load behind the splash: on a worker thread with progress and Cancel when the engine has
// the optional exports, on the GUI thread as one blocking call when it has not, and the same
// engine calls in the same order either way.
#include <string>
#include <thread>
#include <vector>

#include "app/world_load.h"
#include "tests/viewer/viewer_fixture.h"

namespace kwellor::fakes {
namespace {

using Lines = std::vector<std::string>;

// One whole run of the program with a fresh engine and platform; `script` sets them up.
struct Outcome {
  Lines log;
  int exitStatus = -1;
  bool ended = false;  // through endProgram
  std::thread::id loadThread;
  Lines messages;
  Lines splashProgress;
  bool splashOffersCancel = false;
  bool splashOpen = false;
  int waits = 0;
  int cancelCalls = 0;
};

template <class Script>
Outcome RunOnce(Script&& script) {
  Outcome out;
  FakeEngine engine{out.log};
  FakePlatform platform{out.log};
  platform.commandLineText = "/w/town.wld";
  platform.fileNames["/w/town.wld"] = "town.wld";
  FakeCamera chase;
  chase.handle = 7;
  chase.chaseType = 1;
  engine.worldCameras.push_back(chase);
  platform.onPump = [&](int) { platform.keysDown.insert(kVkEscape); };
  script(engine, platform);
  Form1 form{engine, platform};
  try {
    out.exitStatus = form.Load();
  } catch (const ProgramEnded&) {
    out.ended = true;
  }
  out.loadThread = engine.loadThread;
  out.messages = platform.messages;
  out.splashProgress = platform.splashProgress;
  out.splashOffersCancel = platform.splashOffersCancel;
  out.splashOpen = platform.splashOpen;
  out.waits = platform.waits;
  out.cancelCalls = engine.cancelCalls();
  return out;
}

// Success, a refused load and a failing call: the threaded load ends each run as the blocking
// one does, with the same calls in the same order.
TEST(LoadBehindSplash, AThreadedLoadMakesTheSameCallsAsABlockingOne) {
  using Ending = void (*)(FakeEngine&, FakePlatform&);
  const Ending endings[] = {
      [](FakeEngine&, FakePlatform&) {},
      [](FakeEngine& e, FakePlatform&) {
        e.loadResult = -1;
        e.lastError = "town.wld:3: bad";
      },
      [](FakeEngine& e, FakePlatform&) { e.failing.insert("ZNR_engine_load_world"); },
  };
  for (size_t i = 0; i < std::size(endings); ++i) {
    const Outcome blocking = RunOnce(endings[i]);
    const Outcome threaded = RunOnce([&](FakeEngine& e, FakePlatform& p) {
      endings[i](e, p);
      e.reportsProgress = true;
      e.cancellable = true;
      e.loadSteps = {{1, 0, 0}};
    });
    SCOPED_TRACE("ending " + std::to_string(i));
    EXPECT_EQ(threaded.log, blocking.log);
    EXPECT_EQ(threaded.exitStatus, blocking.exitStatus);
    EXPECT_EQ(threaded.ended, blocking.ended);
    EXPECT_EQ(threaded.messages, blocking.messages);
    EXPECT_FALSE(threaded.splashOpen);
    EXPECT_EQ(threaded.cancelCalls, 0);
    // Only the engine that reports progress is loaded off the GUI thread, and only its splash
    // waits for events and offers Cancel.
    EXPECT_EQ(blocking.loadThread, std::this_thread::get_id());
    EXPECT_EQ(blocking.waits, 0);
    EXPECT_TRUE(blocking.splashProgress.empty());
    EXPECT_FALSE(blocking.splashOffersCancel);
    EXPECT_NE(threaded.loadThread, std::this_thread::get_id());
    EXPECT_GT(threaded.waits, 0);
    EXPECT_TRUE(threaded.splashOffersCancel);
  }
}

TEST(LoadBehindSplash, TheSplashShowsEachStepAndTheShareOfTheTexturesDone) {
  const Outcome run = RunOnce([](FakeEngine& e, FakePlatform&) {
    e.reportsProgress = true;  // no cancel export: no Cancel button
    e.loadSteps = {{1, 0, 0}, {2, 1, 4}, {2, 3, 4}, {3, 0, 0}, {4, 0, 0}};
  });
  EXPECT_EQ(run.exitStatus, 0);
  EXPECT_FALSE(run.splashOffersCancel);
  // Before the load's first report and after its last, the splash may show the idle step.
  Lines steps;
  for (const std::string& line : run.splashProgress)
    if (line != "Loading @ -1") steps.push_back(line);
  EXPECT_EQ(steps, (Lines{"Reading the world @ -1", "Loading textures (1 of 4) @ 0.25",
                          "Loading textures (3 of 4) @ 0.75", "Preparing the scene @ -1",
                          "Importing the model @ -1"}));
  EXPECT_EQ(LoadStepText(2, 0, 0), "Loading textures");
  EXPECT_EQ(LoadStepText(9, 1, 2), "Loading");
}

// Cancel stops the load and the run ends as after a failed load (the window never shown, the
// status 1), without the failure's message: the user asked for it.
TEST(LoadBehindSplash, CancelStopsTheLoadAndEndsTheRunWithoutAMessage) {
  const Outcome run = RunOnce([](FakeEngine& e, FakePlatform& p) {
    e.reportsProgress = true;
    e.cancellable = true;
    e.loadSteps = {{4, 0, 0}};
    e.loadWaitsForCancel = true;
    p.cancelAtWait = 3;
  });
  EXPECT_EQ(run.cancelCalls, 1);
  EXPECT_GE(run.waits, 3);
  EXPECT_EQ(run.log, (Lines{"loadMainWindow()", "ZNR_engine_set_perspective_correction_accuracy(0)",
                            "ZNR_engine_load_world(\"/w/town.wld\", \"\", \"/w//bitmaps\", 0)",
                            "unload()", "ZNR_engine_is_engine_empty()", "ShowCursor(true)"}));
  EXPECT_TRUE(run.messages.empty());
  EXPECT_EQ(run.exitStatus, 1);
  EXPECT_FALSE(run.ended);
  EXPECT_FALSE(run.splashOpen);
}

}  // namespace
}  // namespace kwellor::fakes
