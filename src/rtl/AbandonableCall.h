// A blocking call that the caller may stop waiting for: it runs on a thread of
// its own, and when a stop is asked for or a time limit passes, the caller
// goes on while the thread ends by itself later. The call must therefore own
// everything it uses (capture by value, hold its own counts); its result is
// then dropped.
#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

enum class TCallOutcome { Done, Stopped, TimedOut };

// How often a wait looks at the stop flag (ms).
inline constexpr int kAbandonPollMs = 50;

// Runs call() on a detached thread and waits until it ends, *stop becomes
// true (stop may be null) or limitMs pass (negative: no limit). On Done the
// call's value is in result, or its exception is raised here.
template <class T, class F>
TCallOutcome RunAbandonable(F call, const std::atomic<bool>* stop, int limitMs, T& result) {
  struct TShared {
    std::mutex Lock;
    std::condition_variable Ended;
    bool Done = false;
    std::optional<T> Value;
    std::exception_ptr Failure;
  };
  // Shared with the thread, which may outlive this frame.
  auto shared = std::make_shared<TShared>();
  std::thread([shared, call = std::move(call)]() mutable {
    std::optional<T> value;
    std::exception_ptr failure;
    try {
      value.emplace(call());
    } catch (...) {
      failure = std::current_exception();
    }
    const std::lock_guard lock(shared->Lock);
    shared->Value = std::move(value);
    shared->Failure = failure;
    shared->Done = true;
    shared->Ended.notify_all();
  }).detach();

  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
  std::unique_lock lock(shared->Lock);
  for (;;) {
    if (shared->Done) break;
    if (stop != nullptr && stop->load()) return TCallOutcome::Stopped;
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(kAbandonPollMs);
    if (limitMs >= 0) {
      if (std::chrono::steady_clock::now() >= deadline) return TCallOutcome::TimedOut;
      until = std::min(until, deadline);
    }
    shared->Ended.wait_until(lock, until);
  }
  if (shared->Failure) std::rethrow_exception(shared->Failure);
  result = std::move(*shared->Value);
  return TCallOutcome::Done;
}
