// The spectrum display: a file whose video cannot be decoded shows the scrolling spectrum
// of its sound. Each channel has a band; a tone shows as the brightest row of its band,
// at the height its frequency has between 0 (bottom) and half the sample rate (top).
#include <array>

#include "PlayerHarness.h"
#include "VideoFile.h"
#include "media/player/Display.h"
#include "media/player/Spectrum.h"

using namespace sw;
using namespace std::chrono_literals;

namespace {

constexpr double Nyquist = 22050;

// The frequency the brightest row of a band stands for, in one column of a BGR picture;
// negative when the column is dark there (no sound in it).
double PeakFrequency(const TPixelBuffer& b, int x, int top, int band) {
  int best = -1, bestLevel = 0;
  for (int r = 0; r < band; ++r) {
    const uint8_t* p = &b.Pixels[static_cast<size_t>(top + band - 1 - r) * b.BytesPerRow + 3 * static_cast<size_t>(x)];
    const int level = p[0] + p[1] + p[2];
    if (level > bestLevel) best = r, bestLevel = level;
  }
  if (bestLevel < 3 * 128) return -1;
  return (best + 0.5) / band * Nyquist;
}

// How near a frequency must come: a row and a half of the band, and the transform's
// resolution.
double Tolerance(int band) { return 1.5 * Nyquist / band + 2 * 44100.0 / TSpectrum::WindowFrames(band); }

class PlayerSpectrumTest : public PlayerTest {
 protected:
  TFFPlayer& NewGrabbingPlayer() {
    TFFPlayer& player = NewPlayer();
    player.SetVideoHook(true);
    player.OnVideoHook = [this](TCustomPlayer*, TPixelBuffer& b, int64_t, bool&) {
      std::lock_guard<std::mutex> g(FrameLock);
      Last = b;
      ++Frames;
    };
    return player;
  }
  TPixelBuffer LastFrame() {
    std::lock_guard<std::mutex> g(FrameLock);
    return Last;
  }
  int FrameCount() {
    std::lock_guard<std::mutex> g(FrameLock);
    return Frames;
  }

  std::mutex FrameLock;
  TPixelBuffer Last;
  int Frames = 0;
};

// The file names a video format no decoder knows; the test needs that to hold.
void ExpectUndecodableVideo(const std::string& file) {
  AVFormatContext* c = nullptr;
  ASSERT_GE(OpenInputFormat(&c, MediaUrl(file), nullptr, nullptr), 0);
  std::unique_ptr<AVFormatContext*, void (*)(AVFormatContext**)> owner(&c, CloseInputFormat);
  ASSERT_GE(ff::avformat_find_stream_info(c, nullptr), 0);
  const int video = ff::av_find_best_stream(c, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  ASSERT_GE(video, 0);
  EXPECT_EQ(ff::avcodec_find_decoder(c->streams[video]->codecpar->codec_id), nullptr);
}

}  // namespace

// Left 1 kHz and right 3 kHz for a second, then left 5 kHz and right 2 kHz: the columns,
// oldest on the left, show the first pair and then the second, each in its channel's band.
TEST_F(PlayerSpectrumTest, AFileWhoseVideoCannotBeOpenedShowsTheSpectrumOfItsSound) {
  ::setenv("SDL_DISKAUDIODELAY", "23", 1);  // real time: 50 columns per second of sound
  TVideoFileSpec spec;
  spec.Seconds = 2;
  spec.UndecodableVideo = true;
  spec.Tones = [](double t) { return t < 1 ? std::make_pair(1000.0, 3000.0) : std::make_pair(5000.0, 2000.0); };
  const std::string file = Temp.File("tones.mkv");
  ASSERT_TRUE(WriteVideoFile(file, spec));
  ExpectUndecodableVideo(file);

  TFFPlayer& player = NewGrabbingPlayer();
  int frameWidth = 0;
  player.OnFileOpen = [&](TCustomPlayer*, int64_t, int w, int, int&, int&) { frameWidth = w; };
  ASSERT_TRUE(player.OpenMedia(file, 0, false)) << player.ErrorText();
  ASSERT_TRUE(PumpUntil([&] { return SawState(psEnd); }, 20s));
  player.Stop(true);
  EXPECT_EQ(frameWidth, -1) << "no picture was opened";
  EXPECT_GE(FrameCount(), 20);

  const TPixelBuffer b = LastFrame();
  ASSERT_EQ(b.Width, TPlayerDisplay::DefaultWidth);
  ASSERT_EQ(b.Height, TPlayerDisplay::DefaultHeight);
  Grab("spectrum", b.Pixels.data(), b.Width, b.Height, b.BytesPerRow);
  const int band = b.Height / 2;
  const double tolerance = Tolerance(band);
  const auto near = [&](double f, double want) { return std::fabs(f - want) <= tolerance; };
  std::vector<int> firstPair, secondPair;
  int lit = 0;
  for (int x = 0; x < b.Width; ++x) {
    const double left = PeakFrequency(b, x, 0, band), right = PeakFrequency(b, x, band, band);
    if (left < 0 && right < 0) continue;
    ++lit;
    if (near(left, 1000) && near(right, 3000)) firstPair.push_back(x);
    if (near(left, 5000) && near(right, 2000)) secondPair.push_back(x);
  }
  // At least a fifth of the columns a second of sound has, for a slow machine.
  ASSERT_GE(firstPair.size(), 10u) << "1 kHz / 3 kHz not found";
  ASSERT_GE(secondPair.size(), 10u) << "5 kHz / 2 kHz not found";
  // Time runs to the right; only columns across the change (a window holding both) fit neither.
  EXPECT_LT(firstPair.back(), secondPair.front());
  EXPECT_LE(lit - static_cast<int>(firstPair.size() + secondPair.size()), 3);
  EXPECT_GE(secondPair.back(), b.Width - 15) << "the newest column is not at the right edge";
}

// The same sound without a video stream has the waveform; paused, the spectrum stands.
TEST_F(PlayerSpectrumTest, TheSpectrumStandsWhilePausedAndAFileWithoutVideoKeepsTheWaveform) {
  ::setenv("SDL_DISKAUDIODELAY", "23", 1);
  TVideoFileSpec spec;
  spec.Seconds = 3;
  spec.UndecodableVideo = true;
  const std::string file = Temp.File("tone.mkv");
  ASSERT_TRUE(WriteVideoFile(file, spec));
  {
    TFFPlayer& player = NewGrabbingPlayer();
    ASSERT_TRUE(player.OpenMedia(file, 0, false)) << player.ErrorText();
    ASSERT_TRUE(PumpUntil([&] { return FrameCount() >= 25; }));
    player.Pause();
    PumpFor(100ms);
    const TPixelBuffer paused = LastFrame();
    const int framesAtPause = FrameCount();
    PumpFor(300ms);
    EXPECT_GT(FrameCount(), framesAtPause) << "the display is offered on while paused";
    EXPECT_TRUE(LastFrame().Pixels == paused.Pixels) << "the spectrum moved while paused";
    player.Resume();
    PumpFor(200ms);
    EXPECT_FALSE(LastFrame().Pixels == paused.Pixels) << "the spectrum did not go on";
    // 440 Hz in both bands of the newest column.
    const TPixelBuffer b = LastFrame();
    const int band = b.Height / 2;
    EXPECT_NEAR(PeakFrequency(b, b.Width - 1, 0, band), 440, Tolerance(band));
    EXPECT_NEAR(PeakFrequency(b, b.Width - 1, band, band), 440, Tolerance(band));
    player.Stop(true);
  }
  spec.Video = false;
  spec.UndecodableVideo = false;
  spec.Seconds = 1;
  const std::string sound = Temp.File("sound.mkv");
  ASSERT_TRUE(WriteVideoFile(sound, spec));
  TFFPlayer& player = NewGrabbingPlayer();
  ASSERT_TRUE(player.OpenMedia(sound, 0, false)) << player.ErrorText();
  ASSERT_TRUE(PumpUntil([&] { return SawState(psEnd); }, 20s));
  player.Stop(true);
  // The waveform's white on black, not the spectrum's colours.
  const TPixelBuffer b = LastFrame();
  int white = 0, other = 0;
  for (size_t i = 0; i + 2 < b.Pixels.size(); i += 3) {
    const bool black = b.Pixels[i] == 0 && b.Pixels[i + 1] == 0 && b.Pixels[i + 2] == 0;
    const bool lit = b.Pixels[i] == 0xFF && b.Pixels[i + 1] == 0xFF && b.Pixels[i + 2] == 0xFF;
    white += lit, other += !black && !lit;
  }
  EXPECT_GT(white, 100);
  EXPECT_EQ(other, 0);
}

// The drawing itself, without a player: known tones give known rows and levels.
TEST(PlayerSpectrumColumns, ToneRowsLevelsAndScrolling) {
  RequireLibraries();
  TPixelBuffer frame;
  frame.Width = 8, frame.Height = 200, frame.Bits = 24;
  frame.BytesPerRow = (frame.Width * 3 + 3) / 4 * 4;
  frame.Pixels.assign(static_cast<size_t>(frame.BytesPerRow) * frame.Height, 0);
  const int band = 100, n = TSpectrum::WindowFrames(band);
  EXPECT_GE(n, 2 * band);
  EXPECT_EQ(n & (n - 1), 0);
  // Channel 0: a full-scale tone at a quarter of the band (rate / 8); channel 1: a tone
  // at -40 dB three quarters up.
  std::vector<int16_t> samples(static_cast<size_t>(n) * 2);
  for (int i = 0; i < n; ++i) {
    samples[2 * static_cast<size_t>(i)] = static_cast<int16_t>(32767 * std::sin(2 * M_PI * i / 8.0));
    samples[2 * static_cast<size_t>(i) + 1] = static_cast<int16_t>(327.67 * std::sin(2 * M_PI * 0.375 * i));
  }
  TSpectrum spectrum;
  spectrum.AddColumn(samples, 2, frame);
  const int x = frame.Width - 1;
  EXPECT_NEAR(PeakFrequency(frame, x, 0, band), Nyquist / 4, Tolerance(band));
  EXPECT_NEAR(PeakFrequency(frame, x, band, band), Nyquist * 0.75, Tolerance(band));
  const auto pixel = [&](int px, int y) { return &frame.Pixels[static_cast<size_t>(y) * frame.BytesPerRow + 3 * static_cast<size_t>(px)]; };
  // Full scale is white; -40 dB is 50 of 90 dB above the floor.
  const uint8_t* loud = pixel(x, band - 1 - band / 4);
  EXPECT_GE(loud[0] + loud[1] + loud[2], 3 * 245);
  std::array<uint8_t, 3> expected{};
  TSpectrum::LevelColour(50.0 / 90.0, expected.data());
  const uint8_t* soft = pixel(x, 2 * band - 1 - band * 3 / 4);
  EXPECT_NEAR(soft[2], expected[2], 30);
  EXPECT_NEAR(soft[1], expected[1], 30);
  // Far from the tones a windowed pure tone leaves the floor: black.
  const uint8_t* far = pixel(x, band - 1 - band * 3 / 4);
  EXPECT_LT(far[0] + far[1] + far[2], 60);

  // The next column pushes this one left by one; silence is black.
  const std::vector<uint8_t> before(frame.Pixels);
  spectrum.AddColumn(std::vector<int16_t>(samples.size(), 0), 2, frame);
  for (int y = 0; y < frame.Height; ++y) {
    EXPECT_EQ(std::memcmp(pixel(x - 1, y), &before[static_cast<size_t>(y) * frame.BytesPerRow + 3 * static_cast<size_t>(x)], 3), 0);
    EXPECT_EQ(pixel(x, y)[0] + pixel(x, y)[1] + pixel(x, y)[2], 0);
  }
  // Brightness rises with the level.
  int previous = -1;
  for (int i = 0; i <= 20; ++i) {
    std::array<uint8_t, 3> c{};
    TSpectrum::LevelColour(i / 20.0, c.data());
    EXPECT_GT(c[0] + c[1] + c[2], previous);
    previous = c[0] + c[1] + c[2];
  }
}
