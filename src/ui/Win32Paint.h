// Drawing for the Win32 backend: colours, the shared fonts and brushes, and the
// off-screen canvas that every painted control and the glow button draw on
// before one copy to the screen.
#pragma once

#include <windows.h>

#include <cstdint>
#include <map>
#include <string>

#include "ui/Graphics.h"
#include "ui/Win32Handle.h"

COLORREF ToColorRef(TColor color);

// The fonts and brushes live as long as the program; few distinct ones exist.
// One cache per process, used on the user-interface thread only.
class TGdiCache {
 public:
  static TGdiCache& Instance();
  HFONT Font(const TFont& font);
  HBRUSH Brush(TColor color);

 private:
  std::map<std::string, TFontHandle> FFonts;
  std::map<TColor, TBrushHandle> FBrushes;
};

// A 32-bit top-down DIB that GDI and direct pixel writes share.
class TDibCanvas {
 public:
  TDibCanvas(HDC reference, int width, int height);
  TDibCanvas(const TDibCanvas&) = delete;
  TDibCanvas& operator=(const TDibCanvas&) = delete;

  HDC Dc() const { return FDc.Get(); }
  bool Valid() const { return FBits != nullptr; }

  void Fill(const TRect& r, TColor color);
  // A one-pixel frame along the inside of r, clipped to clip.
  void Frame(const TRect& r, const TRect& clip, TColor color);
  // Top to bottom from one colour to the other.
  void Gradient(const TRect& r, TColor from, TColor to);
  // Straight-alpha pixels blended over what is there, clipped to clip.
  void Blend(const TBitmap32& b, int left, int top, const TRect& clip);
  void Text(const std::string& text, const TRect& r, const TRect& clip, const TFont& font,
            UINT format);

 private:
  std::uint8_t* Row(int y) const;

  int FWidth, FHeight;
  std::uint8_t* FBits = nullptr;  // inside FBitmap
  // Declared in the order they are made: undone in reverse.
  TBitmapHandle FBitmap;
  TMemoryDc FDc;
  TSelection FOld;
};

// A DIB section of the image's size, top-down with 32 bits; bits receives its pixels.
TBitmapHandle MakeDib(HDC reference, int width, int height, void** bits);
