// What a long step of the installation reports while it runs, and the user's
// request to stop it. The operation's thread writes the progress and reads the
// request; the user-interface thread reads the progress and makes the request.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

enum class TProgressUnit { None, Bytes, Files };

struct TProgressSnapshot {
  TProgressUnit Unit = TProgressUnit::None;
  std::int64_t Done = 0;
  std::int64_t Total = -1;  // -1: not known
};

class TOperationMonitor {
 public:
  // The operation's side.
  void Begin(TProgressUnit unit, std::int64_t total);
  void Advance(std::int64_t done);
  // Raises EAbort once a stop was requested.
  void CheckCancel() const;
  // A line for the step's log, written by the user-interface side in order.
  void Log(std::string line);

  // The user-interface side.
  TProgressSnapshot Snapshot() const;
  void ClearProgress();
  // The lines logged since the last call, oldest first.
  std::vector<std::string> TakeLog();
  void RequestCancel() { FCancel.store(true); }
  bool CancelRequested() const { return FCancel.load(); }
  void ClearCancel() { FCancel.store(false); }
  // For components that look at the request themselves (the HTTP client's waits).
  const std::atomic<bool>& CancelFlag() const { return FCancel; }

 private:
  mutable std::mutex FLock;
  TProgressSnapshot FProgress;    // guarded by FLock
  std::vector<std::string> FLog;  // guarded by FLock
  std::atomic<bool> FCancel{false};
};
