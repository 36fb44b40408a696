#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <string>

#include "../LoadedLibraries.h"
#include "../RunProgram.h"
#include "../TempDir.h"
#include "../media/engine/DecodeFile.h"
#include "app/cli/Commands.h"
#include "app/cli/TimeArgument.h"
#include "app/core/FileInfoText.h"

using namespace sw::cli;

namespace {

// What the tool prints on one stream, with the other sent away.
TProgramRun Stdout(const std::string& args) {
  return RunProgram(std::string(SNIPWAVE_CLI) + " " + args + " 2>/dev/null");
}
TProgramRun Stderr(const std::string& args) {
  return RunProgram(std::string(SNIPWAVE_CLI) + " " + args + " 2>&1 >/dev/null");
}

int64_t Parsed(const std::string& text) {
  int64_t v = -1;
  return ParseTimeArgument(text, v) ? v : -1;
}

}  // namespace

TEST(TimeArgument, ReadsSecondsMinutesHoursAndFractions) {
  EXPECT_EQ(Parsed("0"), 0);
  EXPECT_EQ(Parsed("90"), 90000000);
  EXPECT_EQ(Parsed("1:30"), 90000000);
  EXPECT_EQ(Parsed("0:01:30"), 90000000);
  EXPECT_EQ(Parsed("1:02.250"), 62250000);
  EXPECT_EQ(Parsed("01:02:03.5"), 3723500000);
  EXPECT_EQ(Parsed("1.5"), 1500000);
  EXPECT_EQ(Parsed("3.25"), 3250000);
  EXPECT_EQ(Parsed("100:00"), 6000000000);  // minutes past the hour are fine in MM:SS
  EXPECT_EQ(Parsed("0.000001"), 1);
  EXPECT_EQ(Parsed("0.0000005"), 1);  // rounded to the microsecond
  EXPECT_EQ(Parsed("2.9999994"), 2999999);
}

TEST(TimeArgument, RefusesWhatIsNoTime) {
  for (const char* bad : {"", "-1", "+1", " 1", "1 ", "1e3", "abc", "1:60", "1:5", "1:02:", ":30", "1:2:3:4",
                          "1:00:60", "1.", ".5", "1.2.3", "1,5", "99999999999999999", "1:-1"})
    EXPECT_EQ(Parsed(bad), -1) << '"' << bad << '"';
}

TEST(TimeArgument, FormatsForTheRunLog) {
  EXPECT_EQ(sw::FormatSegmentTime(3000000), "00:00:03");
  EXPECT_EQ(sw::FormatSegmentTime(62250000), "00:01:02.250");
  EXPECT_EQ(sw::FormatSegmentTime(3723000001), "01:02:03.000001");
  EXPECT_EQ(sw::FormatSegmentTime(360000000000), "100:00:00");  // as the window's clock text
}

TEST(CliManners, HelpAskedForGoesToStandardOutputWithSuccess) {
  const TProgramRun general = Stdout("--help");
  EXPECT_EQ(general.Status, 0);
  EXPECT_EQ(general.Output, *CommandUsage(""));
  EXPECT_EQ(Stdout("help").Output, *CommandUsage(""));
  for (const std::string command : {"libs", "info", "convert", "cut", "play"}) {
    const TProgramRun viaHelp = Stdout("help " + command), viaOption = Stdout(command + " --help");
    EXPECT_EQ(viaHelp.Status, 0) << command;
    EXPECT_EQ(viaOption.Status, 0) << command;
    EXPECT_EQ(viaHelp.Output, *CommandUsage(command)) << command;
    EXPECT_EQ(viaOption.Output, viaHelp.Output) << command;
    EXPECT_EQ(viaHelp.Output.rfind("usage: snipwave-cli " + command + " ", 0), 0u) << command;
    EXPECT_EQ(Stderr(command + " --help").Output, "") << command;
  }
}

TEST(CliManners, WrongCallsPrintTheUsageToStandardErrorWithStatus2) {
  struct TCase {
    std::string Args, Usage;
  };
  const TCase cases[] = {{"", ""},
                         {"nosuch", ""},
                         {"help nosuch", ""},
                         {"libs --bogus", "libs"},
                         {"info", "info"},
                         {"convert one", "convert"},
                         {"cut", "cut"},
                         {"play", "play"},
                         {"cut " + TestData("tagged.mp3") + " --start 1 --end 2 --bogus", "cut"}};
  for (const TCase& c : cases) {
    const TProgramRun out = Stdout(c.Args), err = Stderr(c.Args);
    EXPECT_EQ(out.Status, 2) << c.Args;
    EXPECT_EQ(out.Output, "") << c.Args;
    EXPECT_EQ(err.Output, *CommandUsage(c.Usage)) << c.Args;
  }
  // A value that cannot be taken is named, before the usage.
  const std::string time = "a time: SS, MM:SS or HH:MM:SS, each with an optional fraction";
  const TCase values[] = {
      {"play " + TestData("tagged.mp3") + " --start 1:02:", "play: --start \"1:02:\" is not " + time},
      {"play " + TestData("tagged.mp3") + " --volume 101", "play: --volume \"101\" is not a whole number from 0 to 100"},
      {"cut " + TestData("tagged.mp3") + " --start 1:60 --end 2", "cut: --start \"1:60\" is not " + time},
      {"cut " + TestData("tagged.mp3") + " --start 1 --end x", "cut: --end \"x\" is not " + time},
      {"cut " + TestData("tagged.mp3") + " --start 1 --end 2 --volume 101",
       "cut: --volume \"101\" is not a whole number from 0 to 100"}};
  for (const TCase& c : values) {
    const TProgramRun err = Stderr(c.Args);
    EXPECT_EQ(err.Status, 2) << c.Args;
    EXPECT_EQ(err.Output, "snipwave-cli " + c.Usage + "\n" + *CommandUsage(c.Usage.substr(0, c.Usage.find(':'))));
  }
}

TEST(CliManners, RefusalsSayWhatIsWrongOnce) {
  TTempDir dir;
  // A name typed empty is not the default name.
  TProgramRun run = Stdout("cut " + TestData("tagged.mp3") + " --start 1 --end 2 --folder " + dir.Path() + " --name ''");
  EXPECT_EQ(run.Status, 1);
  EXPECT_EQ(run.Output, "The file name \"\" cannot be used: a name must not be empty, \".\" or \"..\", nor hold \"/\" or "
                        "control characters.\n");
  // A failed set-up is told once, with its reason.
  const std::string file = dir.Write("plain", "x");
  run = Stdout("cut " + TestData("tagged.mp3") + " --start 1 --end 2 --folder " + file + " --name x");
  EXPECT_EQ(run.Status, 1);
  const auto first = run.Output.find("Failed to convert audio.\n" + file + "/x.mp3: Not a directory\n");
  EXPECT_NE(first, std::string::npos) << run.Output;
  EXPECT_EQ(run.Output.find("Failed to convert audio.", first + 1), std::string::npos) << run.Output;
  // A start past the end is refused by play as by cut.
  run = RunProgram("SDL_AUDIODRIVER=dummy " + std::string(SNIPWAVE_CLI) + " play " + TestData("tagged.mp3") +
                   " --start 50 2>&1 >/dev/null");
  EXPECT_EQ(run.Status, 1);
  EXPECT_EQ(run.Output, "The start must lie within the file's 12 seconds.\n");
  // A header that declares a huge size is a damaged file, not a shortage of memory.
  const std::string wave = dir.Write("text.wav", std::string("RIFF\x24\0\0\0WAVEfmt and then text follows\n", 38));
  run = Stdout("info " + wave);
  EXPECT_EQ(run.Output, "Failed to load file, error message: " + wave +
                            ": Damaged or not a media file: a header in it declares a size no file of this kind has\n");
  // A folder that cannot be made says why, for both cuts.
  const std::string locked = dir.File("locked");
  std::filesystem::create_directory(locked);
  std::filesystem::permissions(locked, std::filesystem::perms(0555));
  std::filesystem::permissions(dir.Path(), std::filesystem::perms(0755));
  const std::string as = ::geteuid() == 0 ? "setpriv --reuid=65534 --regid=65534 --clear-groups " : "";
  for (const std::string way : {"", " --lossless"}) {
    run = RunProgram(as + SNIPWAVE_CLI + " cut " + TestData("tagged.mp3") + " --start 1 --end 2 --name x --folder " +
                     locked + "/new" + way + " 2>/dev/null");
    EXPECT_EQ(run.Status, 1) << way;
    EXPECT_NE(run.Output.find(locked + "/new: Permission denied\n"), std::string::npos) << run.Output;
    EXPECT_EQ(run.Output.find("No such file or directory"), std::string::npos) << run.Output;
  }
}

TEST(CliManners, VersionAndUsagesNameTheirOptionsAndTimes) {
  const TProgramRun version = Stdout("--version");
  EXPECT_EQ(version.Status, 0);
  EXPECT_EQ(version.Output, std::string("snipwave-cli ") + SNIPWAVE_VERSION + "\n");
  EXPECT_EQ(CommandUsage("nosuch"), nullptr);
  const std::pair<std::string, std::vector<std::string>> options[] = {
      {"libs", {"--folder"}},
      {"info", {"--log"}},
      {"convert", {"--in"}},
      {"cut", {"--start", "--end", "--volume", "--folder", "--name", "--yes", "SS", "MM:SS", "HH:MM:SS", "1:02.250"}},
      {"play", {"--start", "--end", "--volume", "--mute", "SS", "MM:SS", "HH:MM:SS", "1:02.250"}},
      {"", {"libs", "info", "convert", "cut", "play", "help", "--help", "--version", "HH:MM:SS"}}};
  for (const auto& [command, words] : options)
    for (const std::string& word : words)
      EXPECT_NE(CommandUsage(command)->find(word), std::string::npos) << command << ": " << word;
}

using CliCut = WithLibraries;

// Needs the engine to end an audio stream at the sample of its recording time (not at
// the packet that passes it).
TEST_F(CliCut, FractionalTimesCutToTheSample) {
  TTempDir dir;
  const TProgramRun run = Stdout("cut " + TestData("tagged.mp3") + " --start 1.5 --end 3.25 --folder " + dir.Path() +
                                 " --name out.mp3 --volume 100");
  ASSERT_EQ(run.Status, 0) << run.Output;
  EXPECT_NE(run.Output.find("Begin Time:00:00:01.500"), std::string::npos) << run.Output;
  TDecodedAudio audio;
  ASSERT_TRUE(DecodeFile(dir.File("out.mp3"), audio));
  EXPECT_NEAR(audio.Seconds(), 1.75, 0.001);
}
