// The look the two windows share: the glow buttons' colours.
#pragma once

#include "ui/Controls.h"

inline constexpr TColor kSidebarYellow = 0xFFD541;
inline constexpr TColor kHotYellow = 0xFBE493;
inline constexpr TColor kDisabledGrey = 0xECEDF0;

// disabledLower: the lower half of a disabled button.
TGlowAppearance ButtonAppearance(TColor disabledLower = kDisabledGrey);
