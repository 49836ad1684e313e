// Controls as plain objects: bounds at 96 dpi, anchors, caption, font, colours,
// enabled and visible, with owner (who frees it) and parent (where it shows).
// A backend realizes them; it hears of every change through IPlatform.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "rtl/Component.h"
#include "rtl/Strings.h"
#include "rtl/Threads.h"
#include "ui/Graphics.h"
#include "ui/Platform.h"

struct TAnchors {
  bool Left = true, Top = true, Right = false, Bottom = false;
  friend bool operator==(const TAnchors&, const TAnchors&) = default;
};
inline constexpr TAnchors akLeftTop{true, true, false, false};
inline constexpr TAnchors akAll{true, true, true, true};
inline constexpr TAnchors akRightBottom{false, false, true, true};
inline constexpr TAnchors akLeftRightBottom{true, false, true, true};
inline constexpr TAnchors akLeftTopBottom{true, true, false, true};
inline constexpr TAnchors akLeftTopRight{true, true, true, false};

class TForm;

// The kinds of control. A backend picks what it does for a control by its kind,
// in one switch, so that a new kind is flagged wherever it is not yet handled.
enum class TControlKind {
  Form,
  Label,
  Shape,
  Panel,
  Image,
  GIFAnimator,
  GlowButton,
  ProgressBar,
  Memo,
  ListView,
  TabSheet,
  PageControl
};

class TControl : public TComponent {
 public:
  explicit TControl(TComponent* owner);
  ~TControl() override;

  virtual TControlKind Kind() const = 0;
  // The class name the stored form uses for this kind.
  const char* ClassName() const;
  // Memo, list view and buttons are real child windows; the rest is painted.
  virtual bool Windowed() const { return false; }
  // The font that the window's stored form publishes, or null for a control without one.
  virtual TFont* PublishedFont() { return &FFont; }

  TControl* Parent() const { return FParent; }
  void SetParent(TControl* parent);
  const std::vector<TControl*>& Controls() const { return FControls; }  // we don't own them
  TForm* ParentForm();
  const TForm* ParentForm() const;
  IPlatform* Platform() const;

  int Left() const { return FBounds.Left; }
  int Top() const { return FBounds.Top; }
  int Width() const { return FBounds.Width(); }
  int Height() const { return FBounds.Height(); }
  TRect BoundsRect() const { return FBounds; }
  void SetBounds(int left, int top, int width, int height);
  void SetLeft(int v) { SetBounds(v, Top(), Width(), Height()); }
  void SetTop(int v) { SetBounds(Left(), v, Width(), Height()); }
  void SetWidth(int v) { SetBounds(Left(), Top(), v, Height()); }
  void SetHeight(int v) { SetBounds(Left(), Top(), Width(), v); }
  // The control's rectangle in its form's client coordinates, and the part of it
  // that its parents leave visible.
  TRect FormRect() const;
  TRect VisibleFormRect() const;

  TAnchors Anchors;
  int TabOrder = 0;
  bool TabStop = false;

  const std::string& Caption() const { return FCaption; }
  void SetCaption(std::string caption);
  bool Enabled() const { return FEnabled; }
  void SetEnabled(bool enabled);
  bool Visible() const { return FVisible; }
  void SetVisible(bool visible);
  void Show() { SetVisible(true); }
  void Hide() { SetVisible(false); }
  // Visible itself and every parent up to the form.
  bool Showing() const;

  TColor Color() const { return FColor; }
  void SetColor(TColor color);
  bool ParentColor = false;
  TColor EffectiveColor() const;

  const TFont& Font() const { return FFont; }
  void SetFont(const TFont& font);
  void SetFontName(const std::string& name);
  void SetFontSize(int points);
  void SetFontStyle(TFontStyle style);

  TNotifyEvent OnClick;
  void Click();
  void Repaint();

 protected:
  void Changed(TControlChange change);
  // Stores value and reports the change, unless the field holds it already.
  template <class T, class V>
  void ChangeTo(T& field, V&& value, TControlChange change) {
    if (value == field) return;
    field = std::forward<V>(value);
    Changed(change);
  }
  virtual void VisibilityChanged() {}

 private:
  void ResizeChildren(int dw, int dh);

  TControl* FParent = nullptr;  // we don't own it
  std::vector<TControl*> FControls;
  TRect FBounds;
  std::string FCaption;
  bool FEnabled = true;
  bool FVisible = true;
  TColor FColor = clBtnFace;
  TFont FFont;
};

enum class TTextLayout { tlTop, tlCenter, tlBottom };

class TLabel : public TControl {
 public:
  explicit TLabel(TComponent* owner) : TControl(owner) { ParentColor = true; }
  TControlKind Kind() const override { return TControlKind::Label; }
  bool Transparent = false;
  bool WordWrap = false;
  // An auto-sized label's text may run past its stored width (the backend
  // measures text; the stored bounds stay those of the layout).
  bool AutoSize = true;
  TTextLayout Layout = TTextLayout::tlTop;
};

class TShape : public TControl {
 public:
  explicit TShape(TComponent* owner) : TControl(owner) {}
  TControlKind Kind() const override { return TControlKind::Shape; }
  TFont* PublishedFont() override { return nullptr; }
  TColor BrushColor = clWhite;
  TColor PenColor = clBlack;
};

class TPanel : public TControl {
 public:
  explicit TPanel(TComponent* owner) : TControl(owner) {}
  TControlKind Kind() const override { return TControlKind::Panel; }
  bool BevelNone = true;
  bool ParentBackground = false;
};

class TImage : public TControl {
 public:
  explicit TImage(TComponent* owner) : TControl(owner) {}
  TControlKind Kind() const override { return TControlKind::Image; }
  TFont* PublishedFont() override { return nullptr; }
  const TPicture& Picture() const { return FPicture; }
  void SetPicture(TPicture picture);

 private:
  TPicture FPicture;
};

// An animated picture that advances and draws itself from its own timer thread,
// so it keeps moving while the user-interface thread is busy.
class TGIFAnimator : public TControl {
 public:
  explicit TGIFAnimator(TComponent* owner);
  ~TGIFAnimator() override;
  TControlKind Kind() const override { return TControlKind::GIFAnimator; }
  TFont* PublishedFont() override { return nullptr; }

  void SetPicture(TPicture picture);
  const TPicture& Picture() const { return FPicture; }
  int FrameIndex() const { return FFrame.load(); }
  void SetFrameIndex(int index);
  bool Animate() const { return FAnimate; }
  void SetAnimate(bool animate);
  bool AsyncDrawing = true;
  // Refreshes what the drawing thread may use; the backend calls it whenever the
  // control's place or visibility changes.
  void UpdateDrawState();
  // Stops the timer thread (the form does so before its window goes).
  void Stop();
  // Frames drawn from the thread so far.
  int FramesDrawn() const { return FDrawn.load(); }

 protected:
  void VisibilityChanged() override { UpdateDrawState(); }

 private:
  class TTimerThread;
  void Restart();
  void Tick();
  int CurrentDelay() const;

  TPicture FPicture;
  bool FAnimate = false;
  std::atomic<int> FFrame{0};
  std::atomic<int> FDrawn{0};
  std::mutex FDrawLock;
  bool FDrawShowing = false;   // guarded by FDrawLock
  TAnimationFrame FDrawState;  // guarded by FDrawLock
  std::unique_ptr<TTimerThread> FThread;
};

// Colours of a glow button in one state: the upper and the lower half each run
// from one colour to another; the border is one colour.
struct TGlowColors {
  TColor UpperFrom = clWhite, UpperTo = clWhite, LowerFrom = clWhite, LowerTo = clWhite,
         Border = clBlack;
  friend bool operator==(const TGlowColors&, const TGlowColors&) = default;
};
struct TGlowAppearance {
  TGlowColors Normal, Hot, Pressed, Checked, Disabled;
};

class TGlowButton : public TControl {
 public:
  explicit TGlowButton(TComponent* owner) : TControl(owner) { TabStop = true; }
  TControlKind Kind() const override { return TControlKind::GlowButton; }
  bool Windowed() const override { return true; }
  TGlowAppearance Appearance;
  bool Flat = true;
  bool AutoRepeat = false;
};

// A bar that fills as work advances; a marquee bar shows activity without a
// position, for work whose size is not known.
class TProgressBar : public TControl {
 public:
  explicit TProgressBar(TComponent* owner) : TControl(owner) {}
  TControlKind Kind() const override { return TControlKind::ProgressBar; }
  bool Windowed() const override { return true; }
  TFont* PublishedFont() override { return nullptr; }

  int Max() const { return FMax; }
  int Position() const { return FPosition; }
  bool Marquee() const { return FMarquee; }
  // The position is kept within 0..Max.
  void SetProgress(int position, int max);
  void SetMarquee(bool marquee);
  TColor BarColor = clHighlight;

 private:
  int FMax = 100;
  int FPosition = 0;
  bool FMarquee = false;
};

class TMemo : public TControl {
 public:
  explicit TMemo(TComponent* owner);
  TControlKind Kind() const override { return TControlKind::Memo; }
  bool Windowed() const override { return true; }
  TStringList& Lines() { return FLines; }
  const TStringList& Lines() const { return FLines; }
  bool ReadOnly = false;
  bool BorderNone = false;

 private:
  TStringList FLines;
};

class TImageList : public TComponent {
 public:
  explicit TImageList(TComponent* owner) : TComponent(owner) {}
  int Width = 16;
  int Height = 16;
  std::vector<TBitmap32> Images;  // each with its mask as the alpha channel
};

class TListView;

class TListItem {
 public:
  explicit TListItem(TListView& owner) : FOwner(&owner) {}
  const std::string& Caption() const { return FCaption; }
  void SetCaption(std::string caption);
  const std::vector<std::string>& SubItems() const { return FSubItems; }
  void AddSubItem(std::string text);
  int StateIndex() const { return FStateIndex; }
  void SetStateIndex(int index);

 private:
  TListView* FOwner;  // we don't own it: it owns us
  std::string FCaption;
  std::vector<std::string> FSubItems;
  int FStateIndex = -1;
};

class TListView : public TControl {
 public:
  explicit TListView(TComponent* owner) : TControl(owner) {}
  TControlKind Kind() const override { return TControlKind::ListView; }
  bool Windowed() const override { return true; }

  TListItem& AddItem();
  int ItemCount() const { return static_cast<int>(FItems.size()); }
  TListItem& Item(int index) { return *FItems.at(static_cast<std::size_t>(index)); }
  const TListItem& Item(int index) const { return *FItems.at(static_cast<std::size_t>(index)); }
  void ItemsChanged() { Changed(TControlChange::Items); }

  std::vector<int> ColumnWidths;
  bool ShowColumnHeaders = true;
  bool ColumnClick = true;
  bool ReportStyle = false;
  bool BorderNone = false;
  TImageList* StateImages = nullptr;  // we don't own it

 private:
  std::vector<std::unique_ptr<TListItem>> FItems;
};

class TTabSheet : public TControl {
 public:
  explicit TTabSheet(TComponent* owner) : TControl(owner) { ParentColor = true; }
  TControlKind Kind() const override { return TControlKind::TabSheet; }
  bool TabVisible = true;
};

class TPageControl : public TControl {
 public:
  explicit TPageControl(TComponent* owner) : TControl(owner) { TabStop = true; }
  TControlKind Kind() const override { return TControlKind::PageControl; }
  // Pages are the tab sheets among the children, in the order they were added.
  int PageCount() const;
  TTabSheet& Pages(int index) const;
  int ActivePageIndex() const { return FActive; }
  // Shows the page and hides the one shown before.
  void SetActivePageIndex(int index);
  // The area the pages fill, in the page control's coordinates.
  TRect PageArea() const;
  bool ButtonStyle = false;
  bool MultiLine = false;

 private:
  int FActive = -1;
};
