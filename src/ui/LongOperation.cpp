// The worker thread and the waiting loop of a long operation.
#include "ui/LongOperation.h"

#include <atomic>
#include <chrono>
#include <exception>
#include <thread>

#include "rtl/ScopeExit.h"
#include "ui/Forms.h"

namespace {
// Services the queue until the worker is done, whatever the pumping raises
// meanwhile; input stays ignored, as the busy state is still on.
void PumpUntilDone(IPlatform& platform, const std::atomic<bool>& done) noexcept {
  while (!done.load()) {
    try {
      platform.PumpBusy(kBusyPumpMs);
    } catch (...) {
      // A pass that fails at once must not turn this into a busy loop.
      std::this_thread::sleep_for(std::chrono::milliseconds(kBusyPumpMs));
    }
  }
}
}  // namespace

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
  try {
    while (!done.load()) {
      platform.PumpBusy(kBusyPumpMs);
      if (onTick) onTick();
    }
  } catch (...) {
    // This thread failed: the worker is asked to stop, and the window is kept
    // serviced until it has, so that it never hangs on the join.
    if (hooks.OnCancel) {
      try {
        hooks.OnCancel();
      } catch (...) {
        // Joining matters more than why the request failed.
      }
    }
    PumpUntilDone(platform, done);
    worker.join();
    throw;
  }
  worker.join();
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
