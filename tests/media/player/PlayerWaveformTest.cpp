// The waveform display: which samples it shows (a window from the sample being heard,
// moved back to a falling zero crossing of the first channel so that a tone stands
// still), and how they are drawn (white bars on black, a band per channel).
#include <cmath>

#include "PlayerHarness.h"
#include "WavFile.h"
#include "media/player/Display.h"
#include "media/player/WaveRing.h"

using namespace sw;
using namespace std::chrono_literals;

namespace {

constexpr int64_t Second = 1000000;

// Left: a tone of exactly 100 frames a period whose loudness rises over the file (so that
// every window of it is unlike the others); right: a tone of 50 frames a period.
int16_t RisingTone(int64_t i, int channel, int64_t frames) {
  if (channel == 1) return static_cast<int16_t>(std::lround(8000 * std::sin(2 * M_PI * static_cast<double>(i % 50) / 50)));
  const double loudness = 3000 + 20000 * static_cast<double>(i) / static_cast<double>(frames);
  return static_cast<int16_t>(std::lround(loudness * std::sin(2 * M_PI * static_cast<double>(i % 100) / 100)));
}

// Where the first channel falls through zero between the frames four and five after i.
bool FallsAfter(const std::vector<int16_t>& s, int64_t i) { return s[2 * (i + 4)] >= 0 && s[2 * (i + 5)] < 0; }

TPixelBuffer Frame(int width, int height) {
  TPixelBuffer b;
  b.Width = width, b.Height = height, b.Bits = 24, b.BytesPerRow = (width * 3 + 3) / 4 * 4;
  b.Pixels.assign(static_cast<size_t>(b.BytesPerRow) * height, 0);
  return b;
}

}  // namespace

// Mono, eight columns of one sample each in a band of 20 rows (middle row 10, 9 rows each
// way): every column is a white bar from the middle to its sample, all else black.
TEST(PlayerWaveform, EachColumnIsABarFromTheMiddleToItsSample) {
  const std::vector<int16_t> samples = {32767, -32768, 0, 16384, -16384, 3641, -3641, 32767};
  // The rows each bar spans, worked out by hand: 32767 reaches 8 rows up (9 x 32767 /
  // 32768 rounds down), 16384 reaches 4, 3641 reaches 1.
  const std::pair<int, int> spans[8] = {{2, 10}, {10, 19}, {10, 10}, {6, 10}, {10, 14}, {9, 10}, {10, 11}, {2, 10}};
  TPixelBuffer b = Frame(8, 20);
  TPlayerDisplay::DrawWaveform(samples, 1, b);
  for (int x = 0; x < 8; ++x)
    for (int y = 0; y < 20; ++y) {
      const uint8_t* p = &b.Pixels[static_cast<size_t>(y) * b.BytesPerRow + 3 * static_cast<size_t>(x)];
      const bool lit = y >= spans[x].first && y <= spans[x].second;
      EXPECT_EQ(p[0], lit ? 0xFF : 0) << x << "," << y;
      EXPECT_EQ(p[1], p[0]);
      EXPECT_EQ(p[2], p[0]);
    }
}

// The window begins at the sample being heard (behind what the device still holds and
// what waits in the callback's buffer), moved back to the nearest falling zero crossing.
TEST(PlayerWaveform, TheWindowStartsWhereTheFirstChannelFallsThroughZeroBeforeTheSampleHeard) {
  const int64_t frames = 20000;
  std::vector<int16_t> s(2 * frames);
  for (int64_t i = 0; i < frames; ++i) s[2 * i] = RisingTone(i, 0, frames), s[2 * i + 1] = RisingTone(i, 1, frames);
  TWaveRing ring(0x20000);
  ring.Add(s.data(), static_cast<int>(s.size()));
  ring.SetWaiting(2 * 700);
  std::vector<int16_t> out;
  const int start = ring.Window(out, 256, 2, 2 * 1024);
  // Heard: 20000 - 700 - 1024 = 18276; the nearest falling crossing at or before it.
  int64_t expected = 18276;
  while (!FallsAfter(s, expected)) --expected;
  EXPECT_EQ(expected, 18246);
  EXPECT_EQ(start, 2 * expected);
  ASSERT_EQ(out.size(), 512u);
  EXPECT_TRUE(std::equal(out.begin(), out.end(), s.begin() + 2 * expected));
  // A start answered before is kept (a paused display), whatever was added since.
  ring.Add(s.data(), 2000);
  EXPECT_EQ(ring.Window(out, 256, 2, 0, start), start);
  EXPECT_TRUE(std::equal(out.begin(), out.end(), s.begin() + 2 * expected));

  // Without a crossing within reach the window starts at the sample heard; one that would
  // run past the newest sample ends nine frames before it.
  TWaveRing flat(0x20000);
  const std::vector<int16_t> level(2 * 5000, 1000);
  flat.Add(level.data(), static_cast<int>(level.size()));
  EXPECT_EQ(flat.Window(out, 256, 2, 2 * 1000), 2 * 4000);
  EXPECT_EQ(flat.Window(out, 256, 2, 0), 2 * (5000 - 256 - 9));
}

// A tone played to a host window: every frame is the drawing of the file's own samples
// from a falling zero crossing of the left channel, near the place being heard; paused,
// the picture stands still.
TEST_F(PlayerTest, TheWaveformShowsTheSamplesBeingHeardFromAFallingZeroCrossing) {
  const int64_t frames = 3 * 44100;
  const std::string file = Temp.File("rising.wav");
  ASSERT_TRUE(WriteWav(file, 2, frames, [&](int64_t i, int c) { return RisingTone(i, c, frames); }));
  std::vector<int16_t> s(2 * frames);
  for (int64_t i = 0; i < frames; ++i) s[2 * i] = RisingTone(i, 0, frames), s[2 * i + 1] = RisingTone(i, 1, frames);

  ::setenv("SDL_DISKAUDIODELAY", "23", 1);  // real time
  std::mutex lock;
  std::vector<std::pair<int64_t, TPixelBuffer>> shown;
  TFFPlayer& player = NewPlayer();
  player.SetScreenWidth(320);
  player.SetScreenHeight(100);
  player.OnVideoHook = [&](TCustomPlayer*, TPixelBuffer& b, int64_t pts, bool&) {
    std::lock_guard<std::mutex> g(lock);
    shown.emplace_back(pts, b);
  };
  ASSERT_TRUE(player.OpenMedia(file, 0x5a5a, false)) << player.ErrorText();
  ASSERT_TRUE(PumpUntil([&] { return !Positions().empty() && Positions().back() > 3 * Second / 2; }));
  player.Pause();
  PumpFor(100ms);
  size_t pausedFrom;
  {
    std::lock_guard<std::mutex> g(lock);
    pausedFrom = shown.size();
  }
  PumpFor(300ms);
  player.Stop(true);

  std::lock_guard<std::mutex> g(lock);
  ASSERT_GT(shown.size(), pausedFrom + 5);
  for (size_t i = pausedFrom + 1; i < shown.size(); ++i)
    EXPECT_TRUE(shown[i].second.Pixels == shown[pausedFrom].second.Pixels) << "the paused picture moved";
  // 256 frames (the power of two at or above twice the height) over the width.
  const int window = 256;
  int checked = 0;
  TPixelBuffer drawn = Frame(320, 100);
  for (size_t f = 0; f < pausedFrom; ++f) {
    const auto& [pts, picture] = shown[f];
    if (pts < Second / 4) continue;  // the first sound is still arriving
    ASSERT_EQ(picture.Width, 320);
    // Where the device can be: what it still holds of the last callback's 1024 frames, a
    // callback that may come between the time and the drawing, and the reach of the
    // trigger.
    const int64_t heard = pts * 44100 / Second;
    int64_t found = -1;
    for (int64_t k = std::max<int64_t>(heard - 1024 - 500 - window, 0); k <= heard + 1100 && k + window <= frames; ++k) {
      if (!FallsAfter(s, k)) continue;
      TPlayerDisplay::DrawWaveform(std::vector<int16_t>(s.begin() + 2 * k, s.begin() + 2 * (k + window)), 2, drawn);
      if (drawn.Pixels == picture.Pixels) found = k;
    }
    EXPECT_GE(found, 0) << "the frame at " << pts << " µs is not the file's waveform from a falling crossing near it";
    ++checked;
  }
  EXPECT_GT(checked, 20);
}
