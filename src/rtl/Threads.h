// A critical section, a thread object with a cooperative stop request, and
// millisecond ticks and sleeps.
#pragma once

#include <atomic>
#include <condition_variable>
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

// A plain lock and a condition over it for threads that hand work to each
// other many thousand times. On Windows they are the system's slim lock and
// condition variable, which wait without a kernel object (the threads
// library's own take one for every contended wait); elsewhere the standard ones.
class TLightLock {
 public:
  TLightLock() = default;
  TLightLock(const TLightLock&) = delete;
  TLightLock& operator=(const TLightLock&) = delete;
  void lock();
  void unlock();

 private:
  friend class TLightCondition;
#ifdef _WIN32
  void* FState = nullptr;  // an SRWLOCK, which is one pointer initialised to null
#else
  std::mutex FMutex;
#endif
};

class TLightCondition {
 public:
  TLightCondition() = default;
  TLightCondition(const TLightCondition&) = delete;
  TLightCondition& operator=(const TLightCondition&) = delete;
  // lock is held on entry and again on return; a wakeup may be spurious.
  void Wait(TLightLock& lock);
  // The same, for at most milliseconds.
  void WaitFor(TLightLock& lock, std::uint32_t milliseconds);
  void NotifyOne();
  void NotifyAll();

 private:
#ifdef _WIN32
  void* FState = nullptr;  // a CONDITION_VARIABLE, likewise
#else
  std::condition_variable FCondition;
#endif
};

// Milliseconds since an arbitrary start; a 32-bit count that wraps as the system's does.
std::uint32_t GetTickCount32();
void SleepMs(std::uint32_t milliseconds);
