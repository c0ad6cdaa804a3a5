// A fixed set of threads that run the bands of one picture.  The threads are
// started once (when the element learns its thread count), so converting a
// frame starts no thread and allocates nothing.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

namespace kelmargst {

class WorkerPool {
 public:
  using Task = void (*)(void* context, int index);

  // `threads` counts the calling thread, which runs a share of every job.
  explicit WorkerPool(int threads);
  ~WorkerPool();
  WorkerPool(const WorkerPool&) = delete;
  WorkerPool& operator=(const WorkerPool&) = delete;

  int threads() const { return static_cast<int>(workers_.size()) + 1; }

  // Runs task(context, i) for every i in [0, count) and returns when all
  // have finished.
  void Run(int count, Task task, void* context);

 private:
  void WorkerLoop();
  bool TakeIndex(int* index);

  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable done_;
  std::vector<std::thread> workers_;
  Task task_ = nullptr;
  void* context_ = nullptr;
  int count_ = 0;
  int next_ = 0;
  int unfinished_ = 0;
  uint64_t generation_ = 0;
  bool stopping_ = false;
};

}  // namespace kelmargst
