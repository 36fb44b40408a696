// What reaches the sound device: the file's own samples from the seek position on, at
// the volume asked for, silence when muted, nothing while paused.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "../encoder/LogCapture.h"
#include "../engine/DecodeFile.h"
#include "PlayerHarness.h"
#include "SoundMatch.h"
#include "VideoFile.h"
#include "WavFile.h"

using namespace sw;
using namespace sw::test;
using namespace std::chrono_literals;

namespace {

constexpr int64_t Second = 1000000;

// The samples at a volume: scaled by volume/128, truncated toward zero, held within the
// 16-bit range.
std::vector<int16_t> AtVolume(const std::vector<int16_t>& s, int volume) {
  std::vector<int16_t> out(s.size());
  for (size_t i = 0; i < s.size(); ++i) out[i] = static_cast<int16_t>(std::clamp(s[i] * volume / 128, -32768, 32767));
  return out;
}

// A WAV file: a 440 Hz tone of that amplitude in the first channels, silence in the others.
bool WriteToneWav(const std::string& name, int channels, double seconds, int amplitude = 8000, int toneChannels = 1) {
  return WriteWav(name, channels, static_cast<int64_t>(seconds * 44100), [&](int64_t i, int c) {
    return static_cast<int16_t>(c >= toneChannels ? 0 : std::lround(amplitude * std::sin(2 * M_PI * 440 * i / 44100.0)));
  });
}

}  // namespace

TEST_F(PlayerTest, SoundFromTheSeekPositionIsTheFilesOwnDecodedSamples) {
  TDecodedAudio reference;
  ASSERT_TRUE(DecodeFile(TestData("tagged.mp3"), reference));
  TFFPlayer& player = NewPlayer();
  ASSERT_TRUE(player.OpenMedia(TestData("tagged.mp3"), 0, true)) << player.ErrorText();
  player.Seek(0, false, 3 * Second);
  player.Resume();
  ASSERT_TRUE(PumpUntil([&] { return SawState(psEnd); }));
  player.Stop(true);

  // A busy machine may starve the device of packets now and then (silence is played);
  // what sound there is must still be the file's, in order, all of it before the end
  // was announced.
  std::vector<int16_t> sound = Sound();
  sound.resize(SoundAtEnd);
  sound = WithoutPauses(sound);
  const size_t first = FirstSound(sound);
  ASSERT_LT(first, sound.size()) << "nothing but silence reached the device";
  const size_t from = first + WarmUpFrames * 2;
  const int64_t at = FindRun(reference.Samples, sound, from, 4096, 2);
  ASSERT_GE(at, 0) << "the device got sound that is not in the file";
  // The sound starts at the frame the seek landed on, at most one frame before 3 s.
  const double startSeconds = static_cast<double>(at / 2 - static_cast<int64_t>(WarmUpFrames)) / 44100;
  EXPECT_NEAR(startSeconds, 3.0, 0.03);
  // From there on, every sample of the file up to its end, unchanged and in order.
  const size_t rest = reference.Samples.size() - static_cast<size_t>(at);
  ASSERT_GE(sound.size() - from, rest);
  EXPECT_TRUE(std::equal(reference.Samples.begin() + at, reference.Samples.end(), sound.begin() + from));
  // And then only silence.
  EXPECT_EQ(FirstSound(std::vector<int16_t>(sound.begin() + from + rest, sound.end())), sound.size() - from - rest);
}

// The first sound after a seek is the sample asked for, and from there on the file's own:
// on noise (12 s of silence, then noise) and on the tone sweep of a file with an encoder
// delay, at places between frames.
TEST_F(PlayerTest, SoundAfterASeekStartsAtTheAskedSample) {
  for (const auto& [file, position] : {std::pair{"vbr-noheader.mp3", 15432100}, std::pair{"tagged.mp3", 3333333},
                                       std::pair{"vbr-noheader.mp3", 20000023}}) {
    SCOPED_TRACE(testing::Message() << file << " at " << position << " µs");
    TDecodedAudio reference;
    ASSERT_TRUE(DecodeFile(TestData(file), reference));
    TFFPlayer& player = NewPlayer();
    ASSERT_TRUE(player.OpenMedia(TestData(file), 0, true)) << player.ErrorText();
    player.Seek(0, true, position);
    player.Resume();
    const size_t wanted = 44100 * reference.Channels;  // a second of sound
    ASSERT_TRUE(PumpUntil([&] { return WithoutPauses(Sound()).size() > 2 * wanted; }));
    player.Stop(true);
    // A busy machine may starve the device now and then (silence is played).
    const std::vector<int16_t> sound = WithoutPauses(Sound());
    size_t first = FirstSound(sound);
    ASSERT_LT(first, sound.size()) << "nothing but silence reached the device";
    first -= first % reference.Channels;
    const int64_t at = FindRun(reference.Samples, sound, first, 4096 * reference.Channels, reference.Channels);
    ASSERT_GE(at, 0) << "the first sound is not the file's own";
    EXPECT_NEAR(at / reference.Channels, ff::av_rescale(position, reference.SampleRate, Second), 1);
  }
}

// Below unity, at unity and louder (the host may write up to 255): every sample scaled,
// loud ones held at full scale rather than wrapped around; 0 is silence.
TEST_F(PlayerTest, VolumeScalesEveryBufferAndMuteWritesSilenceWhileTheClockRuns) {
  const std::string loud = Temp.File("loud.wav");
  ASSERT_TRUE(WriteToneWav(loud, 2, 1, 30000, 2));
  TFFPlayer& player = NewPlayer();
  for (const auto& [file, volume] : {std::pair{TestData("notags-48k.mp3"), 64}, std::pair{loud, 200},
                                     std::pair{TestData("notags-48k.mp3"), 0}}) {
    SCOPED_TRACE(testing::Message() << file << " at " << volume);
    TDecodedAudio reference;
    ASSERT_TRUE(DecodeFile(file, reference));
    ClearEvents();
    player.SetAudioVolume(volume);
    ASSERT_TRUE(player.OpenMedia(file, 0, false)) << player.ErrorText();
    const int64_t duration = player.Duration();
    ASSERT_TRUE(PumpUntil([&] { return SawState(psEnd); }));
    player.Stop(true);
    std::vector<int16_t> sound = Sound();
    sound.resize(SoundAtEnd);  // the whole file had been played when the end was announced
    EXPECT_EQ(Positions().back(), duration);
    if (volume == 0) {
      EXPECT_EQ(FirstSound(sound), sound.size());
      continue;
    }
    sound = WithoutPauses(sound);
    const std::vector<int16_t> scaled = AtVolume(reference.Samples, volume);
    const size_t first = FirstSound(sound);
    ASSERT_LT(first, sound.size());
    // Played from the start: the whole file, sample for sample.
    const int64_t at = FindRun(scaled, sound, first, 4096, 2);
    ASSERT_GE(at, 0);
    EXPECT_LT(at, 2 * 64);  // only the first samples of the file are zero
    ASSERT_GE(sound.size() - first, scaled.size() - at);
    EXPECT_TRUE(std::equal(scaled.begin() + at, scaled.end(), sound.begin() + first));
  }

  // Muted, a mono file: nothing but zeros, and still the positions up to the end.
  ClearEvents();
  ::setenv("SDL_DISKAUDIOFILE", Temp.File("muted.raw").c_str(), 1);
  player.SetAudioVolume(128);
  player.SetMute(true);
  ASSERT_TRUE(player.OpenMedia(TestData("cover.mp3"), 0, false)) << player.ErrorText();
  const int64_t duration = player.Duration();
  ASSERT_TRUE(PumpUntil([&] { return SawState(psEnd); }));
  player.Stop(true);
  const std::vector<int16_t> muted = Sound();
  EXPECT_GT(muted.size(), 44100u);  // at least the file's two seconds of mono samples
  EXPECT_EQ(FirstSound(muted), muted.size());
  ASSERT_FALSE(Positions().empty());
  EXPECT_EQ(Positions().back(), duration);
}

TEST_F(PlayerTest, PauseStopsSoundAndPositionsAndResumeGoesOnFromTheSameSample) {
  TDecodedAudio reference;
  ASSERT_TRUE(DecodeFile(TestData("tagged.mp3"), reference));
  TFFPlayer& player = NewPlayer();
  // About six times real time: the pause must come before the end even on a busy machine.
  ::setenv("SDL_DISKAUDIODELAY", "4", 1);
  ASSERT_TRUE(player.OpenMedia(TestData("tagged.mp3"), 0, true)) << player.ErrorText();
  player.Seek(0, true, 2 * Second);
  player.Resume();
  ASSERT_TRUE(PumpUntil([&] { return !Positions().empty() && Positions().back() >= 3 * Second; }));
  player.Pause();
  EXPECT_TRUE(player.Paused());
  PumpFor(50ms);  // a report posted just before the pause
  const size_t reported = Positions().size();
  const int64_t heldAt = player.CurrentPosition();
  PumpFor(400ms);  // over two seconds of sound at the disk driver's pace
  EXPECT_EQ(Positions().size(), reported);
  EXPECT_EQ(player.CurrentPosition(), heldAt);
  EXPECT_FALSE(SawState(psEnd));
  player.Resume();
  ASSERT_TRUE(PumpUntil([&] { return SawState(psEnd); }));
  player.Stop(true);
  ASSERT_TRUE(PumpUntil([&] { return SawState(psStop); }));

  // The sound around the pause is one unbroken run of the file from 2 s to its end,
  // all of it played before the end was announced.
  std::vector<int16_t> sound = Sound();
  sound.resize(SoundAtEnd);
  sound = WithoutPauses(sound);
  const size_t from = FirstSound(sound) + WarmUpFrames * 2;
  const int64_t at = FindRun(reference.Samples, sound, from, 4096, 2);
  ASSERT_GE(at, 0);
  ASSERT_GE(sound.size() - from, reference.Samples.size() - at);
  EXPECT_TRUE(std::equal(reference.Samples.begin() + at, reference.Samples.end(), sound.begin() + from));
  EXPECT_EQ(StatesAfterPlay(), (std::vector<int64_t>{psResume, psPause, psResume, psEnd, psStop}));
}

// Packets of 4096 samples and a slow device (50 ms per 1024-sample buffer): when the
// input runs dry the device has the last packet's sound still to take for 150 ms. The end
// comes only after it has taken it all.
TEST_F(PlayerTest, TheEndIsAnnouncedWhenTheDeviceHasTakenTheLastSound) {
  TVideoFileSpec spec;
  spec.Video = false;
  spec.Seconds = 1;
  spec.AudioBlock = 4096;
  const std::string file = Temp.File("tone.mkv");
  ASSERT_TRUE(WriteVideoFile(file, spec));
  ::setenv("SDL_DISKAUDIODELAY", "50", 1);
  TFFPlayer& player = NewPlayer();
  player.SetTriggerEventInMainThread(false);  // measured as soon as announced
  ASSERT_TRUE(player.OpenMedia(file, 0, true)) << player.ErrorText();
  player.Seek(0, true, Second / 2);
  player.Resume();
  ASSERT_TRUE(PumpUntil([&] { return SawState(psEnd); }));
  PumpFor(300ms);  // whatever the device still had is written meanwhile
  player.Stop(true);
  ASSERT_GT(SoundAtEnd, 0u);
  const std::vector<int16_t> sound = Sound();
  const std::vector<int16_t> after(sound.begin() + static_cast<ptrdiff_t>(SoundAtEnd), sound.end());
  EXPECT_EQ(FirstSound(after), after.size()) << "sound came after the end";
  // What came before is the half second of tone (the seek lands on a packet).
  const size_t tone = static_cast<size_t>(std::count_if(sound.begin(), sound.end(), [](int16_t v) { return v != 0; }));
  EXPECT_GT(tone, 2u * 44100 * 4 / 10);
  EXPECT_EQ(Positions().back(), Second);
}


// More channels than two are mixed down; channels that cannot be mixed down are said so
// once, and the file plays on silently.
TEST_F(PlayerTest, ManyChannelsAreMixedDownOrTheirRefusalIsSaid) {
  const std::string six = Temp.File("six.wav");
  ASSERT_TRUE(WriteToneWav(six, 6, 0.5));
  TFFPlayer& player = NewPlayer();
  player.SetDisableDisplay(true);
  ASSERT_TRUE(player.OpenMedia(six, 0, false)) << player.ErrorText();
  ASSERT_TRUE(PumpUntil([&] { return SawState(psEnd); }));
  player.Stop(true);
  std::vector<int16_t> sound = Sound();
  sound.resize(SoundAtEnd);
  size_t left = 0, right = 0;
  for (size_t i = 0; i + 1 < sound.size(); i += 2) left += sound[i] != 0, right += sound[i + 1] != 0;
  EXPECT_GT(left, 44100u * 4 / 10) << "the first channel did not reach the left";
  EXPECT_EQ(right, 0u);

  const std::string many = Temp.File("many.wav");
  ASSERT_TRUE(WriteToneWav(many, 60, 0.2));
  ClearEvents();
  TLogCapture log;
  ASSERT_TRUE(player.OpenMedia(many, 0, false)) << player.ErrorText();
  ASSERT_TRUE(PumpUntil([&] { return SawState(psEnd); }));
  player.Stop(true);
  EXPECT_EQ(log.Count(llError, "Cannot convert s16 sample format to s16 sample format"), 1u);
  EXPECT_EQ(FirstSound(Sound()), Sound().size());
}
