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

