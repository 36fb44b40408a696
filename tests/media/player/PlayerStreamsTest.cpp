// Which streams of a file play, and how a place in it is found: of several sound streams
// the one with the most packets in the stretch the library probes; subtitles also over
// the sound's display of a file without a picture; files whose times may jump are seeked
// by their share of the bytes.
#include <algorithm>
#include <cmath>

#include "../engine/DecodeFile.h"
#include "../engine/RemuxFile.h"
#include "PlayerHarness.h"
#include "SoundMatch.h"
#include "VideoFile.h"

using namespace sw;
using namespace sw::test;
using namespace std::chrono_literals;

namespace {

constexpr int64_t Second = 1000000;

bool IsRed(const TPixelBuffer& b, int x, int y) {
  const uint8_t* p = &b.Pixels[static_cast<size_t>(y) * b.BytesPerRow + 3 * static_cast<size_t>(x)];
  return p[2] > 200 && p[1] < 80 && p[0] < 80;
}

}  // namespace

// The first sound stream is the file's default one and comes in packets of 4096 samples;
// the second, a 1 kHz tone, in packets of 256: more of them in any stretch, so it plays.
TEST_F(PlayerTest, OfSeveralSoundStreamsTheOneWithTheMostProbedPacketsPlays) {
  TVideoFileSpec spec;
  spec.Video = false;
  spec.Seconds = 2;
  spec.AudioBlock = 4096;
  spec.FirstAudioDefault = true;
  spec.SecondAudioBlock = 256;
  const std::string file = Temp.File("two.mkv");
  ASSERT_TRUE(WriteVideoFile(file, spec));
  TFFPlayer& player = NewPlayer();
  player.SetDisableDisplay(true);
  ASSERT_TRUE(player.OpenMedia(file, 0, false)) << player.ErrorText();
  ASSERT_TRUE(PumpUntil([&] { return SawState(psEnd); }));
  player.Stop(true);
  std::vector<int16_t> sound = Sound();
  sound.resize(SoundAtEnd);
  // Mono at 1 kHz, every sample of it: not the stereo 440 Hz of the first stream.
  std::vector<int16_t> expected(2 * 44100);
  for (size_t i = 0; i < expected.size(); ++i)
    expected[i] = static_cast<int16_t>(8000 * std::sin(2 * M_PI * 1000 * static_cast<double>(i) / 44100.0));
  const auto nonzero = [](int16_t v) { return v != 0; };
  const auto heard = std::find_if(sound.begin(), sound.end(), nonzero);
  const auto first = std::find_if(expected.begin(), expected.end(), nonzero);
  ASSERT_GE(sound.end() - heard, expected.end() - first);
  EXPECT_TRUE(std::equal(first, expected.end(), heard));
}

// A file without a picture shows its subtitle (a red box from 1 s to 2 s) over the
// waveform of its sound; one whose picture cannot be decoded over the spectrum.
TEST_F(PlayerTest, SubtitlesOfAFileWithoutAPictureAreDrawnOverTheSoundsDisplay) {
  ::setenv("SDL_DISKAUDIODELAY", "23", 1);  // real time: the box shows in many frames
  for (const bool undecodable : {false, true}) {
    SCOPED_TRACE(undecodable ? "spectrum" : "waveform");
    ClearEvents();
    TVideoFileSpec spec;
    spec.Seconds = 3;
    spec.Video = undecodable;
    spec.UndecodableVideo = undecodable;
    spec.SubtitleStart = 1;
    spec.SubtitleEnd = 2;
    const std::string file = Temp.File("subtitled.mkv");
    ASSERT_TRUE(WriteVideoFile(file, spec));
    std::mutex lock;
    std::vector<std::pair<int64_t, bool>> frames;  // time, the box is drawn
    TFFPlayer& player = NewPlayer();
    player.SetScreenWidth(320);
    player.SetScreenHeight(100);
    player.OnVideoHook = [&](TCustomPlayer*, TPixelBuffer& b, int64_t pts, bool&) {
      std::lock_guard<std::mutex> g(lock);
      frames.emplace_back(pts, IsRed(b, SubX + SubW / 2, SubY + SubH / 2));
    };
    ASSERT_TRUE(player.OpenMedia(file, 0x5a5a, false)) << player.ErrorText();
    ASSERT_TRUE(PumpUntil([&] { return SawState(psEnd); }, 20s));
    player.Stop(true);
    std::lock_guard<std::mutex> g(lock);
    int inside = 0, boxed = 0;
    for (const auto& [pts, red] : frames) {
      // The sound's clock runs ahead of what is heard by the device's buffer.
      if (pts < Second * 9 / 10 || pts > Second * 21 / 10) {
        EXPECT_FALSE(red) << pts;
      }
      if (pts > Second * 11 / 10 && pts < Second * 19 / 10) ++inside, boxed += red;
    }
    EXPECT_GT(inside, 10);
    EXPECT_EQ(boxed, inside);
  }
}

// The same noise (12 s of silence in a quarter of the bytes, then 12 s of noise) as MP3
// and in a transport stream. The stream is seeked by its share of the bytes: 18 s lands
// three quarters in, past 19 s; by time (when told so, and the MP3) at 18 s. Where it
// landed is read from the sound heard, found in a decode of the whole file.
TEST_F(PlayerTest, FilesWhoseTimesMayJumpAreSeekedByTheirShareOfTheBytes) {
  const std::string ts = Temp.File("noise.ts");
  ASSERT_TRUE(RemuxFile(TestData("vbr-noheader.mp3"), ts, 1, 1));
  TFFPlayer& player = NewPlayer();
  player.SetDisableDisplay(true);
  for (const auto& [file, mode, byBytes] : {std::tuple{ts, -1, true}, std::tuple{ts, 0, false},
                                            std::tuple{TestData("vbr-noheader.mp3"), -1, false}}) {
    SCOPED_TRACE(testing::Message() << file << " mode " << mode);
    TDecodedAudio reference;
    ASSERT_TRUE(DecodeFile(file, reference));
    const size_t channels = static_cast<size_t>(reference.Channels);
    player.SetSeekByBytes(mode);
    ASSERT_TRUE(player.OpenMedia(file, 0, true)) << player.ErrorText();
    EXPECT_EQ(player.SeeksByBytes(), byBytes);
    player.Seek(0, true, 18 * Second);
    player.Resume();
    const size_t wanted = (WarmUpFrames + 8192) * channels;
    ASSERT_TRUE(PumpUntil([&] {
      const std::vector<int16_t> s = WithoutPauses(Sound());
      return s.size() > FirstSound(s) + wanted;
    }));
    player.Stop(true);
    const std::vector<int16_t> sound = WithoutPauses(Sound());
    const size_t first = FirstSound(sound) / channels * channels;
    const int64_t at = FindRun(reference.Samples, sound, first + WarmUpFrames * channels, 4096 * channels,
                               static_cast<int>(channels));
    ASSERT_GE(at, 0) << "the sound after the seek is not the file's own";
    const double landed =
        static_cast<double>(at / static_cast<int64_t>(channels) - static_cast<int64_t>(WarmUpFrames)) /
        reference.SampleRate;
    if (byBytes) {
      EXPECT_GT(landed, 19.0);
      EXPECT_LT(landed, 21.0);
    } else {
      EXPECT_NEAR(landed, 18.0, 0.2);
    }
  }
}
