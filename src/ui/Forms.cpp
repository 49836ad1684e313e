// Showing, modal showing with its nested loop, closing, and the application run.
#include "ui/Forms.h"

#include <algorithm>

#include "rtl/Exceptions.h"
#include "rtl/ScopeExit.h"

void DispatchGuarded(IPlatform& platform, const std::function<void()>& handler) {
  try {
    handler();
  } catch (const Exception& e) {
    platform.ShowErrorBox(e.Message());
  } catch (const std::exception& e) {
    platform.ShowErrorBox(e.what());
  }
}

// ---- TForm

namespace {
void AppendInTabOrder(const TControl& parent, std::vector<TControl*>& sequence) {
  std::vector<TControl*> children = parent.Controls();
  std::stable_sort(children.begin(), children.end(),
                   [](const TControl* a, const TControl* b) { return a->TabOrder < b->TabOrder; });
  for (TControl* child : children) {
    if (child->Windowed() && child->TabStop) sequence.push_back(child);
    AppendInTabOrder(*child, sequence);
  }
}

// Showing, and enabled itself and in every parent: a disabled panel disables what it holds.
bool CanTakeFocus(const TControl& control) {
  if (!control.Showing()) return false;
  for (const TControl* c = &control; c != nullptr; c = c->Parent()) {
    if (!c->Enabled()) return false;
  }
  return true;
}
}  // namespace

TForm::TForm(TComponent* owner, IPlatform& platform) : TControl(owner), FPlatform(&platform) {
  FPlatform->RegisterForm(*this);
}

TForm::~TForm() {
  // The animations draw from their own threads: stop them before the window goes.
  for (int i = 0; i < ComponentCount(); ++i) {
    if (auto* animator = dynamic_cast<TGIFAnimator*>(Components(i))) animator->Stop();
  }
  FPlatform->DestroyHandle(*this);
  FPlatform->UnregisterForm(*this);
}

TWindowHandle TForm::Handle() {
  if (FHandle == 0) FHandle = FPlatform->HandleNeeded(*this);
  return FHandle;
}

std::vector<TControl*> TForm::TabSequence() const {
  std::vector<TControl*> sequence;
  AppendInTabOrder(*this, sequence);
  return sequence;
}

TControl* TForm::FindNextControl(const TControl* current, bool forward) const {
  const std::vector<TControl*> sequence = TabSequence();
  const std::size_t n = sequence.size();
  if (n == 0) return nullptr;
  const auto it = std::find(sequence.begin(), sequence.end(), current);
  // From outside the sequence the first step lands on its first (or last) control.
  const std::size_t at = it != sequence.end() ? static_cast<std::size_t>(it - sequence.begin())
                         : forward            ? n - 1
                                              : 0;
  for (std::size_t step = 1; step <= n; ++step) {
    TControl* candidate = sequence[forward ? (at + step) % n : (at + n - step) % n];
    if (CanTakeFocus(*candidate)) return candidate;
  }
  return nullptr;
}

void TForm::ShowForm() {
  if (FShown) return;
  ++FShowCount;
  if (FShowCount == 1 && Position == TFormPosition::poScreenCenter) {
    SetBounds((FPlatform->ScreenWidth() - Width()) / 2, (FPlatform->ScreenHeight() - Height()) / 2,
              Width(), Height());
  }
  Handle();
  if (OnShow) DispatchGuarded(*FPlatform, [this] { OnShow(this); });
  FShown = true;
  FPlatform->ShowForm(*this);
  Changed(TControlChange::Visible);
}

void TForm::HideForm() {
  if (!FShown) return;
  FShown = false;
  FPlatform->HideForm(*this);
  Changed(TControlChange::Visible);
}

TModalResult TForm::ShowModal() {
  FModalResult = TModalResult::mrNone;
  FModal = true;
  FPlatform->BeginModal(*this);
  // The other forms come back before this one hides, so that one of them
  // takes the activation rather than some other program's window.
  const auto endModal = ScopeExit([this] {
    FModal = false;
    FPlatform->EndModal(*this);
    HideForm();
  });
  ShowForm();
  for (;;) {
    if (FPlatform->Terminated()) {
      // The end of the application was taken: the showing ends without OnClose.
      FModalResult = TModalResult::mrCancel;
      break;
    }
    FPlatform->HandleMessage();
    if (FPlatform->Terminated()) continue;
    if (FModalResult != TModalResult::mrNone) {
      if (DoClose()) break;
      FModalResult = TModalResult::mrNone;
    }
  }
  return FModalResult;
}

void TForm::Close() {
  if (FModal) {
    FModalResult = TModalResult::mrCancel;
    return;
  }
  if (!DoClose()) return;
  HideForm();
  if (IsMainForm) FPlatform->PostQuit();
}

bool TForm::DoClose() {
  TCloseAction action = TCloseAction::caHide;
  if (OnClose) OnClose(this, action);
  return action != TCloseAction::caNone;
}

// ---- TApplication

TApplication::~TApplication() {
  while (!FForms.empty()) FForms.pop_back();
}

void TApplication::SetTitle(std::string title) {
  FTitle = std::move(title);
  FPlatform->SetApplicationTitle(FTitle);
}

void TApplication::Run() {
  if (FMainForm == nullptr) return;
  FMainForm->ShowForm();
  while (!FPlatform->Terminated()) FPlatform->HandleMessage();
}
