#include "ui/drag_geometry.h"

#include <gtest/gtest.h>

using namespace bastion;

namespace {

TEST(DragGeometry, InitialOriginUsesTheExtentsNotTheSize) {
  DragPoint origin = InitialWindowOrigin(1920, 1080, 500, 500);
  EXPECT_EQ(origin.x, 710);
  EXPECT_EQ(origin.y, 290);
  // Each halving truncates toward zero, also for odd and negative values.
  origin = InitialWindowOrigin(1025, 769, 501, 499);
  EXPECT_EQ(origin.x, 512 - 250);
  EXPECT_EQ(origin.y, 384 - 249);
  origin = InitialWindowOrigin(300, 200, 801, 601);
  EXPECT_EQ(origin.x, 150 - 400);
  EXPECT_EQ(origin.y, 100 - 300);
  origin = InitialWindowOrigin(-3, -3, 0, 0);
  EXPECT_EQ(origin.x, -1);
}

TEST(DragGeometry, OnlyPressesStrictlyInsideStartADrag) {
  const DragRect window{710, 290, 1310, 600};
  EXPECT_TRUE(IsStrictlyInside(window, {711, 291}));
  EXPECT_TRUE(IsStrictlyInside(window, {1309, 599}));
  EXPECT_FALSE(IsStrictlyInside(window, {710, 400}));
  EXPECT_FALSE(IsStrictlyInside(window, {1310, 400}));
  EXPECT_FALSE(IsStrictlyInside(window, {800, 290}));
  EXPECT_FALSE(IsStrictlyInside(window, {800, 600}));
  EXPECT_FALSE(IsStrictlyInside(window, {0, 0}));
  EXPECT_FALSE(IsStrictlyInside(window, {2000, 400}));
}

TEST(DragGeometry, TheCursorKeepsItsOffsetDuringADrag) {
  const DragRect window{710, 290, 1310, 600};
  DragPoint offset = DragOffset(window, {760, 300});
  EXPECT_EQ(offset.x, 50);
  EXPECT_EQ(offset.y, 10);
  DragPoint moved = DraggedOrigin({100, 50}, offset);
  EXPECT_EQ(moved.x, 50);
  EXPECT_EQ(moved.y, 40);
  // The window may go partly off the desktop.
  moved = DraggedOrigin({10, 5}, offset);
  EXPECT_EQ(moved.x, -40);
  EXPECT_EQ(moved.y, -5);
}

}  // namespace
