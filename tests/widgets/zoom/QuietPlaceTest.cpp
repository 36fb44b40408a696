#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "widgets/zoom/QuietPlace.h"
#include "widgets/zoom/ZoomModel.h"

using namespace sw;

namespace {

constexpr int Rate = 44100;

// Speech-like sound: noise over a tone, with stretches of silence [from, to) in samples.
std::vector<float> SoundWithGaps(int64_t count, const std::vector<std::pair<int64_t, int64_t>>& gaps) {
  std::vector<float> s(static_cast<size_t>(count));
  uint32_t seed = 11;
  for (int64_t i = 0; i < count; ++i) {
    seed = seed * 1664525u + 1013904223u;
    const double noise = static_cast<double>(seed >> 8) / (1u << 24) - 0.5;
    s[static_cast<size_t>(i)] = static_cast<float>(0.4 * noise + 0.3 * std::sin(2 * M_PI * 220 * i / Rate));
  }
  for (const auto& [from, to] : gaps)
    for (int64_t i = from; i < to; ++i) s[static_cast<size_t>(i)] = 0;
  return s;
}

int64_t Ms(double ms) { return std::llround(ms * Rate / 1000); }

}  // namespace

TEST(QuietPlace, AMarkThirtyMsBeforeATwentyMsGapMovesIntoTheGap) {
  // The sound starts at sample 1000 of the file; the gap lies at 500..520 ms of it.
  const int64_t first = 1000;
  const std::vector<float> s = SoundWithGaps(Ms(1000), {{Ms(500), Ms(520)}});
  for (const double before : {30.0, 45.0}) {
    const int64_t mark = first + Ms(500 - before);
    const int64_t quiet = QuietPlace(s.data(), static_cast<int64_t>(s.size()), first, Rate, mark);
    EXPECT_GE(quiet, first + Ms(500)) << before;
    EXPECT_LT(quiet, first + Ms(520)) << before;
    EXPECT_EQ(s[static_cast<size_t>(quiet - first)], 0.0f);
  }
  // The same from behind, and the middle of the gap when the window fits in it.
  const int64_t quiet = QuietPlace(s.data(), static_cast<int64_t>(s.size()), first, Rate, first + Ms(550));
  EXPECT_NEAR(static_cast<double>(quiet - first), static_cast<double>(Ms(510)), Ms(1));
}

TEST(QuietPlace, ANearerGapWinsAndOneOutOfReachIsNotTaken) {
  const std::vector<float> s = SoundWithGaps(Ms(1000), {{Ms(300), Ms(320)}, {Ms(400), Ms(420)}});
  const int64_t n = static_cast<int64_t>(s.size());
  // Both gaps' silent windows lie within reach; the nearer one is taken either way.
  const int64_t toFirst = QuietPlace(s.data(), n, 0, Rate, Ms(355));   // 40 ms after its last one
  EXPECT_GE(toFirst, Ms(300));
  EXPECT_LT(toFirst, Ms(320));
  const int64_t toSecond = QuietPlace(s.data(), n, 0, Rate, Ms(365));  // 40 ms before its first one
  EXPECT_GE(toSecond, Ms(400));
  EXPECT_LT(toSecond, Ms(420));
  // 80 ms from the nearest gap: no silence within reach, only the quietest noise.
  const int64_t far = QuietPlace(s.data(), n, 0, Rate, Ms(700));
  EXPECT_LE(std::llabs(far - Ms(700)), Ms(50));
  EXPECT_TRUE(far - Ms(700) != 0);
}

TEST(QuietPlace, EndsOnAZeroCrossingOfASteadyTone) {
  std::vector<float> s(static_cast<size_t>(Ms(400)));
  for (size_t i = 0; i < s.size(); ++i) s[i] = static_cast<float>(0.5 * std::sin(2 * M_PI * 100.3 * i / Rate + 0.4));
  const int64_t quiet = QuietPlace(s.data(), static_cast<int64_t>(s.size()), 0, Rate, Ms(200));
  ASSERT_GT(quiet, 0);
  const float a = s[static_cast<size_t>(quiet - 1)], b = s[static_cast<size_t>(quiet)], c = s[static_cast<size_t>(quiet + 1)];
  EXPECT_TRUE((a < 0) != (b < 0) || (b < 0) != (c < 0)) << a << " " << b << " " << c;
  EXPECT_LT(std::fabs(b), 0.5 * 2 * M_PI * 100.3 / Rate);  // no more than one sample's rise from zero
}

TEST(QuietPlace, LeavesTheMarkWhereTheSamplesDoNotCoverTheSearch) {
  const std::vector<float> s = SoundWithGaps(Ms(100), {{Ms(10), Ms(30)}});
  EXPECT_EQ(QuietPlace(s.data(), static_cast<int64_t>(s.size()), 5000, Rate, 1000000), 1000000);
  EXPECT_EQ(QuietPlace(nullptr, 0, 0, Rate, 42), 42);
  EXPECT_EQ(QuietPlace(s.data(), static_cast<int64_t>(s.size()), 0, 0, 42), 42);
}

TEST(ZoomModel, ColumnsHoldTheExtremesOfTheirOwnSamples) {
  // 1000 Hz: one sample per ms. A view of 10 ms from 2 ms in 5 columns of 2 samples.
  auto samples = std::make_shared<std::vector<float>>(20, 0.0f);
  for (int i = 0; i < 20; ++i) (*samples)[static_cast<size_t>(i)] = (i % 2 ? -0.01f : 0.01f) * i;
  TZoomSound sound{1000, 0, samples};
  const std::vector<TZoomColumn> c = ZoomColumns(sound, 2000, 10000, 5);
  ASSERT_EQ(c.size(), 5u);
  for (int k = 0; k < 5; ++k) {
    ASSERT_TRUE(c[static_cast<size_t>(k)].Known) << k;
    EXPECT_FLOAT_EQ(c[static_cast<size_t>(k)].Max, 0.01f * (2 + 2 * k)) << k;
    EXPECT_FLOAT_EQ(c[static_cast<size_t>(k)].Min, -0.01f * (3 + 2 * k)) << k;
  }
  // Past the sound the columns are unknown; a column narrower than a sample takes the
  // two around its time.
  const std::vector<TZoomColumn> past = ZoomColumns(sound, 15000, 10000, 5);
  EXPECT_TRUE(past[1].Known);
  EXPECT_FALSE(past[3].Known);
  EXPECT_FALSE(past[4].Known);
  const std::vector<TZoomColumn> fine = ZoomColumns(sound, 4000, 1000, 4);
  for (const TZoomColumn& k : fine) EXPECT_TRUE(k.Known);
  EXPECT_FLOAT_EQ(fine[1].Max, 0.04f);
  EXPECT_FLOAT_EQ(fine[1].Min, -0.05f);  // samples 4 and 5 lie either side of 4.25..4.5 ms
}

TEST(ZoomModel, RulerStepsKeepTheirDistanceAndTextsShowMilliseconds) {
  EXPECT_EQ(RulerStep(1000000, 800, 90), 200000);     // 1 s over 800 px: 0.2 s = 160 px
  EXPECT_EQ(RulerStep(500000, 800, 90), 100000);
  EXPECT_EQ(RulerStep(60000000, 800, 90), 10000000);  // 10 s = 133 px
  EXPECT_EQ(RulerStep(30000, 800, 90), 5000);
  EXPECT_EQ(RulerText(12345000), "0:12.345");
  EXPECT_EQ(RulerText(3480001000), "58:00.001");
  EXPECT_EQ(RulerText(3723450000), "1:02:03.450");
  EXPECT_EQ(ZoomTime(ZoomX(12345000, 12000000, 1000000, 800), 12000000, 1000000, 800), 12345000);
}
