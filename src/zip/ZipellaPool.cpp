#include "zip/ZipellaPool.h"

#include <chrono>

#include "rtl/Exceptions.h"

namespace {
// How often a wait looks at the stop flag: a stop ends extraction well within a second.
constexpr auto kStopPoll = std::chrono::milliseconds(20);
}  // namespace

TZipellaPool::TZipellaPool(int threads, int decoders, std::int64_t budget,
                           const std::atomic<bool>* stop)
    : FBudget(budget), FStop(stop), FFreeDecoders(decoders < 1 ? 1 : decoders) {
  if (threads < 1) threads = 1;
  FThreads.reserve(static_cast<std::size_t>(threads));
  for (int i = 0; i < threads; ++i) FThreads.emplace_back([this] { Worker(); });
}

TZipellaPool::~TZipellaPool() {
  Abandon();
  {
    const std::lock_guard lock(FLock);
    FClosing = true;
  }
  FChanged.notify_all();
  for (std::thread& thread : FThreads) thread.join();
}

template <class TReady>
void TZipellaPool::WaitUntil(std::unique_lock<std::mutex>& lock, TReady ready) {
  while (!ready()) {
    if (FStop != nullptr && FStop->load()) throw EAbort();
    FChanged.wait_for(lock, kStopPoll);
  }
}

bool TZipellaPool::Reserve(std::int64_t cost) {
  std::unique_lock lock(FLock);
  WaitUntil(lock, [&] { return FFailure || FHeld == 0 || FHeld + cost <= FBudget; });
  if (FFailure) return false;
  FHeld += cost;
  return true;
}

void TZipellaPool::Unreserve(std::int64_t cost) {
  {
    const std::lock_guard lock(FLock);
    FHeld -= cost;
  }
  FChanged.notify_all();
}

void TZipellaPool::Add(int index, std::int64_t cost, std::function<void()> work) {
  {
    const std::lock_guard lock(FLock);
    if (FFailure) {
      FHeld -= cost;
      return;
    }
    FQueue.push_back({index, cost, std::move(work)});
  }
  FChanged.notify_all();
}

void TZipellaPool::Drain() {
  std::unique_lock lock(FLock);
  WaitUntil(lock, [&] { return FQueue.empty() && FRunning == 0; });
}

void TZipellaPool::Abandon() noexcept {
  std::unique_lock lock(FLock);
  for (const TWork& work : FQueue) FHeld -= work.Cost;
  FQueue.clear();
  // Running work checks the stop flag itself; nothing here may raise.
  FChanged.wait(lock, [&] { return FRunning == 0; });
}

bool TZipellaPool::Failed() const {
  const std::lock_guard lock(FLock);
  return static_cast<bool>(FFailure);
}

std::exception_ptr TZipellaPool::FirstFailure() const {
  const std::lock_guard lock(FLock);
  return FFailure;
}

void TZipellaPool::Decode(const std::function<void()>& decode) {
  {
    std::unique_lock lock(FLock);
    FChanged.wait(lock, [&] { return FFreeDecoders > 0; });
    --FFreeDecoders;
  }
  struct TGiveBack {
    TZipellaPool& Pool;
    ~TGiveBack() {
      {
        const std::lock_guard lock(Pool.FLock);
        ++Pool.FFreeDecoders;
      }
      Pool.FChanged.notify_all();
    }
  } giveBack{*this};
  decode();
}

void TZipellaPool::Worker() {
  std::unique_lock lock(FLock);
  for (;;) {
    FChanged.wait(lock, [&] { return FClosing || !FQueue.empty(); });
    if (FQueue.empty()) return;
    TWork work = std::move(FQueue.front());
    FQueue.pop_front();
    ++FRunning;
    lock.unlock();
    std::exception_ptr failure;
    try {
      work.Run();
    } catch (...) {
      failure = std::current_exception();
    }
    // Its memory goes back before the budget is counted down.
    work.Run = nullptr;
    lock.lock();
    --FRunning;
    FHeld -= work.Cost;
    if (failure) {
      // Work is taken in order: whatever is still queued comes after this
      // piece and would not have been reached.
      if (!FFailure || work.Index < FFailedIndex) {
        FFailure = failure;
        FFailedIndex = work.Index;
      }
      for (const TWork& later : FQueue) FHeld -= later.Cost;
      FQueue.clear();
    }
    FChanged.notify_all();
  }
}
