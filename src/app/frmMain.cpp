// The main window's behaviour: start-up checks, font switch, location and
// navigation. The installation sequence is in frmMainInstall.cpp, the stored
// layout in frmMainLayout.cpp.
#include "app/frmMain.h"

#include <algorithm>

#include "app/HalvexConst.h"
#include "app/InstallRollback.h"
#include "rtl/Exceptions.h"
#include "rtl/Strings.h"
#include "rtl/Text.h"

namespace {
const char* const kSegoeUi = "Segoe UI";
std::string InstalledProgramFile() { return std::string(InstallDir) + "\\Tramela.exe"; }
}  // namespace

T_frmMain::T_frmMain(TComponent* owner, IPlatform& platform, IInstallOperations& operations,
                     std::span<const TPackagePublicKey> packageKeys, std::int32_t minPackageVersion)
    : TForm(owner, platform),
      FOps(operations),
      FZip(operations.CreateZipComponent(MainWindowZipSettings())),
      FPackageKeys(packageKeys.begin(), packageKeys.end()),
      FMinPackageVersion(minPackageVersion),
      Shape2(CreateOwned<TShape>()),
      Panel2(CreateOwned<TPanel>()),
      Image1(CreateOwned<TImage>()),
      _lblMenuLokacija(CreateOwned<TLabel>()),
      _lblMenuNamestitev(CreateOwned<TLabel>()),
      Label17(CreateOwned<TLabel>()),
      _lblTitle(CreateOwned<TLabel>()),
      _btnPreklici(CreateOwned<TGlowButton>()),
      _btnPotrdi(CreateOwned<TGlowButton>()),
      Label14(CreateOwned<TLabel>()),
      Label15(CreateOwned<TLabel>()),
      Label16(CreateOwned<TLabel>()),
      ImageList1(CreateOwned<TImageList>()),
      Zipella1(*FZip),
      PageControl1(CreateOwned<TPageControl>()),
      _tabLokacija(CreateOwned<TTabSheet>()),
      Label4(CreateOwned<TLabel>()),
      _tabPrenos(CreateOwned<TTabSheet>()),
      Label8(CreateOwned<TLabel>()),
      _lblNacin(CreateOwned<TLabel>()),
      _lblLokacija(CreateOwned<TLabel>()),
      Label9(CreateOwned<TLabel>()),
      Label10(CreateOwned<TLabel>()),
      Panel1(CreateOwned<TPanel>()),
      _progress(CreateOwned<TGIFAnimator>()),
      _lblPotek(CreateOwned<TLabel>()),
      _memoPotek(CreateOwned<TMemo>()),
      _lstPostavke(CreateOwned<TListView>()),
      _btnNaprej(CreateOwned<TGlowButton>()),
      _btnNazaj(CreateOwned<TGlowButton>()),
      Image2(CreateOwned<TImage>()),
      Shape1(CreateOwned<TShape>()),
      _lblNapredek(CreateOwned<TLabel>()),
      _barNapredek(CreateOwned<TProgressBar>()) {
  BuildLayout();
  OnShow = [this](TObject* s) { FormShow(s); };
  FOps.AttachMonitor(&FMonitor);
  Zipella1.AttachMonitor(&FMonitor);
}

T_frmMain::~T_frmMain() { FOps.AttachMonitor(nullptr); }

// ---- Start-up and navigation

void T_frmMain::FormShow(TObject*) {
  PrepareWizard();
  ApplySystemFont();
  PageControl1.SetActivePageIndex(0);
  ShowLocation();
  HighlightMenu(PageControl1.ActivePageIndex());
  if (IsProgramInstalled()) {
    Notice("Napaka",
           {"Namestitev programa Tramela že obstaja.", "Ponovna namestitev programa ni mogoča. "});
    CloseApplication();
  }
}

void T_frmMain::PrepareWizard() {
  HideTabs();
  _lblPotek.Hide();
  _memoPotek.Lines().Clear();
  _progress.Hide();
  if (FOps.DirectoryExists(InstallDir) &&
      IsUnfinishedInstallation(FOps, InstallDir, InstalledProgramFile())) {
    // A run of this installer that was ended from outside: it goes, and the
    // wizard goes on.
    Notice("Kontrola namestitve",
           {"Prejšnja namestitev ni bila dokončana.", "Nepopolna namestitev bo odstranjena."});
    RemoveUnfinishedInstallation(false);
  } else if (FOps.DirectoryExists(InstallDir)) {
    Notice("Kontrola namestitve",
           {"Mrežna namestitev programa Tramela že obstaja.",
            "Če želite nadaljevati z namestitvijo, morate odstraniti staro različico."});
    CloseApplication();
  }
}

void T_frmMain::HideTabs() {
  for (int i = 0; i < PageControl1.PageCount(); ++i) {
    TTabSheet& page = PageControl1.Pages(i);
    page.TabVisible = false;
    page.Hide();
  }
}

void T_frmMain::ApplySystemFont() {
  IPlatform& platform = FormPlatform();
  const auto fonts = platform.ScreenFonts();
  if (std::none_of(fonts.begin(), fonts.end(),
                   [](const std::string& f) { return SameText(f, kSegoeUi); }))
    return;
  for (TForm* form : platform.Forms()) {
    if (form->Name().compare(0, 4, "_rep") == 0) continue;
    for (int i = 0; i < form->ComponentCount(); ++i) {
      auto* control = dynamic_cast<TControl*>(form->Components(i));
      if (control == nullptr) continue;
      if (const TFont* published = control->PublishedFont()) {
        TFont font = *published;
        font.Name = kSegoeUi;
        if (font.Size() <= 10) font.SetSize(9);
        control->SetFont(font);
      }
      if (dynamic_cast<TLabel*>(control) != nullptr) control->SetHeight(control->Height() + 3);
    }
  }
}

void T_frmMain::ShowLocation() {
  try {
    _lblNacin.SetCaption("Omrežna namestitev.");
    const auto addresses = FOps.GetLocalIPs();
    if (!addresses.empty()) {
      _lblLokacija.SetCaption("<" + addresses.front() + ":3050>; Imenik: C:\\Tramela\\");
      return;
    }
  } catch (const std::exception&) {
    // The location is only shown: any failure gives the local fallback.
  }
  _lblLokacija.SetCaption("<localhost:3050>; Imenik: C:\\Tramela\\");
}

void T_frmMain::HighlightMenu(int pageIndex) {
  _lblMenuLokacija.SetFontStyle(TFontStyle::fsRegular);
  _lblMenuNamestitev.SetFontStyle(TFontStyle::fsRegular);
  if (pageIndex == 0) _lblMenuLokacija.SetFontStyle(TFontStyle::fsBold);
  if (pageIndex == 1) _lblMenuNamestitev.SetFontStyle(TFontStyle::fsBold);
}

void T_frmMain::UpdateButtons(int pageIndex) {
  if (pageIndex == 0) {
    _btnNazaj.SetEnabled(false);
    _btnNaprej.SetEnabled(true);
    _btnPotrdi.SetEnabled(false);
  } else if (pageIndex == 1) {
    _btnNazaj.SetEnabled(true);
    _btnNaprej.SetEnabled(false);
    _btnPotrdi.SetEnabled(true);
  }
}

bool T_frmMain::IsProgramInstalled() { return FOps.FileExists(InstalledProgramFile()); }

void T_frmMain::CloseApplication() { FormPlatform().PostQuit(); }

void T_frmMain::_btnNaprejClick(TObject*) {
  if (PageControl1.ActivePageIndex() == 0) PageControl1.SetActivePageIndex(1);
  UpdateButtons(PageControl1.ActivePageIndex());
  HighlightMenu(PageControl1.ActivePageIndex());
}

void T_frmMain::_btnNazajClick(TObject*) {
  if (PageControl1.ActivePageIndex() == 1) PageControl1.SetActivePageIndex(0);
  UpdateButtons(PageControl1.ActivePageIndex());
  HighlightMenu(PageControl1.ActivePageIndex());
}

// During a run the button stops the run; the program ends only afterwards.
void T_frmMain::_btnPrekliciClick(TObject*) {
  if (FRunning) {
    CancelRun();
    return;
  }
  CloseApplication();
}

void T_frmMain::_btnPotrdiClick(TObject*) { RunInstallation(); }

void T_frmMain::Notice(const std::string& title, std::initializer_list<std::string> lines) {
  if (FNotice == nullptr) throw Exception("The notice window does not exist");
  FNotice->ClearNotice(title);
  for (const std::string& line : lines) FNotice->AddLine(line);
  FNotice->ShowNotice();
}
