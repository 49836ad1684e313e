// Extraction's work pool: pieces of work (one entry's decoding and file each)
// run on a few threads in the order they were added, with a bound on the
// memory they hold. A failure is kept with the number of its piece, so that
// the caller can raise the earliest one, as a run entry by entry would have.
// Internal to the zip component.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <thread>
#include <vector>

#include "rtl/Threads.h"

class TZipellaPool {
 public:
  // threads: workers (at least one); at most decoders of them decode at once.
  // budget: what the queued and running work may hold together; a piece
  // that costs more runs alone. stop, when given, ends every wait with EAbort.
  TZipellaPool(int threads, int decoders, std::int64_t budget, const std::atomic<bool>* stop);
  TZipellaPool(const TZipellaPool&) = delete;
  TZipellaPool& operator=(const TZipellaPool&) = delete;
  // Drops what has not started and waits for what has: no worker outlives the pool.
  ~TZipellaPool();

  // Waits until the budget has room for cost, then holds it for the work
  // that is about to be made. Raises EAbort when the stop flag is set while
  // waiting. False, holding nothing, when a piece of work failed meanwhile.
  [[nodiscard]] bool Reserve(std::int64_t cost);
  // Gives back what Reserve held, when no work came of it.
  void Unreserve(std::int64_t cost);
  // Queues work whose cost Reserve holds; the pool gives it back when the
  // work has run. Work queued after a failure is dropped.
  void Add(int index, std::int64_t cost, std::function<void()> work);
  // Waits until every queued piece has run (or been dropped after a failure).
  void Drain();
  // Drops what has not started, waits for what runs; never raises.
  void Abandon() noexcept;
  bool Failed() const;
  // The failure of the lowest numbered piece; null when none failed.
  std::exception_ptr FirstFailure() const;

  // Runs decode while holding one of the decoders' slots.
  void Decode(const std::function<void()>& decode);

 private:
  struct TWork {
    int Index;
    std::int64_t Cost;
    std::function<void()> Run;
  };
  void Worker();
  void DropQueued();  // FLock held
  // Waits, FLock held, until ready() holds; EAbort when the stop flag is set.
  template <class TReady>
  void WaitUntil(TReady ready);

  const std::int64_t FBudget;
  const std::atomic<bool>* FStop;  // we don't own it
  mutable TLightLock FLock;
  TLightCondition FWorkQueued;   // work queued, or closing
  TLightCondition FWorkDone;     // work ran or failed
  TLightCondition FDecoderFree;  // a decoder's slot was given back
  std::deque<TWork> FQueue;
  std::int64_t FHeld = 0;  // the cost of queued and running work
  int FRunning = 0;
  int FFreeDecoders;
  bool FClosing = false;
  int FFailedIndex = -1;
  std::exception_ptr FFailure;
  std::vector<std::thread> FThreads;
};
