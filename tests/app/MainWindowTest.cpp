// The main window: its stored layout, the start-up checks, the font switch,
// the location label, navigation and the program's start.
#include <gtest/gtest.h>

#include "AppFixture.h"

namespace {

struct TLayoutRow {
  const char* Name;
  const char* Class;
  const char* Parent;
  TRect Bounds;
  TAnchors Anchors;
};

// The stored layout, as the window's designer placed it.
const TLayoutRow kLayout[] = {
    {"Shape2", "TShape", "_frmMain", Bounds(0, 0, 930, 750), akAll},
    {"Label17", "TLabel", "_frmMain", Bounds(220, 32, 413, 29), akLeftTop},
    {"_lblTitle", "TLabel", "_frmMain", Bounds(220, 88, 97, 25), akLeftTop},
    {"Label14", "TLabel", "_frmMain", Bounds(220, 685, 507, 13), akLeftRightBottom},
    {"Label16", "TLabel", "_frmMain", Bounds(220, 717, 507, 13), akLeftRightBottom},
    {"Panel2", "TPanel", "_frmMain", Bounds(0, 0, 193, 750), akLeftTopBottom},
    {"Image1", "TImage", "Panel2", Bounds(178, 88, 29, 29), akLeftTop},
    {"_lblMenuLokacija", "TLabel", "Panel2", Bounds(16, 152, 77, 13), akLeftTop},
    {"_lblMenuNamestitev", "TLabel", "Panel2", Bounds(16, 176, 53, 13), akLeftTop},
    {"_btnPreklici", "TGlowButton", "_frmMain", Bounds(834, 618, 80, 41), akRightBottom},
    {"_btnPotrdi", "TGlowButton", "_frmMain", Bounds(746, 618, 80, 41), akRightBottom},
    {"PageControl1", "TPageControl", "_frmMain", Bounds(220, 142, 693, 451), akLeftTop},
    {"Label4", "TLabel", "_tabLokacija", Bounds(6, 56, 664, 121), akLeftTop},
    {"Image2", "TImage", "_tabLokacija", Bounds(-8, 0, 47, 47), akLeftTop},
    {"Label8", "TLabel", "_tabPrenos", Bounds(0, 8, 340, 13), akLeftTop},
    {"_lblNacin", "TLabel", "_tabPrenos", Bounds(35, 8, 44, 13), akLeftTop},
    {"_lblLokacija", "TLabel", "_tabPrenos", Bounds(51, 31, 56, 13), akLeftTop},
    {"Label9", "TLabel", "_tabPrenos", Bounds(0, 8, 31, 13), akLeftTop},
    {"Label10", "TLabel", "_tabPrenos", Bounds(0, 31, 43, 13), akLeftTop},
    {"Panel1", "TPanel", "_tabPrenos", Bounds(0, 56, 683, 362), akAll},
    {"_progress", "TGIFAnimator", "Panel1", Bounds(-1, 1, 35, 35), akLeftTop},
    {"_lblPotek", "TLabel", "Panel1", Bounds(38, 12, 99, 13), akLeftTop},
    {"Shape1", "TShape", "Panel1", Bounds(0, 278, 680, 1), akLeftTopRight},
    {"_memoPotek", "TMemo", "Panel1", Bounds(0, 280, 681, 81), akLeftTop},
    {"_lstPostavke", "TListView", "Panel1", Bounds(0, 44, 681, 230), akLeftTop},
    {"_btnNaprej", "TGlowButton", "_frmMain", Bounds(626, 618, 79, 41), akRightBottom},
    {"_btnNazaj", "TGlowButton", "_frmMain", Bounds(538, 618, 80, 41), akRightBottom},
};

using MainWindowLayout = TAppTest;

TEST_F(MainWindowLayout, EveryControlStandsWhereTheFormStoresIt) {
  EXPECT_EQ(Main->ClientWidth(), 930);
  EXPECT_EQ(Main->ClientHeight(), 750);
  EXPECT_EQ(Main->Color(), clWhite);
  for (const TLayoutRow& row : kLayout) {
    SCOPED_TRACE(row.Name);
    auto* control = dynamic_cast<TControl*>(Main->FindComponent(row.Name));
    ASSERT_NE(control, nullptr);
    EXPECT_STREQ(control->ClassName(), row.Class);
    ASSERT_NE(control->Parent(), nullptr);
    EXPECT_EQ(control->Parent()->Name(), row.Parent);
    EXPECT_EQ(control->BoundsRect(), row.Bounds);
    EXPECT_EQ(control->Anchors, row.Anchors);
    EXPECT_EQ(control->Font().Name, "MS Sans Serif");
  }
}

TEST_F(MainWindowLayout, ComponentsAreOwnedInDeclarationOrder) {
  const std::vector<std::string> order{
      "Shape2", "Panel2", "Image1", "_lblMenuLokacija", "_lblMenuNamestitev", "Label17",
      "_lblTitle", "_btnPreklici", "_btnPotrdi", "Label14", "Label15", "Label16", "ImageList1",
      "PageControl1", "_tabLokacija", "Label4", "_tabPrenos", "Label8", "_lblNacin", "_lblLokacija",
      "Label9", "Label10", "Panel1", "_progress", "_lblPotek", "_memoPotek", "_lstPostavke",
      "_btnNaprej", "_btnNazaj", "Image2", "Shape1",
      // Added after the stored form's own: the progress line of the long steps.
      "_lblNapredek", "_barNapredek"};
  std::vector<std::string> names;
  for (int i = 0; i < Main->ComponentCount(); ++i) names.push_back(Main->Components(i)->Name());
  EXPECT_EQ(names, order);
}

TEST_F(MainWindowLayout, ProgressLineCoversNoControlOfTheLayout) {
  Platform.Settings.Fonts.push_back("Segoe UI");
  Start();  // fonts switched, labels grown
  for (const TControl* line :
       std::initializer_list<const TControl*>{&Main->_lblNapredek, &Main->_barNapredek}) {
    EXPECT_FALSE(line->Visible());
    const std::initializer_list<const TControl*> layout{
        &Main->_progress,    &Main->_lblPotek, &Main->Shape1,    &Main->_memoPotek,
        &Main->_lstPostavke, &Main->Label8,    &Main->_lblNacin, &Main->_lblLokacija,
        &Main->Label9,       &Main->Label10};
    for (const TControl* other : layout) {
      EXPECT_TRUE(line->FormRect().Intersect(other->FormRect()).Empty())
          << line->Name() << " covers " << other->Name();
    }
    // Inside the page, on the window's white.
    EXPECT_EQ(line->VisibleFormRect(), line->FormRect());
    EXPECT_EQ(line->EffectiveColor(), clWhite);
  }
  EXPECT_EQ(Main->_lblNapredek.Font().Name, Main->_lblPotek.Font().Name);
}

TEST_F(MainWindowLayout, CaptionsFontsAndStoredStates) {
  EXPECT_EQ(Main->Label17.Caption(), "Tramela - strežniška namestitev");
  EXPECT_EQ(Main->Label17.Font().Height, -23);
  EXPECT_TRUE(Main->Label17.Font().Bold());
  EXPECT_EQ(Main->_lblTitle.Font().Height, -20);
  EXPECT_EQ(Main->Label16.Caption(), "Build: 4.0.001; Release: 2");
  EXPECT_FALSE(Main->Label14.Caption().empty());
  EXPECT_EQ(Main->Label8.Font().Color, clWhite);
  EXPECT_EQ(Main->_lblNacin.Caption(), "_lblNacin");
  EXPECT_EQ(Main->Label4.Font().Color, 0x666666u);
  EXPECT_EQ(Main->Label4.Caption(),
            "Ste tik pred tem, da izvedete namestitev mrežne verzije programa Tramela.\r\n\r\n"
            "Na vaš lokalni strežnik se bo izvedla namestitev lokalnega Firebird SQL strežnika. Za "
            "nemoteno "
            "povezovanje je potrebno na požarnem zidu ali antivirusni zaščiti  omogočiti pretok "
            "podatkov na portu "
            "tcp/3050.");
  EXPECT_TRUE(Main->Label4.WordWrap);
  EXPECT_FALSE(Main->Label4.AutoSize);
  EXPECT_EQ(Main->Panel2.Color(), 0xFFD541u);
  EXPECT_EQ(Main->Shape2.PenColor, 0x808080u);
  EXPECT_EQ(Main->Shape1.PenColor, 0xC0C0C0u);
  EXPECT_FALSE(Main->_btnNazaj.Enabled());
  EXPECT_TRUE(Main->_btnNaprej.Enabled());
  EXPECT_EQ(Main->_lstPostavke.ColumnWidths, (std::vector<int>{30, 400}));
  EXPECT_FALSE(Main->_lstPostavke.ShowColumnHeaders);
  EXPECT_EQ(Main->_lstPostavke.StateImages, &Main->ImageList1);
  EXPECT_EQ(Main->ImageList1.Images.size(), 4u);
  EXPECT_EQ(Main->_progress.FrameIndex(), 54);
  EXPECT_TRUE(Main->_progress.Animate());
  EXPECT_EQ(Main->PageControl1.ActivePageIndex(), 0);
  const std::pair<TControl*, int> tabOrders[] = {
      {&Main->_btnPreklici, 1}, {&Main->_btnPotrdi, 2}, {&Main->PageControl1, 3},
      {&Main->_btnNaprej, 4},   {&Main->_btnNazaj, 5},  {&Main->_lstPostavke, 1}};
  for (const auto& [control, order] : tabOrders)
    EXPECT_EQ(control->TabOrder, order) << control->Name();
  EXPECT_FALSE(Main->_lstPostavke.TabStop);
}

TEST_F(MainWindowLayout, DisabledCancelButtonHasItsOwnLowerHalf) {
  EXPECT_EQ(Main->_btnPreklici.Appearance.Disabled.LowerFrom, 0xC0C0C0u);
  EXPECT_EQ(Main->_btnPotrdi.Appearance.Disabled.LowerFrom, 0xECEDF0u);
  EXPECT_EQ(Main->_btnPotrdi.Appearance.Normal.Border, 0xFFD541u);
  EXPECT_EQ(Main->_btnPotrdi.Appearance.Hot.UpperFrom, 0xFBE493u);
}

TEST_F(MainWindowLayout, ShowsAtTheScreenCentre) {
  Start();
  EXPECT_EQ(Main->Left(), (1920 - 930) / 2);
  EXPECT_EQ(Main->Top(), (1080 - 750) / 2);
}

// ---- FormShow

using StartUp = TAppTest;

TEST_F(StartUp, CleanMachineShowsPageZeroWithoutNotice) {
  Start();
  EXPECT_TRUE(Notices.empty());
  EXPECT_FALSE(Platform.QuitPending());
  EXPECT_TRUE(Main->_tabLokacija.Visible());
  EXPECT_FALSE(Main->_tabPrenos.Visible());
  EXPECT_FALSE(Main->_tabLokacija.TabVisible);
  EXPECT_FALSE(Main->_tabPrenos.TabVisible);
  EXPECT_FALSE(Main->_lblPotek.Visible());
  EXPECT_FALSE(Main->_progress.Visible());
  EXPECT_TRUE(Main->_memoPotek.Lines().Empty());
  EXPECT_TRUE(Main->_lblMenuLokacija.Font().Bold());
  EXPECT_FALSE(Main->_lblMenuNamestitev.Font().Bold());
  // FormShow leaves the stored button states alone.
  EXPECT_TRUE(Main->_btnPotrdi.Enabled());
  EXPECT_FALSE(Main->_btnNazaj.Enabled());
}

TEST_F(StartUp, EarlierInstallationIsRefusedBeforeTheWindowShows) {
  Ops.Directories.insert("C:\\Tramela");
  Start();
  ASSERT_EQ(Notices.size(), 1u);
  EXPECT_EQ(Notices[0].Title, "Kontrola namestitve");
  EXPECT_EQ(Notices[0].Lines,
            (std::vector<std::string>{
                "Mrežna namestitev programa Tramela že obstaja.",
                "Če želite nadaljevati z namestitvijo, morate odstraniti staro različico."}));
  EXPECT_FALSE(Notices[0].MainVisible);
  EXPECT_TRUE(Platform.QuitPending());
  // The rest of FormShow still runs.
  EXPECT_EQ(Main->_lblNacin.Caption(), "Omrežna namestitev.");
  EXPECT_TRUE(Main->_lblMenuLokacija.Font().Bold());
  EXPECT_TRUE(Main->FormVisible());
}

TEST_F(StartUp, InstalledProgramIsRefusedWithError) {
  Ops.Files["C:\\Tramela\\Tramela.exe"] = "MZ";
  Start();
  ASSERT_EQ(Notices.size(), 1u);
  EXPECT_EQ(Notices[0].Title, "Napaka");
  EXPECT_EQ(Notices[0].Lines,
            (std::vector<std::string>{"Namestitev programa Tramela že obstaja.",
                                      "Ponovna namestitev programa ni mogoča. "}));
  EXPECT_TRUE(Platform.QuitPending());
}

TEST_F(StartUp, BothRefusalsSecondNoticeClosesAtOnceAndLeavesItsBackdrop) {
  Ops.Directories.insert("C:\\Tramela");
  Ops.Files["C:\\Tramela\\Tramela.exe"] = "MZ";
  Start();
  // Only the first notice reached the user; the second ended with the pending quit.
  ASSERT_EQ(Notices.size(), 1u);
  EXPECT_EQ(Notices[0].Title, "Kontrola namestitve");
  EXPECT_EQ(Notice->_lblTitle.Caption(), "Napaka");
  EXPECT_TRUE(Platform.Terminated());
  ASSERT_NE(Notice->NoticeBackdrop(), nullptr);
  EXPECT_TRUE(Platform.HandleAlive(Notice->NoticeBackdrop()->Handle()));
  EXPECT_EQ(Platform.BackdropPlacements.size(), 2u);
  EXPECT_EQ(Platform.DestroyedHandles.size(), 1u);  // the first notice's backdrop only
}

// ---- ApplySystemFont

class SystemFont : public TAppTest {
 protected:
  void InstallSegoe() { Platform.Settings.Fonts.push_back("Segoe UI"); }
};

TEST_F(SystemFont, WithoutSegoeNothingChanges) {
  Start();
  EXPECT_EQ(Main->Label4.Font().Name, "MS Sans Serif");
  EXPECT_EQ(Main->Label4.Height(), 121);
  EXPECT_EQ(Notice->_lblTitle.Height(), 20);
}

TEST_F(SystemFont, SegoeReplacesEveryFontAndLabelsGrow) {
  InstallSegoe();
  Start();
  EXPECT_EQ(Main->Label4.Font().Name, "Segoe UI");
  EXPECT_EQ(Main->Label4.Font().Size(), 9);
  EXPECT_EQ(Main->Label4.Height(), 124);
  EXPECT_EQ(Main->Label17.Font().Size(), 17);
  EXPECT_EQ(Main->_lblTitle.Font().Size(), 15);
  EXPECT_EQ(Main->_memoPotek.Font().Size(), 9);
  EXPECT_EQ(Main->_memoPotek.Height(), 81);  // not a label
  EXPECT_EQ(Main->_btnPotrdi.Font().Name, "Segoe UI");
  EXPECT_EQ(Notice->_status.Font().Size(), 9);
  EXPECT_EQ(Notice->_lblTitle.Font().Size(), 13);
  EXPECT_EQ(Notice->_lblTitle.Height(), 23);
  // A window's own font stays.
  EXPECT_EQ(Main->Font().Name, "MS Sans Serif");
}

TEST_F(SystemFont, TenPointBecomesNineElevenStays) {
  InstallSegoe();
  Main->Label9.SetFontSize(10);
  Main->Label10.SetFontSize(11);
  Main->ApplySystemFont();
  EXPECT_EQ(Main->Label9.Font().Size(), 9);
  EXPECT_EQ(Main->Label10.Font().Size(), 11);
  EXPECT_EQ(Main->Label10.Font().Name, "Segoe UI");
}

TEST_F(SystemFont, WindowsNamedRepAreSkipped) {
  InstallSegoe();
  Notice->SetName("_report");
  Main->ApplySystemFont();
  EXPECT_EQ(Notice->_status.Font().Name, "MS Sans Serif");
  EXPECT_EQ(Main->Label9.Font().Name, "Segoe UI");
}

// ---- ShowLocation

using Location = TAppTest;

TEST_F(Location, FirstAddressWithPortAndFolder) {
  Start();
  EXPECT_EQ(Main->_lblLokacija.Caption(), "<192.168.1.10:3050>; Imenik: C:\\Tramela\\");
}

TEST_F(Location, EmptyListOrFailureFallsBackToLocalhost) {
  for (const bool raise : {false, true}) {
    Ops.LocalIPs.clear();
    Ops.LocalIPsRaise = raise;
    Main->ShowLocation();
    EXPECT_EQ(Main->_lblLokacija.Caption(), "<localhost:3050>; Imenik: C:\\Tramela\\");
    EXPECT_EQ(Main->_lblNacin.Caption(), "Omrežna namestitev.");
    Main->_lblLokacija.SetCaption("");
  }
}

// ---- Navigation

using Navigation = TAppTest;

TEST_F(Navigation, ForwardAndBack) {
  Start();
  Platform.Press(Main->_btnNaprej);
  EXPECT_EQ(Main->PageControl1.ActivePageIndex(), 1);
  EXPECT_TRUE(Main->_tabPrenos.Visible());
  EXPECT_FALSE(Main->_tabLokacija.Visible());
  EXPECT_TRUE(Main->_btnNazaj.Enabled());
  EXPECT_FALSE(Main->_btnNaprej.Enabled());
  EXPECT_TRUE(Main->_btnPotrdi.Enabled());
  EXPECT_TRUE(Main->_lblMenuNamestitev.Font().Bold());
  EXPECT_FALSE(Main->_lblMenuLokacija.Font().Bold());

  Platform.Press(Main->_btnNazaj);
  EXPECT_EQ(Main->PageControl1.ActivePageIndex(), 0);
  EXPECT_FALSE(Main->_btnNazaj.Enabled());
  EXPECT_TRUE(Main->_btnNaprej.Enabled());
  EXPECT_FALSE(Main->_btnPotrdi.Enabled());
  EXPECT_TRUE(Main->_lblMenuLokacija.Font().Bold());
}

TEST_F(Navigation, ForwardOnLastPageAndBackOnFirstReapplyTheState) {
  Start();
  Main->_btnNazajClick(nullptr);  // on page 0
  EXPECT_EQ(Main->PageControl1.ActivePageIndex(), 0);
  EXPECT_FALSE(Main->_btnPotrdi.Enabled());
  Main->PageControl1.SetActivePageIndex(1);
  Main->_lblMenuLokacija.SetFontStyle(TFontStyle::fsBold);
  Main->_btnNaprejClick(nullptr);  // on page 1
  EXPECT_EQ(Main->PageControl1.ActivePageIndex(), 1);
  EXPECT_TRUE(Main->_btnPotrdi.Enabled());
  EXPECT_FALSE(Main->_lblMenuLokacija.Font().Bold());
  EXPECT_TRUE(Main->_lblMenuNamestitev.Font().Bold());
}

TEST_F(Navigation, OtherPageIndexChangesNothing) {
  Main->UpdateButtons(2);
  EXPECT_TRUE(Main->_btnPotrdi.Enabled());
  EXPECT_FALSE(Main->_btnNazaj.Enabled());
  Main->HighlightMenu(0);
  Main->HighlightMenu(5);
  EXPECT_FALSE(Main->_lblMenuLokacija.Font().Bold());
  EXPECT_FALSE(Main->_lblMenuNamestitev.Font().Bold());
}

TEST_F(Navigation, PotrdiOnPageZeroRunsTheInstallation) {
  RunInstall();
  EXPECT_EQ(Main->PageControl1.ActivePageIndex(), 0);
  EXPECT_EQ(Main->_lstPostavke.ItemCount(), 7);
}

// The Tab key's stops from the current focus, n of them.
std::vector<std::string> TabStops(THeadlessPlatform& platform, int n, bool backward = false) {
  std::vector<std::string> names;
  for (int i = 0; i < n; ++i) {
    platform.PressTab(backward);
    names.push_back(platform.Focused() != nullptr ? platform.Focused()->Name() : "(none)");
  }
  return names;
}

TEST_F(Navigation, TabFollowsTheStoredTabOrderOnEachPage) {
  Start();
  // The first in tab order has the focus; the hidden log and the disabled "Nazaj" are passed over.
  ASSERT_NE(Platform.Focused(), nullptr);
  EXPECT_EQ(Platform.Focused()->Name(), "_btnPreklici");
  EXPECT_EQ(TabStops(Platform, 3),
            (std::vector<std::string>{"_btnPotrdi", "_btnNaprej", "_btnPreklici"}));
  Platform.Press(Main->_btnNaprej);
  // The log of the confirmation page stands between "Potrdi" and "Nazaj"; the checklist is no tab
  // stop.
  EXPECT_EQ(TabStops(Platform, 4),
            (std::vector<std::string>{"_btnPotrdi", "_memoPotek", "_btnNazaj", "_btnPreklici"}));
  EXPECT_EQ(TabStops(Platform, 3, true),
            (std::vector<std::string>{"_btnNazaj", "_memoPotek", "_btnPotrdi"}));
}

TEST_F(Navigation, CancelRequestsTheEndAndTheCallerGoesOn) {
  Start();
  Platform.Press(Main->_btnPreklici);
  EXPECT_TRUE(Platform.QuitPending());
  EXPECT_FALSE(Platform.Terminated());
  EXPECT_TRUE(Main->FormVisible());
}

// ---- The program's start

TEST(ProgramStart, CreatesBothWindowsRunsAndEnds) {
  THeadlessPlatform platform;
  TFakeOperations ops;
  std::vector<std::string> formsAtLoop;
  bool mainVisible = false;
  platform.MainLoopHandler = [&] {
    for (TForm* f : platform.Forms()) formsAtLoop.push_back(f->Name());
    mainVisible = platform.ShowHistory.size() == 1 && platform.ShowHistory[0]->Name() == "_frmMain";
    platform.PostQuit();
  };
  EXPECT_EQ(TramelaMain(platform, ops), 0);
  EXPECT_EQ(platform.ApplicationTitle(), "Tramela-Namestitev CS");
  EXPECT_EQ(formsAtLoop, (std::vector<std::string>{"_frmMain", "_frmObvestilo"}));
  EXPECT_TRUE(mainVisible);
  EXPECT_TRUE(platform.Terminated());
}

}  // namespace
