// The Win32 backend's facade: the screen and the system's windows, the list
// of forms and the title; the rest is handed to its units.
#include "ui/Win32Platform.h"

#include <windows.h>
// commctrl.h needs windows.h first.
#include <commctrl.h>

#include <algorithm>

#include "rtl/Win32Text.h"
#include "ui/Forms.h"
#include "ui/Win32CommonControls.h"
#include "ui/Win32FormWindow.h"
#include "ui/Win32GlowButton.h"
#include "ui/Win32MessageLoop.h"

// Declared in the order they depend on each other: the classes are registered
// before any window is made and unregistered after the last one went, and the
// loop outlives the windows whose records point to it.
struct TWin32Platform::TBackend {
  TBackend(TWin32Platform& platform, HINSTANCE instance)
      : FormClass(RegisterFormClass(instance)),
        ButtonClass(RegisterGlowButtonClass(instance)),
        Loop(platform, Windows),
        Windows(instance, Loop) {}

  TWindowClass FormClass;
  TWindowClass ButtonClass;
  TWin32MessageLoop Loop;
  TFormWindows Windows;
};

namespace {
HWND ToHwnd(TWindowHandle handle) { return reinterpret_cast<HWND>(handle); }
TRect ToTRect(const RECT& r) { return {r.left, r.top, r.right, r.bottom}; }

int CALLBACK CollectFont(const LOGFONTW* font, const TEXTMETRICW*, DWORD, LPARAM target) {
  auto& names = *reinterpret_cast<std::vector<std::string>*>(target);
  const std::string name = WideToUtf8(font->lfFaceName);
  // '@' marks the vertical variants, which the screen list leaves out.
  if (!name.empty() && name[0] != '@' &&
      std::find(names.begin(), names.end(), name) == names.end()) {
    names.push_back(name);
  }
  return 1;
}
}  // namespace

TWin32Platform::TWin32Platform(void* instance) {
  INITCOMMONCONTROLSEX icc{sizeof(icc),
                           ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS};
  CommonControls().InitCommonControlsEx(&icc);
  FBackend = std::make_unique<TBackend>(*this, static_cast<HINSTANCE>(instance));
}

TWin32Platform::~TWin32Platform() = default;

// ---- Screen and the system's windows

int TWin32Platform::ScreenWidth() const { return GetSystemMetrics(SM_CXSCREEN); }

int TWin32Platform::ScreenHeight() const { return GetSystemMetrics(SM_CYSCREEN); }

TRect TWin32Platform::WorkArea() const {
  RECT r{0, 0, ScreenWidth(), ScreenHeight()};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &r, 0);
  return ToTRect(r);
}

std::vector<std::string> TWin32Platform::ScreenFonts() const {
  std::vector<std::string> names;
  const TWindowDc dc = WindowDc(nullptr);
  LOGFONTW query{};
  query.lfCharSet = DEFAULT_CHARSET;
  EnumFontFamiliesExW(dc.Get(), &query, CollectFont, reinterpret_cast<LPARAM>(&names), 0);
  std::sort(names.begin(), names.end());
  return names;
}

std::optional<TRect> TWin32Platform::TaskbarRect() const {
  // The shell's taskbar: its class, with an empty title.
  const HWND tray = ::FindWindowA("Shell_TrayWnd", "");
  RECT r;
  if (tray == nullptr || !::GetWindowRect(tray, &r)) return std::nullopt;
  return ToTRect(r);
}

void TWin32Platform::PlaceBackdrop(TWindowHandle window, const TRect& b) {
  // HWND_NOTOPMOST: at the top of the ordinary windows, under the topmost ones.
  ::SetWindowPos(ToHwnd(window), HWND_NOTOPMOST, b.Left, b.Top, b.Width(), b.Height(),
                 SWP_SHOWWINDOW);
}

void TWin32Platform::ShowErrorBox(const std::string& text) {
  const std::wstring wide = Utf8ToWide(text);
  const std::wstring caption = Utf8ToWide(FTitle);
  MessageBoxW(GetActiveWindow(), wide.c_str(), caption.c_str(), MB_OK | MB_ICONSTOP);
}

// ---- Forms

TWindowHandle TWin32Platform::HandleNeeded(TForm& form) {
  // A dialog stays above the main form; the backdrop does not, it lies below the notice.
  HWND owner = nullptr;
  if (!form.IsMainForm && !form.AlphaBlend) {
    for (TForm* other : Forms()) {
      if (other->IsMainForm && other->HandleAllocated()) owner = ToHwnd(other->Handle());
    }
  }
  const std::string& title = form.IsMainForm && form.Caption().empty() ? FTitle : form.Caption();
  return reinterpret_cast<TWindowHandle>(FBackend->Windows.Create(form, owner, title));
}

void TWin32Platform::ShowForm(TForm& form) { FBackend->Windows.Show(form); }

void TWin32Platform::HideForm(TForm& form) { FBackend->Windows.Hide(form); }

void TWin32Platform::DestroyHandle(TForm& form) { FBackend->Windows.Destroy(form); }

void TWin32Platform::ControlChanged(TControl& control, TControlChange change) {
  FBackend->Windows.ControlChanged(control, change);
}

void TWin32Platform::ControlDestroyed(TControl& control) {
  FBackend->Windows.ControlDestroyed(control);
}

void TWin32Platform::Repaint(TControl& control) { FBackend->Windows.Repaint(control); }

void TWin32Platform::DrawAnimationFrame(const TAnimationFrame& frame) {
  FBackend->Windows.DrawAnimationFrame(frame);
}

// ---- Event loop

void TWin32Platform::PostQuit() { FBackend->Loop.PostQuit(); }

bool TWin32Platform::Terminated() const { return FBackend->Loop.Terminated(); }

void TWin32Platform::HandleMessage() { FBackend->Loop.HandleMessage(); }

void TWin32Platform::BeginModal(TForm& form) { FBackend->Loop.BeginModal(Forms(), form); }

void TWin32Platform::EndModal(TForm&) { FBackend->Loop.EndModal(); }

void TWin32Platform::BeginBusy(const TBusyHooks& hooks) { FBackend->Loop.BeginBusy(hooks); }

void TWin32Platform::EndBusy() { FBackend->Loop.EndBusy(); }

bool TWin32Platform::Busy() const { return FBackend->Loop.Busy(); }

void TWin32Platform::PumpBusy(int ms) { FBackend->Loop.PumpBusy(ms); }

void TWin32Platform::WakeBusy() { FBackend->Loop.WakeBusy(); }
