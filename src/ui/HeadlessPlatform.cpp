// The headless window system: records what the program asks and plays the user.
#include "ui/HeadlessPlatform.h"

#include <algorithm>
#include <chrono>
#include <stdexcept>

namespace {
// A modal showing that the simulated user never ends would hang the test.
constexpr int kMaxUnansweredEvents = 1000;
}  // namespace

int THeadlessPlatform::RepaintsOf(const TControl& control) const {
  return static_cast<int>(std::count(Repaints.begin(), Repaints.end(), &control));
}

bool THeadlessPlatform::HandleAlive(TWindowHandle handle) const {
  return FHandles.count(handle) != 0;
}

TForm* THeadlessPlatform::FormOfHandle(TWindowHandle handle) const {
  const auto it = FHandles.find(handle);
  return it != FHandles.end() ? it->second : nullptr;
}

void THeadlessPlatform::Press(TControl& button) {
  if (!button.Showing() || !button.Enabled()) return;
  if (FBusy.Active() && &button != FBusy.CancelControl()) {
    ++IgnoredInput;
    return;
  }
  DispatchGuarded(*this, [&button] { button.Click(); });
}

void THeadlessPlatform::PressEscape() { FBusy.Escape(*this); }

void THeadlessPlatform::SystemClose(TForm& form) { FBusy.CloseCommand(*this, form); }

void THeadlessPlatform::BeginBusy(const TBusyHooks& hooks) {
  FBusy.Begin(hooks);
  const std::lock_guard lock(FWakeLock);
  FWoken = false;
}

void THeadlessPlatform::EndBusy() { FBusy.End(); }

void THeadlessPlatform::PumpBusy(int ms) {
  ++BusyPumps;
  if (FQuitPending) {
    // A quit request taken while busy counts as the close command.
    FQuitPending = false;
    FTerminated = true;
    FBusy.QuitTaken(*this);
  }
  if (BusyHandler) BusyHandler();
  std::unique_lock lock(FWakeLock);
  FWakeSignal.wait_for(lock, std::chrono::milliseconds(ms), [this] { return FWoken; });
  FWoken = false;
}

void THeadlessPlatform::WakeBusy() {
  {
    const std::lock_guard lock(FWakeLock);
    FWoken = true;
  }
  FWakeSignal.notify_all();
}

void THeadlessPlatform::PressTab(bool backward) {
  if (FBusy.Active()) {
    ++IgnoredInput;
    return;
  }
  const TForm* form = FFocused != nullptr ? FFocused->ParentForm() : nullptr;
  if (form == nullptr && !FModalStack.empty()) form = FModalStack.back();
  for (TForm* candidate : Forms()) {
    if (form == nullptr && candidate->IsMainForm && candidate->FormVisible()) form = candidate;
  }
  if (form == nullptr) return;
  if (TControl* next = form->FindNextControl(FFocused, !backward)) FFocused = next;
}

void THeadlessPlatform::ShowForm(TForm& form) {
  ShowHistory.push_back(&form);
  FFocused = form.FindNextControl(nullptr, true);
}

void THeadlessPlatform::HideForm(TForm& form) {
  if (FFocused != nullptr && FFocused->ParentForm() == &form) FFocused = nullptr;
}

TWindowHandle THeadlessPlatform::HandleNeeded(TForm& form) {
  const TWindowHandle h = FNextHandle++;
  FHandles[h] = &form;
  return h;
}

void THeadlessPlatform::DestroyHandle(TForm& form) {
  // The form goes (only its destructor calls this): a modal showing of it ends too.
  std::erase(FModalStack, &form);
  if (!form.HandleAllocated()) return;
  const TWindowHandle h = form.Handle();
  FHandles.erase(h);
  DestroyedHandles.push_back(h);
  form.SetHandleValue(0);
}

void THeadlessPlatform::ControlDestroyed(TControl& control) {
  if (FFocused == &control) FFocused = nullptr;
  std::replace(Repaints.begin(), Repaints.end(), static_cast<const TControl*>(&control),
               static_cast<const TControl*>(nullptr));
}

void THeadlessPlatform::HandleMessage() {
  if (FQuitPending) {
    FQuitPending = false;
    FTerminated = true;
    return;
  }
  if (++FIdleEvents > kMaxUnansweredEvents)
    throw std::logic_error("headless event loop: nobody answers");
  if (!FModalStack.empty()) {
    TForm& form = *FModalStack.back();
    if (ModalHandler) {
      ModalHandler(form);
    } else {
      for (int i = 0; i < form.ComponentCount(); ++i) {
        auto* button = dynamic_cast<TGlowButton*>(form.Components(i));
        if (button != nullptr && button->Showing() && button->Enabled()) {
          Press(*button);
          break;
        }
      }
    }
    return;
  }
  if (MainLoopHandler) {
    MainLoopHandler();
  } else {
    for (TForm* form : Forms()) {
      if (form->IsMainForm) form->Close();
    }
  }
}

void THeadlessPlatform::EndModal(TForm& form) {
  FIdleEvents = 0;
  FModalStack.erase(std::remove(FModalStack.begin(), FModalStack.end(), &form), FModalStack.end());
}
