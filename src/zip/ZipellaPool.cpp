#include "zip/ZipellaPool.h"

#include <mutex>

#include "rtl/Exceptions.h"

namespace {
// How often a wait looks at the stop flag (ms): a stop ends extraction well within a second.
constexpr std::uint32_t kStopPoll = 20;
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
  FWorkQueued.NotifyAll();
  for (std::thread& thread : FThreads) thread.join();
}

template <class TReady>
void TZipellaPool::WaitUntil(TReady ready) {
  while (!ready()) {
    if (FStop != nullptr && FStop->load()) throw EAbort();
    FWorkDone.WaitFor(FLock, kStopPoll);
  }
}

bool TZipellaPool::Reserve(std::int64_t cost) {
  const std::lock_guard lock(FLock);
  WaitUntil([&] { return FFailure || FHeld == 0 || FHeld + cost <= FBudget; });
  if (FFailure) return false;
  FHeld += cost;
  return true;
}

void TZipellaPool::Unreserve(std::int64_t cost) {
  const std::lock_guard lock(FLock);
  FHeld -= cost;
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
  FWorkQueued.NotifyOne();
}

void TZipellaPool::Drain() {
  const std::lock_guard lock(FLock);
  WaitUntil([&] { return FQueue.empty() && FRunning == 0; });
}

void TZipellaPool::Abandon() noexcept {
  const std::lock_guard lock(FLock);
  DropQueued();
  // Running work checks the stop flag itself; nothing here may raise.
  while (FRunning != 0) FWorkDone.Wait(FLock);
}

void TZipellaPool::DropQueued() {
  for (const TWork& work : FQueue) FHeld -= work.Cost;
  FQueue.clear();
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
    const std::lock_guard lock(FLock);
    while (FFreeDecoders == 0) FDecoderFree.Wait(FLock);
    --FFreeDecoders;
  }
  struct TGiveBack {
    TZipellaPool& Pool;
    ~TGiveBack() {
      {
        const std::lock_guard lock(Pool.FLock);
        ++Pool.FFreeDecoders;
      }
      Pool.FDecoderFree.NotifyOne();
    }
  } giveBack{*this};
  decode();
}

void TZipellaPool::Worker() {
  std::unique_lock lock(FLock);
  for (;;) {
    while (!FClosing && FQueue.empty()) FWorkQueued.Wait(FLock);
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
      DropQueued();
    }
    FWorkDone.NotifyAll();
  }
}
