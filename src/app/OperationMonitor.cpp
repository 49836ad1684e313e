#include "app/OperationMonitor.h"

#include <utility>

#include "rtl/Exceptions.h"

void TOperationMonitor::Begin(TProgressUnit unit, std::int64_t total) {
  const std::lock_guard lock(FLock);
  FProgress = {unit, 0, total};
}

void TOperationMonitor::Advance(std::int64_t done) {
  const std::lock_guard lock(FLock);
  FProgress.Done = done;
}

void TOperationMonitor::CheckCancel() const {
  if (FCancel.load()) throw EAbort();
}

TProgressSnapshot TOperationMonitor::Snapshot() const {
  const std::lock_guard lock(FLock);
  return FProgress;
}

void TOperationMonitor::ClearProgress() {
  const std::lock_guard lock(FLock);
  FProgress = {};
}

void TOperationMonitor::Log(std::string line) {
  const std::lock_guard lock(FLock);
  FLog.push_back(std::move(line));
}

std::vector<std::string> TOperationMonitor::TakeLog() {
  const std::lock_guard lock(FLock);
  return std::exchange(FLog, {});
}
