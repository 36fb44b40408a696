// Lossless splits decoded track by track and joined end to end, against the source's
// decode: by the media libraries' decoder and, where installed, by mpg123 (a gapless
// decoder that is not the one the cut was built against). The libraries' decoder gives
// a few hundred samples too many for a track of only a few frames (its end trim and its
// start skip meet in one packet), so the tracks here are 60 ms or longer. Sources: the fixtures (CBR and
// VBR, with and without gapless fields, 8 to 48 kHz) and a VBR file at 48 kHz made here.
#include <gtest/gtest.h>

#include <cstdlib>

#include "app/split/LosslessSplit.h"
#include "media/info/FFDecode.h"
#include "tests/LoadedLibraries.h"
#include "tests/RunProgram.h"
#include "tests/TempDir.h"
#include "tests/media/encoder/RunConvert.h"
#include "tests/media/engine/DecodeFile.h"
#include "tests/media/mp3/FrameCheck.h"

using namespace sw;

namespace {

bool HaveMpg123() { return std::system("command -v mpg123 >/dev/null 2>&1") == 0; }

// mpg123's 16-bit output of a whole file (gapless, as it plays by default).
std::string Mpg123Decode(const std::string& file) {
  return RunProgram("mpg123 -q -s '" + file + "' 2>/dev/null").Output;
}

class LosslessSplitRun : public WithLibraries {
 protected:
  // Splits the source at the times (µs) into tracks in the temporary folder.
  std::vector<std::string> Split(const std::string& source, const std::vector<int64_t>& starts,
                                 TSplitPlan* tagged = nullptr) {
    TLosslessSplit split;
    std::string reason;
    EXPECT_TRUE(split.Open(source, reason)) << reason;
    TSplitPlan plan;
    std::string error;
    EXPECT_TRUE(TracksFromStarts(starts, split.LengthTime(), plan.Tracks, error)) << error;
    if (tagged) {
      for (std::size_t i = 0; i < plan.Tracks.size(); ++i) {
        plan.Tracks[i].Title = tagged->Tracks.at(i).Title;
        plan.Tracks[i].Performer = tagged->Tracks.at(i).Performer;
      }
      tagged->Tracks = plan.Tracks;
      plan = *tagged;
    }
    std::vector<std::string> outputs;
    for (std::size_t i = 0; i < plan.Tracks.size(); ++i) outputs.push_back(Dir.File("t" + std::to_string(i) + ".mp3"));
    for (const TTrackResult& r : split.Run(plan, outputs, true)) EXPECT_EQ(r.Outcome, toWritten) << r.Reason;
    return outputs;
  }
  TTempDir Dir;
};

struct TSplitCase {
  const char* Name;
  std::vector<int64_t> Starts;  // µs
};

}  // namespace

TEST_F(LosslessSplitRun, JoinedTracksDecodeToTheSourceSampleForSample) {
  // A VBR stream at 48 kHz, from the encoder behind the re-encoding cut.
  const std::string vbr48 = Dir.File("vbr48.mp3");
  ASSERT_EQ(RunConvert("sine=frequency=330:sample_rate=48000:duration=5", "lavfi", vbr48, {},
                       {"acodec=libmp3lame", "aq=2", "ac=2"}),
            "");
  mp3::TMp3Source probe;
  ASSERT_TRUE(probe.Open(vbr48));
  ASSERT_TRUE(probe.Tag().Xing) << "not VBR";
  const TSplitCase cases[] = {
      {"tagged.mp3", {1000000, 3333333, 3400000, 7000021, 11900000}},  // CBR 44.1 kHz, a track of 67 ms
      {"notags-48k.mp3", {5000, 1500000}},                             // CBR 48 kHz
      {"vbr-noheader.mp3", {7000000, 12000000, 12030023}},             // VBR without gapless fields
      {"mono-vbr.mp3", {1000000, 2500000}},                            // MPEG-2, 576 samples a frame
      {"lowrate-16k.mp3", {2000000, 2100000, 6000000}},                // a reservoir four frames deep
      {"crc-8k.mp3", {1000000, 2000000}},                              // MPEG-2.5, CRCs, no tag frame
      {"", {1234567, 2500000, 4000000}},                               // the VBR file at 48 kHz
  };
  const bool mpg123 = HaveMpg123();
  const auto probeVersion = [](const std::string& file) {
    mp3::TMp3Source s;
    EXPECT_TRUE(s.Open(file));
    return s.Header().Version;
  };
  for (const TSplitCase& c : cases) {
    const std::string source = *c.Name ? TestData(c.Name) : vbr48;
    SCOPED_TRACE(source);
    const std::vector<std::string> tracks = Split(source, c.Starts);
    ASSERT_EQ(tracks.size(), c.Starts.size() + 1);
    TDecodedAudio whole;
    ASSERT_TRUE(DecodeFile(source, whole));
    std::vector<int16_t> joined;
    std::string joinedMpg123;
    for (const std::string& track : tracks) {
      const TFrameCheck check = CheckFrames(track);
      EXPECT_TRUE(check.Problems.empty()) << track << ": " << check.Problems.front();
      TDecodedAudio part;
      ASSERT_TRUE(DecodeFile(track, part));
      joined.insert(joined.end(), part.Samples.begin(), part.Samples.end());
      if (mpg123) joinedMpg123 += Mpg123Decode(track);
    }
    ASSERT_EQ(joined.size(), whole.Samples.size());
    EXPECT_TRUE(joined == whole.Samples);
    // mpg123 decodes one frame before a track's first sample; with one granule a frame
    // (MPEG-2 and 2.5) that is too little for the overlap, so only MPEG-1 is compared.
    if (mpg123 && probeVersion(source) == mp3::mvMpeg1) {
      const std::string all = Mpg123Decode(source);
      ASSERT_FALSE(all.empty());
      EXPECT_EQ(joinedMpg123.size(), all.size());
      EXPECT_TRUE(joinedMpg123 == all);
    }
  }
}

TEST_F(LosslessSplitRun, ACutFromTheFirstSampleOfASourceWithoutGaplessFieldsKeepsItsDecoderDelay) {
  // Without gapless fields a decoder gives the 529 samples its synthesis delay puts first;
  // the first track starts with them (a silent frame in front lets the delay reach them).
  const std::vector<std::string> tracks = Split(TestData("vbr-noheader.mp3"), {100000});
  TDecodedAudio whole, first;
  ASSERT_TRUE(DecodeFile(TestData("vbr-noheader.mp3"), whole));
  ASSERT_TRUE(DecodeFile(tracks[0], first));
  EXPECT_EQ(first.Frames(), 4410);
  EXPECT_TRUE(std::equal(first.Samples.begin(), first.Samples.end(), whole.Samples.begin()));
  const TFrameCheck check = CheckFrames(tracks[0]);
  ASSERT_TRUE(check.Problems.empty()) << check.Problems.front();
  EXPECT_GE(check.Stream.Tag().Delay, 1152 - 529);
}

TEST_F(LosslessSplitRun, EachTrackCarriesItsOwnTags) {
  TSplitPlan plan;
  plan.Album = "Fixtures";
  plan.Year = "2024";
  plan.Genre = "Electronic";
  plan.SourcePerformer = "Korvane Lab";
  plan.Tracks.resize(3);
  plan.Tracks[1].Title = "Zweiter Satz – Ä";
  plan.Tracks[1].Performer = "Ensemble";
  const std::vector<std::string> tracks = Split(TestData("tagged.mp3"), {4000000, 8000000}, &plan);
  ASSERT_EQ(tracks.size(), 3u);
  const auto tagsOf = [](const std::string& file) {
    TFFDecoder reader;
    TFileStreamInfo info;
    EXPECT_TRUE(reader.OpenMediaFile(file, "")) << reader.ErrorText();
    reader.FillStreamInfo(info);
    return info;
  };
  const TFileStreamInfo second = tagsOf(tracks[1]);
  EXPECT_EQ(second.Title, "Zweiter Satz – Ä");
  EXPECT_EQ(second.Author, "Ensemble");
  EXPECT_EQ(second.Track, 2);
  EXPECT_EQ(second.Album, "Fixtures");
  EXPECT_EQ(second.Year, 2024);
  EXPECT_EQ(second.Genre, "Electronic");
  const TFileStreamInfo third = tagsOf(tracks[2]);
  EXPECT_EQ(third.Title, "Track 3");
  EXPECT_EQ(third.Author, "Korvane Lab");
  // Not the source's title, from neither of its ID3 tags.
  EXPECT_EQ(FileContent(tracks[2]).find("Snip Test Tone"), std::string::npos);
  EXPECT_NE(FileContent(tracks[2]).find("3/3"), std::string::npos);
}
