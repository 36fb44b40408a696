// The fades of both cuts: the shape, its five seconds, the rounding and the placing of
// samples by index.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "media/gain/SegmentFade.h"

using namespace sw;

namespace {

// A stereo 16-bit buffer of one value, shaped as the hook would get it at that time.
std::vector<int16_t> Shaped(const TFadeShaper& shaper, int64_t pts, int16_t value, int frames = 1152) {
  std::vector<int16_t> buffer(static_cast<size_t>(frames) * 2, value);
  shaper.Apply(pts, buffer.data(), frames, 44100, 2);
  return buffer;
}

}  // namespace

TEST(SegmentFade, FadesRampBothEndsAndLeaveTheMiddleAlone) {
  const TFadeShaper shaper(10000000, 30000000);  // a 20-second segment
  const int64_t S = 10000000, E = 30000000;
  EXPECT_EQ(shaper.Gain(S), 0);
  EXPECT_EQ(shaper.Gain(S + 2500000), 128);
  EXPECT_EQ(shaper.Gain(S + 5000000), 256);
  EXPECT_EQ(shaper.Gain(E - 2500000), 128);
  EXPECT_EQ(shaper.Gain(E), 0);
  EXPECT_EQ(shaper.Gain(E + 20000), 0);  // the last packet's overhang stays silent

  // The first frame of each buffer carries the buffer's time.
  EXPECT_EQ(Shaped(shaper, S + 2500000, 10000)[0], 5000);
  EXPECT_EQ(Shaped(shaper, S + 4980000, 32767)[0], 32639);  // gain 255
  EXPECT_EQ(Shaped(shaper, S + 20000, -32768)[1], -128);    // gain 1, right channel
  // Within a buffer the gain follows each frame's own time: one second is 44100 frames.
  const auto ramp = Shaped(shaper, S, 20000, 44100);
  EXPECT_EQ(ramp[0], 0);
  EXPECT_LT(ramp[2 * 22050], ramp[2 * 44099]);
  EXPECT_NEAR(ramp[2 * 44099], 20000 * 51 / 256, 100);  // about 1/5 of the way up

  const auto middle = Shaped(shaper, S + 7000000, 12345);
  EXPECT_TRUE(std::all_of(middle.begin(), middle.end(), [](int16_t s) { return s == 12345; }));
  // A buffer's frames are placed by their index: the first sample of the segment is
  // silent although its time in truncated µs (9,999,999) lies before the start.
  const auto across = Shaped(shaper, 9977324, 30000, 1152);  // sample 440,000 at 44.1 kHz
  EXPECT_EQ(across[2 * 999], 30000);
  EXPECT_EQ(across[2 * 1000], 0);
  EXPECT_EQ(shaper.SampleGain(441000 + 110250, 44100), 128);  // 2.5 s in
  EXPECT_EQ(shaper.SampleGain(1323000 - 1, 44100), 0);        // the last sample the trim keeps
  // Before the segment nothing changes: those buffers never reach the encoder.
  const auto before = Shaped(shaper, S - 1000000, 12345);
  EXPECT_TRUE(std::all_of(before.begin(), before.end(), [](int16_t s) { return s == 12345; }));
}

TEST(SegmentFade, ShortSegmentFadesInFirst) {
  const TFadeShaper shaper(0, 6000000);
  // At 4 s the fade-in (gain 205) wins over the fade-out (gain 102).
  EXPECT_EQ(shaper.Gain(4000000), 205);
  EXPECT_EQ(shaper.Gain(5500000), 26);  // past the fade-in: 25.6 rounds up
}

// The lossless cut's ramp and the re-encoding cut's hook follow one curve: a factor in
// the middle of each sample's ramp place gives the hook's gain.
TEST(SegmentFade, OneCurveForBothCuts) {
  const int rate = 48000;
  const TFadeShaper shaper(3000000, 13000000);  // 10 s at 48 kHz: samples 144,000 to 624,000
  const double length = 480000, fade = static_cast<double>(SampleAt(FadeTime, rate));
  EXPECT_EQ(fade, 240000);
  for (const int64_t at : {0, 1, 1000, 119999, 120000, 239999, 240000, 240001, 300000, 479999, 480000, 480500}) {
    const double f = FadeFactor(static_cast<double>(at), length - static_cast<double>(at), fade);
    EXPECT_EQ(shaper.SampleGain(144000 + at, rate), static_cast<int>(std::nearbyint(f * 256))) << at;
  }
  EXPECT_EQ(FadeFactor(-1, 10, 5), 0.0);   // before the segment: silent
  EXPECT_EQ(FadeFactor(20, -3, 5), 0.0);   // past its end
  EXPECT_EQ(FadeFactor(-1, 10, 0), 1.0);   // no ramp asked for
  EXPECT_EQ(SampleAt(-10, 44100), -SampleAt(10, 44100));
  EXPECT_EQ(SampleAt(11338, 44100), 500);  // 499.99 samples
  EXPECT_EQ(SampleAt(11327, 44100), 500);  // 499.52: to the nearest
}
