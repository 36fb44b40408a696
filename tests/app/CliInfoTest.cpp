#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "../LoadedLibraries.h"
#include "../RunProgram.h"

namespace {

TProgramRun RunCli(const std::string& args) {
  return RunProgram(std::string(SNIPWAVE_CLI) + " " + args + " 2>/dev/null");
}

}  // namespace

TEST(CliInfo, PrintsTheNineLinesOfATaggedFile) {
  const TProgramRun run = RunCli("info " + TestData("tagged.mp3"));
  EXPECT_EQ(run.Status, 0);
  EXPECT_EQ(run.Output, "File Name: " + TestData("tagged.mp3") +
                         "\nType: MP2/3 (MPEG audio layer 2/3)\nTitle: Snip Test Tone\nArtist: Korvane Lab\n"
                         "Album: Fixtures\nYear: 2024\nFile Size: 188.92 KB\nDuration: 00:00:12.\n"
                         "Bit Rate: 128 kbps\n");
}

TEST(CliInfo, FailureNamesTheReason) {
  const TProgramRun run = RunCli("info " + TestData("text.mp3"));
  EXPECT_EQ(run.Status, 1);
  EXPECT_EQ(run.Output, "Failed to load file, error message: " + TestData("text.mp3") +
                         ": Invalid data found when processing input\n");
}

TEST(CliInfo, LogOptionSendsEventsToStandardError) {
  const TProgramRun run =
      RunProgram(std::string(SNIPWAVE_CLI) + " info " + TestData("vbr-noheader.mp3") + " --log verbose 2>&1 >/dev/null");
  EXPECT_EQ(run.Status, 0);
  const std::string& err = run.Output;
  EXPECT_NE(err.find("[warning] [mp3 @ 0x"), std::string::npos) << err;
  EXPECT_NE(err.find("Estimating duration from bitrate"), std::string::npos) << err;
}
