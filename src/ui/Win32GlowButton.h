// The glow button's window class: a push button painted in two gradients with
// hot, pressed and disabled looks, pressed by mouse, Space, Enter or BM_CLICK.
#pragma once

#include <windows.h>

#include "ui/Win32Handle.h"

inline constexpr const wchar_t* kGlowButtonClass = L"TramelaGlowButton";

TWindowClass RegisterGlowButtonClass(HINSTANCE instance);
