// snipwave-cli split against the built program: the tracks, their names and tags, and
// what happens when some of them cannot be written.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>

#include "media/info/FFDecode.h"
#include "tests/LoadedLibraries.h"
#include "tests/RunProgram.h"
#include "tests/TempDir.h"
#include "tests/media/encoder/RunConvert.h"
#include "tests/media/engine/DecodeFile.h"

namespace {

std::string Split(const std::string& args) { return std::string(SNIPWAVE_CLI) + " split " + args + " 2>&1"; }

std::set<std::string> FolderEntries(const std::string& folder) {
  std::set<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(folder)) names.insert(e.path().filename().string());
  return names;
}

sw::TFileStreamInfo TagsOf(const std::string& file) {
  sw::TFFDecoder reader;
  sw::TFileStreamInfo info;
  EXPECT_TRUE(reader.OpenMediaFile(file, "")) << reader.ErrorText();
  reader.FillStreamInfo(info);
  return info;
}

}  // namespace

class SplitCli : public WithLibraries {
 protected:
  TTempDir Dir;
};

TEST_F(SplitCli, ACueSheetGivesNamedAndTaggedTracks) {
  // The sheet's text is no command line: it is kept apart from what the program is called with.
  const std::string sheet =
      "PERFORMER \"Korvane Lab\"\nTITLE \"Fixtures\"\nFILE \"tagged.mp3\" MP3\n"
      "  TRACK 01 AUDIO\n    TITLE \"Rise\"\n    INDEX 01 00:00:00\n"
      "  TRACK 02 AUDIO\n    TITLE \"Fall: Part 2\"\n    PERFORMER \"Guest\"\n"
      "    INDEX 01 00:04:00\n"
      "  TRACK 03 AUDIO\n    TITLE \"End\"\n    INDEX 01 00:09:37\n";
  const std::string cue = Dir.Write("album.cue", sheet);
  const std::string out = Dir.File("out");
  const TProgramRun run =
      RunProgram(Split(TestData("tagged.mp3") + " --cue " + cue + " --lossless --folder " + out));
  ASSERT_EQ(run.Status, 0) << run.Output;
  EXPECT_EQ(FolderEntries(out), (std::set<std::string>{"1 Rise.mp3", "2 Fall_ Part 2.mp3", "3 End.mp3"}));
  EXPECT_NE(run.Output.find(out + "/2 Fall_ Part 2.mp3\n"), std::string::npos) << run.Output;
  EXPECT_NE(run.Output.find("All 3 tracks were written."), std::string::npos) << run.Output;
  const sw::TFileStreamInfo second = TagsOf(out + "/2 Fall_ Part 2.mp3");
  EXPECT_EQ(second.Title, "Fall: Part 2");
  EXPECT_EQ(second.Author, "Guest");
  EXPECT_EQ(second.Track, 2);
  EXPECT_EQ(second.Album, "Fixtures");  // the source's album tag
  EXPECT_EQ(TagsOf(out + "/3 End.mp3").Author, "Korvane Lab");
  // 9 s 37/75 to the end of the 12 s source.
  TDecodedAudio last;
  ASSERT_TRUE(DecodeFile(out + "/3 End.mp3", last));
  EXPECT_EQ(last.Frames(), 12 * 44100 - (9 * 44100 + 37 * 588));
}

TEST_F(SplitCli, ExistingFilesAreKeptUnlessAskedAndTheSourceNeverReplaced) {
  const std::string kept = Dir.Write("tagged 2.mp3", "the user's own file");
  TProgramRun run = RunProgram(Split(TestData("tagged.mp3") + " --at 4,8 --lossless --folder " + Dir.Path()));
  EXPECT_EQ(run.Status, 1);
  EXPECT_NE(run.Output.find("Add --yes to replace"), std::string::npos) << run.Output;
  EXPECT_NE(run.Output.find(kept), std::string::npos) << run.Output;
  EXPECT_EQ(FolderEntries(Dir.Path()), std::set<std::string>{"tagged 2.mp3"});  // nothing written
  EXPECT_EQ(FileContent(kept), "the user's own file");
  run = RunProgram(Split(TestData("tagged.mp3") + " --at 4,8 --lossless --yes --folder " + Dir.Path()));
  EXPECT_EQ(run.Status, 0) << run.Output;
  EXPECT_NE(FileContent(kept), "the user's own file");

  // Two tracks of one name, and a track named as the source.
  std::filesystem::copy_file(TestData("tagged.mp3"), Dir.File("album.mp3"));
  run = RunProgram(Split(Dir.File("album.mp3") + " --at 4 --lossless --yes --name x"));
  EXPECT_EQ(run.Status, 1);
  EXPECT_NE(run.Output.find("put %n in --name"), std::string::npos) << run.Output;
  run = RunProgram(Split(Dir.File("album.mp3") + " --every 20 --lossless --yes --name %s"));
  EXPECT_EQ(run.Status, 1);
  EXPECT_NE(run.Output.find("over the source"), std::string::npos) << run.Output;
  EXPECT_EQ(FileContent(Dir.File("album.mp3")), FileContent(TestData("tagged.mp3")));
}

TEST_F(SplitCli, ATrackThatFailsIsReportedAndTheOthersAreWritten) {
  // A folder where the second track's file would go.
  std::filesystem::create_directory(Dir.File("tagged 2.mp3"));
  const TProgramRun run = RunProgram(Split(TestData("tagged.mp3") + " --at 4,8 --lossless --folder " + Dir.Path()));
  EXPECT_EQ(run.Status, 1);
  EXPECT_NE(run.Output.find("Track 2 failed: "), std::string::npos) << run.Output;
  EXPECT_NE(run.Output.find("2 of 3 tracks were written"), std::string::npos) << run.Output;
  EXPECT_TRUE(std::filesystem::is_regular_file(Dir.File("tagged 1.mp3")));
  EXPECT_TRUE(std::filesystem::is_regular_file(Dir.File("tagged 3.mp3")));
  EXPECT_EQ(FolderEntries(Dir.Path()).size(), 3u);  // no temporary file left
}

TEST_F(SplitCli, WrongCallsAreRefused) {
  const std::string src = TestData("tagged.mp3");
  for (const std::string& args : {src, src + " --at 4 --every 2", src + " --silence --cue x.cue", std::string("--at 4")})
    EXPECT_EQ(RunProgram(Split(args)).Status, 2) << args;
  EXPECT_EQ(RunProgram(Split(src + " --every 0")).Status, 2);
  EXPECT_EQ(RunProgram(Split(src + " --silence --threshold 3")).Status, 2);
  TProgramRun run = RunProgram(Split(src + " --at 4,13 --lossless --folder " + Dir.Path()));
  EXPECT_EQ(run.Status, 1);
  EXPECT_NE(run.Output.find("is not before the end of the source"), std::string::npos) << run.Output;
  run = RunProgram(Split(src + " --cue " + Dir.File("none.cue") + " --folder " + Dir.Path()));
  EXPECT_EQ(run.Status, 1);
  EXPECT_NE(run.Output.find("Cannot read the cue sheet"), std::string::npos) << run.Output;
  EXPECT_TRUE(FolderEntries(Dir.Path()).empty());
}

TEST_F(SplitCli, ReencodedTracksHaveExactLengthsTagsAndNoFadesUnlessAsked) {
  TProgramRun run = RunProgram(Split(TestData("tagged.mp3") + " --at 4,8 --folder " + Dir.Path()));
  ASSERT_EQ(run.Status, 0) << run.Output;
  TDecodedAudio source;
  ASSERT_TRUE(DecodeFile(TestData("tagged.mp3"), source));
  for (int n = 1; n <= 3; ++n) {
    const std::string track = Dir.File("tagged " + std::to_string(n) + ".mp3");
    TDecodedAudio audio;
    ASSERT_TRUE(DecodeFile(track, audio)) << track;
    EXPECT_EQ(audio.Frames(), 4 * 44100) << track;
    const sw::TFileStreamInfo tags = TagsOf(track);
    EXPECT_EQ(tags.Title, "Track " + std::to_string(n));
    EXPECT_EQ(tags.Track, n);
    EXPECT_EQ(tags.Author, "Korvane Lab");
    EXPECT_EQ(tags.Album, "Fixtures");
    EXPECT_NE(FileContent(track).find(std::to_string(n) + "/3"), std::string::npos);
  }
  // Without fades the second track starts at full level; with --fade 1 it starts silent.
  const auto startLevel = [](const std::string& file) {
    TDecodedAudio a;
    EXPECT_TRUE(DecodeFile(file, a));
    int peak = 0;
    for (int i = 0; i < 441 * 2 * 5; ++i) peak = std::max(peak, std::abs(static_cast<int>(a.Samples.at(i))));
    return peak;
  };
  EXPECT_GT(startLevel(Dir.File("tagged 2.mp3")), 8000);
  run = RunProgram(Split(TestData("tagged.mp3") + " --at 4,8 --fade 1 --yes --folder " + Dir.Path()));
  ASSERT_EQ(run.Status, 0) << run.Output;
  EXPECT_LT(startLevel(Dir.File("tagged 2.mp3")), 2000);
}

TEST_F(SplitCli, AStopKeepsTheCompleteTracksAndRemovesTheOneUnderWay) {
  // 80 tracks of 0.5 s, re-encoded: far more than are done before the stop.
  const std::string source = Dir.File("long.mp3");
  ASSERT_EQ(RunConvert("sine=frequency=440:sample_rate=48000:duration=40", "lavfi", source, {},
                       {"acodec=libmp3lame", "ab=128000", "ac=2"}),
            "");
  const std::string out = Dir.File("out");
  const std::string log = Dir.File("log.txt");
  const TProgramRun run = RunProgram(
      "(" + std::string(SNIPWAVE_CLI) + " split " + source + " --every 0.5 --folder " + out + " > " + log +
      " 2>&1 & pid=$!; while ! grep -q '^/' " + log + " 2>/dev/null; do sleep 0.01; done; kill -INT $pid; wait $pid; "
      "echo status $?)");
  EXPECT_NE(run.Output.find("status 1"), std::string::npos) << run.Output;
  const std::string printed = FileContent(log);
  EXPECT_NE(printed.find("tracks were written (stopped):"), std::string::npos) << printed;
  // Exactly the tracks said to be written are there, each whole; no temporary file.
  std::set<std::string> written;
  for (std::size_t at = printed.find(" written: "); at != std::string::npos; at = printed.find(" written: ", at + 1)) {
    const std::size_t end = printed.find('\n', at);
    written.insert(std::filesystem::path(printed.substr(at + 10, end - at - 10)).filename().string());
  }
  EXPECT_FALSE(written.empty());
  EXPECT_LT(written.size(), 80u);
  EXPECT_EQ(FolderEntries(out), written) << printed;
  for (const std::string& name : written) {
    TDecodedAudio a;
    ASSERT_TRUE(DecodeFile(out + "/" + name, a)) << name;
    EXPECT_EQ(a.Frames(), 24000) << name;
  }
}
