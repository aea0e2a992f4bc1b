// What a load is doing, written by the loader on its own thread and read from any other, and
// the request to stop it. Lock-free: a reader never waits for the loader.
#pragma once

#include <atomic>
#include <cstdint>

namespace znr {

// The steps of a load, as ZNR_engine_get_load_progress numbers them.
enum class LoadStep : int32_t {
  None = 0,       // no load running
  Reading = 1,    // reading and parsing the world file
  Textures = 2,   // decoding the world's textures, counted
  Preparing = 3,  // cameras and moving objects (collision is built after the second frame)
  Importing = 4,  // the importer child reading a model, and its stream decoded
};

class LoadProgress {
 public:
  // A load starts: a stop asked for before it is forgotten.
  void begin() {
    cancel_.store(false);
    enter(LoadStep::Reading);
  }
  // total: the items of the step when it can count them, else 0.
  void enter(LoadStep step, uint32_t total = 0) {
    done_.store(0);
    total_.store(total);
    step_.store(step);
  }
  void advance() { done_.fetch_add(1); }
  void finish() { step_.store(LoadStep::None); }

  // Asks the running load to stop; without one running, nothing happens.
  void cancel() {
    if (step_.load() != LoadStep::None) cancel_.store(true);
  }
  bool cancelled() const { return cancel_.load(); }

  LoadStep step(uint32_t* done = nullptr, uint32_t* total = nullptr) const {
    const LoadStep s = step_.load();
    if (done) *done = done_.load();
    if (total) *total = total_.load();
    return s;
  }

 private:
  std::atomic<LoadStep> step_{LoadStep::None};
  std::atomic<uint32_t> done_{0};
  std::atomic<uint32_t> total_{0};
  std::atomic<bool> cancel_{false};
};

}  // namespace znr
