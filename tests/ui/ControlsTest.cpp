// Controls as plain objects: anchors on resize, visibility through parents,
// pages, font sizes and the animation's own thread.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "ControlTree.h"
#include "ui/Forms.h"
#include "ui/HeadlessPlatform.h"

namespace {

class ControlsTest : public ::testing::Test {
 protected:
  THeadlessPlatform Platform;
  TForm Form{nullptr, Platform};
};

TEST_F(ControlsTest, AnchorsKeepDistancesWhenTheParentResizes) {
  Form.SetBounds(0, 0, 700, 300);
  auto& left = AddControl<TPanel>(Form, Bounds(50, 10, 100, 50));
  auto& right = AddControl<TPanel>(Form, Bounds(500, 200, 80, 40));
  right.Anchors = {false, false, true, true};
  auto& both = AddControl<TPanel>(Form, Bounds(10, 10, 680, 280));
  both.Anchors = {true, true, true, true};

  Form.SetBounds(0, 0, 900, 400);
  EXPECT_EQ(left.BoundsRect(), Bounds(50, 10, 100, 50));
  EXPECT_EQ(right.BoundsRect(), Bounds(700, 300, 80, 40));
  EXPECT_EQ(both.BoundsRect(), Bounds(10, 10, 880, 380));
}

TEST_F(ControlsTest, ShowingNeedsEveryParentAndTheForm) {
  auto& panel = AddControl<TPanel>(Form);
  auto& label = AddControl<TLabel>(panel);
  EXPECT_FALSE(label.Showing());
  Form.ShowForm();
  EXPECT_TRUE(label.Showing());
  panel.Hide();
  EXPECT_FALSE(label.Showing());
  EXPECT_TRUE(label.Visible());
}

TEST_F(ControlsTest, RectanglesInFormCoordinatesAreClippedByParents) {
  Form.SetBounds(0, 0, 930, 750);
  auto& panel = AddControl<TPanel>(Form, Bounds(0, 0, 193, 750));
  auto& image = AddControl<TImage>(panel, Bounds(178, 88, 29, 29));
  EXPECT_EQ(image.FormRect(), Bounds(178, 88, 29, 29));
  EXPECT_EQ(image.VisibleFormRect(), Bounds(178, 88, 15, 29));
}

TEST_F(ControlsTest, ActivePageShowsItselfAndHidesThePreviousOne) {
  auto& pages = AddControl<TPageControl>(Form);
  auto& a = AddControl<TTabSheet>(pages);
  auto& b = AddControl<TTabSheet>(pages);
  a.Hide();
  b.Hide();
  pages.SetActivePageIndex(1);
  EXPECT_TRUE(b.Visible());
  pages.SetActivePageIndex(0);
  EXPECT_TRUE(a.Visible());
  EXPECT_FALSE(b.Visible());
  pages.SetActivePageIndex(7);  // no such page
  EXPECT_EQ(pages.ActivePageIndex(), 0);
  EXPECT_EQ(pages.PageCount(), 2);
}

TEST(FontTest, PointsAndPixelHeights) {
  TFont f;
  EXPECT_EQ(f.Size(), 8);  // -11 px
  f.SetSize(9);
  EXPECT_EQ(f.Height, -12);
  f.Height = -23;
  EXPECT_EQ(f.Size(), 17);
  f.Height = -17;
  EXPECT_EQ(f.Size(), 13);
  f.SetSize(10);
  EXPECT_EQ(f.Height, -13);
}

TEST_F(ControlsTest, ListViewItemChangesReachTheBackendItemsOnly) {
  auto& list = AddControl<TListView>(Form);
  TListItem& item = list.AddItem();
  item.AddSubItem("row");
  item.SetStateIndex(2);
  EXPECT_EQ(list.ItemCount(), 1);
  EXPECT_EQ(list.Item(0).StateIndex(), 2);
}

// A busy user-interface thread must not stop the animation.
TEST_F(ControlsTest, AnimationMovesWhileTheUserInterfaceThreadIsBlocked) {
  auto& anim = AddControl<TGIFAnimator>(Form, Bounds(0, 0, 4, 4));
  TPicture picture;
  for (int i = 0; i < 3; ++i) {
    TBitmap32 b;
    b.Width = b.Height = 4;
    b.Rgba.assign(64, static_cast<std::uint8_t>(i * 40));
    picture.Frames.push_back(b);
    picture.DelaysMs.push_back(10);
  }
  anim.SetPicture(picture);
  Form.ShowForm();
  anim.SetAnimate(true);
  // Block this thread; wait on the other one's progress, bounded.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (Platform.AnimationDraws() < 5 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_GE(Platform.AnimationDraws(), 5);
  anim.Hide();
  anim.Stop();
  const int drawn = Platform.AnimationDraws();
  EXPECT_EQ(anim.FramesDrawn(), drawn);
}

TEST_F(ControlsTest, HiddenAnimationAdvancesWithoutDrawing) {
  auto& anim = AddControl<TGIFAnimator>(Form);
  TPicture picture;
  for (int i = 0; i < 2; ++i) {
    TBitmap32 b;
    b.Width = b.Height = 1;
    b.Rgba.assign(4, 0);
    picture.Frames.push_back(b);
    picture.DelaysMs.push_back(10);
  }
  anim.SetPicture(picture);
  anim.SetFrameIndex(5);
  EXPECT_EQ(anim.FrameIndex(), 1);
  anim.Hide();
  Form.ShowForm();
  anim.SetAnimate(true);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(200);
  while (std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  anim.Stop();
  EXPECT_EQ(Platform.AnimationDraws(), 0);
}

}  // namespace
