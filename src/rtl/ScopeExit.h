// Runs a piece of clean-up when the scope ends, however it ends: the one way
// to restore state around code that may raise.
#pragma once

#include <utility>

template <typename F>
class TScopeExit {
 public:
  explicit TScopeExit(F action) : FAction(std::move(action)) {}
  TScopeExit(const TScopeExit&) = delete;
  TScopeExit& operator=(const TScopeExit&) = delete;
  // The action runs during unwinding too, so it must not raise.
  ~TScopeExit() { FAction(); }

 private:
  F FAction;
};

// auto restore = ScopeExit([&] { ... });
template <typename F>
[[nodiscard]] TScopeExit<F> ScopeExit(F action) {
  return TScopeExit<F>(std::move(action));
}
