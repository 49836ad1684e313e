// Colours, the GDI cache and the off-screen canvas of the Win32 backend.
#include "ui/Win32Paint.h"

#include <algorithm>

#include "rtl/ScopeExit.h"
#include "rtl/Win32Text.h"

COLORREF ToColorRef(TColor c) {
  if (IsSystemColor(c)) return GetSysColor(static_cast<int>(c & 0xFF));
  return RGB((c >> 16) & 255, (c >> 8) & 255, c & 255);
}

TGdiCache& TGdiCache::Instance() {
  static TGdiCache cache;
  return cache;
}

HFONT TGdiCache::Font(const TFont& f) {
  const std::string key = f.Name + "|" + std::to_string(f.Height) + "|" + (f.Bold() ? "b" : "r");
  const auto it = FFonts.find(key);
  if (it != FFonts.end()) return it->second.Get();
  const std::wstring face = Utf8ToWide(f.Name);
  TFontHandle font(CreateFontW(f.Height, 0, 0, 0, f.Bold() ? FW_BOLD : FW_NORMAL, FALSE, FALSE,
                               FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                               DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, face.c_str()));
  const HFONT result = font.Get();
  FFonts[key] = std::move(font);
  return result;
}

HBRUSH TGdiCache::Brush(TColor c) {
  const auto it = FBrushes.find(c);
  if (it != FBrushes.end()) return it->second.Get();
  TBrushHandle brush(CreateSolidBrush(ToColorRef(c)));
  const HBRUSH result = brush.Get();
  FBrushes[c] = std::move(brush);
  return result;
}

TBitmapHandle MakeDib(HDC reference, int width, int height, void** bits) {
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  bi.bmiHeader.biWidth = width;
  bi.bmiHeader.biHeight = -height;  // negative: top-down rows
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  bi.bmiHeader.biCompression = BI_RGB;
  *bits = nullptr;
  return TBitmapHandle(CreateDIBSection(reference, &bi, DIB_RGB_COLORS, bits, nullptr, 0));
}

TDibCanvas::TDibCanvas(HDC reference, int width, int height)
    : FWidth(std::max(width, 1)), FHeight(std::max(height, 1)) {
  void* bits = nullptr;
  FBitmap = MakeDib(reference, FWidth, FHeight, &bits);
  FBits = static_cast<std::uint8_t*>(bits);
  FDc = TMemoryDc(CreateCompatibleDC(reference));
  FOld = Select(FDc.Get(), FBitmap.Get());
}

std::uint8_t* TDibCanvas::Row(int y) const {
  return FBits + static_cast<std::size_t>(y) * static_cast<std::size_t>(FWidth) * 4;
}

void TDibCanvas::Fill(const TRect& r, TColor color) {
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

void TDibCanvas::Frame(const TRect& r, const TRect& clip, TColor color) {
  const TRect edges[] = {{r.Left, r.Top, r.Right, r.Top + 1},
                         {r.Left, r.Bottom - 1, r.Right, r.Bottom},
                         {r.Left, r.Top, r.Left + 1, r.Bottom},
                         {r.Right - 1, r.Top, r.Right, r.Bottom}};
  for (const TRect& e : edges) Fill(e.Intersect(clip), color);
}

void TDibCanvas::Gradient(const TRect& r, TColor from, TColor to) {
  const int h = std::max(r.Height(), 1);
  for (int y = 0; y < r.Height(); ++y) {
    const auto mix = [&](int shift) {
      const int a = static_cast<int>((from >> shift) & 255);
      const int b = static_cast<int>((to >> shift) & 255);
      return static_cast<TColor>(a + (b - a) * y / h) << shift;
    };
    Fill({r.Left, r.Top + y, r.Right, r.Top + y + 1}, mix(16) | mix(8) | mix(0));
  }
}

void TDibCanvas::Blend(const TBitmap32& b, int left, int top, const TRect& clip) {
  GdiFlush();
  const TRect v =
      Bounds(left, top, b.Width, b.Height).Intersect(clip).Intersect({0, 0, FWidth, FHeight});
  for (int y = v.Top; y < v.Bottom; ++y) {
    std::uint8_t* p = Row(y) + static_cast<std::size_t>(v.Left) * 4;
    const std::uint8_t* s =
        b.Rgba.data() + (static_cast<std::size_t>(y - top) * static_cast<std::size_t>(b.Width) +
                         static_cast<std::size_t>(v.Left - left)) *
                            4;
    for (int x = v.Left; x < v.Right; ++x, p += 4, s += 4) {
      const unsigned a = s[3];
      p[0] = static_cast<std::uint8_t>((s[2] * a + p[0] * (255 - a)) / 255);
      p[1] = static_cast<std::uint8_t>((s[1] * a + p[1] * (255 - a)) / 255);
      p[2] = static_cast<std::uint8_t>((s[0] * a + p[2] * (255 - a)) / 255);
    }
  }
}

void TDibCanvas::Text(const std::string& text, const TRect& r, const TRect& clip, const TFont& font,
                      UINT format) {
  const std::wstring wide = Utf8ToWide(text);
  const HDC dc = FDc.Get();
  const TRegionHandle region(CreateRectRgn(clip.Left, clip.Top, clip.Right, clip.Bottom));
  SelectClipRgn(dc, region.Get());
  const auto unclip = ScopeExit([dc] { SelectClipRgn(dc, nullptr); });
  const TSelection old = Select(dc, TGdiCache::Instance().Font(font));
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, ToColorRef(font.Color));
  RECT rc{r.Left, r.Top, r.Right, r.Bottom};
  DrawTextW(dc, wide.c_str(), static_cast<int>(wide.size()), &rc, format | DT_NOPREFIX);
}
