// The controls' state and the rules between them (anchors, visibility through
// parents, pages); every change is reported to the platform.
#include "ui/Controls.h"

#include <algorithm>

#include "rtl/Exceptions.h"
#include "ui/Forms.h"

// ---- TControl

TControl::TControl(TComponent* owner) : TComponent(owner) {}

const char* TControl::ClassName() const {
  // No default: a new kind without its name is flagged here.
  switch (Kind()) {
    case TControlKind::Form:
      return "TForm";
    case TControlKind::Label:
      return "TLabel";
    case TControlKind::Shape:
      return "TShape";
    case TControlKind::Panel:
      return "TPanel";
    case TControlKind::Image:
      return "TImage";
    case TControlKind::GIFAnimator:
      return "TGIFAnimator";
    case TControlKind::GlowButton:
      return "TGlowButton";
    case TControlKind::ProgressBar:
      return "TProgressBar";
    case TControlKind::Memo:
      return "TMemo";
    case TControlKind::ListView:
      return "TListView";
    case TControlKind::TabSheet:
      return "TTabSheet";
    case TControlKind::PageControl:
      return "TPageControl";
  }
  return "TControl";
}

TControl::~TControl() {
  if (IPlatform* platform = Platform()) platform->ControlDestroyed(*this);
  for (TControl* child : FControls) child->FParent = nullptr;
  if (FParent != nullptr) {
    auto& siblings = FParent->FControls;
    siblings.erase(std::remove(siblings.begin(), siblings.end(), this), siblings.end());
  }
}

void TControl::SetParent(TControl* parent) {
  if (parent == FParent) return;
  if (FParent != nullptr) {
    auto& siblings = FParent->FControls;
    siblings.erase(std::remove(siblings.begin(), siblings.end(), this), siblings.end());
  }
  FParent = parent;
  if (FParent != nullptr) FParent->FControls.push_back(this);
  Changed(TControlChange::Visible);
}

TForm* TControl::ParentForm() {
  TControl* c = this;
  while (c->FParent != nullptr) c = c->FParent;
  return dynamic_cast<TForm*>(c);
}

const TForm* TControl::ParentForm() const { return const_cast<TControl*>(this)->ParentForm(); }

IPlatform* TControl::Platform() const {
  const TForm* form = ParentForm();
  return form != nullptr ? &form->FormPlatform() : nullptr;
}

void TControl::SetBounds(int left, int top, int width, int height) {
  const TRect next = ::Bounds(left, top, width, height);
  if (next == FBounds) return;
  const int dw = width - FBounds.Width();
  const int dh = height - FBounds.Height();
  FBounds = next;
  if (dw != 0 || dh != 0) ResizeChildren(dw, dh);
  Changed(TControlChange::Bounds);
}

// Anchors keep a child's distance to the parent's edges it is anchored to.
void TControl::ResizeChildren(int dw, int dh) {
  for (TControl* c : FControls) {
    int l = c->Left(), t = c->Top(), w = c->Width(), h = c->Height();
    if (c->Anchors.Right) {
      if (c->Anchors.Left)
        w += dw;
      else
        l += dw;
    } else if (!c->Anchors.Left) {
      l += dw / 2;
    }
    if (c->Anchors.Bottom) {
      if (c->Anchors.Top)
        h += dh;
      else
        t += dh;
    } else if (!c->Anchors.Top) {
      t += dh / 2;
    }
    c->SetBounds(l, t, std::max(w, 0), std::max(h, 0));
  }
}

TRect TControl::FormRect() const {
  TRect r = FBounds;
  if (dynamic_cast<const TForm*>(this) != nullptr) return ::Bounds(0, 0, Width(), Height());
  for (const TControl* p = FParent; p != nullptr && dynamic_cast<const TForm*>(p) == nullptr;
       p = p->FParent) {
    r = r.Offset(p->FBounds.Left, p->FBounds.Top);
  }
  return r;
}

TRect TControl::VisibleFormRect() const {
  TRect r = FormRect();
  for (const TControl* p = FParent; p != nullptr; p = p->FParent) r = r.Intersect(p->FormRect());
  return r;
}

void TControl::SetCaption(std::string caption) {
  ChangeTo(FCaption, std::move(caption), TControlChange::Caption);
}

void TControl::SetEnabled(bool enabled) { ChangeTo(FEnabled, enabled, TControlChange::Enabled); }

void TControl::SetVisible(bool visible) { ChangeTo(FVisible, visible, TControlChange::Visible); }

bool TControl::Showing() const {
  for (const TControl* c = this; c != nullptr; c = c->FParent) {
    if (const auto* form = dynamic_cast<const TForm*>(c)) return form->FormVisible();
    if (!c->FVisible) return false;
  }
  return false;
}

void TControl::SetColor(TColor color) {
  if (color == FColor && !ParentColor) return;
  FColor = color;
  ParentColor = false;
  Changed(TControlChange::Color);
}

TColor TControl::EffectiveColor() const {
  if (ParentColor && FParent != nullptr) return FParent->EffectiveColor();
  return FColor;
}

void TControl::SetFont(const TFont& font) { ChangeTo(FFont, font, TControlChange::Font); }

void TControl::SetFontName(const std::string& name) {
  TFont f = FFont;
  f.Name = name;
  SetFont(f);
}

void TControl::SetFontSize(int points) {
  TFont f = FFont;
  f.SetSize(points);
  SetFont(f);
}

void TControl::SetFontStyle(TFontStyle style) {
  TFont f = FFont;
  f.Style = style;
  SetFont(f);
}

void TControl::Click() {
  if (OnClick) OnClick(this);
}

void TControl::Repaint() {
  if (IPlatform* platform = Platform()) platform->Repaint(*this);
}

void TControl::Changed(TControlChange change) {
  if (change == TControlChange::Visible || change == TControlChange::Bounds) {
    VisibilityChanged();
    std::vector<TControl*> pending(FControls.begin(), FControls.end());
    while (!pending.empty()) {
      TControl* c = pending.back();
      pending.pop_back();
      c->VisibilityChanged();
      pending.insert(pending.end(), c->FControls.begin(), c->FControls.end());
    }
  }
  if (IPlatform* platform = Platform()) platform->ControlChanged(*this, change);
}

// ---- TImage

void TImage::SetPicture(TPicture picture) {
  FPicture = std::move(picture);
  Changed(TControlChange::Picture);
}

// ---- TGIFAnimator

class TGIFAnimator::TTimerThread : public TThread {
 public:
  explicit TTimerThread(TGIFAnimator& owner) : FOwner(owner) {}
  ~TTimerThread() override {
    Terminate();
    WaitFor();
  }

 protected:
  void Execute() override {
    std::uint32_t due = GetTickCount32() + FOwner.CurrentDelay();
    while (!Terminated()) {
      const std::uint32_t now = GetTickCount32();
      if (static_cast<std::int32_t>(due - now) > 0) {
        // Short naps keep the stop request prompt.
        SleepMs(std::min<std::uint32_t>(due - now, 10));
        continue;
      }
      FOwner.Tick();
      due += FOwner.CurrentDelay();
      if (static_cast<std::int32_t>(GetTickCount32() - due) > 1000) due = GetTickCount32();
    }
  }

 private:
  TGIFAnimator& FOwner;  // we don't own it: it owns us and stops us first
};

TGIFAnimator::TGIFAnimator(TComponent* owner) : TControl(owner) {}

TGIFAnimator::~TGIFAnimator() { Stop(); }

void TGIFAnimator::Stop() { FThread.reset(); }

int TGIFAnimator::CurrentDelay() const {
  const int n = FPicture.FrameCount();
  if (n == 0) return 100;
  const int i = FFrame.load() % n;
  const int d = i < static_cast<int>(FPicture.DelaysMs.size())
                    ? FPicture.DelaysMs[static_cast<std::size_t>(i)]
                    : 100;
  return std::max(d, 10);
}

void TGIFAnimator::SetPicture(TPicture picture) {
  FThread.reset();
  FPicture = std::move(picture);
  if (FFrame.load() >= FPicture.FrameCount()) FFrame.store(0);
  UpdateDrawState();
  Changed(TControlChange::Picture);
  Restart();
}

void TGIFAnimator::SetFrameIndex(int index) {
  const int n = FPicture.FrameCount();
  FFrame.store(n > 0 ? ((index % n) + n) % n : 0);
  Changed(TControlChange::Picture);
}

void TGIFAnimator::SetAnimate(bool animate) {
  if (animate == FAnimate) return;
  FAnimate = animate;
  Restart();
}

void TGIFAnimator::Restart() {
  FThread.reset();
  if (FAnimate && FPicture.FrameCount() > 1) {
    FThread = std::make_unique<TTimerThread>(*this);
    FThread->Start();
  }
}

void TGIFAnimator::UpdateDrawState() {
  std::lock_guard lock(FDrawLock);
  FDrawShowing = Showing() && !FPicture.Empty();
  FDrawState.Form = ParentForm();
  FDrawState.Rect = FormRect();
  FDrawState.Clip = VisibleFormRect();
  FDrawState.Background = Parent() != nullptr ? Parent()->EffectiveColor() : clWhite;
}

void TGIFAnimator::Tick() {
  const int n = FPicture.FrameCount();
  const int next = (FFrame.load() + 1) % n;
  FFrame.store(next);
  if (!AsyncDrawing) return;
  std::lock_guard lock(FDrawLock);
  if (!FDrawShowing || FDrawState.Form == nullptr) return;
  TAnimationFrame frame = FDrawState;
  frame.Pixels = &FPicture.Frames[static_cast<std::size_t>(next)];
  FDrawState.Form->FormPlatform().DrawAnimationFrame(frame);
  FDrawn.fetch_add(1);
}

// ---- TProgressBar

void TProgressBar::SetProgress(int position, int max) {
  max = std::max(max, 1);
  position = std::clamp(position, 0, max);
  if (position == FPosition && max == FMax) return;
  FPosition = position;
  FMax = max;
  Changed(TControlChange::Progress);
}

void TProgressBar::SetMarquee(bool marquee) {
  ChangeTo(FMarquee, marquee, TControlChange::Progress);
}

// ---- TMemo

TMemo::TMemo(TComponent* owner) : TControl(owner) {
  FLines.OnChange = [this](TObject*) { Changed(TControlChange::Items); };
}

// ---- TListView

void TListItem::SetCaption(std::string caption) {
  FCaption = std::move(caption);
  FOwner->ItemsChanged();
}

void TListItem::AddSubItem(std::string text) {
  FSubItems.push_back(std::move(text));
  FOwner->ItemsChanged();
}

void TListItem::SetStateIndex(int index) {
  if (index == FStateIndex) return;
  FStateIndex = index;
  FOwner->ItemsChanged();
}

TListItem& TListView::AddItem() {
  FItems.push_back(std::make_unique<TListItem>(*this));
  ItemsChanged();
  return *FItems.back();
}

// ---- TPageControl

int TPageControl::PageCount() const {
  return static_cast<int>(std::count_if(
      Controls().begin(), Controls().end(),
      [](const TControl* c) { return dynamic_cast<const TTabSheet*>(c) != nullptr; }));
}

TTabSheet& TPageControl::Pages(int index) const {
  int i = 0;
  for (TControl* c : Controls()) {
    if (auto* sheet = dynamic_cast<TTabSheet*>(c)) {
      if (i++ == index) return *sheet;
    }
  }
  throw EListError("List index out of bounds (" + std::to_string(index) + ")");
}

void TPageControl::SetActivePageIndex(int index) {
  if (index < 0 || index >= PageCount()) return;
  const int previous = FActive;
  FActive = index;
  if (previous >= 0 && previous != index) Pages(previous).Hide();
  Pages(index).Show();
}

TRect TPageControl::PageArea() const {
  constexpr int kFrame = 4;
  return ::Bounds(kFrame, kFrame, std::max(Width() - 2 * kFrame, 0),
                  std::max(Height() - 2 * kFrame, 0));
}
