// snipwave-cli play: the clock on standard error, the end time, the exit status.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <regex>

#include "../../LoadedLibraries.h"
#include "../../RunProgram.h"
#include "../../TempDir.h"

namespace {

// The disk driver at its fastest that still pauses between buffers.
std::string Play(const TTempDir& temp, const std::string& args) {
  return "SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=" + temp.File("cli.raw") + " SDL_DISKAUDIODELAY=1 " SNIPWAVE_CLI " play " +
         args + " 2>&1";
}

}  // namespace

TEST(CliPlay, PlaysFromTheStartToTheEndTimeOrTheFileEndAndRefusesWhatItCannotPlay) {
  TTempDir temp;
  TProgramRun run = RunProgram(Play(temp, TestData("tagged.mp3") + " --start 8 --end 0:09.5 --volume 80"));
  EXPECT_EQ(run.Status, 0) << run.Output;
  // The first clock shows the start, or a little after it on a busy machine.
  std::smatch first;
  ASSERT_TRUE(std::regex_search(run.Output, first, std::regex("\r00:00:(\\d\\d)\\.\\d{3} /"))) << run.Output;
  EXPECT_TRUE(first[1] == "08" || first[1] == "09") << run.Output;
  EXPECT_NE(run.Output.find("/ 00:00:12.042"), std::string::npos);
  EXPECT_EQ(run.Output.find("00:00:11."), std::string::npos);  // stopped near 9.5 s
  // Stopped near the end time: about 1.5 s of stereo 16-bit sound, not the 4 s to the end.
  // Silence that a starved device plays on a busy machine is not counted.
  const std::string raw = FileContent(temp.File("cli.raw"));
  size_t sounding = 0;
  for (size_t i = 0; i + 4 <= raw.size(); i += 4) sounding += raw.compare(i, 4, std::string(4, '\0')) != 0;
  EXPECT_GT(sounding, 1.4 * 44100);
  EXPECT_LT(sounding, 3.0 * 44100);

  run = RunProgram(Play(temp, TestData("notags-48k.mp3") + " --mute"));
  EXPECT_EQ(run.Status, 0) << run.Output;
  EXPECT_NE(run.Output.find("00:00:03.024 / 00:00:03.024"), std::string::npos) << run.Output;

  run = RunProgram(Play(temp, TestData("text.mp3")));
  EXPECT_EQ(run.Status, 1);
  EXPECT_NE(run.Output.find("text.mp3: Invalid data found when processing input"), std::string::npos) << run.Output;

  // A driver chosen by the environment is kept, also when it cannot work.
  run = RunProgram("SDL_AUDIODRIVER=no-such-driver " SNIPWAVE_CLI " play " + TestData("cover.mp3") + " 2>&1");
  EXPECT_EQ(run.Status, 1);
  EXPECT_NE(run.Output.find("Could not initialize SDL with ScreenHandle(0): "), std::string::npos) << run.Output;

  for (const char* wrong : {" --volume 101", " --volume -1", " --start 5 --end 4", " --start x", " --loud"})
    EXPECT_EQ(RunProgram(Play(temp, TestData("cover.mp3") + wrong)).Status, 2) << wrong;
  EXPECT_EQ(RunProgram(SNIPWAVE_CLI " play 2>&1").Status, 2);
}

// --volume takes the window's 0..100: without it the sound is as recorded, 100 about twice
// as loud, 25 about half. The disk driver writes what SDL mixed; the peak of the first
// half second of sound stands whatever silence a starved device adds and wherever it stops.
TEST(CliPlay, VolumeIsTheWindowsSliderScale) {
  TTempDir temp;
  const auto peak = [&](const std::string& volume) {
    const TProgramRun run = RunProgram(Play(temp, TestData("tagged.mp3") + " --start 8 --end 9" + volume));
    EXPECT_EQ(run.Status, 0) << run.Output;
    // The first half second of sound, the same stretch of the file in every run.
    const std::string raw = FileContent(temp.File("cli.raw"));
    int most = 0;
    for (size_t i = 0, first = raw.size(); i + 2 <= raw.size() && i < first + 44100 * 4 / 2; i += 2) {
      const int s = std::abs(static_cast<int16_t>(static_cast<uint8_t>(raw[i]) | static_cast<uint8_t>(raw[i + 1]) << 8));
      if (s && first == raw.size()) first = i;
      most = std::max(most, s);
    }
    return static_cast<double>(most);
  };
  const double recorded = peak("");
  ASSERT_GT(recorded, 1000.0);
  ASSERT_LT(recorded, 16000.0);  // room to be twice as loud
  EXPECT_NEAR(peak(" --volume 50") / recorded, 127.0 / 128, 0.02);
  EXPECT_NEAR(peak(" --volume 25") / recorded, 63.0 / 128, 0.02);
  EXPECT_NEAR(peak(" --volume 100") / recorded, 255.0 / 128, 0.02);
}

TEST(CliPlay, WithTheSilentDriverItKeepsRealTime) {
  const auto started = std::chrono::steady_clock::now();
  const TProgramRun run =
      RunProgram("SDL_AUDIODRIVER=dummy " SNIPWAVE_CLI " play " + TestData("tagged.mp3") + " --start 11 2>&1");
  EXPECT_EQ(run.Status, 0) << run.Output;
  EXPECT_GT(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(800));
}

// A stop signal to a playing process, as a logout or `kill` sends it: the player stops,
// the process ends at once with the status a shell gives a program ended by that signal.
TEST(CliPlay, StopSignalsEndItAtOnce) {
  TTempDir temp;
  for (const char* sig : {"TERM", "INT", "HUP"}) {
    const TProgramRun run = RunProgram(
        "cd " + temp.Path() + "; SDL_AUDIODRIVER=dummy " SNIPWAVE_CLI " play " + TestData("vbr-noheader.mp3") +
        " 2>play.err & pid=$!; for i in $(seq 400); do grep -q 00:00:00 play.err && break; sleep 0.05; done; "
        "sleep 0.3; kill -" + sig +
        " $pid; t0=$(date +%s%N); wait $pid; status=$?; t1=$(date +%s%N); "
        "echo \"status=$status ms=$(( (t1 - t0) / 1000000 ))\"; cat play.err; rm play.err; ls -A");
    std::smatch m;
    ASSERT_TRUE(std::regex_search(run.Output, m, std::regex("status=(\\d+) ms=(\\d+)"))) << run.Output;
    const int expected = 128 + (sig == std::string("TERM") ? 15 : sig == std::string("INT") ? 2 : 1);
    EXPECT_EQ(std::stoi(m[1]), expected) << sig << run.Output;
    EXPECT_LT(std::stoi(m[2]), 2000) << sig;
    EXPECT_NE(run.Output.find("Stopped.\n"), std::string::npos) << run.Output;
    // It had been playing, and left nothing behind.
    EXPECT_NE(run.Output.find("\r00:00:00."), std::string::npos) << run.Output;
    EXPECT_EQ(run.Output.substr(run.Output.find("Stopped.\n") + 9), "") << "left behind: " << run.Output;
  }
}
