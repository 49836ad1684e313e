// Long operations off the user-interface thread: the operation runs on a worker
// thread while the user-interface thread waits in a message loop of its own.
#pragma once

#include <functional>

#include "ui/Platform.h"

class TForm;

// What a backend keeps while a long operation runs (from BeginBusy to EndBusy)
// and what the user's ways out do meanwhile: one rule for every backend.
class TBusyState {
 public:
  void Begin(const TBusyHooks& hooks);
  void End();
  bool Active() const { return FActive; }
  // The one control whose presses go through while busy; null for none.
  const TControl* CancelControl() const { return FActive ? FHooks.CancelControl : nullptr; }
  // Esc while busy asks the operation to stop.
  void Escape(IPlatform& platform) const;
  // The system's close command for a form: the operation decides first while
  // busy; otherwise the form does (the main form ends the program).
  void CloseCommand(IPlatform& platform, TForm& form) const;
  // A quit request taken while busy counts as the close command.
  void QuitTaken(IPlatform& platform) const;

 private:
  bool FActive = false;
  TBusyHooks FHooks;
};

// The user-interface thread services its queue at least this often (ms) while
// an operation runs: painting, timers and the system's messages go on, and the
// system never finds the window hung.
inline constexpr int kBusyPumpMs = 50;

// Why a worker and not messages handled from inside the operation: the
// download and the extraction block in system calls for as long as the peer or
// the disk takes, so only another thread can keep the queue serviced. The
// worker runs the operation alone and touches no control; this thread pumps the
// queue (IPlatform::PumpBusy), which ignores input except the hooks' cancel
// control, Esc and the close command, and calls onTick after every pass, so a
// caller can show progress from here. When the operation ends, its exception is
// raised again on this thread, so that the caller's sequence, its checklist and
// its log stay on the user-interface thread in their order. The worker is always
// joined before this returns; if this thread fails meanwhile, hooks.OnCancel is
// called first so that the operation stops, and the queue is serviced until it
// has. Without hooks (no cancel control, no OnCancel, no OnClose) the
// operation cannot be stopped and the user's ways out are not acted on.
void RunLongOperation(IPlatform& platform, const TBusyHooks& hooks,
                      const std::function<void()>& operation, const std::function<void()>& onTick);
