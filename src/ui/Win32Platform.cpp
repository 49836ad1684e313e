// Win32 backend. Sections: [Resources] fonts and brushes, [Paint] the painted
// controls, [Buttons] the glow button window class, [Forms] window procedure
// and realization, [Loop] the event loop and the screen.
#include "ui/Win32Platform.h"

#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstring>

#include "ui/Forms.h"
#include "rtl/Win32Text.h"

namespace {
const wchar_t* const kFormClass = L"TramelaForm";
const wchar_t* const kButtonClass = L"TramelaGlowButton";

COLORREF ToColorRef(TColor c) {
  if (IsSystemColor(c)) return GetSysColor(static_cast<int>(c & 0xFF));
  return RGB((c >> 16) & 255, (c >> 8) & 255, c & 255);
}

// ---- [Resources] The GDI objects live as long as the program; few distinct ones exist.
class TGdiCache {
 public:
  ~TGdiCache() {
    for (auto& [key, font] : FFonts) DeleteObject(font);
    for (auto& [key, brush] : FBrushes) DeleteObject(brush);
  }
  HFONT Font(const TFont& f) {
    const std::string key = f.Name + "|" + std::to_string(f.Height) + "|" + (f.Bold() ? "b" : "r");
    const auto it = FFonts.find(key);
    if (it != FFonts.end()) return it->second;
    const std::wstring face = Utf8ToWide(f.Name);
    HFONT font = CreateFontW(f.Height, 0, 0, 0, f.Bold() ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                             OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE,
                             face.c_str());
    FFonts[key] = font;
    return font;
  }
  HBRUSH Brush(TColor c) {
    const auto it = FBrushes.find(c);
    if (it != FBrushes.end()) return it->second;
    HBRUSH brush = CreateSolidBrush(ToColorRef(c));
    FBrushes[c] = brush;
    return brush;
  }

 private:
  std::map<std::string, HFONT> FFonts;
  std::map<TColor, HBRUSH> FBrushes;
};

TGdiCache& Gdi() {
  // One cache per process, used on the user-interface thread only.
  static TGdiCache cache;
  return cache;
}

// ---- [Paint] A 32-bit top-down DIB that GDI and direct pixel writes share.
class TDibCanvas {
 public:
  TDibCanvas(HDC reference, int width, int height) : FWidth(std::max(width, 1)), FHeight(std::max(height, 1)) {
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bi.bmiHeader.biWidth = FWidth;
    bi.bmiHeader.biHeight = -FHeight;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    FBitmap = CreateDIBSection(reference, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    FBits = static_cast<std::uint8_t*>(bits);
    FDc = CreateCompatibleDC(reference);
    FOld = SelectObject(FDc, FBitmap);
  }
  ~TDibCanvas() {
    SelectObject(FDc, FOld);
    DeleteDC(FDc);
    DeleteObject(FBitmap);
  }
  TDibCanvas(const TDibCanvas&) = delete;
  TDibCanvas& operator=(const TDibCanvas&) = delete;

  HDC Dc() const { return FDc; }
  bool Valid() const { return FBits != nullptr; }

  void Fill(const TRect& r, TColor color) {
    GdiFlush();
    const COLORREF c = ToColorRef(color);
    const TRect v = r.Intersect({0, 0, FWidth, FHeight});
    for (int y = v.Top; y < v.Bottom; ++y) {
      std::uint8_t* p = Row(y) + static_cast<std::size_t>(v.Left) * 4;
      for (int x = v.Left; x < v.Right; ++x, p += 4) {
        p[0] = GetBValue(c);
        p[1] = GetGValue(c);
        p[2] = GetRValue(c);
        p[3] = 255;
      }
    }
  }
  // Straight-alpha pixels blended over what is there, clipped to clip.
  void Blend(const TBitmap32& b, int left, int top, const TRect& clip) {
    GdiFlush();
    const TRect v = Bounds(left, top, b.Width, b.Height).Intersect(clip).Intersect({0, 0, FWidth, FHeight});
    for (int y = v.Top; y < v.Bottom; ++y) {
      std::uint8_t* p = Row(y) + static_cast<std::size_t>(v.Left) * 4;
      const std::uint8_t* s =
          b.Rgba.data() + (static_cast<std::size_t>(y - top) * static_cast<std::size_t>(b.Width) +
                           static_cast<std::size_t>(v.Left - left)) * 4;
      for (int x = v.Left; x < v.Right; ++x, p += 4, s += 4) {
        const unsigned a = s[3];
        p[0] = static_cast<std::uint8_t>((s[2] * a + p[0] * (255 - a)) / 255);
        p[1] = static_cast<std::uint8_t>((s[1] * a + p[1] * (255 - a)) / 255);
        p[2] = static_cast<std::uint8_t>((s[0] * a + p[2] * (255 - a)) / 255);
      }
    }
  }
  void Text(const std::string& text, const TRect& r, const TRect& clip, const TFont& font, UINT format) {
    const std::wstring wide = Utf8ToWide(text);
    HRGN region = CreateRectRgn(clip.Left, clip.Top, clip.Right, clip.Bottom);
    SelectClipRgn(FDc, region);
    HGDIOBJ old = SelectObject(FDc, Gdi().Font(font));
    SetBkMode(FDc, TRANSPARENT);
    SetTextColor(FDc, ToColorRef(font.Color));
    RECT rc{r.Left, r.Top, r.Right, r.Bottom};
    DrawTextW(FDc, wide.c_str(), static_cast<int>(wide.size()), &rc, format | DT_NOPREFIX);
    SelectObject(FDc, old);
    SelectClipRgn(FDc, nullptr);
    DeleteObject(region);
  }

 private:
  std::uint8_t* Row(int y) const { return FBits + static_cast<std::size_t>(y) * static_cast<std::size_t>(FWidth) * 4; }
  int FWidth, FHeight;
  HBITMAP FBitmap = nullptr;
  std::uint8_t* FBits = nullptr;
  HDC FDc = nullptr;
  HGDIOBJ FOld = nullptr;
};

void PaintControl(TDibCanvas& canvas, TControl& control, const TRect& clip);

void PaintChildren(TDibCanvas& canvas, TControl& parent, const TRect& clip) {
  for (TControl* child : parent.Controls()) PaintControl(canvas, *child, clip);
}

void PaintLabel(TDibCanvas& canvas, const TLabel& label, const TRect& rect, const TRect& clip) {
  if (!label.Transparent && !label.AutoSize) canvas.Fill(clip, label.EffectiveColor());
  UINT format = DT_LEFT;
  if (label.WordWrap) format |= DT_WORDBREAK;
  else format |= DT_SINGLELINE;
  if (label.Layout == TTextLayout::tlCenter) format |= DT_VCENTER | DT_SINGLELINE;
  canvas.Text(label.Caption(), rect, clip, label.Font(), format);
}

void PaintShape(TDibCanvas& canvas, const TShape& shape, const TRect& rect, const TRect& clip) {
  canvas.Fill(rect.Intersect(clip), shape.BrushColor);
  const TRect edges[] = {{rect.Left, rect.Top, rect.Right, rect.Top + 1},
                         {rect.Left, rect.Bottom - 1, rect.Right, rect.Bottom},
                         {rect.Left, rect.Top, rect.Left + 1, rect.Bottom},
                         {rect.Right - 1, rect.Top, rect.Right, rect.Bottom}};
  for (const TRect& e : edges) canvas.Fill(e.Intersect(clip), shape.PenColor);
}

void PaintControl(TDibCanvas& canvas, TControl& control, const TRect& clip) {
  if (!control.Visible() || control.Windowed()) return;
  const TRect rect = control.FormRect();
  const TRect visible = rect.Intersect(clip);
  if (visible.Empty()) return;
  if (auto* label = dynamic_cast<TLabel*>(&control)) {
    if (label->AutoSize && !label->WordWrap) {
      const TRect grown{rect.Left, rect.Top, std::max(rect.Right, clip.Right), rect.Bottom};
      PaintLabel(canvas, *label, grown, grown.Intersect(clip));
    } else {
      PaintLabel(canvas, *label, rect, visible);
    }
  } else if (auto* shape = dynamic_cast<TShape*>(&control)) {
    PaintShape(canvas, *shape, rect, visible);
  } else if (auto* image = dynamic_cast<TImage*>(&control)) {
    if (!image->Picture().Empty()) canvas.Blend(image->Picture().Frames.front(), rect.Left, rect.Top, visible);
  } else if (auto* animation = dynamic_cast<TGIFAnimator*>(&control)) {
    const TPicture& p = animation->Picture();
    if (!p.Empty()) {
      canvas.Blend(p.Frames[static_cast<std::size_t>(animation->FrameIndex() % p.FrameCount())], rect.Left, rect.Top,
                   visible);
    }
  } else if (!control.ParentColor) {
    canvas.Fill(visible, control.EffectiveColor());
  }
  PaintChildren(canvas, control, visible);
}

// Visible itself and every parent below the form (the form's own state aside).
bool VisibleInForm(const TControl& control) {
  for (const TControl* c = &control; c != nullptr && dynamic_cast<const TForm*>(c) == nullptr; c = c->Parent()) {
    if (!c->Visible()) return false;
  }
  return true;
}

// A state image for the image list: composed over the list's white, opaque
// colour bits with a zero alpha channel so that the mask decides transparency.
HBITMAP MakeImageBitmap(const TBitmap32& image) {
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  bi.bmiHeader.biWidth = image.Width;
  bi.bmiHeader.biHeight = -image.Height;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  bi.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (bitmap == nullptr) return nullptr;
  auto* p = static_cast<std::uint8_t*>(bits);
  for (std::size_t i = 0; i + 3 < image.Rgba.size(); i += 4, p += 4) {
    const unsigned a = image.Rgba[i + 3];
    p[0] = static_cast<std::uint8_t>((image.Rgba[i + 2] * a + 255 * (255 - a)) / 255);
    p[1] = static_cast<std::uint8_t>((image.Rgba[i + 1] * a + 255 * (255 - a)) / 255);
    p[2] = static_cast<std::uint8_t>((image.Rgba[i] * a + 255 * (255 - a)) / 255);
    p[3] = 0;
  }
  return bitmap;
}

// Monochrome, word-aligned rows; a set bit is a transparent pixel.
HBITMAP MakeImageMask(const TBitmap32& image) {
  const int stride = (image.Width + 15) / 16 * 2;
  std::vector<std::uint8_t> bits(static_cast<std::size_t>(stride * image.Height), 0);
  for (int y = 0; y < image.Height; ++y) {
    for (int x = 0; x < image.Width; ++x) {
      if ((image.Pixel(x, y) >> 24) < 128) {
        bits[static_cast<std::size_t>(y * stride + x / 8)] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
      }
    }
  }
  return CreateBitmap(image.Width, image.Height, 1, 1, bits.data());
}

void PaintGradient(TDibCanvas& canvas, const TRect& r, TColor from, TColor to) {
  const int h = std::max(r.Height(), 1);
  for (int y = 0; y < r.Height(); ++y) {
    const auto mix = [&](int shift) {
      const int a = static_cast<int>((from >> shift) & 255), b = static_cast<int>((to >> shift) & 255);
      return static_cast<TColor>(a + (b - a) * y / h) << shift;
    };
    canvas.Fill({r.Left, r.Top + y, r.Right, r.Top + y + 1}, mix(16) | mix(8) | mix(0));
  }
}
}  // namespace

// ---- [Forms] Records of the windows the backend made.

struct TWin32Platform::TWindowRecord {
  TWin32Platform* Platform = nullptr;
  TControl* Control = nullptr;  // we don't own it
  HWND Hwnd = nullptr;
  bool Hot = false;
  bool Pressed = false;
  HIMAGELIST Images = nullptr;  // owned: the list view shares it
};

struct TWin32Platform::TFormWindow {
  TWindowRecord Self;
  std::vector<std::unique_ptr<TWindowRecord>> Children;
};

struct TWin32Access {
  static LRESULT FormProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  static LRESULT ButtonProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  static void PaintForm(TWin32Platform::TFormWindow& window);
  static void PaintButton(TWin32Platform::TWindowRecord& record);
};

namespace {
TWin32Platform::TWindowRecord* RecordOf(HWND hwnd) {
  return reinterpret_cast<TWin32Platform::TWindowRecord*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
}

LRESULT CALLBACK FormWndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  return TWin32Access::FormProc(hwnd, msg, wp, lp);
}
LRESULT CALLBACK ButtonWndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  return TWin32Access::ButtonProc(hwnd, msg, wp, lp);
}
}  // namespace

void TWin32Access::PaintForm(TWin32Platform::TFormWindow& window) {
  HWND hwnd = window.Self.Hwnd;
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(hwnd, &ps);
  RECT client;
  ::GetClientRect(hwnd, &client);
  TDibCanvas canvas(dc, client.right, client.bottom);
  if (canvas.Valid()) {
    TControl& form = *window.Self.Control;
    const TRect all{0, 0, client.right, client.bottom};
    canvas.Fill(all, form.EffectiveColor());
    PaintChildren(canvas, form, all);
    BitBlt(dc, ps.rcPaint.left, ps.rcPaint.top, ps.rcPaint.right - ps.rcPaint.left, ps.rcPaint.bottom - ps.rcPaint.top,
           canvas.Dc(), ps.rcPaint.left, ps.rcPaint.top, SRCCOPY);
  }
  EndPaint(hwnd, &ps);
}

LRESULT TWin32Access::FormProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_NCCREATE) {
    auto* record = static_cast<TWin32Platform::TWindowRecord*>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams);
    record->Hwnd = hwnd;
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(record));
  }
  TWin32Platform::TWindowRecord* record = RecordOf(hwnd);
  if (record == nullptr || record->Control == nullptr) return DefWindowProcW(hwnd, msg, wp, lp);
  auto& form = static_cast<TForm&>(*record->Control);
  switch (msg) {
    case WM_PAINT: {
      TWin32Platform::TFormWindow* window = record->Platform->WindowOf(form);
      if (window != nullptr) {
        PaintForm(*window);
        return 0;
      }
      break;
    }
    case WM_ERASEBKGND:
      return 1;
    case WM_CLOSE:
      // The system's close command: the form decides (the main form ends the program).
      DispatchGuarded(*record->Platform, [&form] { form.Close(); });
      return 0;
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT: {
      TWin32Platform::TWindowRecord* child = RecordOf(reinterpret_cast<HWND>(lp));
      if (child == nullptr || child->Control == nullptr) break;
      const TColor back = child->Control->EffectiveColor();
      SetTextColor(reinterpret_cast<HDC>(wp), ToColorRef(child->Control->Font().Color));
      SetBkColor(reinterpret_cast<HDC>(wp), ToColorRef(back));
      return reinterpret_cast<LRESULT>(Gdi().Brush(back));
    }
    default:
      break;
  }
  return DefWindowProcW(hwnd, msg, wp, lp);
}

// ---- [Buttons]

void TWin32Access::PaintButton(TWin32Platform::TWindowRecord& record) {
  auto& button = static_cast<TGlowButton&>(*record.Control);
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(record.Hwnd, &ps);
  RECT client;
  ::GetClientRect(record.Hwnd, &client);
  TDibCanvas canvas(dc, client.right, client.bottom);
  if (canvas.Valid()) {
    const TGlowAppearance& a = button.Appearance;
    const TGlowColors& c = !IsWindowEnabled(record.Hwnd) ? a.Disabled
                           : record.Pressed               ? a.Pressed
                           : record.Hot                   ? a.Hot
                                                          : a.Normal;
    const int w = client.right, h = client.bottom, half = h / 2;
    PaintGradient(canvas, {0, 0, w, half}, c.UpperFrom, c.UpperTo);
    PaintGradient(canvas, {0, half, w, h}, c.LowerFrom, c.LowerTo);
    const TRect all{0, 0, w, h};
    canvas.Fill({0, 0, w, 1}, c.Border);
    canvas.Fill({0, h - 1, w, h}, c.Border);
    canvas.Fill({0, 0, 1, h}, c.Border);
    canvas.Fill({w - 1, 0, w, h}, c.Border);
    canvas.Text(button.Caption(), all, all, button.Font(), DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    if (GetFocus() == record.Hwnd) {
      RECT focus{3, 3, w - 3, h - 3};
      DrawFocusRect(canvas.Dc(), &focus);
    }
    BitBlt(dc, 0, 0, w, h, canvas.Dc(), 0, 0, SRCCOPY);
  }
  EndPaint(record.Hwnd, &ps);
}

LRESULT TWin32Access::ButtonProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_NCCREATE) {
    auto* record = static_cast<TWin32Platform::TWindowRecord*>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams);
    record->Hwnd = hwnd;
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(record));
  }
  TWin32Platform::TWindowRecord* record = RecordOf(hwnd);
  if (record == nullptr || record->Control == nullptr) return DefWindowProcW(hwnd, msg, wp, lp);
  const auto click = [record] {
    TControl* control = record->Control;
    DispatchGuarded(*record->Platform, [control] { control->Click(); });
  };
  switch (msg) {
    case WM_PAINT:
      PaintButton(*record);
      return 0;
    case WM_ERASEBKGND:
      return 1;
    case WM_MOUSEMOVE:
      if (!record->Hot) {
        record->Hot = true;
        TRACKMOUSEEVENT track{sizeof(track), TME_LEAVE, hwnd, 0};
        TrackMouseEvent(&track);
        InvalidateRect(hwnd, nullptr, FALSE);
      }
      return 0;
    case WM_MOUSELEAVE:
      record->Hot = false;
      InvalidateRect(hwnd, nullptr, FALSE);
      return 0;
    case WM_LBUTTONDOWN:
      SetCapture(hwnd);
      SetFocus(hwnd);
      record->Pressed = true;
      InvalidateRect(hwnd, nullptr, FALSE);
      return 0;
    case WM_LBUTTONUP: {
      const bool wasPressed = record->Pressed;
      record->Pressed = false;
      if (GetCapture() == hwnd) ReleaseCapture();
      InvalidateRect(hwnd, nullptr, FALSE);
      RECT client;
      ::GetClientRect(hwnd, &client);
      const POINT pt{static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))};
      if (wasPressed && PtInRect(&client, pt)) click();
      return 0;
    }
    case WM_CAPTURECHANGED:
      record->Pressed = false;
      InvalidateRect(hwnd, nullptr, FALSE);
      return 0;
    case WM_KEYUP:
      if (wp == VK_SPACE || wp == VK_RETURN) click();
      return 0;
    case BM_CLICK:
      click();
      return 0;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
    case WM_ENABLE:
      InvalidateRect(hwnd, nullptr, FALSE);
      return 0;
    case WM_GETDLGCODE: {
      // Enter and space press the focused button itself rather than the dialog's default.
      const auto* key = reinterpret_cast<const MSG*>(lp);
      const bool press = key != nullptr && (key->message == WM_KEYDOWN || key->message == WM_KEYUP) &&
                         (key->wParam == VK_RETURN || key->wParam == VK_SPACE);
      return DLGC_BUTTON | DLGC_UNDEFPUSHBUTTON | (press ? DLGC_WANTMESSAGE : 0);
    }
    default:
      break;
  }
  return DefWindowProcW(hwnd, msg, wp, lp);
}

// ---- TWin32Platform

TWin32Platform::TWin32Platform(void* instance) : FInstance(instance) {
  INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&icc);
  const auto hinst = static_cast<HINSTANCE>(FInstance);
  WNDCLASSEXW form{};
  form.cbSize = sizeof(form);
  form.lpfnWndProc = FormWndProc;
  form.hInstance = hinst;
  form.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  form.hIcon = LoadIconW(hinst, MAKEINTRESOURCEW(1));
  form.lpszClassName = kFormClass;
  RegisterClassExW(&form);
  WNDCLASSEXW button = form;
  button.lpfnWndProc = ButtonWndProc;
  button.hIcon = nullptr;
  button.lpszClassName = kButtonClass;
  RegisterClassExW(&button);
}

TWin32Platform::~TWin32Platform() {
  const auto hinst = static_cast<HINSTANCE>(FInstance);
  UnregisterClassW(kButtonClass, hinst);
  UnregisterClassW(kFormClass, hinst);
}

TWin32Platform::TFormWindow* TWin32Platform::WindowOf(const TControl& control) const {
  const TForm* form = control.ParentForm();
  if (form == nullptr) return nullptr;
  std::lock_guard lock(FLock);
  const auto it = FWindows.find(form);
  return it != FWindows.end() ? it->second.get() : nullptr;
}

TWin32Platform::TWindowRecord* TWin32Platform::ChildOf(const TControl& control) const {
  TFormWindow* window = WindowOf(control);
  if (window == nullptr) return nullptr;
  for (const auto& child : window->Children) {
    if (child->Control == &control) return child.get();
  }
  return nullptr;
}

void TWin32Platform::RegisterForm(TForm& form) { FForms.push_back(&form); }

void TWin32Platform::UnregisterForm(TForm& form) {
  FForms.erase(std::remove(FForms.begin(), FForms.end(), &form), FForms.end());
}

TWindowHandle TWin32Platform::HandleNeeded(TForm& form) {
  auto window = std::make_unique<TFormWindow>();
  window->Self.Platform = this;
  window->Self.Control = &form;
  HWND owner = nullptr;
  if (!form.IsMainForm && !form.AlphaBlend) {
    for (TForm* other : FForms) {
      if (other->IsMainForm && other->HandleAllocated()) owner = reinterpret_cast<HWND>(other->Handle());
    }
  }
  DWORD exStyle = form.IsMainForm ? WS_EX_APPWINDOW : 0;
  if (form.AlphaBlend) exStyle |= WS_EX_LAYERED | WS_EX_TOOLWINDOW;
  const std::wstring title = Utf8ToWide(form.IsMainForm && form.Caption().empty() ? FTitle : form.Caption());
  HWND hwnd = CreateWindowExW(exStyle, kFormClass, title.c_str(), WS_POPUP | WS_CLIPCHILDREN | WS_SYSMENU,
                              form.Left(), form.Top(), form.Width(), form.Height(), owner, nullptr,
                              static_cast<HINSTANCE>(FInstance), &window->Self);
  if (hwnd == nullptr) return 0;
  if (form.AlphaBlend) SetLayeredWindowAttributes(hwnd, 0, static_cast<BYTE>(form.AlphaBlendValue), LWA_ALPHA);
  TFormWindow& ref = *window;
  {
    std::lock_guard lock(FLock);
    FWindows[&form] = std::move(window);
  }
  form.SetHandleValue(reinterpret_cast<TWindowHandle>(hwnd));
  CreateChildren(ref, form);
  return reinterpret_cast<TWindowHandle>(hwnd);
}

void TWin32Platform::CreateChildren(TFormWindow& window, TControl& parent) {
  for (TControl* child : parent.Controls()) {
    if (child->Windowed()) CreateChild(window, *child);
    CreateChildren(window, *child);
  }
}

void TWin32Platform::CreateChild(TFormWindow& window, TControl& control) {
  auto record = std::make_unique<TWindowRecord>();
  record->Platform = this;
  record->Control = &control;
  const TRect r = control.FormRect();
  HWND parent = window.Self.Hwnd;
  const auto hinst = static_cast<HINSTANCE>(FInstance);
  DWORD style = WS_CHILD | (control.Enabled() ? 0 : WS_DISABLED) | (control.TabStop ? WS_TABSTOP : 0);
  HWND hwnd = nullptr;
  if (dynamic_cast<TGlowButton*>(&control) != nullptr) {
    const std::wstring caption = Utf8ToWide(control.Caption());
    hwnd = CreateWindowExW(0, kButtonClass, caption.c_str(), style, r.Left, r.Top, r.Width(), r.Height(), parent,
                           nullptr, hinst, record.get());
  } else if (auto* memo = dynamic_cast<TMemo*>(&control)) {
    style |= ES_MULTILINE | ES_AUTOVSCROLL | (memo->ReadOnly ? ES_READONLY : 0);
    hwnd = CreateWindowExW(memo->BorderNone ? 0 : WS_EX_CLIENTEDGE, L"EDIT", L"", style, r.Left, r.Top, r.Width(),
                           r.Height(), parent, nullptr, hinst, nullptr);
  } else if (auto* list = dynamic_cast<TListView*>(&control)) {
    style |= LVS_SHAREIMAGELISTS | LVS_SINGLESEL | (list->ReportStyle ? LVS_REPORT : 0) |
             (list->ShowColumnHeaders ? 0 : LVS_NOCOLUMNHEADER) | (list->ColumnClick ? 0 : LVS_NOSORTHEADER);
    hwnd = CreateWindowExW(list->BorderNone ? 0 : WS_EX_CLIENTEDGE, WC_LISTVIEWW, L"", style, r.Left, r.Top,
                           r.Width(), r.Height(), parent, nullptr, hinst, nullptr);
    if (hwnd != nullptr) {
      for (std::size_t i = 0; i < list->ColumnWidths.size(); ++i) {
        LVCOLUMNW column{};
        column.mask = LVCF_WIDTH;
        column.cx = list->ColumnWidths[i];
        SendMessageW(hwnd, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&column));
      }
      const COLORREF back = ToColorRef(list->EffectiveColor());
      SendMessageW(hwnd, LVM_SETBKCOLOR, 0, static_cast<LPARAM>(back));
      SendMessageW(hwnd, LVM_SETTEXTBKCOLOR, 0, static_cast<LPARAM>(back));
      SendMessageW(hwnd, LVM_SETTEXTCOLOR, 0, static_cast<LPARAM>(ToColorRef(list->Font().Color)));
      if (list->StateImages != nullptr) {
        const TImageList& images = *list->StateImages;
        record->Images = ImageList_Create(images.Width, images.Height, ILC_COLOR32 | ILC_MASK,
                                          static_cast<int>(images.Images.size()), 0);
        for (const TBitmap32& image : images.Images) {
          HBITMAP colour = MakeImageBitmap(image);
          HBITMAP mask = MakeImageMask(image);
          ImageList_Add(record->Images, colour, mask);
          DeleteObject(mask);
          DeleteObject(colour);
        }
        SendMessageW(hwnd, LVM_SETIMAGELIST, LVSIL_STATE, reinterpret_cast<LPARAM>(record->Images));
      }
    }
  }
  if (hwnd == nullptr) return;
  record->Hwnd = hwnd;
  if (dynamic_cast<TGlowButton*>(&control) == nullptr) {
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(record.get()));
  }
  SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(Gdi().Font(control.Font())), FALSE);
  TWindowRecord& ref = *record;
  window.Children.push_back(std::move(record));
  SyncItems(ref);
  ShowWindow(hwnd, VisibleInForm(control) ? SW_SHOWNA : SW_HIDE);
}

void TWin32Platform::SyncItems(TWindowRecord& child) {
  HWND hwnd = child.Hwnd;
  if (auto* memo = dynamic_cast<TMemo*>(child.Control)) {
    std::string text;
    const TStringList& lines = memo->Lines();
    for (int i = 0; i < lines.Count(); ++i) {
      if (i > 0) text += "\r\n";
      text += lines[i];
    }
    const std::wstring wide = Utf8ToWide(text);
    SetWindowTextW(hwnd, wide.c_str());
    // Keep the latest line in sight, as appending to the control does.
    const auto end = static_cast<WPARAM>(wide.size());
    SendMessageW(hwnd, EM_SETSEL, end, static_cast<LPARAM>(end));
    SendMessageW(hwnd, EM_SCROLLCARET, 0, 0);
  } else if (auto* list = dynamic_cast<TListView*>(child.Control)) {
    SendMessageW(hwnd, WM_SETREDRAW, FALSE, 0);
    SendMessageW(hwnd, LVM_DELETEALLITEMS, 0, 0);
    for (int i = 0; i < list->ItemCount(); ++i) {
      const TListItem& item = list->Item(i);
      std::wstring caption = Utf8ToWide(item.Caption());
      LVITEMW lv{};
      lv.mask = LVIF_TEXT | LVIF_STATE;
      lv.iItem = i;
      lv.pszText = caption.data();
      lv.state = INDEXTOSTATEIMAGEMASK(static_cast<UINT>(item.StateIndex() + 1));
      lv.stateMask = LVIS_STATEIMAGEMASK;
      const auto index = SendMessageW(hwnd, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&lv));
      // The step number (second sub-item) has no column: it is never displayed.
      if (!item.SubItems().empty()) {
        std::wstring text = Utf8ToWide(item.SubItems()[0]);
        LVITEMW sub{};
        sub.iSubItem = 1;
        sub.pszText = text.data();
        SendMessageW(hwnd, LVM_SETITEMTEXTW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&sub));
      }
      LVITEMW state{};
      state.stateMask = LVIS_STATEIMAGEMASK;
      state.state = lv.state;
      SendMessageW(hwnd, LVM_SETITEMSTATE, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&state));
    }
    SendMessageW(hwnd, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(hwnd, nullptr, TRUE);
  }
}

void TWin32Platform::SyncChild(TWindowRecord& child, TControlChange change) {
  TControl& control = *child.Control;
  HWND hwnd = child.Hwnd;
  switch (change) {
    case TControlChange::Bounds: {
      const TRect r = control.FormRect();
      MoveWindow(hwnd, r.Left, r.Top, r.Width(), r.Height(), TRUE);
      break;
    }
    case TControlChange::Caption: {
      const std::wstring caption = Utf8ToWide(control.Caption());
      SetWindowTextW(hwnd, caption.c_str());
      InvalidateRect(hwnd, nullptr, FALSE);
      break;
    }
    case TControlChange::Enabled:
      EnableWindow(hwnd, control.Enabled() ? TRUE : FALSE);
      break;
    case TControlChange::Visible:
      ShowWindow(hwnd, VisibleInForm(control) ? SW_SHOWNA : SW_HIDE);
      break;
    case TControlChange::Font:
      SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(Gdi().Font(control.Font())), TRUE);
      break;
    case TControlChange::Items:
      SyncItems(child);
      break;
    case TControlChange::Color:
    case TControlChange::Picture:
    case TControlChange::Appearance:
      InvalidateRect(hwnd, nullptr, TRUE);
      break;
  }
}

void TWin32Platform::SyncChildren(TFormWindow& window) {
  for (const auto& child : window.Children) {
    ShowWindow(child->Hwnd, VisibleInForm(*child->Control) ? SW_SHOWNA : SW_HIDE);
    const TRect r = child->Control->FormRect();
    MoveWindow(child->Hwnd, r.Left, r.Top, r.Width(), r.Height(), TRUE);
  }
}

void TWin32Platform::ShowForm(TForm& form) {
  TFormWindow* window = WindowOf(form);
  if (window == nullptr) return;
  SyncChildren(*window);
  HWND hwnd = window->Self.Hwnd;
  ::SetWindowPos(hwnd, nullptr, form.Left(), form.Top(), form.Width(), form.Height(), SWP_NOZORDER | SWP_NOACTIVATE);
  ShowWindow(hwnd, SW_SHOW);
  SetForegroundWindow(hwnd);
  // The first control in tab order takes the focus, as a shown form gives it.
  if (const TControl* first = form.FindNextControl(nullptr, true)) {
    if (TWindowRecord* child = ChildOf(*first)) SetFocus(child->Hwnd);
  }
  UpdateWindow(hwnd);
}

void TWin32Platform::HideForm(TForm& form) {
  if (TFormWindow* window = WindowOf(form)) ShowWindow(window->Self.Hwnd, SW_HIDE);
}

void TWin32Platform::DestroyHandle(TForm& form) {
  std::unique_ptr<TFormWindow> window;
  {
    std::lock_guard lock(FLock);
    const auto it = FWindows.find(&form);
    if (it == FWindows.end()) return;
    window = std::move(it->second);
    FWindows.erase(it);
  }
  for (const auto& child : window->Children) child->Control = nullptr;
  window->Self.Control = nullptr;
  DestroyWindow(window->Self.Hwnd);
  for (const auto& child : window->Children) {
    if (child->Images != nullptr) ImageList_Destroy(child->Images);
  }
  form.SetHandleValue(0);
}

void TWin32Platform::ControlChanged(TControl& control, TControlChange change) {
  TFormWindow* window = WindowOf(control);
  if (window == nullptr) return;
  if (&control == window->Self.Control) {
    auto& form = static_cast<TForm&>(control);
    if (change == TControlChange::Bounds) {
      ::SetWindowPos(window->Self.Hwnd, nullptr, form.Left(), form.Top(), form.Width(), form.Height(),
                     SWP_NOZORDER | SWP_NOACTIVATE);
    } else if (change == TControlChange::Caption) {
      const std::wstring caption = Utf8ToWide(form.Caption());
      SetWindowTextW(window->Self.Hwnd, caption.c_str());
    }
    InvalidateRect(window->Self.Hwnd, nullptr, FALSE);
    return;
  }
  if (TWindowRecord* child = ChildOf(control)) {
    SyncChild(*child, change);
    return;
  }
  // A painted control: its children may include windows that must follow it.
  if (change == TControlChange::Visible || change == TControlChange::Bounds) SyncChildren(*window);
  InvalidateRect(window->Self.Hwnd, nullptr, FALSE);
}

void TWin32Platform::ControlDestroyed(TControl& control) {
  if (TWindowRecord* child = ChildOf(control)) child->Control = nullptr;
}

void TWin32Platform::Repaint(TControl& control) {
  if (TWindowRecord* child = ChildOf(control)) {
    RedrawWindow(child->Hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_FRAME);
    return;
  }
  TFormWindow* window = WindowOf(control);
  if (window == nullptr) return;
  const TRect r = control.FormRect();
  RECT rc{r.Left, r.Top, r.Right, r.Bottom};
  RedrawWindow(window->Self.Hwnd, &rc, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
}

// Runs on an animation's thread: it reads only the snapshot and the window map.
void TWin32Platform::DrawAnimationFrame(const TAnimationFrame& frame) {
  std::lock_guard lock(FLock);
  const auto it = FWindows.find(frame.Form);
  if (it == FWindows.end() || frame.Pixels == nullptr || frame.Clip.Empty()) return;
  HWND hwnd = it->second->Self.Hwnd;
  if (!IsWindowVisible(hwnd)) return;
  HDC dc = GetDC(hwnd);
  if (dc == nullptr) return;
  {
    const TRect& r = frame.Rect;
    TDibCanvas canvas(dc, r.Width(), r.Height());
    if (canvas.Valid()) {
      const TRect local = frame.Clip.Offset(-r.Left, -r.Top);
      canvas.Fill({0, 0, r.Width(), r.Height()}, frame.Background);
      canvas.Blend(*frame.Pixels, 0, 0, local);
      GdiFlush();
      BitBlt(dc, frame.Clip.Left, frame.Clip.Top, frame.Clip.Width(), frame.Clip.Height(), canvas.Dc(), local.Left,
             local.Top, SRCCOPY);
    }
  }
  ReleaseDC(hwnd, dc);
}

// ---- [Loop]

namespace {
// Tab without Ctrl or Alt. With no focused window the system sends the key to
// the active window as a system key, which Alt+Tab also is: the context bit tells them apart.
bool IsTabKey(const MSG& msg) {
  if (msg.wParam != VK_TAB || (GetKeyState(VK_CONTROL) & 0x8000) != 0) return false;
  if (msg.message == WM_KEYDOWN) return true;
  return msg.message == WM_SYSKEYDOWN && (msg.lParam & (1 << 29)) == 0;
}
}  // namespace

bool TWin32Platform::MoveFocusByTab(void* root, bool backward) {
  TFormWindow* window = nullptr;
  {
    std::lock_guard lock(FLock);
    for (const auto& [form, candidate] : FWindows) {
      if (candidate->Self.Hwnd == static_cast<HWND>(root)) window = candidate.get();
    }
  }
  if (window == nullptr || window->Self.Control == nullptr) return false;
  const HWND focus = GetFocus();
  const TControl* current = nullptr;
  for (const auto& child : window->Children) {
    if (child->Hwnd == focus) current = child->Control;
  }
  const TControl* next = static_cast<TForm&>(*window->Self.Control).FindNextControl(current, !backward);
  if (next != nullptr) {
    if (TWindowRecord* child = ChildOf(*next)) SetFocus(child->Hwnd);
  }
  return true;
}

void TWin32Platform::PostQuit() { PostQuitMessage(0); }

void TWin32Platform::HandleMessage() {
  MSG msg;
  const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
  if (got == 0 || got == -1) {
    FTerminated = true;
    return;
  }
  HWND root = msg.hwnd != nullptr ? GetAncestor(msg.hwnd, GA_ROOT) : nullptr;
  // Tab follows the stored tab order, which the dialog manager (creation order) does not know.
  if (root != nullptr && IsTabKey(msg) && MoveFocusByTab(root, (GetKeyState(VK_SHIFT) & 0x8000) != 0)) return;
  if (root != nullptr && IsDialogMessageW(root, &msg)) return;
  TranslateMessage(&msg);
  DispatchMessageW(&msg);
}

void TWin32Platform::BeginModal(TForm& form) {
  FModalMarks.push_back(FDisabledForModal.size());
  for (TForm* other : FForms) {
    if (other == &form || !other->HandleAllocated()) continue;
    HWND hwnd = reinterpret_cast<HWND>(other->Handle());
    FDisabledForModal.emplace_back(hwnd, EnableWindow(hwnd, FALSE) == 0);
  }
}

void TWin32Platform::EndModal(TForm&) {
  if (FModalMarks.empty()) return;
  const std::size_t mark = FModalMarks.back();
  FModalMarks.pop_back();
  while (FDisabledForModal.size() > mark) {
    const auto [hwnd, wasEnabled] = FDisabledForModal.back();
    FDisabledForModal.pop_back();
    if (wasEnabled && IsWindow(static_cast<HWND>(hwnd))) EnableWindow(static_cast<HWND>(hwnd), TRUE);
  }
}

void TWin32Platform::SetApplicationTitle(const std::string& title) { FTitle = title; }

void TWin32Platform::ShowErrorBox(const std::string& text) {
  const std::wstring wide = Utf8ToWide(text);
  const std::wstring caption = Utf8ToWide(FTitle);
  MessageBoxW(GetActiveWindow(), wide.c_str(), caption.c_str(), MB_OK | MB_ICONSTOP);
}

int TWin32Platform::ScreenWidth() const { return GetSystemMetrics(SM_CXSCREEN); }

int TWin32Platform::ScreenHeight() const { return GetSystemMetrics(SM_CYSCREEN); }

TRect TWin32Platform::WorkArea() const {
  RECT r{0, 0, ScreenWidth(), ScreenHeight()};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &r, 0);
  return {r.left, r.top, r.right, r.bottom};
}

namespace {
int CALLBACK CollectFont(const LOGFONTW* font, const TEXTMETRICW*, DWORD, LPARAM target) {
  auto& names = *reinterpret_cast<std::vector<std::string>*>(target);
  const std::string name = WideToUtf8(font->lfFaceName);
  // '@' marks the vertical variants, which the screen list leaves out.
  if (!name.empty() && name[0] != '@' && std::find(names.begin(), names.end(), name) == names.end()) {
    names.push_back(name);
  }
  return 1;
}
}  // namespace

std::vector<std::string> TWin32Platform::ScreenFonts() const {
  std::vector<std::string> names;
  HDC dc = GetDC(nullptr);
  LOGFONTW query{};
  query.lfCharSet = DEFAULT_CHARSET;
  EnumFontFamiliesExW(dc, &query, CollectFont, reinterpret_cast<LPARAM>(&names), 0);
  ReleaseDC(nullptr, dc);
  std::sort(names.begin(), names.end());
  return names;
}

TWindowHandle TWin32Platform::FindWindowA(const std::string& className, const std::string& windowName) const {
  return reinterpret_cast<TWindowHandle>(::FindWindowA(className.c_str(), windowName.c_str()));
}

bool TWin32Platform::GetWindowRect(TWindowHandle window, TRect& rect) const {
  RECT r;
  if (!::GetWindowRect(reinterpret_cast<HWND>(window), &r)) return false;
  rect = {r.left, r.top, r.right, r.bottom};
  return true;
}

bool TWin32Platform::SetWindowPos(TWindowHandle window, TWindowHandle insertAfter, int x, int y, int cx, int cy,
                                  unsigned flags) {
  return ::SetWindowPos(reinterpret_cast<HWND>(window), reinterpret_cast<HWND>(insertAfter), x, y, cx, cy, flags) !=
         0;
}
