#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "../LoadedLibraries.h"

namespace {

struct TRun {
  int Status;
  std::string Out;
};

TRun RunCli(const std::string& args) {
  TRun run{-1, {}};
  FILE* p = ::popen((std::string(SNIPWAVE_CLI) + " " + args + " 2>/dev/null").c_str(), "r");
  if (!p) return run;
  char buf[4096];
  for (size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) run.Out.append(buf, n);
  const int status = ::pclose(p);
  run.Status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

}  // namespace

TEST(CliInfo, PrintsTheNineLinesOfATaggedFile) {
  const TRun run = RunCli("info " + TestData("tagged.mp3"));
  EXPECT_EQ(run.Status, 0);
  EXPECT_EQ(run.Out, "File Name: " + TestData("tagged.mp3") +
                         "\nType: MP2/3 (MPEG audio layer 2/3)\nTitle: Snip Test Tone\nArtist: Korvane Lab\n"
                         "Album: Fixtures\nYear: 2024\nFile Size: 188.92 KB\nDuration: 00:00:12.\n"
                         "Bit Rate: 128 kbps\n");
}

TEST(CliInfo, FailureNamesTheReason) {
  const TRun run = RunCli("info " + TestData("text.mp3"));
  EXPECT_EQ(run.Status, 1);
  EXPECT_EQ(run.Out, "Failed to load file, error message: " + TestData("text.mp3") +
                         ": Invalid data found when processing input\n");
}

TEST(CliInfo, LogOptionSendsEventsToStandardError) {
  const std::string cmd = std::string(SNIPWAVE_CLI) + " info " + TestData("vbr-noheader.mp3") + " --log verbose 2>&1 >/dev/null";
  FILE* p = ::popen(cmd.c_str(), "r");
  ASSERT_NE(p, nullptr);
  std::string err;
  char buf[4096];
  for (size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) err.append(buf, n);
  EXPECT_EQ(::pclose(p), 0);
  EXPECT_NE(err.find("[warning] [mp3 @ 0x"), std::string::npos) << err;
  EXPECT_NE(err.find("Estimating duration from bitrate"), std::string::npos) << err;
}
