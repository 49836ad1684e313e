// Rectangle and font arithmetic, pixel access.
#include "ui/Graphics.h"

#include <algorithm>

TRect TRect::Intersect(const TRect& o) const {
  const TRect r{std::max(Left, o.Left), std::max(Top, o.Top), std::min(Right, o.Right),
                std::min(Bottom, o.Bottom)};
  if (r.Empty()) return {r.Left, r.Top, r.Left, r.Top};
  return r;
}

namespace {
// MulDiv: the product in 64 bits, rounded half away from zero.
int MulDivRound(int a, int b, int c) {
  const long long p = static_cast<long long>(a) * b;
  const long long q = p >= 0 ? (p + c / 2) / c : -((-p + c / 2) / c);
  return static_cast<int>(q);
}
}  // namespace

int TFont::Size() const { return -MulDivRound(Height, 72, kPixelsPerInch); }

void TFont::SetSize(int points) { Height = -MulDivRound(points, kPixelsPerInch, 72); }

TFont MakeFont(int height, TColor color, TFontStyle style) {
  TFont f;
  f.Height = height;
  f.Color = color;
  f.Style = style;
  return f;
}

std::uint32_t TBitmap32::Pixel(int x, int y) const {
  const std::size_t i = (static_cast<std::size_t>(y) * static_cast<std::size_t>(Width) +
                         static_cast<std::size_t>(x)) *
                        4;
  return (std::uint32_t{Rgba[i + 3]} << 24) | (std::uint32_t{Rgba[i]} << 16) |
         (std::uint32_t{Rgba[i + 1]} << 8) | std::uint32_t{Rgba[i + 2]};
}
