// Colours, fonts, rectangles and decoded pictures: plain values the controls
// carry and the backends draw. Nothing here touches a window system.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// 0xRRGGBB, or one of the system colours below (resolved by the backend).
using TColor = std::uint32_t;
inline constexpr TColor clSystemFlag = 0xFF000000;
inline constexpr TColor clWindowText = clSystemFlag | 8;
inline constexpr TColor clWindow = clSystemFlag | 5;
inline constexpr TColor clBtnFace = clSystemFlag | 15;
inline constexpr TColor clHighlight = clSystemFlag | 13;
inline constexpr TColor clWhite = 0xFFFFFF;
inline constexpr TColor clBlack = 0x000000;
inline constexpr TColor clGray = 0x808080;
inline constexpr TColor clSilver = 0xC0C0C0;
inline constexpr bool IsSystemColor(TColor c) { return (c & clSystemFlag) != 0; }

struct TRect {
  int Left = 0, Top = 0, Right = 0, Bottom = 0;
  int Width() const { return Right - Left; }
  int Height() const { return Bottom - Top; }
  bool Empty() const { return Right <= Left || Bottom <= Top; }
  TRect Intersect(const TRect& o) const;
  TRect Offset(int dx, int dy) const { return {Left + dx, Top + dy, Right + dx, Bottom + dy}; }
  friend bool operator==(const TRect&, const TRect&) = default;
};
inline TRect Bounds(int left, int top, int width, int height) {
  return {left, top, left + width, top + height};
}

enum class TFontStyle { fsRegular, fsBold };

// A font as the layout stores it: a name and a height in pixels, negative for the
// character height (−11 is 8 pt at 96 dpi), as the window system takes it.
class TFont {
 public:
  static constexpr int kPixelsPerInch = 96;

  std::string Name = "MS Sans Serif";
  int Height = -11;
  TFontStyle Style = TFontStyle::fsRegular;
  TColor Color = clWindowText;

  int Size() const;  // points, rounded
  void SetSize(int points);
  bool Bold() const { return Style == TFontStyle::fsBold; }
  friend bool operator==(const TFont&, const TFont&) = default;
};
TFont MakeFont(int height, TColor color = clWindowText, TFontStyle style = TFontStyle::fsRegular);

// Pixels as straight (not premultiplied) RGBA, row after row from the top.
struct TBitmap32 {
  int Width = 0;
  int Height = 0;
  std::vector<std::uint8_t> Rgba;
  bool Empty() const { return Width == 0 || Height == 0; }
  std::uint32_t Pixel(int x, int y) const;  // 0xAARRGGBB
};

// A decoded picture: one frame for a still picture, several with their delays
// (in milliseconds) for an animation.
struct TPicture {
  std::vector<TBitmap32> Frames;
  std::vector<int> DelaysMs;
  int Width() const { return Frames.empty() ? 0 : Frames.front().Width; }
  int Height() const { return Frames.empty() ? 0 : Frames.front().Height; }
  int FrameCount() const { return static_cast<int>(Frames.size()); }
  bool Empty() const { return Frames.empty(); }
};
