#include "worker_pool.h"

namespace kelmargst {

WorkerPool::WorkerPool(int threads) {
  for (int i = 1; i < threads; ++i) workers_.emplace_back([this] { WorkerLoop(); });
}

WorkerPool::~WorkerPool() {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  for (std::thread& worker : workers_) worker.join();
}

// Called with mutex_ held.
bool WorkerPool::TakeIndex(int* index) {
  if (next_ >= count_) return false;
  *index = next_++;
  return true;
}

void WorkerPool::Run(int count, Task task, void* context) {
  std::unique_lock<std::mutex> lock(mutex_);
  task_ = task;
  context_ = context;
  count_ = count;
  next_ = 0;
  unfinished_ = count;
  ++generation_;
  wake_.notify_all();
  for (int index; TakeIndex(&index);) {
    lock.unlock();
    task(context, index);
    lock.lock();
    --unfinished_;
  }
  done_.wait(lock, [this] { return unfinished_ == 0; });
  count_ = 0;
}

void WorkerPool::WorkerLoop() {
  std::unique_lock<std::mutex> lock(mutex_);
  uint64_t seen = 0;
  for (;;) {
    wake_.wait(lock, [&] { return stopping_ || (generation_ != seen && next_ < count_); });
    if (stopping_) return;
    seen = generation_;
    for (int index; TakeIndex(&index);) {
      const Task task = task_;
      void* context = context_;
      lock.unlock();
      task(context, index);
      lock.lock();
      if (--unfinished_ == 0) done_.notify_all();
    }
  }
}

}  // namespace kelmargst
