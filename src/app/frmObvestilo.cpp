// The notice window: its layout, placement, backdrop and modal showing.
#include "app/frmObvestilo.h"

#include <cmath>
#include <optional>

#include "app/Appearance.h"
#include "rtl/Strings.h"

int RoundHalfEven(double value) {
  const double f = std::floor(value);
  const double d = value - f;
  if (d > 0.5) return static_cast<int>(f) + 1;
  if (d < 0.5) return static_cast<int>(f);
  const int i = static_cast<int>(f);
  return i % 2 == 0 ? i : i + 1;
}

namespace {
TFont NoticeFont() {
  TFont f;  // MS Sans Serif 8 pt in the window-text colour
  return f;
}
}  // namespace

T_frmObvestilo::T_frmObvestilo(TComponent* owner, IPlatform& platform)
    : TForm(owner, platform),
      Panel1(CreateOwned<TPanel>()),
      _lblTitle(CreateOwned<TLabel>()),
      _btnPotrdi(CreateOwned<TGlowButton>()),
      _status(CreateOwned<TMemo>()) {
  SetName("_frmObvestilo");
  SetClientSize(724, 336);
  SetColor(clWhite);
  SetFont(NoticeFont());
  Position = TFormPosition::poScreenCenter;
  OnClose = [this](TObject* s, TCloseAction& a) { FormClose(s, a); };

  Panel1.SetName("Panel1");
  Panel1.SetParent(this);
  Panel1.SetBounds(50, 8, 625, 313);
  Panel1.SetColor(clWhite);
  Panel1.SetFont(NoticeFont());
  Panel1.TabOrder = 0;

  _lblTitle.SetName("_lblTitle");
  _lblTitle.SetParent(&Panel1);
  _lblTitle.SetBounds(8, 6, 614, 20);
  _lblTitle.Anchors = akLeftTopRight;
  _lblTitle.SetFont(MakeFont(-17, 0x1C77AE));
  _lblTitle.SetCaption("...");
  _lblTitle.AutoSize = false;

  _btnPotrdi.SetName("_btnPotrdi");
  _btnPotrdi.SetParent(&Panel1);
  _btnPotrdi.SetBounds(529, 262, 80, 41);
  _btnPotrdi.Anchors = akRightBottom;
  _btnPotrdi.SetCaption("Potrdi");
  _btnPotrdi.SetFont(NoticeFont());
  _btnPotrdi.Appearance = ButtonAppearance();
  _btnPotrdi.TabOrder = 0;
  _btnPotrdi.OnClick = [this](TObject* s) { _btnPotrdiClick(s); };

  _status.SetName("_status");
  _status.SetParent(&Panel1);
  _status.SetBounds(8, 48, 609, 201);
  _status.BorderNone = true;
  _status.ReadOnly = true;
  _status.SetColor(clWindow);
  _status.SetFont(NoticeFont());
  _status.TabOrder = 1;
  _status.Lines().Add("_status");
}

void T_frmObvestilo::ClearNotice(const std::string& title) {
  _status.Lines().Clear();
  FTitle = title;
}

void T_frmObvestilo::AddLine(const std::string& text) { _status.Lines().Add(text); }

void T_frmObvestilo::ShowNotice() {
  PlaceNotice();
  _lblTitle.SetCaption("Napaka uporabnika");
  if (!FTitle.empty()) _lblTitle.SetCaption(FTitle);
  _btnPotrdi.Show();
  _btnPotrdi.SetCaption("Potrdi");
  ShowBackdrop();
  ShowModal();
}

void T_frmObvestilo::PlaceNotice() {
  const TRect work = FormPlatform().WorkArea();
  const int w = work.Width();
  const int h = work.Height();
  const int t = GetTaskbarHeight();
  SetBounds(0, Top(), w, Height());
  Panel1.SetLeft(RoundHalfEven((w - Panel1.Width()) / 2.0));
  SetTop(RoundHalfEven((h - t - 40 - Height()) / 2.0));
}

int T_frmObvestilo::GetTaskbarHeight() {
  IPlatform& platform = FormPlatform();
  const std::optional<TRect> tray = platform.TaskbarRect();
  if (!tray) return 0;
  const int h = tray->Height();
  // A taskbar docked at a side is as tall as the screen and takes no height.
  return h < platform.WorkArea().Height() ? h : 0;
}

void T_frmObvestilo::ShowBackdrop() {
  IPlatform& platform = FormPlatform();
  if (FNoticeBackdrop) FLeftBackdrops.push_back(std::move(FNoticeBackdrop));
  FNoticeBackdrop = std::make_unique<TForm>(nullptr, platform);
  TForm& backdrop = *FNoticeBackdrop;
  backdrop.AlphaBlend = true;
  backdrop.AlphaBlendValue = 128;
  backdrop.SetColor(clBlack);
  backdrop.SetBounds(0, 0, platform.ScreenWidth(), platform.ScreenHeight());
  // Shown by the placement alone: above ordinary windows, below topmost ones;
  // the form's own visibility stays off.
  platform.PlaceBackdrop(
      backdrop.Handle(),
      Bounds(backdrop.Left(), backdrop.Top(), backdrop.ClientWidth(), backdrop.ClientHeight()));
}

void T_frmObvestilo::FormClose(TObject*, TCloseAction&) { FNoticeBackdrop.reset(); }

void T_frmObvestilo::_btnPotrdiClick(TObject*) { Close(); }

void T_frmObvestilo::_btnPrekliciClick(TObject*) { Close(); }
