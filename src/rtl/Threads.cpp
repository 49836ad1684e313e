#include "rtl/Threads.h"

#include <chrono>

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
