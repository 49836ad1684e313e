// The window system as the framework sees it: screen metrics, fonts, the open
// windows, the event loop with its quit request, and the realization of forms.
// TWin32Platform implements it over user32/gdi32; THeadlessPlatform for tests.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "ui/Graphics.h"

class TControl;
class TForm;

// A top-level window of the system, 0 for none.
using TWindowHandle = std::uintptr_t;

// What changed on a control, so that a backend updates only that.
enum class TControlChange {
  Bounds,
  Caption,
  Enabled,
  Visible,
  Font,
  Color,
  Items,
  Picture,
  Appearance,
  Progress
};

// A snapshot of what an animation's own thread draws: taken on the user-interface
// thread so that the drawing thread reads no control state.
struct TAnimationFrame {
  const TForm* Form = nullptr;
  TRect Rect;  // the control, in the form's client coordinates
  TRect Clip;  // the part of it that its parents let show
  TColor Background = clWhite;
  const TBitmap32* Pixels = nullptr;
};

enum class TModalResult { mrNone = 0, mrOk = 1, mrCancel = 2 };

// What the user may still do while a long operation runs (RunLongOperation).
struct TBusyHooks {
  // The one control whose clicks still go through; we don't own it.
  const TControl* CancelControl = nullptr;
  // Esc, and the system's close command for a form (Alt+F4, the taskbar), which
  // end the operation instead of acting at once.
  std::function<void()> OnCancel;
  std::function<void()> OnClose;
};

class IPlatform {
 public:
  virtual ~IPlatform() = default;

  // Screen.
  virtual int ScreenWidth() const = 0;
  virtual int ScreenHeight() const = 0;
  virtual TRect WorkArea() const = 0;  // the screen without the taskbar
  virtual std::vector<std::string> ScreenFonts() const = 0;
  // Where the system's taskbar stands; nothing when the system shows none.
  virtual std::optional<TRect> TaskbarRect() const = 0;
  // Shows the window at bounds above the ordinary windows and below the
  // topmost ones, leaving its form's own shown state as it is: a backdrop
  // behind a modal notice.
  virtual void PlaceBackdrop(TWindowHandle window, const TRect& bounds) = 0;

  // The open forms in creation order (the screen's window list), kept here
  // because it is the same for every backend.
  void RegisterForm(TForm& form) { FForms.push_back(&form); }
  void UnregisterForm(TForm& form) { std::erase(FForms, &form); }
  std::vector<TForm*> Forms() const { return FForms; }

  // Realization. HandleNeeded makes the form's window without showing it.
  virtual TWindowHandle HandleNeeded(TForm& form) = 0;
  virtual void ShowForm(TForm& form) = 0;
  virtual void HideForm(TForm& form) = 0;
  virtual void DestroyHandle(TForm& form) = 0;
  virtual void ControlChanged(TControl& control, TControlChange change) = 0;
  virtual void ControlDestroyed(TControl& control) = 0;
  // Paints the control now (an explicit repaint while the thread is busy).
  virtual void Repaint(TControl& control) = 0;
  // Called from an animation's own thread; must not touch the controls.
  virtual void DrawAnimationFrame(const TAnimationFrame& frame) = 0;

  // Event loop. PostQuit only requests the end; the loop takes it later.
  virtual void PostQuit() = 0;
  virtual bool Terminated() const = 0;
  // Takes and handles one event, waiting for one when none is queued.
  virtual void HandleMessage() = 0;
  // Modal showing of a form: the others are disabled meanwhile.
  virtual void BeginModal(TForm& form) = 0;
  virtual void EndModal(TForm& form) = 0;

  // Long operations. From BeginBusy to EndBusy input to the forms is not acted
  // on, except clicks on the hooks' cancel control; Esc calls OnCancel and the
  // close command OnClose. A quit request taken meanwhile counts as a close.
  virtual void BeginBusy(const TBusyHooks& hooks) = 0;
  virtual void EndBusy() = 0;
  virtual bool Busy() const = 0;
  // Handles every queued event, then waits up to ms for another one or for WakeBusy.
  virtual void PumpBusy(int ms) = 0;
  // From any thread: ends the current or the next PumpBusy wait at once.
  virtual void WakeBusy() = 0;

  // The framework's standard error box for an exception no handler caught.
  virtual void SetApplicationTitle(const std::string& title) = 0;
  virtual void ShowErrorBox(const std::string& text) = 0;

 private:
  std::vector<TForm*> FForms;  // we don't own them
};

// Runs an event handler the way the framework does: an exception that leaves it
// ends the user action and is shown in the standard error box.
void DispatchGuarded(IPlatform& platform, const std::function<void()>& handler);
