// Owners of Win32 handles for the window backend: one move-only template, and
// one closer per kind of handle. A closer that needs more than the handle (the
// window of a DC from GetDC, the DC a GDI object was selected into) carries it.
#pragma once

#include <windows.h>

#include <utility>

#include "ui/Win32CommonControls.h"

template <class THandle, class TCloser>
class TWin32Handle {
 public:
  TWin32Handle() = default;
  explicit TWin32Handle(THandle handle, TCloser closer = {})
      : FHandle(handle), FCloser(std::move(closer)) {}
  ~TWin32Handle() { Reset(); }
  TWin32Handle(const TWin32Handle&) = delete;
  TWin32Handle& operator=(const TWin32Handle&) = delete;
  TWin32Handle(TWin32Handle&& other) noexcept
      : FHandle(std::exchange(other.FHandle, THandle{})), FCloser(std::move(other.FCloser)) {}
  TWin32Handle& operator=(TWin32Handle&& other) noexcept {
    if (this != &other) {
      Reset();
      FHandle = std::exchange(other.FHandle, THandle{});
      FCloser = std::move(other.FCloser);
    }
    return *this;
  }

  THandle Get() const { return FHandle; }
  explicit operator bool() const { return FHandle != THandle{}; }
  // Closes what is held now; the closer never raises.
  void Reset() {
    if (FHandle != THandle{}) FCloser(std::exchange(FHandle, THandle{}));
  }

 private:
  THandle FHandle{};
  TCloser FCloser{};
};

struct TDeleteGdiObject {
  void operator()(HGDIOBJ object) const { DeleteObject(object); }
};
struct TDeleteDc {
  void operator()(HDC dc) const { DeleteDC(dc); }
};
struct TReleaseDc {
  HWND Window = nullptr;  // the window GetDC was asked for; null for the screen
  void operator()(HDC dc) const { ReleaseDC(Window, dc); }
};
struct TRestoreSelection {
  HDC Dc = nullptr;  // what the object was selected into; we don't own it
  void operator()(HGDIOBJ previous) const { SelectObject(Dc, previous); }
};
struct TDestroyImageList {
  void operator()(HIMAGELIST list) const { CommonControls().ImageList_Destroy(list); }
};
struct TDestroyWindow {
  void operator()(HWND window) const { DestroyWindow(window); }
};
struct TCloseHandle {
  void operator()(HANDLE handle) const { CloseHandle(handle); }
};
struct TUnregisterClass {
  HINSTANCE Instance = nullptr;
  void operator()(ATOM atom) const {
    UnregisterClassW(reinterpret_cast<LPCWSTR>(static_cast<ULONG_PTR>(atom)), Instance);
  }
};

using TFontHandle = TWin32Handle<HFONT, TDeleteGdiObject>;
using TBrushHandle = TWin32Handle<HBRUSH, TDeleteGdiObject>;
using TBitmapHandle = TWin32Handle<HBITMAP, TDeleteGdiObject>;
using TRegionHandle = TWin32Handle<HRGN, TDeleteGdiObject>;
using TMemoryDc = TWin32Handle<HDC, TDeleteDc>;
using TWindowDc = TWin32Handle<HDC, TReleaseDc>;
using TSelection = TWin32Handle<HGDIOBJ, TRestoreSelection>;
using TImageListHandle = TWin32Handle<HIMAGELIST, TDestroyImageList>;
using TWindowHandleOwner = TWin32Handle<HWND, TDestroyWindow>;
using TEventHandle = TWin32Handle<HANDLE, TCloseHandle>;
using TWindowClass = TWin32Handle<ATOM, TUnregisterClass>;

// A DC of the window (or of the screen for null), released at the scope's end.
inline TWindowDc WindowDc(HWND window) { return TWindowDc(GetDC(window), TReleaseDc{window}); }

// Selects object into dc until the scope's end, then puts the previous one back.
inline TSelection Select(HDC dc, HGDIOBJ object) {
  return TSelection(SelectObject(dc, object), TRestoreSelection{dc});
}
