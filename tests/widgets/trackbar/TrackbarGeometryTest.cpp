#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "TrackbarFixture.h"
#include "TrackbarGeometry.h"

namespace sw {
namespace {

constexpr std::int64_t kLowest = std::numeric_limits<std::int64_t>::min();
constexpr std::int64_t kHighest = std::numeric_limits<std::int64_t>::max();

TEST(TrackbarLayout, DefaultPicturesOnTheDefaultWidthReserveAMarkerOnEachSide) {
  const auto g = TTrackbarGeometry::Layout({400, 0, 20, 20, test::DefaultSizes()});
  EXPECT_EQ(g.TrackOffsetX, 9);
  EXPECT_EQ(g.TrackWidth, 382);
  EXPECT_EQ(g.TrackLeft, 9);
  EXPECT_EQ(g.TrackRight, 391);
  EXPECT_EQ(g.TrackRect, (TRect{9, 20, 391, 37}));
  EXPECT_EQ(g.SegStartRect, (TRect{0, 20, 9, 37}));
  EXPECT_EQ(g.SegEndRect, (TRect{391, 20, 400, 37}));
  EXPECT_EQ(g.StartCutRect, (TRect{-2, 5, 9, 14}));
  EXPECT_EQ(g.EndCutRect, (TRect{391, 5, 402, 14}));
}

TEST(TrackbarLayout, MarginNarrowsTheTrackFromBothEnds) {
  const auto g = TTrackbarGeometry::Layout({244, 5, 7, 3, test::WindowSizes()});
  EXPECT_EQ(g.TrackWidth, 244 - 32 - 10);
  EXPECT_EQ(g.TrackLeft, 21);
  EXPECT_EQ(g.TrackRight, 223);
  EXPECT_EQ(g.TrackRect, (TRect{21, 7, 223, 23}));
  EXPECT_EQ(g.SegStartRect, (TRect{5, 3, 21, 19}));
  EXPECT_EQ(g.SegEndRect, (TRect{223, 3, 239, 19}));
}

TEST(TrackbarMap, MainWindowExampleMapsBothWays) {
  const TValueMap map{0, 205, 16, 212, 0, 0};
  EXPECT_EQ(ValueToPixel(map, 100), 119);
  EXPECT_EQ(PixelToValue(map, 119), 100);
  EXPECT_EQ(ValueToPixel(map, 0), 16);
  EXPECT_EQ(ValueToPixel(map, 205), 228);
  EXPECT_EQ(PixelToValue(map, 16), 0);
  EXPECT_EQ(PixelToValue(map, 228), 205);
}

TEST(TrackbarMap, TravelOffsetsInsetBothEnds) {
  const TValueMap map{-100, 100, 10, 220, 3, 17};  // travel 200 pixels from 13
  EXPECT_EQ(ValueToPixel(map, -100), 13);
  EXPECT_EQ(ValueToPixel(map, 100), 213);
  EXPECT_EQ(ValueToPixel(map, -50), 63);
  EXPECT_EQ(PixelToValue(map, 163), 50);
  EXPECT_EQ(PixelToValue(map, 13), -100);
}

TEST(TrackbarMap, TiesRoundToEven) {
  EXPECT_EQ(RoundHalfEven(0.5), 0);
  EXPECT_EQ(RoundHalfEven(1.5), 2);
  EXPECT_EQ(RoundHalfEven(2.5), 2);
  EXPECT_EQ(RoundHalfEven(-1.5), -2);
  EXPECT_EQ(RoundHalfEven(-2.5), -2);
  EXPECT_EQ(RoundHalfEven(2.49), 2);
  EXPECT_EQ(RoundHalfEven(2.51), 3);
  // Range 4 over 2 pixels puts odd values exactly half way.
  const TValueMap map{0, 4, 10, 2, 0, 0};
  EXPECT_EQ(ValueToPixel(map, 1), 10);
  EXPECT_EQ(ValueToPixel(map, 3), 12);
  const TValueMap back{0, 5, 0, 2, 0, 0};
  EXPECT_EQ(PixelToValue(back, 1), 2);
}

TEST(TrackbarMap, EmptyRangeOrTravelStaysAtTheTravelStart) {
  const TValueMap emptyRange{7, 7, 16, 212, 2, 0};
  EXPECT_EQ(ValueToPixel(emptyRange, 7), 18);
  EXPECT_EQ(ValueToPixel(emptyRange, 1000), 18);
  EXPECT_EQ(PixelToValue(emptyRange, 200), 7);
  const TValueMap noTravel{0, 100, 16, 10, 4, 6};
  EXPECT_EQ(PixelToValue(noTravel, 30), 0);
  EXPECT_EQ(ValueToPixel(noTravel, 50), 20);
  const TValueMap beforeLayout{0, 1000, 0, 0, 0, 0};
  EXPECT_EQ(PixelToValue(beforeLayout, 5), 0);
}

TEST(TrackbarMap, ExtremeRangesNeitherOverflowNorLeaveTheirBounds) {
  const TValueMap whole{kLowest, kHighest, 0, 200, 0, 0};
  EXPECT_EQ(ValueToPixel(whole, kLowest), 0);
  EXPECT_EQ(ValueToPixel(whole, kHighest), 200);
  EXPECT_EQ(ValueToPixel(whole, 0), 100);
  EXPECT_EQ(PixelToValue(whole, 0), kLowest);
  EXPECT_EQ(PixelToValue(whole, 200), kHighest);
  EXPECT_EQ(PixelToValue(whole, 400), kHighest);
  const TValueMap tiny{0, 1, 0, 1000, 0, 0};
  EXPECT_GT(ValueToPixel(tiny, kHighest), 1000000);
  EXPECT_LT(ValueToPixel(tiny, kLowest), -1000000);
}

}  // namespace
}  // namespace sw
