// A critical section, a thread object with a cooperative stop request, and
// millisecond ticks and sleeps.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <thread>

class TCriticalSection {
 public:
  void Enter() { FMutex.lock(); }
  void Leave() { FMutex.unlock(); }
  // For std::lock_guard.
  void lock() { Enter(); }
  void unlock() { Leave(); }

 private:
  std::recursive_mutex FMutex;
};

// Subclasses implement Execute and poll Terminated(). The destructor asks the
// thread to stop and waits for it, so a thread never outlives its object.
class TThread {
 public:
  TThread() = default;
  TThread(const TThread&) = delete;
  TThread& operator=(const TThread&) = delete;
  virtual ~TThread();

  void Start();
  void Terminate() { FTerminated = true; }
  bool Terminated() const { return FTerminated; }
  bool Finished() const { return FFinished; }
  // Waits for Execute to return; harmless when never started or already joined.
  void WaitFor();

 protected:
  virtual void Execute() = 0;
  // Runs on the thread after Execute, even when Execute raised.
  virtual void DoTerminate() {}

 private:
  std::thread FThread;
  std::atomic<bool> FTerminated{false};
  std::atomic<bool> FFinished{false};
};

// Milliseconds since an arbitrary start; a 32-bit count that wraps as the system's does.
std::uint32_t GetTickCount32();
void SleepMs(std::uint32_t milliseconds);
