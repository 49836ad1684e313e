// The glow button's window procedure and painting.
#include "ui/Win32GlowButton.h"

#include "rtl/ScopeExit.h"
#include "ui/Win32FormWindow.h"
#include "ui/Win32MessageLoop.h"
#include "ui/Win32Paint.h"

namespace {

const TGlowColors& ColorsNow(const TWindowRecord& record, const TGlowAppearance& a) {
  if (!IsWindowEnabled(record.Hwnd)) return a.Disabled;
  if (record.Pressed) return a.Pressed;
  return record.Hot ? a.Hot : a.Normal;
}

void Paint(const TWindowRecord& record) {
  const auto& button = static_cast<const TGlowButton&>(*record.Control);
  PAINTSTRUCT ps;
  const HDC dc = BeginPaint(record.Hwnd, &ps);
  const auto end = ScopeExit([&] { EndPaint(record.Hwnd, &ps); });
  RECT client;
  ::GetClientRect(record.Hwnd, &client);
  TDibCanvas canvas(dc, client.right, client.bottom);
  if (!canvas.Valid()) return;
  const TGlowColors& c = ColorsNow(record, button.Appearance);
  const int w = client.right, h = client.bottom, half = h / 2;
  const TRect all{0, 0, w, h};
  canvas.Gradient({0, 0, w, half}, c.UpperFrom, c.UpperTo);
  canvas.Gradient({0, half, w, h}, c.LowerFrom, c.LowerTo);
  canvas.Frame(all, all, c.Border);
  canvas.Text(button.Caption(), all, all, button.Font(), DT_CENTER | DT_VCENTER | DT_SINGLELINE);
  if (GetFocus() == record.Hwnd) {
    RECT focus{3, 3, w - 3, h - 3};
    DrawFocusRect(canvas.Dc(), &focus);
  }
  BitBlt(dc, 0, 0, w, h, canvas.Dc(), 0, 0, SRCCOPY);
}

void Invalidate(HWND hwnd) { InvalidateRect(hwnd, nullptr, FALSE); }

void Click(const TWindowRecord& record) {
  TControl* control = record.Control;
  record.Loop->Dispatch([control] { control->Click(); });
}

// A press ends in a click only where it began: released over the button.
void ButtonUp(TWindowRecord& record, LPARAM lp) {
  const bool wasPressed = record.Pressed;
  record.Pressed = false;
  if (GetCapture() == record.Hwnd) ReleaseCapture();
  Invalidate(record.Hwnd);
  RECT client;
  ::GetClientRect(record.Hwnd, &client);
  const POINT pt{static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))};
  if (wasPressed && PtInRect(&client, pt)) Click(record);
}

// Enter and space press the focused button itself rather than the dialog's default.
LRESULT DialogCode(LPARAM lp) {
  const auto* key = reinterpret_cast<const MSG*>(lp);
  const bool press = key != nullptr && (key->message == WM_KEYDOWN || key->message == WM_KEYUP) &&
                     (key->wParam == VK_RETURN || key->wParam == VK_SPACE);
  return DLGC_BUTTON | DLGC_UNDEFPUSHBUTTON | (press ? DLGC_WANTMESSAGE : 0);
}

bool HandleMouse(TWindowRecord& record, UINT msg, LPARAM lp) {
  const HWND hwnd = record.Hwnd;
  switch (msg) {
    case WM_MOUSEMOVE:
      if (!record.Hot) {
        record.Hot = true;
        TRACKMOUSEEVENT track{sizeof(track), TME_LEAVE, hwnd, 0};
        TrackMouseEvent(&track);
        Invalidate(hwnd);
      }
      return true;
    case WM_MOUSELEAVE:
      record.Hot = false;
      Invalidate(hwnd);
      return true;
    case WM_LBUTTONDOWN:
      SetCapture(hwnd);
      SetFocus(hwnd);
      record.Pressed = true;
      Invalidate(hwnd);
      return true;
    case WM_LBUTTONUP:
      ButtonUp(record, lp);
      return true;
    case WM_CAPTURECHANGED:
      record.Pressed = false;
      Invalidate(hwnd);
      return true;
    default:
      return false;
  }
}

LRESULT CALLBACK ButtonWndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  TWindowRecord* record = RecordFor(hwnd, msg, lp);
  if (record == nullptr) return DefWindowProcW(hwnd, msg, wp, lp);
  if (HandleMouse(*record, msg, lp)) return 0;
  switch (msg) {
    case WM_PAINT:
      Paint(*record);
      return 0;
    case WM_ERASEBKGND:
      return 1;
    case WM_KEYUP:
      if (wp == VK_SPACE || wp == VK_RETURN) Click(*record);
      return 0;
    case BM_CLICK:
      Click(*record);
      return 0;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
    case WM_ENABLE:
      Invalidate(hwnd);
      return 0;
    case WM_GETDLGCODE:
      return DialogCode(lp);
    default:
      return DefWindowProcW(hwnd, msg, wp, lp);
  }
}

}  // namespace

TWindowClass RegisterGlowButtonClass(HINSTANCE instance) {
  return RegisterWindowClass(instance, kGlowButtonClass, ButtonWndProc, nullptr);
}
