// Forms and the application object: showing, modal showing with its nested
// event loop, closing, and the program's run until its end is requested.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ui/Controls.h"
#include "ui/Platform.h"

enum class TCloseAction { caNone, caHide, caFree, caMinimize };
using TCloseEvent = std::function<void(TObject* Sender, TCloseAction& Action)>;

enum class TFormPosition { poDesigned, poScreenCenter };

class TForm : public TControl {
 public:
  TForm(TComponent* owner, IPlatform& platform);
  ~TForm() override;
  TControlKind Kind() const override { return TControlKind::Form; }
  IPlatform& FormPlatform() const { return *FPlatform; }

  // No border: the client area is the whole window.
  int ClientWidth() const { return Width(); }
  int ClientHeight() const { return Height(); }
  void SetClientSize(int width, int height) { SetBounds(Left(), Top(), width, height); }

  TFormPosition Position = TFormPosition::poDesigned;
  bool AlphaBlend = false;
  int AlphaBlendValue = 255;

  TNotifyEvent OnShow;
  TCloseEvent OnClose;
  // Closing the main form ends the application.
  bool IsMainForm = false;

  // The system window, made when first needed.
  TWindowHandle Handle();
  bool HandleAllocated() const { return FHandle != 0; }

  // Runs OnShow (guarded, as the framework does) and then makes the window visible.
  void ShowForm();
  void HideForm();
  bool FormVisible() const { return FShown; }
  // Shows the form modally and returns when it is closed or the end of the
  // application is taken while it is shown (then the answer is mrCancel and
  // OnClose does not run).
  TModalResult ShowModal();
  bool Modal() const { return FModal; }
  TModalResult ModalResult() const { return FModalResult; }
  void SetModalResult(TModalResult result) { FModalResult = result; }
  // The close command: for a modal form it ends the showing, otherwise it runs
  // OnClose and hides the form.
  void Close();
  int ShowCount() const { return FShowCount; }

  // The Tab key's path: each parent's children by TabOrder (equal values keep
  // the order they were added in), a container's controls in its place. Holds
  // every windowed tab stop, whatever its state.
  std::vector<TControl*> TabSequence() const;
  // The control that the Tab key (forward) or Shift+Tab moves the focus to from
  // current (null: from outside the sequence): the next tab stop that is
  // showing and enabled, wrapping around; null when none can take the focus.
  TControl* FindNextControl(const TControl* current, bool forward) const;

  // Only for the backend: the handle it made for this form.
  void SetHandleValue(TWindowHandle handle) { FHandle = handle; }

 private:
  bool DoClose();

  IPlatform* FPlatform;
  TWindowHandle FHandle = 0;
  bool FShown = false;
  bool FModal = false;
  int FShowCount = 0;
  TModalResult FModalResult = TModalResult::mrNone;
};

class TApplication {
 public:
  explicit TApplication(IPlatform& platform) : FPlatform(&platform) {}
  TApplication(const TApplication&) = delete;
  TApplication& operator=(const TApplication&) = delete;
  ~TApplication();

  IPlatform& Platform() const { return *FPlatform; }
  const std::string& Title() const { return FTitle; }
  void SetTitle(std::string title);

  // Creates a form owned by the application; the first becomes the main form.
  template <class T, class... Args>
  T& CreateForm(Args&&... args) {
    auto form = std::make_unique<T>(nullptr, *FPlatform, std::forward<Args>(args)...);
    T& ref = *form;
    FForms.push_back(std::move(form));
    if (FMainForm == nullptr) {
      FMainForm = &ref;
      ref.IsMainForm = true;
    }
    return ref;
  }
  TForm* MainForm() const { return FMainForm; }

  // Shows the main form and handles events until the end is requested and taken.
  void Run();
  void Terminate() { FPlatform->PostQuit(); }
  bool Terminated() const { return FPlatform->Terminated(); }

 private:
  IPlatform* FPlatform;
  std::string FTitle;
  std::vector<std::unique_ptr<TForm>> FForms;
  TForm* FMainForm = nullptr;  // one of FForms
};
