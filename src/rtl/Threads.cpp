#include "rtl/Threads.h"

#include <chrono>

#ifdef _WIN32
#include <windows.h>
#endif

TThread::~TThread() {
  Terminate();
  WaitFor();
}

void TThread::Start() {
  if (FThread.joinable()) return;
  FFinished = false;
  FThread = std::thread([this] {
    try {
      Execute();
    } catch (...) {
      // An exception must not leave the thread; Execute records failures itself.
    }
    DoTerminate();
    FFinished = true;
  });
}

void TThread::WaitFor() {
  if (FThread.joinable() && FThread.get_id() != std::this_thread::get_id()) FThread.join();
}

std::uint32_t GetTickCount32() {
  const auto now = std::chrono::steady_clock::now().time_since_epoch();
  return static_cast<std::uint32_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

void SleepMs(std::uint32_t milliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

#ifdef _WIN32
static_assert(sizeof(SRWLOCK) == sizeof(void*) && sizeof(CONDITION_VARIABLE) == sizeof(void*));

namespace {
PSRWLOCK Srw(void*& state) { return reinterpret_cast<PSRWLOCK>(&state); }
PCONDITION_VARIABLE Condition(void*& state) {
  return reinterpret_cast<PCONDITION_VARIABLE>(&state);
}
}  // namespace

void TLightLock::lock() { ::AcquireSRWLockExclusive(Srw(FState)); }
void TLightLock::unlock() { ::ReleaseSRWLockExclusive(Srw(FState)); }

void TLightCondition::Wait(TLightLock& lock) {
  ::SleepConditionVariableSRW(Condition(FState), Srw(lock.FState), INFINITE, 0);
}
void TLightCondition::WaitFor(TLightLock& lock, std::uint32_t milliseconds) {
  ::SleepConditionVariableSRW(Condition(FState), Srw(lock.FState), milliseconds, 0);
}
void TLightCondition::NotifyOne() { ::WakeConditionVariable(Condition(FState)); }
void TLightCondition::NotifyAll() { ::WakeAllConditionVariable(Condition(FState)); }
#else
void TLightLock::lock() { FMutex.lock(); }
void TLightLock::unlock() { FMutex.unlock(); }

void TLightCondition::Wait(TLightLock& lock) {
  std::unique_lock held(lock.FMutex, std::adopt_lock);
  FCondition.wait(held);
  held.release();
}
void TLightCondition::WaitFor(TLightLock& lock, std::uint32_t milliseconds) {
  std::unique_lock held(lock.FMutex, std::adopt_lock);
  FCondition.wait_for(held, std::chrono::milliseconds(milliseconds));
  held.release();
}
void TLightCondition::NotifyOne() { FCondition.notify_one(); }
void TLightCondition::NotifyAll() { FCondition.notify_all(); }
#endif
