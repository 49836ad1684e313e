// The main window: its stored layout, the start-up checks, the font switch,
// the location label, navigation and the program's start.
#include <gtest/gtest.h>

#include <iterator>
#include <map>

#include "AppFixture.h"

namespace {

// Which control holds which, as the stored form nests them.
const std::map<std::string, std::vector<std::string>> kChildren{
    {"_frmMain",
     {"Shape2", "Label17", "_lblTitle", "Label14", "Label16", "Panel2", "_btnPreklici",
      "_btnPotrdi", "PageControl1", "_btnNaprej", "_btnNazaj"}},
    {"Panel2", {"Image1", "_lblMenuLokacija", "_lblMenuNamestitev"}},
    {"_tabLokacija", {"Label4", "Image2"}},
    {"_tabPrenos", {"Label8", "_lblNacin", "_lblLokacija", "Label9", "Label10", "Panel1"}},
    {"Panel1", {"_progress", "_lblPotek", "Shape1", "_memoPotek", "_lstPostavke"}},
};

bool Inside(const TRect& inner, const TRect& outer) { return inner.Intersect(outer) == inner; }

using MainWindowLayout = TAppTest;

TEST_F(MainWindowLayout, ControlsNestAsStoredAndStayInsideTheWindow) {
  const TRect window{0, 0, Main->ClientWidth(), Main->ClientHeight()};
  for (const auto& [parent, children] : kChildren) {
    for (const std::string& name : children) {
      SCOPED_TRACE(name);
      auto* control = dynamic_cast<TControl*>(Main->FindComponent(name));
      ASSERT_NE(control, nullptr);
      ASSERT_NE(control->Parent(), nullptr);
      EXPECT_EQ(control->Parent()->Name(), parent);
      EXPECT_FALSE(control->BoundsRect().Empty());
      EXPECT_TRUE(Inside(control->FormRect(), window));
      EXPECT_EQ(control->Font().Name, "MS Sans Serif");
    }
  }
  // The frame and the sidebar run the window's full height.
  EXPECT_EQ(Main->Shape2.FormRect(), window);
  EXPECT_EQ(Main->Panel2.Height(), Main->ClientHeight());
  EXPECT_EQ(Main->Color(), clWhite);
}

TEST_F(MainWindowLayout, ButtonsStandInOneRowBelowThePagesInReadingOrder) {
  const TControl* row[] = {&Main->_btnNazaj, &Main->_btnNaprej, &Main->_btnPotrdi,
                           &Main->_btnPreklici};
  for (std::size_t i = 0; i < std::size(row); ++i) {
    SCOPED_TRACE(row[i]->Name());
    EXPECT_EQ(row[i]->Top(), row[0]->Top());
    EXPECT_EQ(row[i]->Height(), row[0]->Height());
    EXPECT_GE(row[i]->Top(), Main->PageControl1.FormRect().Bottom);
    // They keep their corner when the window grows.
    EXPECT_EQ(row[i]->Anchors, akRightBottom);
    if (i > 0) {
      EXPECT_LT(row[i - 1]->FormRect().Right, row[i]->FormRect().Left);
    }
  }
  EXPECT_LT(Main->_btnPreklici.FormRect().Right, Main->ClientWidth());
}

TEST_F(MainWindowLayout, ChecklistDividerAndLogFollowOneAnotherInsideTheirPanel) {
  const TControl* column[] = {&Main->_lblPotek, &Main->_lstPostavke, &Main->Shape1,
                              &Main->_memoPotek};
  for (std::size_t i = 0; i < std::size(column); ++i) {
    SCOPED_TRACE(column[i]->Name());
    EXPECT_TRUE(Inside(column[i]->FormRect(), Main->Panel1.FormRect()));
    if (i > 0) {
      EXPECT_LE(column[i - 1]->FormRect().Bottom, column[i]->FormRect().Top);
    }
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
  EXPECT_EQ(Main->Left(), (Platform.ScreenWidth() - Main->Width()) / 2);
  EXPECT_EQ(Main->Top(), (Platform.ScreenHeight() - Main->Height()) / 2);
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
