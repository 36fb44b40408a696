// snipwave-cli cut --lossless against the built program.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "tests/LoadedLibraries.h"
#include "tests/RunProgram.h"
#include "tests/TempDir.h"
#include "tests/media/engine/DecodeFile.h"

namespace {

std::string Cli(const std::string& args) { return std::string(SNIPWAVE_CLI) + " cut " + args + " 2>&1"; }

std::vector<std::string> FolderEntries(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(folder)) names.push_back(e.path().filename().string());
  return names;
}

}  // namespace

class LosslessCli : public WithLibraries {};

TEST_F(LosslessCli, CutsTheSegmentWithTheRunLogLinesAndNoLeftovers) {
  TTempDir dir;
  const TProgramRun run =
      RunProgram(Cli(TestData("tagged.mp3") + " --start 0 --end 12 --lossless --folder " + dir.Path() + " --name part"));
  ASSERT_EQ(run.Status, 0) << run.Output;
  const std::string out = dir.File("part.mp3");
  for (const std::string& line : std::vector<std::string>{"Begin Time:00:00:00\n", "End Time:00:00:12\n", "Output:" + out + "\n", "Volume:178\n",
                                 "Completed to cut mp3 file.\n", out + "\n"})
    EXPECT_NE(run.Output.find(line), std::string::npos) << line << " in\n" << run.Output;
  EXPECT_EQ(FolderEntries(dir.Path()), std::vector<std::string>{"part.mp3"});
  TDecodedAudio cut, src;
  ASSERT_TRUE(DecodeFile(out, cut));
  ASSERT_TRUE(DecodeFile(TestData("tagged.mp3"), src));
  ASSERT_EQ(cut.Frames(), 12 * 44100);
  // Volume 70 is 178/256, 3.2 dB down: two steps of 1.5 dB, a factor of 2^-0.5, between
  // the ramps (5 s to 7 s).
  int worst = 0;
  for (int64_t i = 53 * 4410 * 2; i < 67 * 4410 * 2; ++i) {
    const double expect = src.Samples[static_cast<size_t>(i)] / std::sqrt(2.0);
    worst = std::max(worst, static_cast<int>(std::lround(std::abs(cut.Samples[static_cast<size_t>(i)] - expect))));
  }
  EXPECT_LE(worst, 2);
}

TEST_F(LosslessCli, RefusesAnUncleanSourceAndWritesNothing) {
  TTempDir dir;
  const std::string kept = dir.Write("part.mp3", "the user's own file");
  for (const char* source : {"text.mp3", "empty.mp3"}) {
    const TProgramRun run = RunProgram(Cli(TestData(source) + " --start 0 --end 1 --lossless --yes --folder " +
                                           dir.Path() + " --name part.mp3"));
    EXPECT_EQ(run.Status, 1);
    EXPECT_NE(run.Output.find("This file cannot be cut without re-encoding: no MP3 frame sync at byte 0. Use the cut "
                              "with re-encoding instead."),
              std::string::npos)
        << run.Output;
  }
  EXPECT_EQ(FolderEntries(dir.Path()), std::vector<std::string>{"part.mp3"});
  std::ifstream f(kept);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(f), {}), "the user's own file");
}

TEST_F(LosslessCli, ChecksTheSegmentAndAnExistingOutputFirst) {
  TTempDir dir;
  dir.Write("part.mp3", "x");
  TProgramRun run = RunProgram(Cli(TestData("cover.mp3") + " --start 1 --end 3 --lossless --folder " + dir.Path() +
                                   " --name part.mp3 --yes"));
  EXPECT_EQ(run.Status, 1);
  EXPECT_NE(run.Output.find("lie within the file's 2 seconds"), std::string::npos) << run.Output;
  run = RunProgram(Cli(TestData("cover.mp3") + " --start 0 --end 2 --lossless --folder " + dir.Path() + " --name part.mp3"));
  EXPECT_EQ(run.Status, 1);
  EXPECT_NE(run.Output.find("Add --yes to replace"), std::string::npos) << run.Output;
  // Fractions of a second are cut to the sample.
  run = RunProgram(Cli(TestData("cover.mp3") + " --start 0.25 --end 1.75 --lossless --yes --folder " + dir.Path() +
                       " --name part.mp3"));
  EXPECT_EQ(run.Status, 0) << run.Output;
  TDecodedAudio cut;
  ASSERT_TRUE(DecodeFile(dir.File("part.mp3"), cut));
  EXPECT_EQ(cut.Frames(), 66150);
}
