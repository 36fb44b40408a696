// The split's plan: track starts from times and cue sheets, names from the pattern, and
// the silences found in a decoded file.
#include <gtest/gtest.h>

#include "app/split/CueSheet.h"
#include "app/split/SilenceFinder.h"
#include "app/split/TrackNames.h"
#include "tests/LoadedLibraries.h"
#include "tests/TempDir.h"
#include "tests/media/encoder/RunConvert.h"

using namespace sw;

TEST(SplitPlan, StartsFromTimesMustRiseAndLieInside) {
  std::vector<int64_t> starts;
  std::string error;
  ASSERT_TRUE(ParseTrackStarts("1:00,2:30.5,1:00:00", starts, error)) << error;
  EXPECT_EQ(starts, (std::vector<int64_t>{60000000, 150500000, 3600000000}));
  EXPECT_FALSE(ParseTrackStarts("1:00,,2:00", starts, error));
  EXPECT_FALSE(ParseTrackStarts("1:00,abc", starts, error));
  EXPECT_NE(error.find("abc"), std::string::npos);

  std::vector<TSplitTrack> tracks;
  ASSERT_TRUE(TracksFromStarts({60000000, 150500000}, 200000000, tracks, error));
  ASSERT_EQ(tracks.size(), 3u);
  EXPECT_EQ(tracks[0].Start, 0);
  EXPECT_EQ(tracks[1].Start, tracks[0].End);
  EXPECT_EQ(tracks[2].End, 200000000);
  EXPECT_FALSE(TracksFromStarts({60000000, 50000000}, 200000000, tracks, error));
  EXPECT_FALSE(TracksFromStarts({60000000, 60000000}, 200000000, tracks, error));
  EXPECT_FALSE(TracksFromStarts({200000000}, 200000000, tracks, error));
  EXPECT_NE(error.find("00:03:20"), std::string::npos) << error;

  // The last track holds what is left; a length that divides evenly adds no empty track.
  EXPECT_EQ(EveryStarts(60000000, 150000000), (std::vector<int64_t>{60000000, 120000000}));
  EXPECT_EQ(EveryStarts(60000000, 120000000), (std::vector<int64_t>{60000000}));
}

TEST(SplitPlan, CueSheetsGiveIndexOneInSeventyFifthsWithTitlesAndPerformers) {
  const std::string sheet =
      "PERFORMER \"Album Artist\"\n"
      "TITLE \"The Album\"\n"
      "FILE \"album.mp3\" MP3\n"
      "  TRACK 01 AUDIO\n"
      "    TITLE \"First\"\n"
      "    INDEX 01 00:00:00\n"
      "  TRACK 02 AUDIO\n"
      "    TITLE \"Second / Part\"\n"
      "    PERFORMER \"Guest\"\n"
      "    INDEX 00 04:58:00\n"
      "    INDEX 01 05:00:37\n"
      "  TRACK 03 AUDIO\n"
      "    TITLE \"Third\"\n"
      "    INDEX 01 61:02:74\n";
  TCueSheet cue;
  std::string error;
  ASSERT_TRUE(ParseCueSheet(sheet, cue, error)) << error;
  EXPECT_EQ(cue.Title, "The Album");
  EXPECT_EQ(cue.Performer, "Album Artist");
  ASSERT_EQ(cue.Tracks.size(), 3u);
  EXPECT_EQ(cue.Tracks[0].Start, 0);
  // 5:00 and 37/75 s; the pregap (INDEX 00) belongs to the track before.
  EXPECT_EQ(cue.Tracks[1].Start, 300000000 + 493333);
  EXPECT_EQ(cue.Tracks[0].End, cue.Tracks[1].Start);
  EXPECT_EQ(cue.Tracks[2].Start, 3662000000 + 986667);
  EXPECT_EQ(cue.Tracks[1].Title, "Second / Part");
  EXPECT_EQ(cue.Tracks[1].Performer, "Guest");
  EXPECT_EQ(cue.Tracks[0].Performer, "");

  TTempDir dir;
  EXPECT_FALSE(ReadCueSheet(dir.File("missing.cue"), cue, error));
  EXPECT_FALSE(ReadCueSheet(dir.Write("empty.cue", "TITLE \"x\"\n"), cue, error));
  EXPECT_FALSE(ParseCueSheet("this is no cue sheet {\n", cue, error));
}

TEST(SplitPlan, NamesFollowThePatternWithEachFieldSafeForAFileName) {
  TSplitTrack t;
  t.Title = "AC/DC: \"Live\"? <1>";
  t.Performer = "..Hidden\tName ";
  std::string name, error;
  ASSERT_TRUE(TrackName("%n - %t (%p) from %s %%", 7, 12, t, "album.2024.mp3", name, error)) << error;
  EXPECT_EQ(name, "07 - AC_DC_ _Live__ _1_ (Hidden Name) from album.2024 %");
  ASSERT_TRUE(TrackName("%n", 7, 120, t, "a.mp3", name, error));
  EXPECT_EQ(name, "007");
  EXPECT_FALSE(TrackName("%n %x", 1, 2, t, "a.mp3", name, error));
  EXPECT_FALSE(TrackName("%n %", 1, 2, t, "a.mp3", name, error));
  EXPECT_EQ(SafeNameField(".."), "");

  std::vector<TSplitTrack> tracks(2);
  EXPECT_EQ(DefaultTrackPattern(tracks), "%s %n");
  tracks[0].Title = "A";
  EXPECT_EQ(DefaultTrackPattern(tracks), "%s %n");
  tracks[1].Title = "B";
  EXPECT_EQ(DefaultTrackPattern(tracks), "%n %t");
}

class SilenceSearch : public WithLibraries {};

TEST_F(SilenceSearch, ATrackStartsInTheMiddleOfEachSilenceLongEnough) {
  TTempDir dir;
  const std::string file = dir.File("gaps.mp3");
  // Tone with silences at 0-0.5 s (the start), 2-4 s, 5.5-6.3 s (short) and 8-9 s, and
  // noise at -40 dB (above the threshold) right after the short one, to 7 s.
  const std::string sound =
      "aevalsrc=exprs='if(lt(t,0.5)+between(t,2,4)+between(t,5.5,6.3)+between(t,8,9),0,"
      "if(between(t,6.3,7),0.01*(2*random(0)-1),0.5*sin(2*PI*440*t)))':s=44100:d=10";
  ASSERT_EQ(RunConvert(sound, "lavfi", file, {}, {"acodec=libmp3lame", "ab=128000"}), "");
  std::vector<TSilence> silences;
  const std::atomic<bool> stop{false};
  TSilenceOptions options;
  options.MinGap = 900000;
  ASSERT_TRUE(FindSilences(file, 10000000, options, stop, silences));
  // The start's silence is no gap between tracks; the 0.8 s one is too short.
  ASSERT_EQ(silences.size(), 2u);
  EXPECT_NEAR(silences[0].Middle(), 3000000, 30000);
  EXPECT_NEAR(silences[0].End - silences[0].Start, 2000000, 60000);
  EXPECT_NEAR(silences[1].Middle(), 8500000, 30000);
  // A lower threshold counts the quiet noise as silence too; a shorter gap the 0.8 s one.
  options.MinGap = 400000;
  ASSERT_TRUE(FindSilences(file, 10000000, options, stop, silences));
  ASSERT_EQ(silences.size(), 3u);
  EXPECT_NEAR(silences[1].Middle(), 5900000, 30000);
  options.ThresholdDb = -30;
  ASSERT_TRUE(FindSilences(file, 10000000, options, stop, silences));
  ASSERT_EQ(silences.size(), 3u);
  EXPECT_NEAR(silences[1].Start, 5500000, 30000);
  EXPECT_NEAR(silences[1].End, 7000000, 30000);
}
