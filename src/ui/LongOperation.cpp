// The worker thread and the waiting loop of a long operation.
#include "ui/LongOperation.h"

#include <atomic>
#include <exception>
#include <thread>

#include "ui/Forms.h"

namespace {

// Leaves the busy state on every way out, after the worker has been joined.
class TBusyScope {
 public:
  TBusyScope(IPlatform& platform, const TBusyHooks& hooks) : FPlatform(platform) {
    FPlatform.BeginBusy(hooks);
  }
  TBusyScope(const TBusyScope&) = delete;
  TBusyScope& operator=(const TBusyScope&) = delete;
  ~TBusyScope() { FPlatform.EndBusy(); }

 private:
  IPlatform& FPlatform;
};

// Joins the worker on every way out; a worker still running is asked to stop first.
class TWorkerJoin {
 public:
  TWorkerJoin(std::thread& worker, const std::atomic<bool>& done, const TBusyHooks& hooks)
      : FWorker(worker), FDone(done), FHooks(hooks) {}
  TWorkerJoin(const TWorkerJoin&) = delete;
  TWorkerJoin& operator=(const TWorkerJoin&) = delete;
  ~TWorkerJoin() {
    if (!FDone.load() && FHooks.OnCancel) {
      try {
        FHooks.OnCancel();
      } catch (...) {
        // Joining matters more than why the request failed.
      }
    }
    FWorker.join();
  }

 private:
  std::thread& FWorker;
  const std::atomic<bool>& FDone;
  const TBusyHooks& FHooks;
};

}  // namespace

void RunLongOperation(IPlatform& platform, const TBusyHooks& hooks,
                      const std::function<void()>& operation, const std::function<void()>& onTick) {
  std::exception_ptr failure;  // written by the worker before done, read here after the join
  std::atomic<bool> done{false};
  const TBusyScope busy(platform, hooks);
  std::thread worker([&] {
    try {
      operation();
    } catch (...) {
      failure = std::current_exception();
    }
    done.store(true);
    platform.WakeBusy();
  });
  {
    const TWorkerJoin join(worker, done, hooks);
    while (!done.load()) {
      platform.PumpBusy(kBusyPumpMs);
      if (onTick) onTick();
    }
  }
  if (failure) std::rethrow_exception(failure);
}

void TBusyState::Begin(const TBusyHooks& hooks) {
  FActive = true;
  FHooks = hooks;
}

void TBusyState::End() {
  FActive = false;
  FHooks = {};
}

void TBusyState::Escape(IPlatform& platform) const {
  if (FActive && FHooks.OnCancel) DispatchGuarded(platform, FHooks.OnCancel);
}

void TBusyState::CloseCommand(IPlatform& platform, TForm& form) const {
  if (!FActive) {
    DispatchGuarded(platform, [&form] { form.Close(); });
  } else if (FHooks.OnClose) {
    DispatchGuarded(platform, FHooks.OnClose);
  }
}

void TBusyState::QuitTaken(IPlatform& platform) const {
  if (FActive && FHooks.OnClose) DispatchGuarded(platform, FHooks.OnClose);
}
