// The glow buttons' colours per state.
#include "app/Appearance.h"

TGlowAppearance ButtonAppearance(TColor disabledLower) {
  TGlowAppearance a;
  a.Normal = {clWhite, clWhite, clWhite, clWhite, kSidebarYellow};
  a.Hot = {kHotYellow, kHotYellow, kHotYellow, kHotYellow, kHotYellow};
  a.Pressed = {clWhite, clWhite, clWhite, clWhite, kHotYellow};
  a.Checked = {kHotYellow, kHotYellow, clWhite, clWhite, kHotYellow};
  a.Disabled = {kDisabledGrey, kDisabledGrey, disabledLower, disabledLower, kDisabledGrey};
  return a;
}
