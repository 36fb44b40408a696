#include <gtest/gtest.h>

#include <cmath>

#include "TrackbarFixture.h"
#include "TrackbarModel.h"

using namespace sw;

namespace {

// Ten seconds in ten columns; column i reaches i / 10 up and -i / 20 down.
TTrackbarEnvelope Ramp(int filled = 10) {
  TTrackbarEnvelope e;
  for (int i = 0; i < 10; ++i) e.Columns.push_back({-i / 20.0f, i / 10.0f});
  e.Span = 10;
  e.Filled = filled;
  return e;
}

// Track from 10, 100 pixels wide, values 0..max: ten pixels per second when max is 10.
TValueMap Map(int64_t max) { return TValueMap{0, max, 10, 100, 0, 0}; }

}  // namespace

TEST(TrackbarEnvelope, BarsFollowTheColumnsUnderThePixel) {
  TEnvelopeBar bar;
  for (int i = 0; i < 10; ++i) {
    ASSERT_TRUE(EnvelopeBarAt(Ramp(), Map(10), 10 + 10 * i + 4, 10 + 10 * i + 5, bar)) << i;
    EXPECT_NEAR(bar.Up, std::sqrt(i / 10.0), 1e-6) << i;
    EXPECT_NEAR(bar.Down, std::sqrt(i / 20.0), 1e-6) << i;
  }
  // A pixel wider than a column shows the loudest of those under it.
  ASSERT_TRUE(EnvelopeBarAt(Ramp(), Map(10), 30, 60, bar));
  EXPECT_NEAR(bar.Up, std::sqrt(0.4), 1e-6);
  EXPECT_NEAR(bar.Down, std::sqrt(0.2), 1e-6);
  // Left of the track's start nothing is drawn.
  EXPECT_FALSE(EnvelopeBarAt(Ramp(), Map(10), 5, 10, bar));
}

TEST(TrackbarEnvelope, NothingWhereTheSpanEndsOrColumnsAreNotKnownYet) {
  TEnvelopeBar bar;
  // A 20-second range: the ten seconds of audio fill the left half only.
  EXPECT_TRUE(EnvelopeBarAt(Ramp(), Map(20), 59, 60, bar));
  EXPECT_FALSE(EnvelopeBarAt(Ramp(), Map(20), 60, 61, bar));
  EXPECT_FALSE(EnvelopeBarAt(Ramp(4), Map(10), 51, 52, bar));
  EXPECT_TRUE(EnvelopeBarAt(Ramp(4), Map(10), 49, 50, bar));
  EXPECT_FALSE(EnvelopeBarAt(Ramp(0), Map(10), 11, 12, bar));
  EXPECT_FALSE(EnvelopeBarAt(Ramp(), Map(0), 11, 12, bar));  // an empty range
}

TEST(TrackbarEnvelope, BarBesideTheMiddleWhenAllSamplesShareASign) {
  TTrackbarEnvelope e;
  e.Columns = {{0.25f, 0.64f}, {-0.81f, -0.04f}};
  e.Span = 10;
  e.Filled = 2;
  TEnvelopeBar bar;
  ASSERT_TRUE(EnvelopeBarAt(e, Map(10), 20, 21, bar));
  EXPECT_NEAR(bar.Up, 0.8, 1e-6);
  EXPECT_NEAR(bar.Down, -0.5, 1e-6);  // the bar ends above the middle
  ASSERT_TRUE(EnvelopeBarAt(e, Map(10), 80, 81, bar));
  EXPECT_NEAR(bar.Up, -0.2, 1e-6);
  EXPECT_NEAR(bar.Down, 0.9, 1e-6);
}

TEST(TrackbarEnvelope, SettingItRepaintsAndLeavesTheValuesAlone) {
  TTrackbarModel m;
  test::TEventLog log;
  log.Attach(m);
  test::OpenLikeMainWindow(m);
  m.SetSegStartPos(40);
  m.SetPosition(100);
  log.Clear();
  m.SetEnvelope(Ramp());
  EXPECT_EQ(log.Repaints, 1);
  EXPECT_TRUE(log.Events.empty());
  EXPECT_EQ(m.Position(), 100);
  EXPECT_EQ(m.SegStartPos(), 40);
  EXPECT_EQ(m.SegEndPos(), 205);
  EXPECT_EQ(m.Envelope().Columns.size(), 10u);
  TEnvelopeBar bar;
  EXPECT_TRUE(m.EnvelopeBar(m.PixelOf(5), m.PixelOf(5) + 1, bar));
  EXPECT_FALSE(m.EnvelopeBar(m.PixelOf(11), m.PixelOf(11) + 1, bar));  // past the ten seconds
  m.SetEnvelope({});
  EXPECT_EQ(log.Repaints, 2);
  EXPECT_FALSE(m.EnvelopeBar(m.PixelOf(5), m.PixelOf(5) + 1, bar));
}
