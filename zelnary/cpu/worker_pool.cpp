#include "zelnary/cpu/worker_pool.h"

#include <algorithm>

namespace znr {

WorkerPool::WorkerPool(int32_t threads) {
  const int32_t extra = std::clamp(threads, 1, kMaxPoolThreads) - 1;
  for (int32_t i = 1; i <= extra; ++i) workers_.emplace_back([this, i] { loop(i); });
}

WorkerPool::~WorkerPool() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  start_.notify_all();
  for (std::thread& t : workers_) t.join();
}

void WorkerPool::run(const std::function<void(int32_t)>& job) {
  if (workers_.empty()) {
    job(0);
    return;
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    job_ = &job;
    pending_ = static_cast<int32_t>(workers_.size());
    ++generation_;
  }
  start_.notify_all();
  job(0);
  std::unique_lock<std::mutex> lock(mutex_);
  done_.wait(lock, [this] { return pending_ == 0; });
  job_ = nullptr;
}

void WorkerPool::loop(int32_t index) {
  uint64_t seen = 0;
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    start_.wait(lock, [&] { return stop_ || generation_ != seen; });
    if (stop_) return;
    seen = generation_;
    const auto* job = job_;
    lock.unlock();
    (*job)(index);
    lock.lock();
    if (--pending_ == 0) done_.notify_one();
  }
}

}  // namespace znr
