// The main window's stored form: every control with its place, colours, fonts,
// anchors, tab order, captions and stored states.
#include "app/Appearance.h"
#include "app/Pictures.h"
#include "app/frmMain.h"

namespace {
constexpr TColor kTextGrey = 0x666666;
constexpr TColor kFrameGrey = 0x808080;

template <class T>
T& Place(T& control, const char* name, TControl* parent, int left, int top, int width, int height,
         TAnchors anchors = akLeftTop) {
  control.SetName(name);
  control.SetParent(parent);
  control.SetBounds(left, top, width, height);
  control.Anchors = anchors;
  return control;
}

void SetLabel(TLabel& label, const std::string& caption, const TFont& font,
              bool transparent = false) {
  label.SetCaption(caption);
  label.SetFont(font);
  label.Transparent = transparent;
}

void SetButton(TGlowButton& button, const std::string& caption, int tabOrder,
               TColor disabledLower = kDisabledGrey) {
  button.SetCaption(caption);
  button.SetFont(MakeFont(-11, clBlack));
  button.Appearance = ButtonAppearance(disabledLower);
  button.TabOrder = tabOrder;
}

const char* const kLabel4Text =
    "Ste tik pred tem, da izvedete namestitev mrežne verzije programa Tramela.\r\n"
    "\r\n"
    "Na vaš lokalni strežnik se bo izvedla namestitev lokalnega Firebird SQL strežnika. "
    "Za nemoteno povezovanje je potrebno na požarnem zidu ali antivirusni zaščiti  omogočiti "
    "pretok podatkov na portu tcp/3050.";
}  // namespace

void T_frmMain::BuildLayout() {
  SetName("_frmMain");
  SetClientSize(930, 750);
  SetColor(clWhite);
  SetFont(TFont{});
  Position = TFormPosition::poScreenCenter;
  BuildSidebarAndFrame();
  BuildButtons();
  BuildPages();
  BuildProgressPanel();
}

void T_frmMain::BuildSidebarAndFrame() {
  Place(Shape2, "Shape2", this, 0, 0, 930, 750, akAll);
  Shape2.BrushColor = clWhite;
  Shape2.PenColor = kFrameGrey;

  Place(Panel2, "Panel2", this, 0, 0, 193, 750, akLeftTopBottom);
  Panel2.BevelNone = true;
  Panel2.SetColor(kSidebarYellow);

  Place(Image1, "Image1", &Panel2, 178, 88, 29, 29);
  Image1.SetPicture(NotchPicture());
  Place(_lblMenuLokacija, "_lblMenuLokacija", &Panel2, 16, 152, 77, 13);
  SetLabel(_lblMenuLokacija, "Osnovni podatki", TFont{});
  Place(_lblMenuNamestitev, "_lblMenuNamestitev", &Panel2, 16, 176, 53, 13);
  SetLabel(_lblMenuNamestitev, "Namestitev", TFont{});

  Place(Label17, "Label17", this, 220, 32, 413, 29);
  SetLabel(Label17, "Tramela - strežniška namestitev", MakeFont(-23, clBlack, TFontStyle::fsBold),
           true);
  Place(_lblTitle, "_lblTitle", this, 220, 88, 97, 25);
  SetLabel(_lblTitle, "Namestitev", MakeFont(-20, clBlack), true);

  for (TLabel* label : {&Label14, &Label15, &Label16}) {
    label->Layout = TTextLayout::tlCenter;
    label->AutoSize = false;
  }
  Place(Label14, "Label14", this, 220, 685, 507, 13, akLeftRightBottom);
  SetLabel(Label14, "© Halvex d.o.o. Vse pravice pridržane.", MakeFont(-11, clBlack), true);
  Place(Label15, "Label15", this, 220, 701, 507, 13, akLeftRightBottom);
  SetLabel(Label15, "", MakeFont(-11, clBlack), true);
  Place(Label16, "Label16", this, 220, 717, 507, 13, akLeftRightBottom);
  SetLabel(Label16, "Build: 4.0.001; Release: 2", MakeFont(-11, clBlack), true);
}

void T_frmMain::BuildButtons() {
  Place(_btnPreklici, "_btnPreklici", this, 834, 618, 80, 41, akRightBottom);
  SetButton(_btnPreklici, "Prekliči", 1, clSilver);
  _btnPreklici.OnClick = [this](TObject* s) { _btnPrekliciClick(s); };
  Place(_btnPotrdi, "_btnPotrdi", this, 746, 618, 80, 41, akRightBottom);
  SetButton(_btnPotrdi, "Potrdi", 2);
  _btnPotrdi.OnClick = [this](TObject* s) { _btnPotrdiClick(s); };
  Place(_btnNaprej, "_btnNaprej", this, 626, 618, 79, 41, akRightBottom);
  SetButton(_btnNaprej, "Naprej", 4);
  _btnNaprej.OnClick = [this](TObject* s) { _btnNaprejClick(s); };
  Place(_btnNazaj, "_btnNazaj", this, 538, 618, 80, 41, akRightBottom);
  SetButton(_btnNazaj, "Nazaj", 5);
  _btnNazaj.SetEnabled(false);
  _btnNazaj.OnClick = [this](TObject* s) { _btnNazajClick(s); };

  ImageList1.SetName("ImageList1");
  ImageList1.Width = 16;
  ImageList1.Height = 20;
  ImageList1.Images = StateImages();
}

void T_frmMain::BuildPages() {
  Place(PageControl1, "PageControl1", this, 220, 142, 693, 451);
  PageControl1.ButtonStyle = true;
  PageControl1.MultiLine = true;
  PageControl1.TabOrder = 3;
  PageControl1.ParentColor = true;
  const TRect area = PageControl1.PageArea();

  Place(_tabLokacija, "_tabLokacija", &PageControl1, area.Left, area.Top, area.Width(),
        area.Height(), akAll);
  _tabLokacija.SetCaption("Lokacija");
  Place(Label4, "Label4", &_tabLokacija, 6, 56, 664, 121);
  SetLabel(Label4, kLabel4Text, MakeFont(-11, kTextGrey));
  Label4.WordWrap = true;
  Label4.AutoSize = false;
  Place(Image2, "Image2", &_tabLokacija, -8, 0, 47, 47);
  Image2.SetPicture(DatabasePicture());

  Place(_tabPrenos, "_tabPrenos", &PageControl1, area.Left, area.Top, area.Width(), area.Height(),
        akAll);
  _tabPrenos.SetCaption("Prenos podatkov");
  Place(Label8, "Label8", &_tabPrenos, 0, 8, 340, 13);
  SetLabel(Label8, "Želite izvesti namestitev programa za izbrano konfiguracijo?",
           MakeFont(-11, clWhite, TFontStyle::fsBold));
  Place(_lblNacin, "_lblNacin", &_tabPrenos, 35, 8, 44, 13);
  SetLabel(_lblNacin, "_lblNacin", MakeFont(-11, kTextGrey));
  Place(_lblLokacija, "_lblLokacija", &_tabPrenos, 51, 31, 56, 13);
  SetLabel(_lblLokacija, "_lblLokacija", MakeFont(-11, kTextGrey));
  Place(Label9, "Label9", &_tabPrenos, 0, 8, 31, 13);
  SetLabel(Label9, "Način:", MakeFont(-11, clBlack));
  Place(Label10, "Label10", &_tabPrenos, 0, 31, 43, 13);
  SetLabel(Label10, "Lokacija:", MakeFont(-11, clBlack));

  // The first page is the active one in the stored form.
  PageControl1.SetActivePageIndex(0);
}

void T_frmMain::BuildProgressPanel() {
  Place(Panel1, "Panel1", &_tabPrenos, 0, 56, 683, 362, akAll);
  Panel1.BevelNone = true;
  Panel1.ParentColor = true;
  Panel1.ParentBackground = true;
  Panel1.TabOrder = 0;

  Place(_progress, "_progress", &Panel1, -1, 1, 35, 35);
  _progress.AsyncDrawing = true;
  _progress.SetPicture(ProgressAnimation());
  _progress.SetFrameIndex(54);
  _progress.SetAnimate(true);

  Place(_lblPotek, "_lblPotek", &Panel1, 38, 12, 99, 13);
  SetLabel(_lblPotek, "Potek namestitve", MakeFont(-11, clBlack, TFontStyle::fsBold));
  _lblPotek.SetVisible(false);

  // Right of "Potek namestitve" and above the checklist: the strip that nothing else uses.
  Place(_lblNapredek, "_lblNapredek", &Panel1, 180, 12, 250, 13);
  SetLabel(_lblNapredek, "", MakeFont(-11, clBlack));
  _lblNapredek.AutoSize = false;
  _lblNapredek.SetVisible(false);
  Place(_barNapredek, "_barNapredek", &Panel1, 441, 10, 240, 17);
  _barNapredek.ParentColor = true;
  _barNapredek.BarColor = kSidebarYellow;
  _barNapredek.SetVisible(false);

  Place(Shape1, "Shape1", &Panel1, 0, 278, 680, 1, akLeftTopRight);
  Shape1.BrushColor = clSilver;
  Shape1.PenColor = clSilver;

  Place(_memoPotek, "_memoPotek", &Panel1, 0, 280, 681, 81);
  _memoPotek.BorderNone = true;
  _memoPotek.ReadOnly = true;
  _memoPotek.SetColor(clWhite);
  _memoPotek.SetFont(MakeFont(-11, clBlack));
  _memoPotek.TabOrder = 0;
  _memoPotek.TabStop = true;
  _memoPotek.Lines().Add("_memoPotek");

  Place(_lstPostavke, "_lstPostavke", &Panel1, 0, 44, 681, 230);
  _lstPostavke.BorderNone = true;
  _lstPostavke.SetColor(clWhite);
  _lstPostavke.SetFont(MakeFont(-11, clBlack));
  _lstPostavke.ReportStyle = true;
  _lstPostavke.ColumnWidths = {30, 400};
  _lstPostavke.ShowColumnHeaders = false;
  _lstPostavke.ColumnClick = false;
  _lstPostavke.StateImages = &ImageList1;
  _lstPostavke.TabStop = false;
  _lstPostavke.TabOrder = 1;
}
