#include "workers.h"

namespace kconvert {

int MachineThreads() {
  const unsigned n = std::thread::hardware_concurrency();
  return n > 0 ? static_cast<int>(n) : 1;
}

WorkerPool::WorkerPool(int threads) {
  for (int i = 1; i < threads; ++i) workers_.emplace_back([this] { Work(); });
}

WorkerPool::~WorkerPool() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  for (std::thread& worker : workers_) worker.join();
}

void WorkerPool::Run(int parts, const std::function<void(int)>& part) {
  std::unique_lock<std::mutex> lock(mutex_);
  job_ = &part;
  parts_ = parts;
  next_ = 0;
  unfinished_ = parts;
  wake_.notify_all();
  // The calling thread takes parts too.
  while (next_ < parts_) {
    const int index = next_++;
    lock.unlock();
    part(index);
    lock.lock();
    --unfinished_;
  }
  done_.wait(lock, [&] { return unfinished_ == 0; });
  job_ = nullptr;
}

void WorkerPool::Work() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    wake_.wait(lock, [&] { return stopping_ || (job_ && next_ < parts_); });
    if (stopping_) return;
    const int index = next_++;
    const std::function<void(int)>* job = job_;
    lock.unlock();
    (*job)(index);
    lock.lock();
    if (--unfinished_ == 0) done_.notify_all();
  }
}

}  // namespace kconvert
