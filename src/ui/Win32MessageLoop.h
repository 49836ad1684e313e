// The Win32 backend's event loop: taking and dispatching messages, the Tab key
// along the stored tab order, disabling the other forms while one is modal,
// and the loop of a long operation, which keeps the windows answering but acts
// only on the way out.
#pragma once

#include <windows.h>

#include <functional>
#include <utility>
#include <vector>

#include "ui/Forms.h"
#include "ui/LongOperation.h"
#include "ui/Win32Handle.h"

class TFormWindows;

class TWin32MessageLoop {
 public:
  // We don't own either: platform shows the error boxes, windows finds the focus.
  TWin32MessageLoop(IPlatform& platform, TFormWindows& windows);
  TWin32MessageLoop(const TWin32MessageLoop&) = delete;
  TWin32MessageLoop& operator=(const TWin32MessageLoop&) = delete;

  // Runs a user action the framework's way (DispatchGuarded).
  void Dispatch(const std::function<void()>& handler);
  // The system's close command for a form: the form decides (the main form
  // ends the program), unless a long operation runs, which decides first.
  void CloseCommand(TForm& form);

  void PostQuit();
  bool Terminated() const { return FTerminated; }
  void HandleMessage();
  // Disables the other forms' windows until the matching EndModal.
  void BeginModal(const std::vector<TForm*>& forms, const TForm& modal);
  void EndModal();

  void BeginBusy(const TBusyHooks& hooks);
  void EndBusy();
  bool Busy() const { return FBusy.Active(); }
  void PumpBusy(int ms);
  void WakeBusy();

 private:
  bool PassDuringBusy(const MSG& msg);

  IPlatform& FPlatform;
  TFormWindows& FWindows;
  bool FTerminated = false;
  std::vector<std::pair<HWND, bool>> FDisabledForModal;  // window, was enabled
  std::vector<std::size_t> FModalMarks;
  TBusyState FBusy;
  HWND FBusyCancel = nullptr;  // the cancel control's window while busy
  // Set by a worker to end a busy wait (an event object; thread-safe).
  TEventHandle FBusyWake;
};
