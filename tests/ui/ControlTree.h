// Builds the control trees of the ui tests: one line a control.
#pragma once

#include "ui/Forms.h"

// A control of kind T, owned by parent's form, shown in parent at bounds.
template <class T>
T& AddControl(TControl& parent, const TRect& bounds = {}) {
  auto& control = parent.ParentForm()->CreateOwned<T>();
  control.SetParent(&parent);
  control.SetBounds(bounds.Left, bounds.Top, bounds.Width(), bounds.Height());
  return control;
}
