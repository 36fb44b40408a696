#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "app/CutJob.h"

using namespace sw;

TEST(CutJob, OutputPathGetsItsSeparatorAndExtension) {
  EXPECT_EQ(BuildOutputPath("/out", "clip"), "/out/clip.mp3");
  EXPECT_EQ(BuildOutputPath("/out/", "clip"), "/out/clip.mp3");
  EXPECT_EQ(BuildOutputPath("/out", "clip.Mp3"), "/out/clip.Mp3");
  EXPECT_EQ(BuildOutputPath("/out", "clip.wav"), "/out/clip.wav.mp3");
  EXPECT_EQ(BuildOutputPath("/a.b", "clip"), "/a.b/clip.mp3");
  EXPECT_EQ(BuildOutputPath("", "clip"), "clip.mp3");  // the current folder, not the root
}

TEST(CutJob, ProposedOutputSitsBesideTheSource) {
  const TProposedOutput p = ProposeOutput("/music/a.b.mp3");
  EXPECT_EQ(p.Folder, "/music/");
  EXPECT_EQ(p.Name, "a.b_new.mp3");
  EXPECT_EQ(ProposeOutput("/music/song").Name, "song_new");
  // A source named without its folder sits in the current one.
  const std::string here = std::filesystem::current_path().string();
  EXPECT_EQ(ProposeOutput("song.mp3").Folder, here + "/");
  EXPECT_EQ(ProposeOutput("sub/song.mp3").Folder, here + "/sub/");
  EXPECT_EQ(ProposeOutput("song.mp3").Name, "song_new.mp3");
}

TEST(CutJob, OutputNamesStayInTheirFolder) {
  for (const std::string good : {"clip", "clip.mp3", "..clip", "a..b", "Live:2020.mp3", "pipe:2.mp3", "\xc3\xa9t\xc3\xa9"})
    EXPECT_EQ(OutputNameRefusal(good), "") << good;
  for (const std::string bad : {"", ".", "..", "../../x", "a/b", "clip/", "/abs", "a\nb", "a\tb", "\x1b[31mred", "del\x7f"})
    EXPECT_NE(OutputNameRefusal(bad), "") << bad;
  EXPECT_EQ(OutputNameRefusal("a\nb"),
            "The file name \"a\\nb\" cannot be used: a name must not be empty, \".\" or \"..\", nor hold \"/\" or "
            "control characters.");
}

TEST(CutJob, SettingsOfTheOneOutput) {
  EXPECT_EQ(CutVolume(70), 178);
  EXPECT_EQ(CutVolume(100), 255);
  EXPECT_EQ(CutVolume(0), 0);
  TFileStreamInfo tags;
  tags.Title = "T";
  tags.Author = "A";
  tags.Year = 1999;
  tags.Track = 4;
  const TOutputOptions o = CutOutputOptions(10000000, 70000000, 70, 128000, tags);
  EXPECT_EQ(o.FileFormat, "mp3");
  EXPECT_EQ(o.AudioCodec, "libmp3lame");
  EXPECT_TRUE(o.AudioHook);
  EXPECT_EQ(o.StartTime, 10000000);
  EXPECT_EQ(o.RecordingTime, 60000000);
  EXPECT_EQ(o.AudioVolume, 178);
  EXPECT_EQ(o.AudioBitrate, 128000);
  EXPECT_EQ(o.StreamInfo.Title, "T");
  EXPECT_EQ(o.StreamInfo.Author, "A");
  EXPECT_EQ(o.StreamInfo.Year, 1999);
  EXPECT_EQ(o.StreamInfo.Track, 4);
  EXPECT_EQ(CutOutputOptions(0, 5000000, 0, 0, tags).AudioVolume, 0);
}

TEST(CutJob, ProgressPercent) {
  EXPECT_EQ(ProgressPercent(5000000, 20000000), 25);
  EXPECT_EQ(ProgressPercent(19999999, 20000000), 99);
  EXPECT_EQ(ProgressPercent(21000000, 20000000), 100);
  EXPECT_EQ(ProgressPercent(5000000, 0), -1);
  EXPECT_EQ(ProgressPercent(5000000, -1), -1);
}

namespace {

// A stereo 16-bit buffer of one value, shaped as the hook would get it at that time.
std::vector<int16_t> Shaped(const TFadeShaper& shaper, int64_t pts, int16_t value, int frames = 1152) {
  std::vector<int16_t> buffer(static_cast<size_t>(frames) * 2, value);
  shaper.Apply(pts, reinterpret_cast<uint8_t*>(buffer.data()), static_cast<int>(buffer.size() * 2), 44100, 2,
               AV_SAMPLE_FMT_S16);
  return buffer;
}

}  // namespace

TEST(CutJob, FadesRampBothEndsAndLeaveTheMiddleAlone) {
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

TEST(CutJob, ShortSegmentFadesInFirst) {
  const TFadeShaper shaper(0, 6000000);
  // At 4 s the fade-in (gain 205) wins over the fade-out (gain 102).
  EXPECT_EQ(shaper.Gain(4000000), 205);
  EXPECT_EQ(shaper.Gain(5500000), 26);  // past the fade-in: 25.6 rounds up
}
