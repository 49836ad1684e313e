// The notice window: texts, placement under the taskbar, the backdrop, and a
// showing while the end of the program is pending.
#include <gtest/gtest.h>

#include "AppFixture.h"

namespace {

class NoticeTest : public TAppTest {
 protected:
  void Show(const std::string& title, const std::string& line) {
    Notice->ClearNotice(title);
    Notice->AddLine(line);
    Notice->ShowNotice();
  }
  void Taskbar(int top, int height, int width = 1920) {
    Platform.Settings.Taskbar = Bounds(0, top, width, height);
  }
};

TEST_F(NoticeTest, TitleLinesAndButton) {
  Notice->AddLine("kept");
  Show("Obvestilo.", "Ena");
  Notice->AddLine("Dve");
  ASSERT_EQ(Notices.size(), 1u);
  EXPECT_EQ(Notices[0].Title, "Obvestilo.");
  EXPECT_EQ(Notices[0].Lines, std::vector<std::string>{"Ena"});
  EXPECT_EQ(Notice->_btnPotrdi.Caption(), "Potrdi");
  EXPECT_FALSE(Notice->FormVisible());
}

TEST_F(NoticeTest, EmptyTitleShowsUserError) {
  Show("", "x");
  EXPECT_EQ(Notices.at(0).Title, "Napaka uporabnika");
}

TEST_F(NoticeTest, PlacementUnderABottomTaskbar) {
  struct TCase {
    int W, H, PanelLeft, Top;
  };
  for (const TCase c : {TCase{1920, 1040, 648, 312}, TCase{1366, 728, 370, 156}}) {
    SCOPED_TRACE(c.W);
    Platform.Settings.Width = c.W;
    Platform.Settings.Height = c.H + 40;
    Platform.Settings.WorkArea = Bounds(0, 0, c.W, c.H);
    Taskbar(c.H, 40, c.W);
    Notice->PlaceNotice();
    EXPECT_EQ(Notice->BoundsRect(), Bounds(0, c.Top, c.W, 336));
    EXPECT_EQ(Notice->Panel1.Left(), c.PanelLeft);
    // The panel keeps its size and its button its place when the band widens.
    EXPECT_EQ(Notice->Panel1.Width(), 625);
    EXPECT_EQ(Notice->_btnPotrdi.BoundsRect(), Bounds(529, 262, 80, 41));
  }
}

TEST_F(NoticeTest, SideOrMissingTaskbarCountsZero) {
  Platform.Settings.WorkArea = Bounds(0, 0, 1880, 1080);
  EXPECT_EQ(Notice->GetTaskbarHeight(), 0);
  Taskbar(0, 1080, 40);
  EXPECT_EQ(Notice->GetTaskbarHeight(), 0);
  Notice->PlaceNotice();
  EXPECT_EQ(Notice->Top(), RoundHalfEven((1080 - 376) / 2.0));
}

TEST_F(NoticeTest, FirstShowingStandsAtTheScreenCentreLaterOnesWherePlaced) {
  Platform.Settings.Height = 1080;
  Platform.Settings.WorkArea = Bounds(0, 0, 1920, 1040);
  Taskbar(1040, 40);
  Show("a", "b");
  EXPECT_EQ(Notices[0].Bounds, Bounds(0, (1080 - 336) / 2, 1920, 336));
  EXPECT_EQ(Notices[0].PanelLeft, 648);
  Show("a", "b");
  EXPECT_EQ(Notices[1].Bounds, Bounds(0, 312, 1920, 336));
}

TEST_F(NoticeTest, EachShowingMakesItsOwnBackdropAndClosingDestroysIt) {
  TWindowHandle during = 0;
  Platform.ModalHandler = [&](TForm&) {
    during = Notice->NoticeBackdrop()->Handle();
    EXPECT_TRUE(Platform.HandleAlive(during));
    Platform.Press(Notice->_btnPotrdi);
  };
  Show("a", "b");
  const TWindowHandle first = during;
  Show("a", "b");
  ASSERT_EQ(Platform.BackdropPlacements.size(), 2u);
  EXPECT_NE(first, during);
  EXPECT_EQ(Platform.DestroyedHandles, (std::vector<TWindowHandle>{first, during}));
  EXPECT_EQ(Platform.BackdropPlacements[0].Window, first);
  EXPECT_EQ(Platform.BackdropPlacements[0].Bounds, Bounds(0, 0, 1920, 1080));  // the whole screen
}

TEST_F(NoticeTest, BackdropIsHalfTransparentBlackAndNotMarkedVisible) {
  Platform.ModalHandler = [&](TForm&) {
    const TForm* backdrop = Notice->NoticeBackdrop();
    EXPECT_TRUE(backdrop->AlphaBlend);
    EXPECT_EQ(backdrop->AlphaBlendValue, 128);
    EXPECT_EQ(backdrop->Color(), clBlack);
    EXPECT_FALSE(backdrop->FormVisible());
    Notice->Close();
  };
  Show("a", "b");
}

TEST_F(NoticeTest, PendingQuitEndsTheShowingAtOnceWithCancel) {
  bool userAsked = false;
  Platform.ModalHandler = [&](TForm&) { userAsked = true; };
  Platform.PostQuit();
  Notice->ClearNotice("Napaka");
  Notice->AddLine("x");
  Notice->ShowNotice();
  EXPECT_FALSE(userAsked);
  EXPECT_EQ(Notice->ModalResult(), TModalResult::mrCancel);
  EXPECT_TRUE(Platform.Terminated());
  // FormClose did not run: the backdrop stays until the program ends.
  ASSERT_NE(Notice->NoticeBackdrop(), nullptr);
  const TWindowHandle backdrop = Notice->NoticeBackdrop()->Handle();
  EXPECT_TRUE(Platform.HandleAlive(backdrop));
  EXPECT_FALSE(Notice->FormVisible());
  App.reset();
  EXPECT_FALSE(Platform.HandleAlive(backdrop));
}

TEST(RoundHalfEvenTest, HalvesGoToTheEvenNeighbour) {
  EXPECT_EQ(RoundHalfEven(647.5), 648);
  EXPECT_EQ(RoundHalfEven(370.5), 370);
  EXPECT_EQ(RoundHalfEven(-0.5), 0);
  EXPECT_EQ(RoundHalfEven(-1.5), -2);
  EXPECT_EQ(RoundHalfEven(2.4), 2);
  EXPECT_EQ(RoundHalfEven(2.6), 3);
}

}  // namespace
