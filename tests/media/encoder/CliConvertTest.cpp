#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "../../LoadedLibraries.h"
#include "../../RunProgram.h"
#include "../../TempDir.h"
#include "../engine/DecodeFile.h"

using namespace sw;

namespace {

struct TRun {
  int Status = -1;
  std::string Err;
};

TRun Convert(const std::string& args) {
  TProgramRun run = RunProgram(std::string(SNIPWAVE_CLI) + " convert " + args + " 2>&1 >/dev/null");
  return {run.Status, run.Output};
}

int64_t StreamBitRate(const std::string& name) {
  AVFormatContext* c = nullptr;
  if (OpenInputFormat(&c, name, nullptr, nullptr) < 0) return -1;
  ff::avformat_find_stream_info(c, nullptr);
  const int64_t rate = c->nb_streams ? c->streams[0]->codecpar->bit_rate : -1;
  CloseInputFormat(&c);
  return rate;
}

class CliConvert : public WithLibraries {
 protected:
  TTempDir Dir;
};

}  // namespace

TEST_F(CliConvert, OutputStartTimeCutsTwentySecondsAtTheAskedBitRate) {
  const std::string out = Dir.File("cut.mp3");
  const TRun run =
      Convert(TestData("vbr-noheader.mp3") + " " + out + " f=mp3 acodec=libmp3lame ab=96000 ss=2 t=20");
  ASSERT_EQ(run.Status, 0) << run.Err;
  EXPECT_NE(run.Err.find("file -1: "), std::string::npos) << run.Err;  // the last report
  TDecodedAudio audio;
  ASSERT_TRUE(DecodeFile(out, audio));
  EXPECT_EQ(audio.StreamCount, 1);
  EXPECT_NEAR(audio.Seconds(), 20.0, 1152.0 / 44100);
  EXPECT_EQ(StreamBitRate(out), 96000);
}

TEST_F(CliConvert, TheCutEndsWithTheInputWhenTheInputIsShorter) {
  // 24 s of input: from 10 s on only 14 s are left.
  const std::string out = Dir.File("short.mp3");
  const TRun run =
      Convert(TestData("vbr-noheader.mp3") + " " + out + " f=mp3 acodec=libmp3lame ab=96000 ss=10 t=20");
  ASSERT_EQ(run.Status, 0) << run.Err;
  TDecodedAudio audio;
  ASSERT_TRUE(DecodeFile(out, audio));
  EXPECT_NEAR(audio.Seconds(), 14.0, 0.1);
}

TEST_F(CliConvert, InputLinesTakeCodecNamesAndRefusalsExitWithTheirText) {
  const std::string out = Dir.File("in.mp3");
  TRun run = Convert("--in acodec=mp3float " + TestData("mono-vbr.mp3") + " " + out + " ar=8000 ac=1 ab=32000");
  ASSERT_EQ(run.Status, 0) << run.Err;
  TDecodedAudio audio;
  ASSERT_TRUE(DecodeFile(out, audio));
  EXPECT_EQ(audio.SampleRate, 8000);
  EXPECT_NEAR(audio.Seconds(), 4.0, 0.2);

  run = Convert(TestData("mono-vbr.mp3") + " " + Dir.File("x.mp3") + " vol=300 threads=2");
  EXPECT_EQ(run.Status, 1);
  EXPECT_EQ(run.Err, "TODO: option - threads\n");
  run = Convert(TestData("mono-vbr.mp3") + " " + Dir.File("x.mp3") + " t=abc");
  EXPECT_EQ(run.Status, 1);
  EXPECT_EQ(run.Err, "Invalid duration specification for t: abc\n");
  run = Convert("--in f=nonsense " + TestData("mono-vbr.mp3") + " " + Dir.File("x.mp3"));
  EXPECT_EQ(run.Status, 1);
  EXPECT_EQ(run.Err, "Unknown input format: \"nonsense\"\n");
  run = Convert(TestData("mono-vbr.mp3") + " " + Dir.File("noextension"));
  EXPECT_EQ(run.Status, 1);
  EXPECT_EQ(run.Err, "Unable to find a suitable output format for '" + Dir.File("noextension") + "'\n");
  EXPECT_FALSE(std::filesystem::exists(Dir.File("x.mp3")));
}

TEST_F(CliConvert, AnOutputThatIsTheInputIsRefusedAndTheInputKept) {
  const std::string source = Dir.File("s.mp3");
  std::filesystem::copy_file(TestData("tagged.mp3"), source);
  const TRun run = Convert(source + " " + source + " -y");
  EXPECT_EQ(run.Status, 1);
  EXPECT_EQ(run.Err, "Output file #0 (" + source +
                         ") is the same file as input file #0: an output may not overwrite its input\n");
  TDecodedAudio audio;
  ASSERT_TRUE(DecodeFile(source, audio));
  EXPECT_NEAR(audio.Seconds(), 12.0, 0.03);
}

TEST_F(CliConvert, AnExistingOutputIsReplacedOnlyWithYes) {
  const std::string out = Dir.Write("old.mp3", "the user's file");
  TRun run = Convert(TestData("mono-vbr.mp3") + " " + out);
  EXPECT_EQ(run.Status, 1);
  EXPECT_EQ(run.Err, "The file exists, do you want to replace it? Add -y (or --yes) to replace " + out + "\n");
  EXPECT_EQ(FileContent(out), "the user's file");
  for (const std::string yes : {"-y", "--yes"}) {
    run = Convert(TestData("mono-vbr.mp3") + " " + out + " ab=32000 " + yes);
    ASSERT_EQ(run.Status, 0) << yes << ": " << run.Err;
    TDecodedAudio audio;
    ASSERT_TRUE(DecodeFile(out, audio)) << yes;
    EXPECT_NEAR(audio.Seconds(), 4.0, 0.1);
    Dir.Write("old.mp3", "the user's file");
  }
}

TEST_F(CliConvert, NothingToWriteIsAFailureWithAMessage) {
  const std::string out = Dir.File("none.mp3");
  TRun run = Convert(TestData("mono-vbr.mp3") + " " + out + " ss=100");
  EXPECT_EQ(run.Status, 1);
  EXPECT_NE(run.Err.find("Output file #0 received no media: the inputs hold nothing in the time range asked for\n"),
            std::string::npos)
      << run.Err;
  run = Convert(TestData("mono-vbr.mp3") + " " + out + " t=-1");
  EXPECT_EQ(run.Status, 1);
  EXPECT_EQ(run.Err, "The duration t must not be negative: -1\n");
  EXPECT_TRUE(std::filesystem::is_empty(Dir.Path()));
}

TEST_F(CliConvert, NamesThatLookLikeProtocolsAreFilesInTheFolder) {
  std::filesystem::copy_file(TestData("mono-vbr.mp3"), Dir.File("Live:2020.mp3"));
  const TProgramRun run = RunProgram("cd " + Dir.Path() + " && " + SNIPWAVE_CLI +
                                     " convert Live:2020.mp3 pipe:2.mp3 2>/dev/null");
  EXPECT_EQ(run.Status, 0);
  TDecodedAudio audio;
  ASSERT_TRUE(DecodeFile(Dir.File("pipe:2.mp3"), audio));
  EXPECT_NEAR(audio.Seconds(), 4.0, 0.1);
}
