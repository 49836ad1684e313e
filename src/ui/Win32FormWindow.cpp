// Records, the form's window procedure and the registry of form windows.
#include "ui/Win32FormWindow.h"

#include "rtl/ScopeExit.h"
#include "rtl/Win32Text.h"
#include "ui/Win32MessageLoop.h"
#include "ui/Win32Paint.h"
#include "ui/Win32Realizers.h"

namespace {
const wchar_t* const kFormClass = L"TramelaForm";
constexpr UINT kMoveQuietly = SWP_NOZORDER | SWP_NOACTIVATE;

// Visible itself and every parent below the form (the form's own state aside).
bool VisibleInForm(const TControl& control) {
  for (const TControl* c = &control; c != nullptr && c->Kind() != TControlKind::Form;
       c = c->Parent()) {
    if (!c->Visible()) return false;
  }
  return true;
}

RECT ToRECT(const TRect& r) { return {r.Left, r.Top, r.Right, r.Bottom}; }

void SetText(HWND hwnd, const std::string& text) {
  const std::wstring wide = Utf8ToWide(text);
  SetWindowTextW(hwnd, wide.c_str());
}

void MoveChild(HWND hwnd, const TControl& control) {
  const TRect r = control.FormRect();
  MoveWindow(hwnd, r.Left, r.Top, r.Width(), r.Height(), TRUE);
}

void ShowChild(HWND hwnd, const TControl& control) {
  ShowWindow(hwnd, VisibleInForm(control) ? SW_SHOWNA : SW_HIDE);
}

void SetFont(HWND hwnd, const TControl& control, BOOL redraw) {
  const HFONT font = TGdiCache::Instance().Font(control.Font());
  SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font), redraw);
}

// The painted controls go onto one canvas, copied to the screen in one piece.
void PaintForm(const TWindowRecord& record) {
  const HWND hwnd = record.Hwnd;
  PAINTSTRUCT ps;
  const HDC dc = BeginPaint(hwnd, &ps);
  const auto end = ScopeExit([&] { EndPaint(hwnd, &ps); });
  RECT client;
  ::GetClientRect(hwnd, &client);
  TDibCanvas canvas(dc, client.right, client.bottom);
  if (!canvas.Valid()) return;
  const TControl& form = *record.Control;
  const TRect all{0, 0, client.right, client.bottom};
  canvas.Fill(all, form.EffectiveColor());
  PaintChildren(canvas, form, all);
  const RECT& area = ps.rcPaint;
  BitBlt(dc, area.left, area.top, area.right - area.left, area.bottom - area.top, canvas.Dc(),
         area.left, area.top, SRCCOPY);
}

// Static text and edits ask their parent for colours: the control's own. Null
// for a window that is not, or no longer, one of ours.
HBRUSH ChildColours(HDC dc, HWND child) {
  const TWindowRecord* record = RecordOf(child);
  if (record == nullptr || record->Control == nullptr) return nullptr;
  const TColor back = record->Control->EffectiveColor();
  SetTextColor(dc, ToColorRef(record->Control->Font().Color));
  SetBkColor(dc, ToColorRef(back));
  return TGdiCache::Instance().Brush(back);
}

LRESULT CALLBACK FormWndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  TWindowRecord* record = RecordFor(hwnd, msg, lp);
  if (record == nullptr) return DefWindowProcW(hwnd, msg, wp, lp);
  switch (msg) {
    case WM_PAINT:
      PaintForm(*record);
      return 0;
    case WM_ERASEBKGND:
      return 1;
    case WM_CLOSE:
      record->Loop->CloseCommand(static_cast<TForm&>(*record->Control));
      return 0;
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT: {
      const HBRUSH brush = ChildColours(reinterpret_cast<HDC>(wp), reinterpret_cast<HWND>(lp));
      if (brush != nullptr) return reinterpret_cast<LRESULT>(brush);
      break;
    }
    default:
      break;
  }
  return DefWindowProcW(hwnd, msg, wp, lp);
}
}  // namespace

void AttachRecord(HWND hwnd, TWindowRecord& record) {
  record.Hwnd = hwnd;
  SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&record));
}

TWindowRecord* RecordOf(HWND hwnd) {
  return reinterpret_cast<TWindowRecord*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
}

TWindowRecord* RecordFor(HWND hwnd, UINT msg, LPARAM lp) {
  if (msg == WM_NCCREATE) {
    auto* record =
        static_cast<TWindowRecord*>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams);
    AttachRecord(hwnd, *record);
  }
  TWindowRecord* record = RecordOf(hwnd);
  return record != nullptr && record->Control != nullptr ? record : nullptr;
}

TWindowClass RegisterWindowClass(HINSTANCE instance, const wchar_t* name, WNDPROC proc,
                                 HICON icon) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = proc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  wc.hIcon = icon;
  wc.lpszClassName = name;
  return TWindowClass(RegisterClassExW(&wc), TUnregisterClass{instance});
}

TWindowClass RegisterFormClass(HINSTANCE instance) {
  return RegisterWindowClass(instance, kFormClass, FormWndProc,
                             LoadIconW(instance, MAKEINTRESOURCEW(1)));
}

TFormWindow::~TFormWindow() {
  for (const auto& child : Children) child->Control = nullptr;
  Self.Control = nullptr;
  Window.Reset();
}

// ---- TFormWindows

TFormWindows::TFormWindows(HINSTANCE instance, TWin32MessageLoop& loop)
    : FInstance(instance), FLoop(loop) {}

TFormWindow* TFormWindows::WindowOf(const TControl& control) const {
  const TForm* form = control.ParentForm();
  if (form == nullptr) return nullptr;
  std::lock_guard lock(FLock);
  const auto it = FWindows.find(form);
  return it != FWindows.end() ? it->second.get() : nullptr;
}

TWindowRecord* TFormWindows::ChildOf(const TControl& control) const {
  TFormWindow* window = WindowOf(control);
  if (window == nullptr) return nullptr;
  for (const auto& child : window->Children) {
    if (child->Control == &control) return child.get();
  }
  return nullptr;
}

HWND TFormWindows::HandleOf(const TControl& control) const {
  const TWindowRecord* child = ChildOf(control);
  return child != nullptr ? child->Hwnd : nullptr;
}

HWND TFormWindows::Create(TForm& form, HWND owner, const std::string& title) {
  auto window = std::make_unique<TFormWindow>();
  window->Self.Loop = &FLoop;
  window->Self.Control = &form;
  DWORD exStyle = form.IsMainForm ? WS_EX_APPWINDOW : 0;
  if (form.AlphaBlend) exStyle |= WS_EX_LAYERED | WS_EX_TOOLWINDOW;
  const std::wstring caption = Utf8ToWide(title);
  const HWND hwnd = CreateWindowExW(
      exStyle, kFormClass, caption.c_str(), WS_POPUP | WS_CLIPCHILDREN | WS_SYSMENU, form.Left(),
      form.Top(), form.Width(), form.Height(), owner, nullptr, FInstance, &window->Self);
  if (hwnd == nullptr) return nullptr;
  window->Window = TWindowHandleOwner(hwnd);
  if (form.AlphaBlend) {
    SetLayeredWindowAttributes(hwnd, 0, static_cast<BYTE>(form.AlphaBlendValue), LWA_ALPHA);
  }
  TFormWindow& ref = *window;
  {
    std::lock_guard lock(FLock);
    FWindows[&form] = std::move(window);
  }
  form.SetHandleValue(reinterpret_cast<TWindowHandle>(hwnd));
  CreateChildren(ref, form);
  return hwnd;
}

void TFormWindows::CreateChildren(TFormWindow& window, TControl& parent) {
  for (TControl* child : parent.Controls()) {
    if (child->Windowed()) CreateChild(window, *child);
    CreateChildren(window, *child);
  }
}

void TFormWindows::CreateChild(TFormWindow& window, TControl& control) {
  auto record = std::make_unique<TWindowRecord>();
  record->Loop = &FLoop;
  record->Control = &control;
  TChildWindowArgs args;
  args.Parent = window.Self.Hwnd;
  args.Instance = FInstance;
  args.Style =
      WS_CHILD | (control.Enabled() ? 0 : WS_DISABLED) | (control.TabStop ? WS_TABSTOP : 0);
  args.Bounds = control.FormRect();
  const TRealizer& realizer = RealizerOf(control);
  const HWND hwnd = realizer.Create(control, args, *record);
  if (hwnd == nullptr) return;
  // Our own classes have it from WM_NCCREATE already; the system's get it here.
  AttachRecord(hwnd, *record);
  SetFont(hwnd, control, FALSE);
  window.Children.push_back(std::move(record));
  realizer.SyncItems(hwnd, control);
  ShowChild(hwnd, control);
}

void TFormWindows::SyncChild(TWindowRecord& child, TControlChange change) {
  const TControl& control = *child.Control;
  const HWND hwnd = child.Hwnd;
  switch (change) {
    case TControlChange::Bounds:
      MoveChild(hwnd, control);
      break;
    case TControlChange::Caption:
      SetText(hwnd, control.Caption());
      InvalidateRect(hwnd, nullptr, FALSE);
      break;
    case TControlChange::Enabled:
      EnableWindow(hwnd, control.Enabled() ? TRUE : FALSE);
      break;
    case TControlChange::Visible:
      ShowChild(hwnd, control);
      break;
    case TControlChange::Font:
      SetFont(hwnd, control, TRUE);
      break;
    case TControlChange::Items:
      RealizerOf(control).SyncItems(hwnd, control);
      break;
    case TControlChange::Progress:
      RealizerOf(control).SyncProgress(hwnd, control);
      break;
    case TControlChange::Color:
    case TControlChange::Picture:
    case TControlChange::Appearance:
      InvalidateRect(hwnd, nullptr, TRUE);
      break;
  }
}

void TFormWindows::SyncChildren(TFormWindow& window) {
  for (const auto& child : window.Children) {
    ShowChild(child->Hwnd, *child->Control);
    MoveChild(child->Hwnd, *child->Control);
  }
}

void TFormWindows::Show(TForm& form) {
  TFormWindow* window = WindowOf(form);
  if (window == nullptr) return;
  SyncChildren(*window);
  const HWND hwnd = window->Self.Hwnd;
  ::SetWindowPos(hwnd, nullptr, form.Left(), form.Top(), form.Width(), form.Height(), kMoveQuietly);
  ShowWindow(hwnd, SW_SHOW);
  SetForegroundWindow(hwnd);
  // The first control in tab order takes the focus, as a shown form gives it.
  if (const TControl* first = form.FindNextControl(nullptr, true)) {
    if (const HWND child = HandleOf(*first)) SetFocus(child);
  }
  UpdateWindow(hwnd);
}

void TFormWindows::Hide(TForm& form) {
  if (TFormWindow* window = WindowOf(form)) ShowWindow(window->Self.Hwnd, SW_HIDE);
}

void TFormWindows::Destroy(TForm& form) {
  std::unique_ptr<TFormWindow> window;
  {
    std::lock_guard lock(FLock);
    const auto it = FWindows.find(&form);
    if (it == FWindows.end()) return;
    window = std::move(it->second);
    FWindows.erase(it);
  }
  window.reset();
  form.SetHandleValue(0);
}

void TFormWindows::ControlChanged(TControl& control, TControlChange change) {
  TFormWindow* window = WindowOf(control);
  if (window == nullptr) return;
  const HWND hwnd = window->Self.Hwnd;
  if (&control == window->Self.Control) {
    const auto& form = static_cast<const TForm&>(control);
    if (change == TControlChange::Bounds) {
      ::SetWindowPos(hwnd, nullptr, form.Left(), form.Top(), form.Width(), form.Height(),
                     kMoveQuietly);
    } else if (change == TControlChange::Caption) {
      SetText(hwnd, form.Caption());
    }
    InvalidateRect(hwnd, nullptr, FALSE);
    return;
  }
  if (TWindowRecord* child = ChildOf(control)) {
    SyncChild(*child, change);
    return;
  }
  // A painted control: its children may include windows that must follow it.
  if (change == TControlChange::Visible || change == TControlChange::Bounds) {
    SyncChildren(*window);
  }
  if (change == TControlChange::Caption && RealizerOf(control).CaptionKeepsToBounds(control)) {
    const RECT rc = ToRECT(control.VisibleFormRect());
    InvalidateRect(hwnd, &rc, FALSE);
    return;
  }
  InvalidateRect(hwnd, nullptr, FALSE);
}

void TFormWindows::ControlDestroyed(TControl& control) {
  if (TWindowRecord* child = ChildOf(control)) child->Control = nullptr;
}

void TFormWindows::Repaint(TControl& control) {
  if (const HWND child = HandleOf(control)) {
    RedrawWindow(child, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_FRAME);
    return;
  }
  TFormWindow* window = WindowOf(control);
  if (window == nullptr) return;
  const RECT rc = ToRECT(control.FormRect());
  RedrawWindow(window->Self.Hwnd, &rc, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
}

void TFormWindows::DrawAnimationFrame(const TAnimationFrame& frame) {
  // The lock is held while drawing, so that the window is not destroyed meanwhile.
  std::lock_guard lock(FLock);
  const auto it = FWindows.find(frame.Form);
  if (it == FWindows.end() || frame.Pixels == nullptr || frame.Clip.Empty()) return;
  const HWND hwnd = it->second->Self.Hwnd;
  if (!IsWindowVisible(hwnd)) return;
  const TWindowDc dc = WindowDc(hwnd);
  if (!dc) return;
  const TRect& r = frame.Rect;
  TDibCanvas canvas(dc.Get(), r.Width(), r.Height());
  if (!canvas.Valid()) return;
  const TRect local = frame.Clip.Offset(-r.Left, -r.Top);
  canvas.Fill({0, 0, r.Width(), r.Height()}, frame.Background);
  canvas.Blend(*frame.Pixels, 0, 0, local);
  GdiFlush();
  BitBlt(dc.Get(), frame.Clip.Left, frame.Clip.Top, frame.Clip.Width(), frame.Clip.Height(),
         canvas.Dc(), local.Left, local.Top, SRCCOPY);
}

bool TFormWindows::MoveFocusByTab(HWND root, bool backward) {
  TFormWindow* window = nullptr;
  {
    std::lock_guard lock(FLock);
    for (const auto& [form, candidate] : FWindows) {
      if (candidate->Self.Hwnd == root) window = candidate.get();
    }
  }
  if (window == nullptr || window->Self.Control == nullptr) return false;
  const HWND focus = GetFocus();
  const TControl* current = nullptr;
  for (const auto& child : window->Children) {
    if (child->Hwnd == focus) current = child->Control;
  }
  const auto& form = static_cast<const TForm&>(*window->Self.Control);
  if (const TControl* next = form.FindNextControl(current, !backward)) {
    if (const HWND child = HandleOf(*next)) SetFocus(child);
  }
  return true;
}
