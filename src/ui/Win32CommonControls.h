// comctl32 and uxtheme for the Win32 backend, loaded at run time from the
// system folder. Neither is a KnownDLL: as static imports they would be
// loaded before the program's first line, and comctl32's own import of
// uxtheme would be looked for in the program's folder first.
#pragma once

#include <windows.h>
// commctrl.h needs windows.h first.
#include <commctrl.h>

struct TCommonControlsApi {
  decltype(&::InitCommonControlsEx) InitCommonControlsEx;
  decltype(&::ImageList_Create) ImageList_Create;
  decltype(&::ImageList_Add) ImageList_Add;
  decltype(&::ImageList_Destroy) ImageList_Destroy;
};

// comctl32 as the manifest binds it (version 6), bound once per process.
// Throws EOSError when the module or one of the functions is missing.
const TCommonControlsApi& CommonControls();

// uxtheme's SetWindowTheme; null where the system has no visual styles.
using TSetWindowTheme = HRESULT(WINAPI*)(HWND, LPCWSTR, LPCWSTR);
TSetWindowTheme SetWindowThemeFunction();
