#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "TrackbarFixture.h"
#include "TrackbarModel.h"

namespace sw {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

TEST(TrackbarModel, ConstructionValues) {
  TTrackbarModel m;
  EXPECT_EQ(m.Max(), 1000);
  EXPECT_EQ(m.Min(), 0);
  EXPECT_EQ(m.Position(), 0);
  EXPECT_EQ(m.SegStartPos(), 0);
  EXPECT_EQ(m.SegEndPos(), 1000);
  EXPECT_TRUE(m.ShowSegment());
  EXPECT_TRUE(m.ShowCut());
  EXPECT_TRUE(m.CanDragTick());
  EXPECT_FALSE(m.UseBGImage());
  EXPECT_EQ(m.Step(), 1);
  EXPECT_EQ(m.TickOffsetY(), 20);
  EXPECT_EQ(m.TrackOffsetY(), 20);
  EXPECT_EQ(m.SegOffsetY(), 20);
  EXPECT_EQ(m.TrackOffsetX(), 0);
  EXPECT_EQ(m.MarginOffsetX(), 0);
  EXPECT_EQ(m.TrackLeftOffset(), 0);
  EXPECT_EQ(m.TrackRightOffset(), 0);
  EXPECT_EQ(m.BGColor(), clWhite);
  EXPECT_EQ(m.BGArgb(), 0xFFFFFFFFu);
  EXPECT_EQ(m.LeftBrushColor(), 0x653DF72Du);
  EXPECT_EQ(m.RightBrushColor(), 0x65F5BCDAu);
  EXPECT_EQ(m.TransparencyArgb(TTrackbarModel::kcStartCut), 0xFFE7E7E7u);
  EXPECT_EQ(m.TransparencyArgb(TTrackbarModel::kcEndCut), 0xFFE7E7E7u);
  EXPECT_EQ(m.TransparencyArgb(TTrackbarModel::kcSegStart), 0xFF000000u);
  EXPECT_EQ(m.TransparencyArgb(TTrackbarModel::kcSegEnd), 0xFF000000u);
  EXPECT_EQ(m.TransparencyArgb(TTrackbarModel::kcTick), 0xFF000000u);
  EXPECT_FALSE(m.WindowReady());
}

TEST(TrackbarModel, ColoursAreKeptAsOpaqueArgbAndReadBackUnchanged) {
  TTrackbarModel m;
  m.SetBGColor(0xDBEAEC);  // blue DB, green EA, red EC
  EXPECT_EQ(m.BGArgb(), 0xFFECEADBu);
  EXPECT_EQ(m.BGColor(), 0xDBEAECu);
  m.SetTransparency(TTrackbarModel::kcTick, 0x0000FF);
  EXPECT_EQ(m.TransparencyArgb(TTrackbarModel::kcTick), 0xFFFF0000u);
  EXPECT_EQ(m.Transparency(TTrackbarModel::kcTick), 0x0000FFu);
  EXPECT_EQ(m.TransparencyArgb(TTrackbarModel::kcSegStart), 0xFF000000u);
}

class TrackbarSetters : public ::testing::Test {
 protected:
  void SetUp() override {
    test::OpenWindow(m, 400, test::DefaultSizes());
    m.SetMax(100);
    m.SetSegEndPos(90);
    m.SetSegStartPos(10);
    log.Attach(m);
  }
  TTrackbarModel m;
  test::TEventLog log;
};

TEST_F(TrackbarSetters, PositionIsClampedIntoTheSegmentBeforeTheRange) {
  m.SetPosition(150);
  EXPECT_EQ(m.Position(), 90);
  m.SetPosition(-5);
  EXPECT_EQ(m.Position(), 10);
  m.SetPosition(42);
  EXPECT_EQ(m.Position(), 42);
  EXPECT_EQ(m.TickX(), m.PixelOf(42));
  EXPECT_THAT(log.Events, ElementsAre(teTickChange, teTickChange, teTickChange));
  EXPECT_EQ(log.Repaints, 3);
}

TEST_F(TrackbarSetters, SegmentEndsCannotCross) {
  m.SetSegEndPos(5);
  EXPECT_EQ(m.SegEndPos(), 10);
  m.SetSegEndPos(90);
  m.SetSegStartPos(95);
  EXPECT_EQ(m.SegStartPos(), 90);
  m.SetSegStartPos(-3);
  EXPECT_EQ(m.SegStartPos(), 0);
  m.SetSegEndPos(100);
  EXPECT_EQ(m.SegEndPos(), 100);
  EXPECT_EQ(m.SegStartX(), m.PixelOf(0));
  EXPECT_EQ(m.SegEndX(), m.PixelOf(100));
}

TEST_F(TrackbarSetters, MovingAnEndOverThePositionDragsItAlongWithOneTickEvent) {
  m.SetPosition(70);
  log.Clear();
  m.SetSegEndPos(50);
  EXPECT_EQ(m.Position(), 50);
  EXPECT_EQ(m.TickX(), m.PixelOf(50));
  EXPECT_THAT(log.Events, ElementsAre(teTickChange));

  m.SetPosition(20);
  log.Clear();
  m.SetSegStartPos(30);
  EXPECT_EQ(m.Position(), 30);
  EXPECT_THAT(log.Events, ElementsAre(teTickChange));

  log.Clear();
  m.SetSegStartPos(25);
  m.SetSegEndPos(45);
  EXPECT_EQ(m.Position(), 30);
  EXPECT_THAT(log.Events, IsEmpty());
}

TEST_F(TrackbarSetters, LoweringMaxLeavesValuesAboveItUntilSetAgain) {
  m.SetPosition(80);
  const int endX = m.SegEndX();
  log.Clear();
  m.SetMax(50);
  EXPECT_EQ(m.SegEndPos(), 90);
  EXPECT_EQ(m.Position(), 80);
  EXPECT_EQ(m.SegEndX(), endX);
  EXPECT_THAT(log.Events, IsEmpty());
  EXPECT_EQ(log.Repaints, 0);
  m.SetSegEndPos(m.SegEndPos());
  EXPECT_EQ(m.SegEndPos(), 50);
  EXPECT_EQ(m.Position(), 50);
}

TEST_F(TrackbarSetters, RaisingMinPullsThePositionUpQuietly) {
  m.SetPosition(20);
  const int tickX = m.TickX();
  log.Clear();
  m.SetMin(30);
  EXPECT_EQ(m.Position(), 30);
  EXPECT_EQ(m.TickX(), tickX);
  EXPECT_THAT(log.Events, IsEmpty());
  EXPECT_EQ(log.Repaints, 0);
  m.SetMin(5);
  EXPECT_EQ(m.Position(), 30);
}

TEST_F(TrackbarSetters, ShowSegmentResetsTheSegmentToTheWholeRange) {
  m.SetPosition(50);
  log.Clear();
  m.SetShowSegment(false);
  EXPECT_FALSE(m.ShowSegment());
  EXPECT_EQ(m.SegStartPos(), 0);
  EXPECT_EQ(m.SegEndPos(), 100);
  EXPECT_EQ(m.SegStartX(), m.Geometry().TrackLeft);
  EXPECT_EQ(m.SegEndX(), m.Geometry().TrackRight);
  EXPECT_EQ(m.Position(), 50);
  EXPECT_THAT(log.Events, IsEmpty());
  EXPECT_EQ(log.Repaints, 1);
}

TEST_F(TrackbarSetters, TrackOffsetYMovesTheTrackAndMarginLaysOutAgain) {
  m.SetTrackOffsetY(3);
  EXPECT_EQ(m.TrackRect(), (TRect{9, 3, 391, 20}));
  m.SetMarginOffsetX(10);
  EXPECT_EQ(m.Geometry().TrackLeft, 19);
  EXPECT_EQ(m.Geometry().TrackRight, 381);
  EXPECT_EQ(m.SegEndX(), m.PixelOf(90));
  EXPECT_EQ(log.Repaints, 1);
}

TEST(TrackbarModel, MainWindowExampleThroughTheSetters) {
  TTrackbarModel m;
  test::OpenLikeMainWindow(m);
  EXPECT_EQ(m.TrackOffsetX(), 16);
  m.SetPosition(100);
  EXPECT_EQ(m.TickX(), 119);
  EXPECT_EQ(m.ValueOf(119), 100);
}

TEST(TrackbarModel, NothingIsLaidOutOrRepaintedBeforeTheWindowExists) {
  TTrackbarModel m;
  test::TEventLog log;
  log.Attach(m);
  m.SetPictureSizes(test::WindowSizes());
  m.Resize(244);
  m.SetMarginOffsetX(0);
  m.SetMax(205);
  m.SetSegEndPos(150);
  m.SetPosition(100);
  EXPECT_EQ(m.Geometry().TrackWidth, 0);
  EXPECT_EQ(m.TrackOffsetX(), 0);
  EXPECT_EQ(m.TickX(), 0);
  EXPECT_EQ(log.Repaints, 0);
  EXPECT_THAT(log.Events, ElementsAre(teTickChange));

  m.CreateWindow();
  EXPECT_TRUE(m.WindowReady());
  EXPECT_EQ(m.TrackOffsetX(), 16);
  // Values set early are placed by the first layout.
  EXPECT_EQ(m.TickX(), 119);
  EXPECT_EQ(m.SegEndX(), m.PixelOf(150));
  EXPECT_EQ(m.SegStartX(), 16);
}

TEST(TrackbarModel, ResizeKeepsTheColumnsOnTheirValues) {
  TTrackbarModel m;
  test::OpenLikeMainWindow(m);
  m.SetSegStartPos(50);
  m.SetPosition(100);
  m.Resize(400);
  EXPECT_EQ(m.Geometry().TrackRight, 384);
  EXPECT_EQ(m.TickX(), m.PixelOf(100));
  EXPECT_EQ(m.SegStartX(), m.PixelOf(50));
  EXPECT_EQ(m.SegEndX(), 384);
}

TEST(TrackbarModel, EmptyRangePutsEverythingAtTheTrackStart) {
  TTrackbarModel m;
  test::OpenLikeMainWindow(m);
  m.SetMax(0);
  m.SetSegEndPos(0);
  m.SetPosition(0);
  EXPECT_EQ(m.TickX(), 16);
  EXPECT_EQ(m.SegStartX(), 16);
  EXPECT_EQ(m.SegEndX(), 16);
  EXPECT_EQ(m.ValueOf(200), 0);
}

TEST(TrackbarModel, MarkerRectanglesSitOutsideTheSegment) {
  TTrackbarModel m;
  test::OpenLikeMainWindow(m);
  // At the range ends they rest in the room reserved beside the track.
  EXPECT_EQ(m.SegStartRect(), (TRect{0, 5, 16, 21}));
  EXPECT_EQ(m.SegEndRect(), (TRect{228, 5, 244, 21}));
  m.SetSegStartPos(50);
  m.SetSegEndPos(150);
  const int startX = m.PixelOf(50);
  const int endX = m.PixelOf(150);
  EXPECT_EQ(m.SegStartRect(), (TRect{startX - 16, 5, startX, 21}));
  EXPECT_EQ(m.SegEndRect(), (TRect{endX, 5, endX + 16, 21}));
  EXPECT_EQ(m.StartCutRect(), (TRect{startX - 11, 5, startX, 14}));
  EXPECT_EQ(m.EndCutRect(), (TRect{endX, 5, endX + 11, 14}));
  EXPECT_EQ(m.LeftShadeRect(), (TRect{16, 5, startX - 16, 21}));
  EXPECT_EQ(m.RightShadeRect(), (TRect{endX + 16, 5, 228, 21}));
  m.SetPosition(100);
  EXPECT_EQ(m.TickRect(), (TRect{119 - 4, 5, 119 + 5, 21}));
}

TEST(TrackbarModel, ShadingIsEmptyWhenTheMarkerCoversTheTrackEnd) {
  TTrackbarModel m;
  test::OpenLikeMainWindow(m);
  m.SetSegStartPos(3);
  EXPECT_EQ(m.LeftShadeRect().Width(), 0);
  m.SetSegEndPos(203);
  EXPECT_EQ(m.RightShadeRect().Width(), 0);
}

}  // namespace
}  // namespace sw
