// Table sets kept per display setting, for any number of calls at once.
//
// A set is built once for its setting and is then only read.  A call pins
// the set it reads, so no other call can rebuild that slot under it; a
// setting that no slot holds is built into the least recently used slot that
// nobody reads.  Nothing is allocated and no lock is held while a call
// converts: a slot is claimed and pinned with pointer-sized atomic
// operations only.
#pragma once

#include <atomic>
#include <cstdint>

namespace kelmar {

// Tables must provide
//   using Key = ...;  (comparable with ==)
//   static void Build(const Key& key, Tables& tables);
// The cache is constant-initialised: a static one runs no code at load.
template <typename Tables, int kSlots>
class TableCache {
 public:
  using Key = typename Tables::Key;

  // The tables of one call; unpins the slot when it goes.
  class Pin {
   public:
    Pin() = default;
    Pin(const Pin&) = delete;
    Pin& operator=(const Pin&) = delete;
    ~Pin() {
      if (readers_) readers_->fetch_sub(1, std::memory_order_release);
    }
    const Tables* get() const { return tables_; }

   private:
    friend class TableCache;
    const Tables* tables_ = nullptr;
    std::atomic<int32_t>* readers_ = nullptr;
  };

  // Pins the tables for `key`, building them when no slot holds them.
  // False, with nothing pinned, when every slot is being read by other
  // calls; the caller then builds the tables for itself.
  bool Acquire(const Key& key, Pin& pin) {
    if (Find(key, pin)) return true;
    for (;;) {
      Slot* victim = LeastRecentlyUsedIdle();
      if (!victim) return false;
      int32_t idle = 0;
      // -1: being built, no reader may pin it.
      if (!victim->readers.compare_exchange_strong(idle, -1, std::memory_order_acquire)) continue;
      victim->valid = false;
      Tables::Build(key, victim->tables);
      victim->key = key;
      victim->valid = true;
      victim->lastUse.store(Tick(), std::memory_order_relaxed);
      // Publishes the tables and pins them for this call.
      victim->readers.store(1, std::memory_order_release);
      pin.tables_ = &victim->tables;
      pin.readers_ = &victim->readers;
      return true;
    }
  }

 private:
  struct Slot {
    // Readers of the slot; -1 while one call builds it.
    std::atomic<int32_t> readers{0};
    std::atomic<uint32_t> lastUse{0};
    // Written only while readers is -1, read only while pinned.
    bool valid = false;
    Key key{};
    Tables tables{};
  };

  uint32_t Tick() { return clock_.fetch_add(1, std::memory_order_relaxed) + 1; }

  // Pins `slot` unless it is being built.
  static bool TryPin(Slot& slot) {
    int32_t readers = slot.readers.load(std::memory_order_relaxed);
    while (readers >= 0) {
      if (slot.readers.compare_exchange_weak(readers, readers + 1, std::memory_order_acquire))
        return true;
    }
    return false;
  }

  bool Find(const Key& key, Pin& pin) {
    for (Slot& slot : slots_) {
      if (!TryPin(slot)) continue;
      if (slot.valid && slot.key == key) {
        slot.lastUse.store(Tick(), std::memory_order_relaxed);
        pin.tables_ = &slot.tables;
        pin.readers_ = &slot.readers;
        return true;
      }
      slot.readers.fetch_sub(1, std::memory_order_release);
    }
    return false;
  }

  Slot* LeastRecentlyUsedIdle() {
    Slot* oldest = nullptr;
    uint32_t oldestUse = 0;
    for (Slot& slot : slots_) {
      if (slot.readers.load(std::memory_order_relaxed) != 0) continue;
      const uint32_t use = slot.lastUse.load(std::memory_order_relaxed);
      if (!oldest || use < oldestUse) {
        oldest = &slot;
        oldestUse = use;
      }
    }
    return oldest;
  }

  Slot slots_[kSlots];
  std::atomic<uint32_t> clock_{0};
};

}  // namespace kelmar
