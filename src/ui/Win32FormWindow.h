// The windows the Win32 backend makes for a form: a record per window, the
// form's window procedure, and the registry from forms to their windows, which
// realizes the controls and keeps the windows in step with them.
#pragma once

#include <windows.h>

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "ui/Forms.h"
#include "ui/Win32Handle.h"

class TWin32MessageLoop;

// What the backend keeps for one window it made; the window reaches it through
// GWLP_USERDATA.
struct TWindowRecord {
  TWin32MessageLoop* Loop = nullptr;  // we don't own it
  // We don't own it; null once the control or the window goes.
  TControl* Control = nullptr;
  HWND Hwnd = nullptr;
  bool Hot = false;  // the glow button's mouse states
  bool Pressed = false;
  TImageListHandle Images;  // the list view shares it
};

// Ties the record to its window. Windows of our own classes get it as their
// creation parameter (RecordFor ties it at WM_NCCREATE); the system's after creation.
void AttachRecord(HWND hwnd, TWindowRecord& record);
TWindowRecord* RecordOf(HWND hwnd);
// The record for a message to a window of our own classes; null before it is
// tied and after its control went.
TWindowRecord* RecordFor(HWND hwnd, UINT msg, LPARAM lp);

// Registers a window class of ours for as long as the result lives.
TWindowClass RegisterWindowClass(HINSTANCE instance, const wchar_t* name, WNDPROC proc, HICON icon);

// The form's window class, with the program's icon.
TWindowClass RegisterFormClass(HINSTANCE instance);

struct TFormWindow {
  TFormWindow() = default;
  TFormWindow(const TFormWindow&) = delete;
  TFormWindow& operator=(const TFormWindow&) = delete;
  // The controls are forgotten before the window goes, so that no message
  // sent while it is destroyed reaches them.
  ~TFormWindow();

  TWindowRecord Self;
  std::vector<std::unique_ptr<TWindowRecord>> Children;  // windows inside Window
  TWindowHandleOwner Window;
};

class TFormWindows {
 public:
  TFormWindows(HINSTANCE instance, TWin32MessageLoop& loop);
  TFormWindows(const TFormWindows&) = delete;
  TFormWindows& operator=(const TFormWindows&) = delete;

  // Makes the form's window and those of its windowed controls, all hidden as
  // the form is; owner is the window the form stays above, or null.
  HWND Create(TForm& form, HWND owner, const std::string& title);
  void Destroy(TForm& form);
  void Show(TForm& form);
  void Hide(TForm& form);
  void ControlChanged(TControl& control, TControlChange change);
  void ControlDestroyed(TControl& control);
  void Repaint(TControl& control);
  // Runs on an animation's thread: it reads only the snapshot and the registry.
  void DrawAnimationFrame(const TAnimationFrame& frame);
  // The child window of a windowed control; null for none.
  HWND HandleOf(const TControl& control) const;
  // Moves the focus within the form whose window is root along its tab order;
  // false when root is not one of ours.
  bool MoveFocusByTab(HWND root, bool backward);

 private:
  TFormWindow* WindowOf(const TControl& control) const;
  TWindowRecord* ChildOf(const TControl& control) const;
  void CreateChildren(TFormWindow& window, TControl& parent);
  void CreateChild(TFormWindow& window, TControl& control);
  void SyncChild(TWindowRecord& child, TControlChange change);
  void SyncChildren(TFormWindow& window);

  HINSTANCE FInstance;
  TWin32MessageLoop& FLoop;
  // The animation threads read the registry to draw, hence the lock.
  mutable std::mutex FLock;
  std::map<const TForm*, std::unique_ptr<TFormWindow>> FWindows;
};
