// The common controls' and visual styles' modules; see Win32CommonControls.h.
#include "ui/Win32CommonControls.h"

#include "rtl/SystemLibrary.h"

namespace {

// Loaded once and kept; null where the system has no uxtheme.
HMODULE UxTheme() {
  static const HMODULE module = LoadSystemLibrary("uxtheme.dll");
  return module;
}

}  // namespace

const TCommonControlsApi& CommonControls() {
  static const TCommonControlsApi api = [] {
    // uxtheme first, from the system folder: comctl32 then finds it loaded
    // instead of looking for it, also where only full paths keep the
    // program's folder out of the search.
    UxTheme();
    static const TSystemLibrary library("comctl32.dll");
    return TCommonControlsApi{
        library.Function<decltype(&::InitCommonControlsEx)>("InitCommonControlsEx"),
        library.Function<decltype(&::ImageList_Create)>("ImageList_Create"),
        library.Function<decltype(&::ImageList_Add)>("ImageList_Add"),
        library.Function<decltype(&::ImageList_Destroy)>("ImageList_Destroy")};
  }();
  return api;
}

TSetWindowTheme SetWindowThemeFunction() {
  static const TSetWindowTheme function = SystemProc<TSetWindowTheme>(UxTheme(), "SetWindowTheme");
  return function;
}
