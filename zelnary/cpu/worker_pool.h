// A few threads kept for the whole life of a renderer, so that splitting a frame between them
// costs no thread start per frame.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace znr {

// The most threads a pool runs a job on; more are taken as this many.
constexpr int32_t kMaxPoolThreads = 64;

class WorkerPool {
 public:
  // threads: how many run a job at once, the calling thread included (1 = no extra thread).
  explicit WorkerPool(int32_t threads);
  ~WorkerPool();
  WorkerPool(const WorkerPool&) = delete;
  WorkerPool& operator=(const WorkerPool&) = delete;

  int32_t size() const { return static_cast<int32_t>(workers_.size()) + 1; }
  // Runs job(i) for every i in [0, size()), job(0) on the calling thread, and returns when
  // all have finished.
  void run(const std::function<void(int32_t)>& job);

 private:
  void loop(int32_t index);

  std::vector<std::thread> workers_;
  std::mutex mutex_;
  std::condition_variable start_, done_;
  const std::function<void(int32_t)>* job_ = nullptr;
  uint64_t generation_ = 0;  // one more for every job handed out
  int32_t pending_ = 0;      // workers still busy with the current job
  bool stop_ = false;
};

}  // namespace znr
