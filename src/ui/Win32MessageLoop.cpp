// The event loop, modal disabling and the long operation's loop of the Win32 backend.
#include "ui/Win32MessageLoop.h"

#include <algorithm>

#include "ui/Win32FormWindow.h"

namespace {
bool KeyDown(int key) { return (GetKeyState(key) & 0x8000) != 0; }

// Tab without Ctrl or Alt. With no focused window the system sends the key to
// the active window as a system key, which Alt+Tab also is: the context bit tells them apart.
bool IsTabKey(const MSG& msg) {
  constexpr LPARAM kAltHeld = 1 << 29;
  if (msg.wParam != VK_TAB || KeyDown(VK_CONTROL)) return false;
  if (msg.message == WM_KEYDOWN) return true;
  return msg.message == WM_SYSKEYDOWN && (msg.lParam & kAltHeld) == 0;
}

void Deliver(const MSG& msg) {
  TranslateMessage(&msg);
  DispatchMessageW(&msg);
}
}  // namespace

TWin32MessageLoop::TWin32MessageLoop(IPlatform& platform, TFormWindows& windows)
    : FPlatform(platform),
      FWindows(windows),
      FBusyWake(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {}

void TWin32MessageLoop::Dispatch(const std::function<void()>& handler) {
  DispatchGuarded(FPlatform, handler);
}

void TWin32MessageLoop::CloseCommand(TForm& form) { FBusy.CloseCommand(FPlatform, form); }

void TWin32MessageLoop::PostQuit() { PostQuitMessage(0); }

void TWin32MessageLoop::HandleMessage() {
  MSG msg;
  const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
  if (got == 0 || got == -1) {
    FTerminated = true;
    return;
  }
  const HWND root = msg.hwnd != nullptr ? GetAncestor(msg.hwnd, GA_ROOT) : nullptr;
  if (root != nullptr) {
    // Tab follows the stored tab order, which the dialog manager (creation order) does not know.
    if (IsTabKey(msg) && FWindows.MoveFocusByTab(root, KeyDown(VK_SHIFT))) return;
    if (IsDialogMessageW(root, &msg)) return;
  }
  Deliver(msg);
}

void TWin32MessageLoop::BeginModal(const std::vector<TForm*>& forms, const TForm& modal) {
  FModalMarks.push_back(FDisabledForModal.size());
  for (TForm* other : forms) {
    if (other == &modal || !other->HandleAllocated()) continue;
    const auto hwnd = reinterpret_cast<HWND>(other->Handle());
    FDisabledForModal.emplace_back(hwnd, EnableWindow(hwnd, FALSE) == 0);
  }
}

void TWin32MessageLoop::EndModal() {
  if (FModalMarks.empty()) return;
  const std::size_t mark = FModalMarks.back();
  FModalMarks.pop_back();
  while (FDisabledForModal.size() > mark) {
    const auto [hwnd, wasEnabled] = FDisabledForModal.back();
    FDisabledForModal.pop_back();
    if (wasEnabled && IsWindow(hwnd)) EnableWindow(hwnd, TRUE);
  }
}

void TWin32MessageLoop::BeginBusy(const TBusyHooks& hooks) {
  FBusy.Begin(hooks);
  FBusyCancel = hooks.CancelControl != nullptr ? FWindows.HandleOf(*hooks.CancelControl) : nullptr;
  if (FBusyWake) ResetEvent(FBusyWake.Get());
}

void TWin32MessageLoop::EndBusy() {
  FBusy.End();
  FBusyCancel = nullptr;
}

// Whether a message taken while busy goes on to its window. Input is not acted
// on, except on the cancel control; Esc cancels; Alt+F4 goes on to become the
// close command, which WM_CLOSE hands to the hooks. Alt alone is dropped too, so
// that no menu loop starts.
bool TWin32MessageLoop::PassDuringBusy(const MSG& msg) {
  const UINT m = msg.message;
  const bool mouse =
      (m >= WM_MOUSEFIRST && m <= WM_MOUSELAST) || (m >= WM_NCMOUSEMOVE && m <= WM_NCXBUTTONDBLCLK);
  if (mouse || m == BM_CLICK) return FBusyCancel != nullptr && msg.hwnd == FBusyCancel;
  if (m < WM_KEYFIRST || m > WM_KEYLAST) return true;
  if (m == WM_KEYDOWN && msg.wParam == VK_ESCAPE) {
    FBusy.Escape(FPlatform);
    return false;
  }
  return (m == WM_SYSKEYDOWN || m == WM_SYSKEYUP) && msg.wParam == VK_F4;
}

void TWin32MessageLoop::PumpBusy(int ms) {
  const DWORD start = GetTickCount();
  const auto limit = static_cast<DWORD>(ms);
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      // The end was asked for: the operation stops and the main loop ends after it.
      FTerminated = true;
      FBusy.QuitTaken(FPlatform);
    } else if (PassDuringBusy(msg)) {
      Deliver(msg);
    }
    // A flood of messages must not keep the caller from its own work.
    if (GetTickCount() - start >= limit) return;
  }
  const DWORD left = limit - std::min<DWORD>(GetTickCount() - start, limit);
  HANDLE wake = FBusyWake.Get();
  MsgWaitForMultipleObjectsEx(wake != nullptr ? 1 : 0, &wake, left, QS_ALLINPUT,
                              MWMO_INPUTAVAILABLE);
}

void TWin32MessageLoop::WakeBusy() {
  if (FBusyWake) SetEvent(FBusyWake.Get());
}
