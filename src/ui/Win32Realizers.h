// What the Win32 backend does for each kind of control: painted kinds draw on
// the form's canvas, windowed kinds make and fill a child window. RealizerOf
// is the one place that picks by kind.
#pragma once

#include <windows.h>

#include "ui/Controls.h"
#include "ui/Win32Paint.h"

struct TWindowRecord;

struct TChildWindowArgs {
  HWND Parent = nullptr;
  HINSTANCE Instance = nullptr;
  DWORD Style = 0;  // the styles every child window takes
  TRect Bounds;     // in the form's client coordinates
};

class TRealizer {
 public:
  virtual ~TRealizer() = default;
  // Draws a painted control: rect is its own, visible the part that shows,
  // clip what its parents leave.
  virtual void Paint(TDibCanvas& canvas, const TControl& control, const TRect& rect,
                     const TRect& visible, const TRect& clip) const;
  // Makes a windowed control's window; record is its creation parameter and
  // keeps what the window needs kept. Null for a painted control.
  virtual HWND Create(const TControl& control, const TChildWindowArgs& args,
                      TWindowRecord& record) const;
  virtual void SyncItems(HWND hwnd, const TControl& control) const;
  virtual void SyncProgress(HWND hwnd, const TControl& control) const;
  // Whether a new caption needs only the control's own rectangle repainted.
  virtual bool CaptionKeepsToBounds(const TControl& control) const;
};

const TRealizer& RealizerOf(const TControl& control);

// Paints the painted controls under parent, within clip, in z-order.
void PaintChildren(TDibCanvas& canvas, const TControl& parent, const TRect& clip);
