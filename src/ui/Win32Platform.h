// The Win32 backend: forms become popup windows, memo, list view and buttons
// real child windows, and the rest is painted by the form. Only this unit and
// its source see windows.h.
#pragma once

#include <map>
#include <memory>
#include <mutex>
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
  TWindowHandle FindWindowA(const std::string& className, const std::string& windowName) const override;
  bool GetWindowRect(TWindowHandle window, TRect& rect) const override;
  bool SetWindowPos(TWindowHandle window, TWindowHandle insertAfter, int x, int y, int cx, int cy,
                    unsigned flags) override;

  void RegisterForm(TForm& form) override;
  void UnregisterForm(TForm& form) override;
  std::vector<TForm*> Forms() const override { return FForms; }

  TWindowHandle HandleNeeded(TForm& form) override;
  void ShowForm(TForm& form) override;
  void HideForm(TForm& form) override;
  void DestroyHandle(TForm& form) override;
  void ControlChanged(TControl& control, TControlChange change) override;
  void ControlDestroyed(TControl& control) override;
  void Repaint(TControl& control) override;
  void DrawAnimationFrame(const TAnimationFrame& frame) override;

  void PostQuit() override;
  bool Terminated() const override { return FTerminated; }
  void HandleMessage() override;
  void BeginModal(TForm& form) override;
  void EndModal(TForm& form) override;

  void SetApplicationTitle(const std::string& title) override;
  void ShowErrorBox(const std::string& text) override;

  struct TWindowRecord;
  struct TFormWindow;

 private:
  friend struct TWin32Access;
  TFormWindow* WindowOf(const TControl& control) const;
  TWindowRecord* ChildOf(const TControl& control) const;
  void CreateChildren(TFormWindow& window, TControl& parent);
  void CreateChild(TFormWindow& window, TControl& control);
  void SyncChild(TWindowRecord& child, TControlChange change);
  void SyncChildren(TFormWindow& window);
  void SyncItems(TWindowRecord& child);
  // Moves the focus within the form whose window is root (an HWND) along its
  // tab order; false when root is not one of ours.
  bool MoveFocusByTab(void* root, bool backward);

  void* FInstance;
  std::vector<TForm*> FForms;
  // The backend's map from forms to their windows; the animation threads read
  // it to draw, hence the lock.
  mutable std::mutex FLock;
  std::map<const TForm*, std::unique_ptr<TFormWindow>> FWindows;
  std::vector<std::pair<void*, bool>> FDisabledForModal;  // window, was enabled
  std::vector<std::size_t> FModalMarks;
  std::string FTitle;
  bool FTerminated = false;
};
