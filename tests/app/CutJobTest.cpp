#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <vector>

#include "../TempDir.h"
#include "app/core/CutJob.h"
#include "app/core/ReencodeWork.h"
#include "app/core/RunLogLines.h"
#include "app/core/VolumeScales.h"

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
  // The cut writes an MP3 whatever it reads.
  EXPECT_EQ(ProposeOutput("/music/memo.FLAC").Name, "memo_new.mp3");
  EXPECT_EQ(ProposeOutput("/music/LOUD.MP3").Name, "LOUD_new.MP3");
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


TEST(CutJob, OutputPreparationAsksBeforeReplacingAndRefusesTheSource) {
  TTempDir dir;
  TCutRequest r;
  r.Source = dir.Write("song.mp3", "source");
  r.Folder = dir.Path();
  std::vector<std::string> asked;
  const auto answer = [&](bool yes) {
    return [&asked, yes](const std::string& path) {
      asked.push_back(path);
      return yes;
    };
  };
  // The source itself, under its name or another: refused before any question.
  std::filesystem::create_hard_link(r.Source, dir.File("other.mp3"));
  for (const char* name : {"song", "song.mp3", "other"}) {
    r.Name = name;
    const TPreparedOutput out = PrepareOutput(r, answer(true));
    EXPECT_EQ(out.Refusal, "The output file \"" + BuildOutputPath(dir.Path(), name) +
                               "\" is the source itself: a cut may not overwrite its source.");
  }
  EXPECT_TRUE(asked.empty());
  // A file there: asked once with its path; no handler keeps it.
  r.Name = "old";
  const std::string old = dir.Write("old.mp3", "old");
  EXPECT_TRUE(PrepareOutput(r, answer(true)).Replace);
  const TPreparedOutput kept = PrepareOutput(r, answer(false));
  EXPECT_TRUE(kept.Declined && !kept.Replace && kept.Refusal.empty());
  EXPECT_TRUE(PrepareOutput(r, nullptr).Declined);
  EXPECT_EQ(asked, (std::vector<std::string>{old, old}));
  // A missing folder is made one level deep, not two; a folder under a file cannot be made.
  r.Folder = dir.File("new");
  const TPreparedOutput fresh = PrepareOutput(r, answer(true));
  EXPECT_EQ(fresh.Path, dir.File("new/old.mp3"));
  EXPECT_FALSE(fresh.Replace || fresh.Declined);
  EXPECT_TRUE(std::filesystem::is_directory(dir.File("new")));
  r.Folder = dir.File("a/b");
  EXPECT_EQ(PrepareOutput(r, nullptr).Refusal, "");  // the output's own open says why
  EXPECT_FALSE(std::filesystem::exists(dir.File("a")));
  r.Folder = r.Source + "/sub";
  EXPECT_EQ(PrepareOutput(r, nullptr).Refusal, "Failed to convert audio.\n" + r.Source + "/sub: Not a directory");
  EXPECT_EQ(asked.size(), 2u);
}

TEST(CutJob, RunLogLines) {
  TCutRequest r;
  r.StartTime = 61500000;
  r.EndTime = 3723000001;
  r.Volume = 70;
  EXPECT_EQ(CutRequestLines(r, "/o/a\nb.mp3"),
            (std::vector<std::string>{"Begin Time:00:01:01.500", "End Time:01:02:03.000001", "Output:/o/a\\nb.mp3",
                                      "Volume:178"}));
  EXPECT_EQ(CutFailedLines("bad\x1b"), (std::vector<std::string>{"Failed to cut file.", "Error Message:", "bad\\x1b"}));
  EXPECT_EQ(FileInfoLogLines({"File Name: a", " \t", "", "Year: 0"}),
            (std::vector<std::string>{"============ file info ================", "File Name: a", "Year: 0",
                                      "======================================="}));
}
