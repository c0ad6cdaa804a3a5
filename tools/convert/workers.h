// Threads of kelmar-convert: a pool that runs the bands of one picture at
// once, and a bounded queue between the stages of a run (reading,
// converting, writing).
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace kconvert {

// The machine's processors, at least 1.
int MachineThreads();

// `threads` - 1 threads that wait for work; Run() uses them and the calling
// thread together.
class WorkerPool {
 public:
  explicit WorkerPool(int threads);
  ~WorkerPool();
  WorkerPool(const WorkerPool&) = delete;
  WorkerPool& operator=(const WorkerPool&) = delete;

  int threads() const { return static_cast<int>(workers_.size()) + 1; }

  // Calls part(0) .. part(parts - 1), at most threads() at a time, and
  // returns when all are done.  `part` must not throw.
  void Run(int parts, const std::function<void(int)>& part);

 private:
  void Work();

  std::vector<std::thread> workers_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable done_;
  const std::function<void(int)>* job_ = nullptr;
  int parts_ = 0;
  int next_ = 0;
  int unfinished_ = 0;
  bool stopping_ = false;
};

// A queue of at most `capacity` items between two threads.  Close() ends it:
// Pop() then returns what is left and after that nothing.
template <typename T>
class BoundedQueue {
 public:
  explicit BoundedQueue(size_t capacity) : capacity_(capacity) {}

  // False when the queue was closed (the consumer gave up).
  bool Push(T item) {
    std::unique_lock<std::mutex> lock(mutex_);
    notFull_.wait(lock, [&] { return closed_ || items_.size() < capacity_; });
    if (closed_) return false;
    items_.push_back(std::move(item));
    notEmpty_.notify_one();
    return true;
  }

  std::optional<T> Pop() {
    std::unique_lock<std::mutex> lock(mutex_);
    notEmpty_.wait(lock, [&] { return closed_ || !items_.empty(); });
    if (items_.empty()) return std::nullopt;
    T item = std::move(items_.front());
    items_.pop_front();
    notFull_.notify_one();
    return item;
  }

  void Close() {
    std::lock_guard<std::mutex> lock(mutex_);
    closed_ = true;
    notEmpty_.notify_all();
    notFull_.notify_all();
  }

 private:
  size_t capacity_;
  std::mutex mutex_;
  std::condition_variable notEmpty_;
  std::condition_variable notFull_;
  std::deque<T> items_;
  bool closed_ = false;
};

}  // namespace kconvert
