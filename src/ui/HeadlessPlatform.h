// A window system without windows, for tests: metrics, fonts and system
// windows are set by the test; what the program asks of the screen is recorded.
#pragma once

#include <atomic>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "ui/Forms.h"
#include "ui/Platform.h"

class THeadlessPlatform : public IPlatform {
 public:
  struct TSystemWindow {
    std::string ClassName, Title;
    TRect Rect;
  };
  struct TWindowPosCall {
    TWindowHandle Window, InsertAfter;
    int X, Y, Cx, Cy;
    unsigned Flags;
  };

  // The screen as the test sets it.
  struct TScreenSettings {
    int Width = 1920;
    int Height = 1080;
    TRect WorkArea{0, 0, 1920, 1080};
    std::vector<std::string> Fonts{"Arial", "MS Sans Serif", "Tahoma"};
    std::vector<TSystemWindow> Windows;  // other programs' top-level windows
  } Settings;
  // Acts as the user while a form is shown modally; the default presses the
  // form's first enabled, showing button.
  std::function<void(TForm&)> ModalHandler;
  // Acts as the user in the main event loop; the default closes the main form.
  std::function<void()> MainLoopHandler;

  // What happened.
  std::vector<std::string> ErrorBoxes;
  std::vector<TWindowPosCall> WindowPosCalls;
  std::vector<TWindowHandle> DestroyedHandles;
  std::vector<const TControl*> Repaints;
  std::vector<const TForm*> ShowHistory;
  int QuitPosts = 0;
  int AnimationDraws() const { return FAnimationDraws.load(); }
  int RepaintsOf(const TControl& control) const;
  bool HandleAlive(TWindowHandle handle) const;
  TForm* FormOfHandle(TWindowHandle handle) const;
  bool QuitPending() const { return FQuitPending; }

  // Presses a button as the user would: the framework's guard is around it.
  void Press(TControl& button);
  // The control with the keyboard focus: a shown form gives it to its first
  // control in tab order; the Tab key moves it.
  TControl* Focused() const { return FFocused; }
  void PressTab(bool backward = false);

  int ScreenWidth() const override { return Settings.Width; }
  int ScreenHeight() const override { return Settings.Height; }
  TRect WorkArea() const override { return Settings.WorkArea; }
  std::vector<std::string> ScreenFonts() const override { return Settings.Fonts; }
  TWindowHandle FindWindowA(const std::string& className, const std::string& windowName) const override;
  bool GetWindowRect(TWindowHandle window, TRect& rect) const override;
  bool SetWindowPos(TWindowHandle window, TWindowHandle insertAfter, int x, int y, int cx, int cy,
                    unsigned flags) override;

  void RegisterForm(TForm& form) override { FForms.push_back(&form); }
  void UnregisterForm(TForm& form) override;
  std::vector<TForm*> Forms() const override { return FForms; }

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

  void SetApplicationTitle(const std::string& title) override { FTitle = title; }
  const std::string& ApplicationTitle() const { return FTitle; }
  void ShowErrorBox(const std::string& text) override { ErrorBoxes.push_back(text); }

 private:
  // System windows get handles from 1; forms from 1000.
  static constexpr TWindowHandle kFirstFormHandle = 1000;
  std::vector<TForm*> FForms;
  std::map<TWindowHandle, TForm*> FHandles;
  TWindowHandle FNextHandle = kFirstFormHandle;
  std::vector<TForm*> FModalStack;
  TControl* FFocused = nullptr;  // we don't own it
  bool FQuitPending = false;
  bool FTerminated = false;
  int FIdleEvents = 0;
  std::string FTitle;
  std::atomic<int> FAnimationDraws{0};
};
