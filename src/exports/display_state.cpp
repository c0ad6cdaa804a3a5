// DisplayAdjust and LastDisplayAdjust behind one small lock.  The lock is
// held only to copy or compare 32 bytes, never across a conversion; a
// pointer-sized atomic word is all it needs, which 32-bit Windows provides
// without a runtime library.
#include "exports/display_state.h"

#include <atomic>

#include "common/features.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <sched.h>
#endif

namespace kelmar {
namespace {

class SpinLock {
 public:
  void Lock() {
    for (int spins = 0; locked_.exchange(1, std::memory_order_acquire); ++spins) {
      while (locked_.load(std::memory_order_relaxed)) {
        // A holder that was preempted keeps the lock for a whole time
        // slice; give the processor away rather than spin through it.
        if (++spins % 64 == 0)
          GiveProcessorAway();
        else
          Relax();
      }
    }
  }
  void Unlock() { locked_.store(0, std::memory_order_release); }

 private:
  static void Relax() {
#if KELMAR_X86
    __builtin_ia32_pause();
#endif
  }
  static void GiveProcessorAway() {
#if defined(_WIN32)
    SwitchToThread();
#else
    sched_yield();
#endif
  }

  std::atomic<int32_t> locked_{0};
};

class LockGuard {
 public:
  explicit LockGuard(SpinLock& lock) : lock_(lock) { lock_.Lock(); }
  ~LockGuard() { lock_.Unlock(); }
  LockGuard(const LockGuard&) = delete;
  LockGuard& operator=(const LockGuard&) = delete;

 private:
  SpinLock& lock_;
};

SpinLock displayLock;
// Both zero at load.
DisplayValues DisplayAdjust;
DisplayValues LastDisplayAdjust;

}  // namespace

void StoreDisplayAdjust(const DisplayValues& values) {
  const LockGuard guard(displayLock);
  DisplayAdjust = values;
}

DisplayValues LoadDisplayAdjust() {
  const LockGuard guard(displayLock);
  return DisplayAdjust;
}

DisplaySnapshot TakeDisplayAdjust() {
  const LockGuard guard(displayLock);
  const DisplaySnapshot snapshot = {DisplayAdjust, DisplayAdjust != LastDisplayAdjust};
  LastDisplayAdjust = DisplayAdjust;
  return snapshot;
}

DisplayValues LoadLastDisplayAdjust() {
  const LockGuard guard(displayLock);
  return LastDisplayAdjust;
}

}  // namespace kelmar
