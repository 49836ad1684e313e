// The pictures the program carries decode to their stored sizes and frames.
#include <gtest/gtest.h>

#include "app/Pictures.h"

namespace {

TEST(Pictures, NotchIsAWhiteDiamondOnYellow) {
  const TPicture p = NotchPicture();
  ASSERT_EQ(p.FrameCount(), 1);
  EXPECT_EQ(p.Width(), 29);
  EXPECT_EQ(p.Height(), 29);
  const auto& f = p.Frames[0];
  // JPEG is lossy: compare by channel with some room.
  const auto near = [](std::uint32_t px, std::uint32_t rgb) {
    for (int s : {0, 8, 16}) {
      if (std::abs(static_cast<int>((px >> s) & 255) - static_cast<int>((rgb >> s) & 255)) > 24)
        return false;
    }
    return true;
  };
  EXPECT_TRUE(near(f.Pixel(14, 14), 0xFFFFFF));
  EXPECT_TRUE(near(f.Pixel(0, 14), 0xFFFFFF));  // the point the sidebar shows
  EXPECT_TRUE(near(f.Pixel(1, 1), 0xFFD541));
}

TEST(Pictures, DatabaseIconHasATransparentBackground) {
  const TPicture p = DatabasePicture();
  ASSERT_EQ(p.FrameCount(), 1);
  EXPECT_EQ(p.Width(), 48);
  EXPECT_EQ(p.Frames[0].Pixel(0, 0) >> 24, 0u);
  EXPECT_EQ(p.Frames[0].Pixel(22, 24) >> 24, 255u);
}

TEST(Pictures, ProgressAnimationHasSeventyFiveFramesOfSeventyMs) {
  const TPicture p = ProgressAnimation();
  ASSERT_EQ(p.FrameCount(), 75);
  EXPECT_EQ(p.Width(), 35);
  EXPECT_EQ(p.Height(), 35);
  for (int d : p.DelaysMs) EXPECT_EQ(d, 70);
  // Frames differ: the dots move.
  EXPECT_NE(p.Frames[0].Rgba, p.Frames[1].Rgba);
  EXPECT_EQ(p.Frames[10].Pixel(0, 0), 0xFFFFFFFFu);
}

TEST(Pictures, FourStateImagesWithMasks) {
  const auto images = StateImages();
  ASSERT_EQ(images.size(), 4u);
  for (const auto& image : images) {
    EXPECT_EQ(image.Width, 16);
    EXPECT_EQ(image.Height, 20);
    EXPECT_EQ(image.Pixel(0, 0) >> 24, 0u);   // masked out
    EXPECT_GT(image.Pixel(8, 10) >> 24, 0u);  // drawn
  }
}

}  // namespace
