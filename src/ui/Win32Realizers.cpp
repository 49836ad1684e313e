// The realizers of the Win32 backend, one per kind of control, and the one
// switch that picks them.
#include "ui/Win32Realizers.h"

#include <commctrl.h>

#include <algorithm>
#include <string>
#include <vector>

#include "rtl/Win32Text.h"
#include "ui/Win32CommonControls.h"
#include "ui/Win32FormWindow.h"
#include "ui/Win32GlowButton.h"

void TRealizer::Paint(TDibCanvas& canvas, const TControl& control, const TRect&,
                      const TRect& visible, const TRect&) const {
  if (!control.ParentColor) canvas.Fill(visible, control.EffectiveColor());
}

HWND TRealizer::Create(const TControl&, const TChildWindowArgs&, TWindowRecord&) const {
  return nullptr;
}

void TRealizer::SyncItems(HWND, const TControl&) const {}

void TRealizer::SyncProgress(HWND, const TControl&) const {}

bool TRealizer::CaptionKeepsToBounds(const TControl&) const { return false; }

namespace {

HWND CreateChildWindow(DWORD exStyle, const wchar_t* className, const std::wstring& caption,
                       DWORD style, const TChildWindowArgs& args, void* parameter = nullptr) {
  const TRect& r = args.Bounds;
  return CreateWindowExW(exStyle, className, caption.c_str(), args.Style | style, r.Left, r.Top,
                         r.Width(), r.Height(), args.Parent, nullptr, args.Instance, parameter);
}

// ---- Painted kinds

class TLabelRealizer : public TRealizer {
 public:
  void Paint(TDibCanvas& canvas, const TControl& control, const TRect& rect, const TRect& visible,
             const TRect& clip) const override {
    const auto& label = static_cast<const TLabel&>(control);
    if (label.AutoSize && !label.WordWrap) {
      // The text may run past the stored width, as far as the parents let it show.
      const TRect grown{rect.Left, rect.Top, std::max(rect.Right, clip.Right), rect.Bottom};
      PaintText(canvas, label, grown, grown.Intersect(clip));
    } else {
      PaintText(canvas, label, rect, visible);
    }
  }
  // A label of fixed size keeps to its rectangle, so a new caption (a progress
  // text, many times a second) repaints only that.
  bool CaptionKeepsToBounds(const TControl& control) const override {
    return !static_cast<const TLabel&>(control).AutoSize;
  }

 private:
  static void PaintText(TDibCanvas& canvas, const TLabel& label, const TRect& rect,
                        const TRect& clip) {
    if (!label.Transparent && !label.AutoSize) canvas.Fill(clip, label.EffectiveColor());
    UINT format = DT_LEFT;
    if (label.WordWrap) {
      format |= DT_WORDBREAK;
    } else {
      format |= DT_SINGLELINE;
    }
    if (label.Layout == TTextLayout::tlCenter) format |= DT_VCENTER | DT_SINGLELINE;
    canvas.Text(label.Caption(), rect, clip, label.Font(), format);
  }
};

class TShapeRealizer : public TRealizer {
 public:
  void Paint(TDibCanvas& canvas, const TControl& control, const TRect& rect, const TRect& visible,
             const TRect&) const override {
    const auto& shape = static_cast<const TShape&>(control);
    canvas.Fill(visible, shape.BrushColor);
    canvas.Frame(rect, visible, shape.PenColor);
  }
};

class TImageRealizer : public TRealizer {
 public:
  void Paint(TDibCanvas& canvas, const TControl& control, const TRect& rect, const TRect& visible,
             const TRect&) const override {
    const TPicture& p = static_cast<const TImage&>(control).Picture();
    if (!p.Empty()) canvas.Blend(p.Frames.front(), rect.Left, rect.Top, visible);
  }
};

class TAnimationRealizer : public TRealizer {
 public:
  void Paint(TDibCanvas& canvas, const TControl& control, const TRect& rect, const TRect& visible,
             const TRect&) const override {
    const auto& animation = static_cast<const TGIFAnimator&>(control);
    const TPicture& p = animation.Picture();
    if (p.Empty()) return;
    const auto frame = static_cast<std::size_t>(animation.FrameIndex() % p.FrameCount());
    canvas.Blend(p.Frames[frame], rect.Left, rect.Top, visible);
  }
};

// ---- Windowed kinds

class TGlowButtonRealizer : public TRealizer {
 public:
  HWND Create(const TControl& control, const TChildWindowArgs& args,
              TWindowRecord& record) const override {
    return CreateChildWindow(0, kGlowButtonClass, Utf8ToWide(control.Caption()), 0, args, &record);
  }
};

class TMemoRealizer : public TRealizer {
 public:
  HWND Create(const TControl& control, const TChildWindowArgs& args,
              TWindowRecord&) const override {
    const auto& memo = static_cast<const TMemo&>(control);
    const DWORD style = ES_MULTILINE | ES_AUTOVSCROLL | (memo.ReadOnly ? ES_READONLY : 0);
    return CreateChildWindow(memo.BorderNone ? 0 : WS_EX_CLIENTEDGE, L"EDIT", L"", style, args);
  }
  void SyncItems(HWND hwnd, const TControl& control) const override {
    std::string text;
    const TStringList& lines = static_cast<const TMemo&>(control).Lines();
    for (int i = 0; i < lines.Count(); ++i) {
      if (i > 0) text += "\r\n";
      text += lines[i];
    }
    const std::wstring wide = Utf8ToWide(text);
    SetWindowTextW(hwnd, wide.c_str());
    // Keep the latest line in sight, as appending to the control does.
    const auto end = static_cast<WPARAM>(wide.size());
    SendMessageW(hwnd, EM_SETSEL, end, static_cast<LPARAM>(end));
    SendMessageW(hwnd, EM_SCROLLCARET, 0, 0);
  }
};

// Visual styles paint a bar in the theme's colours; without them it takes the
// window's. Loaded at run time, so that the exe starts where the module is missing.
void UseClassicLook(HWND hwnd) {
  const TSetWindowTheme setTheme = SetWindowThemeFunction();
  // A name that matches no class: the control falls back to its classic look.
  if (setTheme != nullptr) setTheme(hwnd, L" ", L" ");
}

class TProgressBarRealizer : public TRealizer {
 public:
  HWND Create(const TControl& control, const TChildWindowArgs& args,
              TWindowRecord&) const override {
    const auto& bar = static_cast<const TProgressBar&>(control);
    // A thin frame shows the whole length on the white page.
    const HWND hwnd = CreateChildWindow(0, PROGRESS_CLASSW, L"", PBS_SMOOTH | WS_BORDER, args);
    if (hwnd == nullptr) return nullptr;
    UseClassicLook(hwnd);
    SendMessageW(hwnd, PBM_SETBARCOLOR, 0, static_cast<LPARAM>(ToColorRef(bar.BarColor)));
    SendMessageW(hwnd, PBM_SETBKCOLOR, 0, static_cast<LPARAM>(ToColorRef(bar.EffectiveColor())));
    SyncProgress(hwnd, bar);
    return hwnd;
  }
  // A marquee bar moves by itself; a positioned one shows Position of Max.
  void SyncProgress(HWND hwnd, const TControl& control) const override {
    constexpr UINT kMarqueeStepMs = 30;
    const auto& bar = static_cast<const TProgressBar&>(control);
    const LONG_PTR style = GetWindowLongPtrW(hwnd, GWL_STYLE);
    if (bar.Marquee()) {
      SetWindowLongPtrW(hwnd, GWL_STYLE, style | PBS_MARQUEE);
      SendMessageW(hwnd, PBM_SETMARQUEE, TRUE, kMarqueeStepMs);
    } else {
      SendMessageW(hwnd, PBM_SETMARQUEE, FALSE, 0);
      SetWindowLongPtrW(hwnd, GWL_STYLE, style & ~static_cast<LONG_PTR>(PBS_MARQUEE));
      SendMessageW(hwnd, PBM_SETRANGE32, 0, bar.Max());
      SendMessageW(hwnd, PBM_SETPOS, static_cast<WPARAM>(bar.Position()), 0);
    }
  }
};

// A state image for the image list: composed over the list's white, opaque
// colour bits with a zero alpha channel so that the mask decides transparency.
TBitmapHandle MakeImageBitmap(const TBitmap32& image) {
  void* bits = nullptr;
  TBitmapHandle bitmap = MakeDib(nullptr, image.Width, image.Height, &bits);
  if (!bitmap) return bitmap;
  auto* p = static_cast<std::uint8_t*>(bits);
  for (std::size_t i = 0; i + 3 < image.Rgba.size(); i += 4, p += 4) {
    const unsigned a = image.Rgba[i + 3];
    p[0] = static_cast<std::uint8_t>((image.Rgba[i + 2] * a + 255 * (255 - a)) / 255);
    p[1] = static_cast<std::uint8_t>((image.Rgba[i + 1] * a + 255 * (255 - a)) / 255);
    p[2] = static_cast<std::uint8_t>((image.Rgba[i] * a + 255 * (255 - a)) / 255);
    p[3] = 0;
  }
  return bitmap;
}

// Monochrome, word-aligned rows; a set bit is a transparent pixel.
TBitmapHandle MakeImageMask(const TBitmap32& image) {
  const int stride = (image.Width + 15) / 16 * 2;
  std::vector<std::uint8_t> bits(static_cast<std::size_t>(stride * image.Height), 0);
  for (int y = 0; y < image.Height; ++y) {
    for (int x = 0; x < image.Width; ++x) {
      if ((image.Pixel(x, y) >> 24) < 128) {
        bits[static_cast<std::size_t>(y * stride + x / 8)] |=
            static_cast<std::uint8_t>(0x80 >> (x % 8));
      }
    }
  }
  return TBitmapHandle(CreateBitmap(image.Width, image.Height, 1, 1, bits.data()));
}

TImageListHandle MakeImageList(const TImageList& images) {
  TImageListHandle list(
      CommonControls().ImageList_Create(images.Width, images.Height, ILC_COLOR32 | ILC_MASK,
                                        static_cast<int>(images.Images.size()), 0));
  for (const TBitmap32& image : images.Images) {
    const TBitmapHandle colour = MakeImageBitmap(image);
    const TBitmapHandle mask = MakeImageMask(image);
    CommonControls().ImageList_Add(list.Get(), colour.Get(), mask.Get());
  }
  return list;
}

class TListViewRealizer : public TRealizer {
 public:
  HWND Create(const TControl& control, const TChildWindowArgs& args,
              TWindowRecord& record) const override {
    const auto& list = static_cast<const TListView&>(control);
    const DWORD style = LVS_SHAREIMAGELISTS | LVS_SINGLESEL | (list.ReportStyle ? LVS_REPORT : 0) |
                        (list.ShowColumnHeaders ? 0 : LVS_NOCOLUMNHEADER) |
                        (list.ColumnClick ? 0 : LVS_NOSORTHEADER);
    const HWND hwnd =
        CreateChildWindow(list.BorderNone ? 0 : WS_EX_CLIENTEDGE, WC_LISTVIEWW, L"", style, args);
    if (hwnd == nullptr) return nullptr;
    for (std::size_t i = 0; i < list.ColumnWidths.size(); ++i) {
      LVCOLUMNW column{};
      column.mask = LVCF_WIDTH;
      column.cx = list.ColumnWidths[i];
      SendMessageW(hwnd, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&column));
    }
    const COLORREF back = ToColorRef(list.EffectiveColor());
    SendMessageW(hwnd, LVM_SETBKCOLOR, 0, static_cast<LPARAM>(back));
    SendMessageW(hwnd, LVM_SETTEXTBKCOLOR, 0, static_cast<LPARAM>(back));
    SendMessageW(hwnd, LVM_SETTEXTCOLOR, 0, static_cast<LPARAM>(ToColorRef(list.Font().Color)));
    if (list.StateImages != nullptr) {
      // LVS_SHAREIMAGELISTS: the record, not the list view, frees it.
      record.Images = MakeImageList(*list.StateImages);
      SendMessageW(hwnd, LVM_SETIMAGELIST, LVSIL_STATE,
                   reinterpret_cast<LPARAM>(record.Images.Get()));
    }
    return hwnd;
  }

  void SyncItems(HWND hwnd, const TControl& control) const override {
    const auto& list = static_cast<const TListView&>(control);
    SendMessageW(hwnd, WM_SETREDRAW, FALSE, 0);
    SendMessageW(hwnd, LVM_DELETEALLITEMS, 0, 0);
    for (int i = 0; i < list.ItemCount(); ++i) AddItem(hwnd, i, list.Item(i));
    SendMessageW(hwnd, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(hwnd, nullptr, TRUE);
  }

 private:
  static void AddItem(HWND hwnd, int i, const TListItem& item) {
    std::wstring caption = Utf8ToWide(item.Caption());
    LVITEMW lv{};
    lv.mask = LVIF_TEXT | LVIF_STATE;
    lv.iItem = i;
    lv.pszText = caption.data();
    lv.state = INDEXTOSTATEIMAGEMASK(static_cast<UINT>(item.StateIndex() + 1));
    lv.stateMask = LVIS_STATEIMAGEMASK;
    const auto index = SendMessageW(hwnd, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&lv));
    // The step number (second sub-item) has no column: it is never displayed.
    if (!item.SubItems().empty()) {
      std::wstring text = Utf8ToWide(item.SubItems()[0]);
      LVITEMW sub{};
      sub.iSubItem = 1;
      sub.pszText = text.data();
      SendMessageW(hwnd, LVM_SETITEMTEXTW, static_cast<WPARAM>(index),
                   reinterpret_cast<LPARAM>(&sub));
    }
    LVITEMW state{};
    state.stateMask = LVIS_STATEIMAGEMASK;
    state.state = lv.state;
    SendMessageW(hwnd, LVM_SETITEMSTATE, static_cast<WPARAM>(index),
                 reinterpret_cast<LPARAM>(&state));
  }
};

void PaintControl(TDibCanvas& canvas, const TControl& control, const TRect& clip) {
  if (!control.Visible() || control.Windowed()) return;
  const TRect rect = control.FormRect();
  const TRect visible = rect.Intersect(clip);
  if (visible.Empty()) return;
  RealizerOf(control).Paint(canvas, control, rect, visible, clip);
  PaintChildren(canvas, control, visible);
}

}  // namespace

const TRealizer& RealizerOf(const TControl& control) {
  static const TRealizer plain;
  static const TLabelRealizer label;
  static const TShapeRealizer shape;
  static const TImageRealizer image;
  static const TAnimationRealizer animation;
  static const TGlowButtonRealizer button;
  static const TProgressBarRealizer bar;
  static const TMemoRealizer memo;
  static const TListViewRealizer list;
  // No default: a new kind is flagged here until it has its realizer.
  switch (control.Kind()) {
    case TControlKind::Label:
      return label;
    case TControlKind::Shape:
      return shape;
    case TControlKind::Image:
      return image;
    case TControlKind::GIFAnimator:
      return animation;
    case TControlKind::GlowButton:
      return button;
    case TControlKind::ProgressBar:
      return bar;
    case TControlKind::Memo:
      return memo;
    case TControlKind::ListView:
      return list;
    case TControlKind::Form:
    case TControlKind::Panel:
    case TControlKind::TabSheet:
    case TControlKind::PageControl:
      return plain;
  }
  return plain;
}

void PaintChildren(TDibCanvas& canvas, const TControl& parent, const TRect& clip) {
  for (const TControl* child : parent.Controls()) PaintControl(canvas, *child, clip);
}
