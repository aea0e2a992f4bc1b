#include "app/world_load.h"

#include <atomic>
#include <exception>
#include <thread>

#include "platform/error_modes.h"

namespace kwellor {
namespace {

// The splash is only a courtesy: one that fails stops nothing.
class LoadingSplash {
 public:
  LoadingSplash(Platform& platform, const std::string& path, bool offerCancel)
      : platform_(platform) {
    ResumeNext([&] { platform_.showSplash(path, offerCancel); });
  }
  ~LoadingSplash() {
    ResumeNext([&] { platform_.closeSplash(); });
  }
  LoadingSplash(const LoadingSplash&) = delete;
  LoadingSplash& operator=(const LoadingSplash&) = delete;

 private:
  Platform& platform_;
};

}  // namespace

std::string LoadStepText(int32_t step, int32_t done, int32_t total) {
  switch (step) {
    case 1:
      return "Reading the world";
    case 2:
      if (total <= 0) return "Loading textures";
      return "Loading textures (" + std::to_string(done) + " of " + std::to_string(total) + ")";
    case 3:
      return "Preparing the scene";
    case 4:
      return "Importing the model";
    default:
      return "Loading";
  }
}

WorldLoad LoadBehindSplash(Engine& engine, Platform& platform, const std::string& path,
                           const std::string& texturesFolder) {
  WorldLoad load;
  const bool threaded = engine.hasLoadProgress();
  const bool cancellable = threaded && engine.hasCancelLoad();
  const LoadingSplash splash(platform, path, cancellable);
  auto callLoad = [&] {
    load.result = engine.ZNR_engine_load_world(path.c_str(), "", texturesFolder.c_str(), 0);
  };
  if (!threaded) {
    callLoad();
    return load;
  }

  std::atomic<bool> finished{false};
  std::exception_ptr failure;
  {
    // Joined on leaving the block, also when something unwinds through the wait.
    const std::jthread worker([&] {
      try {
        callLoad();
      } catch (...) {
        failure = std::current_exception();
      }
      finished.store(true);
    });
    while (!finished.load()) {
      ResumeNext([&] {
        platform.waitEvents(kLoadPollMs);
        if (cancellable && !load.cancelled && platform.splashCancelled()) {
          load.cancelled = true;
          engine.ZNR_engine_cancel_load();
        }
        int32_t done = 0, total = 0;
        const int32_t step = engine.ZNR_engine_get_load_progress(&done, &total);
        const double fraction = total > 0 ? static_cast<double>(done) / total : -1.0;
        platform.setSplashProgress(LoadStepText(step, done, total), fraction);
      });
    }
  }
  if (failure) std::rethrow_exception(failure);
  return load;
}

}  // namespace kwellor
