// The worker thread and the waiting loop of a long operation.
#include "ui/LongOperation.h"

#include <atomic>
#include <exception>
#include <thread>

#include "rtl/ScopeExit.h"
#include "ui/Forms.h"

void RunLongOperation(IPlatform& platform, const TBusyHooks& hooks,
                      const std::function<void()>& operation, const std::function<void()>& onTick) {
  std::exception_ptr failure;  // written by the worker before done, read here after the join
  std::atomic<bool> done{false};
  platform.BeginBusy(hooks);
  // Left on every way out, after the worker has been joined.
  const auto endBusy = ScopeExit([&] { platform.EndBusy(); });
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
    // Joins the worker on every way out; a worker still running is asked to stop first.
    const auto join = ScopeExit([&] {
      if (!done.load() && hooks.OnCancel) {
        try {
          hooks.OnCancel();
        } catch (...) {
          // Joining matters more than why the request failed.
        }
      }
      worker.join();
    });
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
