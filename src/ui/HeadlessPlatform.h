// A window system without windows, for tests: metrics, fonts and system
// windows are set by the test; what the program asks of the screen is recorded.
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "ui/Forms.h"
#include "ui/LongOperation.h"
#include "ui/Platform.h"

class THeadlessPlatform : public IPlatform {
 public:
  struct TBackdropPlacement {
    TWindowHandle Window;
    TRect Bounds;
  };

  // The screen as the test sets it.
  struct TScreenSettings {
    int Width = 1920;
    int Height = 1080;
    TRect WorkArea{0, 0, 1920, 1080};
    std::vector<std::string> Fonts{"Arial", "MS Sans Serif", "Tahoma"};
    std::optional<TRect> Taskbar;  // none unless the test places one
  } Settings;
  // Acts as the user while a form is shown modally; the default presses the
  // form's first enabled, showing button.
  std::function<void(TForm&)> ModalHandler;
  // Acts as the user in the main event loop; the default closes the main form.
  std::function<void()> MainLoopHandler;
  // Acts as the user while a long operation runs: called on every pass of its loop.
  std::function<void()> BusyHandler;

  // What happened.
  std::vector<std::string> ErrorBoxes;
  std::vector<TBackdropPlacement> BackdropPlacements;
  std::vector<TWindowHandle> DestroyedHandles;
  std::vector<const TControl*> Repaints;
  std::vector<const TForm*> ShowHistory;
  int QuitPosts = 0;
  int BusyPumps = 0;
  int IgnoredInput = 0;  // presses that came while busy and were not acted on
  int AnimationDraws() const { return FAnimationDraws.load(); }
  int RepaintsOf(const TControl& control) const;
  bool HandleAlive(TWindowHandle handle) const;
  TForm* FormOfHandle(TWindowHandle handle) const;
  bool QuitPending() const { return FQuitPending; }

  // Presses a button as the user would: the framework's guard is around it.
  // While busy only the cancel control takes it.
  void Press(TControl& button);
  // Esc, and the system's close command for a form (Alt+F4, the taskbar).
  void PressEscape();
  void SystemClose(TForm& form);
  // The control with the keyboard focus: a shown form gives it to its first
  // control in tab order; the Tab key moves it.
  TControl* Focused() const { return FFocused; }
  void PressTab(bool backward = false);

  int ScreenWidth() const override { return Settings.Width; }
  int ScreenHeight() const override { return Settings.Height; }
  TRect WorkArea() const override { return Settings.WorkArea; }
  std::vector<std::string> ScreenFonts() const override { return Settings.Fonts; }
  std::optional<TRect> TaskbarRect() const override { return Settings.Taskbar; }
  void PlaceBackdrop(TWindowHandle window, const TRect& bounds) override {
    BackdropPlacements.push_back({window, bounds});
  }

  TWindowHandle HandleNeeded(TForm& form) override;
  void ShowForm(TForm& form) override;
  void HideForm(TForm& form) override;
  void DestroyHandle(TForm& form) override;
  void ControlChanged(TControl&, TControlChange) override {}
  void ControlDestroyed(TControl& control) override;
  void Repaint(TControl& control) override { Repaints.push_back(&control); }
  void DrawAnimationFrame(const TAnimationFrame&) override { FAnimationDraws.fetch_add(1); }

  void PostQuit() override {
    ++QuitPosts;
    FQuitPending = true;
  }
  bool Terminated() const override { return FTerminated; }
  void HandleMessage() override;
  void BeginModal(TForm& form) override { FModalStack.push_back(&form); }
  void EndModal(TForm& form) override;

  void BeginBusy(const TBusyHooks& hooks) override;
  void EndBusy() override;
  bool Busy() const override { return FBusy.Active(); }
  void PumpBusy(int ms) override;
  void WakeBusy() override;

  void SetApplicationTitle(const std::string& title) override { FTitle = title; }
  const std::string& ApplicationTitle() const { return FTitle; }
  void ShowErrorBox(const std::string& text) override { ErrorBoxes.push_back(text); }

 private:
  // Forms get handles from 1000, far from 0 (none).
  static constexpr TWindowHandle kFirstFormHandle = 1000;
  std::map<TWindowHandle, TForm*> FHandles;
  TWindowHandle FNextHandle = kFirstFormHandle;
  std::vector<TForm*> FModalStack;
  TControl* FFocused = nullptr;  // we don't own it
  bool FQuitPending = false;
  bool FTerminated = false;
  int FIdleEvents = 0;
  std::string FTitle;
  std::atomic<int> FAnimationDraws{0};
  TBusyState FBusy;
  // A worker's wake-up call; the only state here that another thread touches.
  std::mutex FWakeLock;
  std::condition_variable FWakeSignal;
  bool FWoken = false;  // guarded by FWakeLock
};
