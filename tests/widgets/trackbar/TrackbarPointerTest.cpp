#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "TrackbarFixture.h"
#include "TrackbarPointer.h"

namespace sw {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

// Main window layout: track 16..228, range 0..205; segment 50..150 puts the start column
// at 68, the end column at 171 and Position 100 at 119.
class TrackbarDrag : public ::testing::Test {
 protected:
  void SetUp() override {
    test::OpenLikeMainWindow(m);
    m.SetSegStartPos(50);
    m.SetSegEndPos(150);
    m.SetPosition(100);
    log.Attach(m);
  }
  void Press(int x, int y = 10, TMouseButton b = mbLeft) { p.MouseDown({b, 0, x, y}); }
  void Move(int x, int y = 10) { p.MouseMove({mbLeft, 0, x, y}); }
  void Release(int x, int y = 10) { p.MouseUp({mbLeft, 0, x, y}); }

  TTrackbarModel m;
  TTrackbarPointer p{m};
  test::TEventLog log;
};

TEST_F(TrackbarDrag, StartMarkerStopsAtTheTrackStart) {
  Press(60);
  Move(-40);
  EXPECT_EQ(m.SegStartX(), 16);
  EXPECT_EQ(m.SegStartPos(), 0);
  EXPECT_EQ(m.Position(), 100);
}

TEST_F(TrackbarDrag, EndMarkerPushesTheThumbBackAndStopsAtBothEnds) {
  Press(175);
  EXPECT_EQ(p.Drag(), deSegEnd);
  EXPECT_EQ(p.SegEndLook(), elPressed);
  Move(300);
  EXPECT_EQ(m.SegEndX(), 228);
  EXPECT_EQ(m.SegEndPos(), 205);
  EXPECT_EQ(m.Position(), 100);
  Move(90);
  EXPECT_EQ(m.TickX(), 90);
  EXPECT_EQ(m.Position(), m.ValueOf(90));
  EXPECT_EQ(m.SegEndPos(), m.Position());
  Move(20);
  EXPECT_EQ(m.SegEndX(), 68);
  EXPECT_EQ(m.SegEndPos(), 50);
  EXPECT_EQ(m.Position(), 50);
  Release(20);
  EXPECT_THAT(log.Events, ElementsAre(teSegEndMouseDown, teEndChange, teEndChange, teEndChange,
                                      teSegEndMouseUp));
}

TEST_F(TrackbarDrag, ThumbStopsAtTheEndMarkerAndAtTheTravelEnd) {
  Press(119);
  EXPECT_EQ(p.Drag(), deTick);
  EXPECT_EQ(p.TickLook(), elPressed);
  Move(200);
  EXPECT_EQ(m.TickX(), 171);
  EXPECT_EQ(m.Position(), 150);
  Move(10);
  EXPECT_EQ(m.TickX(), 68);
  EXPECT_EQ(m.Position(), 50);
  EXPECT_THAT(log.Events,
              ElementsAre(teTickMouseDown, teTickChange, teChange, teTickChange, teChange));

  m.SetTrackRightOffset(5);
  m.SetSegEndPos(205);
  Move(400);
  EXPECT_EQ(m.TickX(), 223);
  EXPECT_EQ(m.Position(), 205);
  Release(400);
  EXPECT_EQ(p.TickLook(), elNormal);
  EXPECT_EQ(log.Events.back(), teTickMouseUp);
}

TEST_F(TrackbarDrag, DragOnTheTrackMovesNothing) {
  Press(200);
  EXPECT_EQ(p.Drag(), deTrack);
  Move(30);
  Release(30);
  EXPECT_EQ(m.Position(), 100);
  EXPECT_EQ(m.SegStartPos(), 50);
  EXPECT_EQ(m.SegEndPos(), 150);
  EXPECT_THAT(log.Events, ElementsAre(teChange));
}

TEST_F(TrackbarDrag, HoverLightsOneElementAndLeavingDimsIt) {
  Move(60);
  EXPECT_EQ(p.SegStartLook(), elHot);
  EXPECT_EQ(p.TickLook(), elNormal);
  Move(120);
  EXPECT_EQ(p.SegStartLook(), elNormal);
  EXPECT_EQ(p.TickLook(), elHot);
  Move(175);
  EXPECT_EQ(p.TickLook(), elNormal);
  EXPECT_EQ(p.SegEndLook(), elHot);
  p.MouseLeave();
  EXPECT_EQ(p.SegEndLook(), elNormal);
  Move(120, 30);
  EXPECT_EQ(p.TickLook(), elNormal);
  EXPECT_THAT(log.Events, IsEmpty());
}

TEST(TrackbarPress, MarkersWinOverTheThumbAndHiddenOnesDoNot) {
  struct Case {
    bool showSegment;
    bool canDragTick;
    int x, y;
    TDragElement expected;
  };
  // Position 0: the thumb spans 12..21 and the resting start marker 0..16.
  const Case cases[] = {
      {true, true, 14, 10, deSegStart},  {true, true, 18, 10, deTick},
      {true, true, 235, 10, deSegEnd},   {true, true, 150, 10, deTrack},
      {true, true, 150, 30, deNone},     {false, true, 14, 10, deTick},
      {false, true, 235, 10, deNone},    {true, false, 18, 10, deTrack},
  };
  for (const Case& c : cases) {
    TTrackbarModel m;
    test::OpenLikeMainWindow(m);
    m.SetShowSegment(c.showSegment);
    m.SetCanDragTick(c.canDragTick);
    TTrackbarPointer p(m);
    p.MouseDown({mbLeft, 0, c.x, c.y});
    EXPECT_EQ(p.Drag(), c.expected) << "press at " << c.x << "," << c.y;
  }
}

TEST(TrackbarPress, DragsNeverLeaveTheRange) {
  TTrackbarModel m;
  test::OpenLikeMainWindow(m);
  m.SetTrackLeftOffset(10);  // the start marker may still reach L, left of the travel
  m.SetSegStartPos(50);
  TTrackbarPointer p(m);
  p.MouseDown({mbLeft, 0, m.SegStartX() - 2, 10});
  p.MouseMove({mbLeft, 0, 0, 10});
  EXPECT_EQ(m.SegStartX(), 16);
  EXPECT_EQ(m.SegStartPos(), 0);

  m.SetMax(0);
  m.SetSegEndPos(0);
  p.MouseDown({mbLeft, 0, m.SegEndRect().Left + 1, 10});
  ASSERT_EQ(p.Drag(), deSegEnd);
  p.MouseMove({mbLeft, 0, 150, 10});
  EXPECT_EQ(m.SegEndPos(), 0);
}


// Range 0..400 on the main window's 212-pixel track: about two values to the pixel.
class TrackbarStaleColumns : public ::testing::Test {
 protected:
  void SetUp() override {
    test::OpenLikeMainWindow(m);
    m.SetMax(400);
    m.SetSegEndPos(300);
    m.SetSegStartPos(100);
    m.SetPosition(200);
  }
  void Click(int x) {
    p.MouseDown({mbLeft, 0, x, 10});
    p.MouseUp({mbLeft, 0, x, 10});
  }
  void DragThumbTo(int x) {
    // A point of the thumb that no marker covers (markers win a press).
    int at = m.TickRect().Left;
    while (m.SegStartRect().Contains(at, 10) || m.SegEndRect().Contains(at, 10)) ++at;
    p.MouseDown({mbLeft, 0, at, 10});
    ASSERT_EQ(p.Drag(), deTick);
    p.MouseMove({mbLeft, 0, x, 10});
    p.MouseUp({mbLeft, 0, x, 10});
  }

  TTrackbarModel m;
  TTrackbarPointer p{m};
};

TEST_F(TrackbarStaleColumns, ClickedMarkersHoldTheThumbAtTheirValues) {
  Click(m.SegStartRect().Left);  // the start marker's left edge
  EXPECT_EQ(m.SegStartPos(), 100);
  EXPECT_EQ(m.SegStartX(), m.PixelOf(100));  // drawn where its value is again
  DragThumbTo(0);
  EXPECT_EQ(m.Position(), 100);

  Click(m.SegEndRect().Right - 1);  // the end marker's right edge
  EXPECT_EQ(m.SegEndPos(), 300);
  DragThumbTo(400);
  EXPECT_EQ(m.Position(), 300);
}

TEST_F(TrackbarStaleColumns, MarkerDragsAreHeldByTheOtherMarkersValue) {
  Click(m.SegEndRect().Right - 1);
  p.MouseDown({mbLeft, 0, m.SegStartRect().Right - 1, 10});
  ASSERT_EQ(p.Drag(), deSegStart);
  p.MouseMove({mbLeft, 0, 240, 10});  // far past the end marker
  EXPECT_EQ(m.SegStartPos(), 300);
  EXPECT_EQ(m.Position(), 300);  // pushed along, not past the end
  p.MouseUp({mbLeft, 0, 240, 10});

  m.SetSegStartPos(100);
  Click(m.SegStartRect().Left);
  p.MouseDown({mbLeft, 0, m.SegEndRect().Left, 10});
  ASSERT_EQ(p.Drag(), deSegEnd);
  p.MouseMove({mbLeft, 0, 0, 10});
  EXPECT_EQ(m.SegEndPos(), 100);
  EXPECT_EQ(m.Position(), 100);
}

TEST_F(TrackbarStaleColumns, ThumbValueStaysInTheSegmentWhenPixelsAreCoarse) {
  // The segment's own columns map back to 109 and 291: values outside it.
  m.SetSegStartPos(110);
  m.SetSegEndPos(290);
  for (int x = 0; x < 244; x += 3) {
    DragThumbTo(x);
    EXPECT_GE(m.Position(), 110) << x;
    EXPECT_LE(m.Position(), 290) << x;
  }
}

}  // namespace
}  // namespace sw
