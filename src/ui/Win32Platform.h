// The Win32 backend: forms become popup windows, memo, list view, progress bar
// and buttons real child windows, and the rest is painted by the form. This
// unit is the facade; the form windows, the realizers, the glow button, the
// painting and the message loop are units of their own. This header keeps
// windows.h out of its includers.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "ui/Platform.h"

class TWin32Platform : public IPlatform {
 public:
  // instance: the program's module handle (HINSTANCE).
  explicit TWin32Platform(void* instance);
  ~TWin32Platform() override;
  TWin32Platform(const TWin32Platform&) = delete;
  TWin32Platform& operator=(const TWin32Platform&) = delete;

  int ScreenWidth() const override;
  int ScreenHeight() const override;
  TRect WorkArea() const override;
  std::vector<std::string> ScreenFonts() const override;
  std::optional<TRect> TaskbarRect() const override;
  void PlaceBackdrop(TWindowHandle window, const TRect& bounds) override;

  TWindowHandle HandleNeeded(TForm& form) override;
  void ShowForm(TForm& form) override;
  void HideForm(TForm& form) override;
  void DestroyHandle(TForm& form) override;
  void ControlChanged(TControl& control, TControlChange change) override;
  void ControlDestroyed(TControl& control) override;
  void Repaint(TControl& control) override;
  void DrawAnimationFrame(const TAnimationFrame& frame) override;

  void PostQuit() override;
  bool Terminated() const override;
  void HandleMessage() override;
  void BeginModal(TForm& form) override;
  void EndModal(TForm& form) override;

  void BeginBusy(const TBusyHooks& hooks) override;
  void EndBusy() override;
  bool Busy() const override;
  void PumpBusy(int ms) override;
  void WakeBusy() override;

  void SetApplicationTitle(const std::string& title) override { FTitle = title; }
  void ShowErrorBox(const std::string& text) override;

 private:
  struct TBackend;
  std::string FTitle;
  std::unique_ptr<TBackend> FBackend;
};
