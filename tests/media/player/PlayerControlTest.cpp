// Opening, stopping, seeking and the events of the player, and its refusals.
#include <dirent.h>
#include <sys/stat.h>

#include <csignal>

#include <filesystem>

#include "../../LocalPort.h"
#include "../encoder/LogCapture.h"
#include "PlayerHarness.h"
#include "media/common/FFUtils.h"

using namespace sw;
using namespace std::chrono_literals;

namespace {

constexpr int64_t Second = 1000000;

int ThreadCount() {
  int n = 0;
  for (const auto& e : std::filesystem::directory_iterator("/proc/self/task")) (void)e, ++n;
  return n;
}

// A file opened paused reports its start once before the seek that follows.
std::vector<int64_t> AfterOpen(std::vector<int64_t> positions) {
  if (!positions.empty() && positions.front() == 0) positions.erase(positions.begin());
  return positions;
}

}  // namespace

TEST_F(PlayerTest, PositionsRiseOnTheMainThreadToTheDurationAndStatesComeInOrder) {
  TFFPlayer& player = NewPlayer();
  player.SetDisableDisplay(true);  // positions looked at every 5 ms
  ::setenv("SDL_DISKAUDIODELAY", "4", 1);  // six times real time: many reports even on a busy machine
  int64_t openedWith = -2;
  player.OnFileOpen = [&](TCustomPlayer*, int64_t duration, int w, int h, int&, int&) {
    openedWith = duration;
    EXPECT_EQ(w, -1);
    EXPECT_EQ(h, -1);
  };
  ASSERT_TRUE(player.OpenMedia(TestData("tagged.mp3"), 0, true)) << player.ErrorText();
  EXPECT_EQ(openedWith, player.Duration());
  EXPECT_NEAR(static_cast<double>(player.Duration()), 12.04e6, 0.01e6);
  player.Seek(0, false, 6 * Second);
  player.Resume();
  ASSERT_TRUE(PumpUntil([&] { return SawState(psEnd); }));
  const int64_t duration = player.Duration();
  player.Stop(false);
  ASSERT_TRUE(PumpUntil([&] { return SawState(psStop); }));

  const std::vector<int64_t> positions = AfterOpen(Positions());
  ASSERT_GE(positions.size(), 5u);
  EXPECT_TRUE(std::is_sorted(positions.begin(), positions.end()));
  EXPECT_GE(positions.front(), 5 * Second);  // from the seek position on
  EXPECT_EQ(positions.back(), duration);
  for (const auto& e : TakeEvents()) EXPECT_TRUE(e.OnMainThread);
  EXPECT_EQ(StatesAfterPlay(), (std::vector<int64_t>{psResume, psEnd, psStop}));
  EXPECT_FALSE(player.Playing());
}

TEST_F(PlayerTest, WithoutTheMainThreadEventsRunOnTheEventThread) {
  TFFPlayer& player = NewPlayer();
  player.SetTriggerEventInMainThread(false);
  ASSERT_TRUE(player.OpenMedia(TestData("cover.mp3"), 0, false)) << player.ErrorText();
  // Nobody runs the main thread's queue here.
  const auto until = std::chrono::steady_clock::now() + 10s;
  while (!SawState(psEnd) && std::chrono::steady_clock::now() < until) std::this_thread::sleep_for(5ms);
  player.Stop(true);
  ASSERT_TRUE(SawState(psEnd));
  for (const auto& e : TakeEvents()) EXPECT_FALSE(e.OnMainThread);
}

TEST_F(PlayerTest, StopReturnsAtOnceAndTheNextOpenOrTheEndOfThePlayerCloseTheOld) {
  TFFPlayer& player = NewPlayer();
  ASSERT_TRUE(player.OpenMedia(TestData("tagged.mp3"), 0, false)) << player.ErrorText();
  ASSERT_TRUE(PumpUntil([&] { return !Positions().empty(); }));
  const auto before = std::chrono::steady_clock::now();
  player.Stop(false);
  player.Stop(false);  // harmless
  // Not waiting for the play thread (a loaded machine may hold that thread up a while).
  EXPECT_LT(std::chrono::steady_clock::now() - before, 500ms);
  ASSERT_TRUE(PumpUntil([&] { return SawState(psStop); }));
  EXPECT_FALSE(player.Playing());
  player.Stop(true);  // nothing left to wait for
  player.Pause();     // nothing plays: no event
  player.Seek(0, true, Second);
  EXPECT_EQ(States().back(), psStop);

  // Opening while another file plays closes that one first (at the pace of a real
  // device, so that it has not ended yet on a slow machine).
  Events.clear();
  ::setenv("SDL_DISKAUDIODELAY", "23", 1);
  ASSERT_TRUE(player.OpenMedia(TestData("tagged.mp3"), 0, false));
  ASSERT_TRUE(PumpUntil([&] { return !Positions().empty(); }));
  ASSERT_TRUE(player.OpenMedia(TestData("notags-48k.mp3"), 0, true));
  EXPECT_NEAR(static_cast<double>(player.Duration()), 3.024e6, 0.01e6);
  PumpFor(50ms);
  const std::vector<int64_t> states = States();
  ASSERT_GE(states.size(), 3u);
  EXPECT_EQ(states[0], psPlay);
  EXPECT_EQ(states[1], psStop);
  EXPECT_EQ(states[2], psPlay);

  // Destroyed while playing: nothing is delivered any more.
  player.Resume();
  ASSERT_TRUE(PumpUntil([&] { return Positions().size() >= 2; }));
  const auto started = std::chrono::steady_clock::now();
  Player.reset();
  // It waits for the threads, not for the file's end.
  EXPECT_LT(std::chrono::steady_clock::now() - started, 5s);
  const size_t delivered = TakeEvents().size();
  PumpFor(200ms);
  EXPECT_EQ(TakeEvents().size(), delivered);
}

TEST_F(PlayerTest, SeekBeyondTheEndLandsOnTheDurationAndASeekBackPlaysAgain) {
  // A pace that leaves the first report after the seek back near its place on a slow machine.
  ::setenv("SDL_DISKAUDIODELAY", "4", 1);
  TFFPlayer& player = NewPlayer();
  ASSERT_TRUE(player.OpenMedia(TestData("notags-48k.mp3"), 0, true)) << player.ErrorText();
  const int64_t duration = player.Duration();
  player.Seek(0, true, duration + 60 * Second);
  player.Resume();
  ASSERT_TRUE(PumpUntil([&] { return SawState(psEnd); }));
  ASSERT_FALSE(Positions().empty());
  EXPECT_EQ(Positions().back(), duration);
  EXPECT_GE(AfterOpen(Positions()).front(), duration - Second / 10);

  // At the end the file stays open; a seek back restarts reading and a new end comes.
  Events.clear();
  player.Seek(0, true, 2 * Second);
  ASSERT_TRUE(PumpUntil([&] { return SawState(psEnd); }));
  EXPECT_LT(Positions().front(), duration - Second / 2);
  EXPECT_EQ(Positions().back(), duration);
  player.Stop(true);
}

TEST_F(PlayerTest, FilesThatCannotBePlayedGiveTheirTextsAndNoCrash) {
  TFFPlayer& player = NewPlayer();
  const auto refused = [&](const std::string& name, const std::string& text) {
    EXPECT_FALSE(player.OpenMedia(name, 0, true)) << name;
    EXPECT_EQ(player.ErrorText(), text);
    EXPECT_FALSE(player.Playing());
  };
  refused(TestData("empty.mp3"), LibraryErrorText(TestData("empty.mp3"), AVERROR_INVALIDDATA));
  refused(TestData("text.mp3"), LibraryErrorText(TestData("text.mp3"), AVERROR_INVALIDDATA));
  refused(Temp.File("missing.mp3"), LibraryErrorText(Temp.File("missing.mp3"), AVERROR(ENOENT)));
  refused(Temp.Path(), Temp.Path() + ": is a folder, not a file");
  player.SetDisableAudio(true);
  refused(TestData("tagged.mp3"), TestData("tagged.mp3") + ": could not open codecs, no stream to play.");
  player.SetDisableAudio(false);
  EXPECT_TRUE(States().empty());

  // A cut-off file plays what it has and ends.
  ASSERT_TRUE(player.OpenMedia(TestData("truncated.mp3"), 0, false)) << player.ErrorText();
  ASSERT_TRUE(PumpUntil([&] { return SawState(psEnd); }));
  player.Stop(true);
  EXPECT_GT(Sound().size(), 2u * 44100);  // its second of sound
}

TEST_F(PlayerTest, FiftyOpenSeekStopCyclesLeaveNoThreadBehind) {
  TFFPlayer& player = NewPlayer();
  ASSERT_TRUE(player.OpenMedia(TestData("cover.mp3"), 0, true));
  player.Stop(true);
  PumpFor(20ms);
  const int threads = ThreadCount();
  for (int i = 0; i < 50; ++i) {
    ASSERT_TRUE(player.OpenMedia(TestData(i % 2 ? "cover.mp3" : "mono-vbr.mp3"), 0, true)) << player.ErrorText();
    player.Seek(0, i % 3 == 0, (i % 4) * Second / 2);
    if (i % 2) player.Resume();
    if (i % 5 == 0) player.Stop(false);
    else if (i % 5 == 1) player.Stop(true);
  }
  player.Stop(true);
  PumpFor(20ms);
  EXPECT_EQ(ThreadCount(), threads);
  EXPECT_EQ(States().back(), psStop);
}

TEST_F(PlayerTest, TheWaveformIsOfferedAsPixelsAndNothingIsDrawnWithTheDisplayOff) {
  TFFPlayer& player = NewPlayer();
  std::atomic<int> frames{0}, lit{0}, onPlayThread{0};
  std::atomic<int64_t> lastPts{-1};
  player.OnVideoHook = [&](TCustomPlayer*, TPixelBuffer& bitmap, int64_t pts, bool&) {
    EXPECT_EQ(bitmap.Width, 320);
    EXPECT_EQ(bitmap.Height, 100);
    EXPECT_EQ(bitmap.Bits, 24);
    ASSERT_EQ(bitmap.Pixels.size(), static_cast<size_t>(bitmap.BytesPerRow) * 100);
    if (std::any_of(bitmap.Pixels.begin(), bitmap.Pixels.end(), [](uint8_t v) { return v != 0; })) ++lit;
    if (!IsMainThread()) ++onPlayThread;
    lastPts = pts;
    ++frames;
  };
  player.SetScreenWidth(320);
  player.SetScreenHeight(100);
  // A host window: the player never draws into it, it hands the pictures over.
  ASSERT_TRUE(player.OpenMedia(TestData("tagged.mp3"), 0x5a5a, false)) << player.ErrorText();
  ASSERT_TRUE(PumpUntil([&] { return lit.load() >= 5; }));
  player.Stop(true);
  EXPECT_EQ(onPlayThread.load(), frames.load());
  EXPECT_GT(lastPts.load(), 0);

  frames = 0;
  player.SetDisableDisplay(true);
  ASSERT_TRUE(player.OpenMedia(TestData("tagged.mp3"), 0x5a5a, false));
  ASSERT_TRUE(PumpUntil([&] { return Positions().size() >= 10; }));
  player.Stop(true);
  EXPECT_EQ(frames.load(), 0);

  // No host window: the player's own window on the off-screen video driver.
  player.SetDisableDisplay(false);
  player.SetDisableVideo(false);
  ASSERT_TRUE(player.OpenMedia(TestData("cover.mp3"), 0, false));
  ASSERT_TRUE(PumpUntil([&] { return SawState(psEnd); }));
  player.Stop(true);
}

TEST_F(PlayerTest, TheProcesssStopSignalsAreLeftAlone) {
  struct sigaction before[3] {}, after[3] {};
  const int signals[3] = {SIGINT, SIGTERM, SIGHUP};
  for (int i = 0; i < 3; ++i) ::sigaction(signals[i], nullptr, &before[i]);
  TFFPlayer& player = NewPlayer();
  ASSERT_TRUE(player.OpenMedia(TestData("tagged.mp3"), 0, false)) << player.ErrorText();
  for (int i = 0; i < 3; ++i) ::sigaction(signals[i], nullptr, &after[i]);
  player.Stop(true);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(after[i].sa_handler, before[i].sa_handler) << "signal " << signals[i];
}

TEST_F(PlayerTest, OfTwoQuickSeeksTheNewestWins) {
  TFFPlayer& player = NewPlayer();
  player.SetDisableDisplay(true);
  ::setenv("SDL_DISKAUDIODELAY", "4", 1);
  ASSERT_TRUE(player.OpenMedia(TestData("vbr-noheader.mp3"), 0, true)) << player.ErrorText();
  // The thumb released at a new place while the last seek is still under way.
  player.Seek(0, false, 2 * Second);
  player.Seek(0, false, 8 * Second);
  player.Resume();
  ASSERT_TRUE(PumpUntil([&] { return AfterOpen(Positions()).size() >= 3; }));
  player.Stop(true);
  const std::vector<int64_t> positions = AfterOpen(Positions());
  EXPECT_GE(positions.front(), 8 * Second - Second / 20);
  EXPECT_LT(positions.front(), 9 * Second);
}

// A caller building a playlist opens the next file from the end of the last, and lets
// the player go at the end of the list.
TEST_F(PlayerTest, AHandlerMayOpenTheNextFileAndDestroyThePlayer) {
  TWatchdog watchdog(60s, "OpenMedia or the destructor called from a handler");
  for (const bool mainThread : {true, false}) {
    ClearEvents();
    TFFPlayer& player = NewPlayer();
    player.SetTriggerEventInMainThread(mainThread);
    const std::vector<std::string> playlist = {TestData("notags-48k.mp3"), TestData("cover.mp3")};
    size_t next = 0;
    std::atomic<int> opened{0};
    std::atomic<bool> destroyed{false};
    player.OnState = [&](TCustomPlayer* sender, TPlayState s) {
      Record(TRecordedEvent::State, s);
      if (s != psEnd) return;
      if (++next < playlist.size()) {
        if (sender->OpenMedia(playlist[next], 0, false)) ++opened;
      } else {
        Player.reset();
        destroyed = true;
      }
    };
    ASSERT_TRUE(player.OpenMedia(playlist[0], 0, false)) << player.ErrorText();
    ASSERT_TRUE(PumpUntil([&] { return destroyed.load(); }, 20s)) << "main thread: " << mainThread;
    EXPECT_EQ(opened.load(), 1);
    const std::vector<int64_t> states = States();
    EXPECT_EQ(std::count(states.begin(), states.end(), psEnd), 2);
    PumpFor(100ms);
  }
}

// A stream whose server hands a whole file over and then holds the connection open
// without writing: the library's read waits for data that does not come. (A named pipe,
// the plainest such input, is refused before it is opened.)
TEST_F(PlayerTest, StopGivesUpOnAReadThatDoesNotComeBack) {
  TLocalPort port;
  ASSERT_NE(port.Port(), 0);
  port.Serve(FileContent(TestData("vbr-noheader.mp3")), true);
  TFFPlayer& player = NewPlayer();
  player.SetDisableDisplay(true);
  ASSERT_TRUE(player.OpenMedia("tcp://127.0.0.1:" + std::to_string(port.Port()), 0, false)) << player.ErrorText();
  // Everything is read and played: the read thread now waits in the pipe.
  EXPECT_TRUE(PumpUntil([&] { return Positions().size() >= 3; }));
  PumpFor(300ms);
  const auto before = std::chrono::steady_clock::now();
  player.Stop(true);
  const auto took = std::chrono::steady_clock::now() - before;
  // The read never returns; the stop gives up on it after about 2 s.
  EXPECT_LT(took, 10s) << "Stop waited for the read";
  // The next file plays; the port's end frees whatever was left to the read.
  ASSERT_TRUE(player.OpenMedia(TestData("cover.mp3"), 0, false)) << player.ErrorText();
  EXPECT_TRUE(PumpUntil([&] { return SawState(psEnd); }));
  player.Stop(true);
  PumpFor(200ms);
}

namespace {

// How many of the process's open files are the one named.
int OpenCount(const std::string& name) {
  int n = 0;
  for (const auto& e : std::filesystem::directory_iterator("/proc/self/fd")) {
    std::error_code error;
    n += std::filesystem::read_symlink(e.path(), error) == std::filesystem::canonical(name);
  }
  return n;
}

}  // namespace

// The player's information reader describes what plays from the player's own input.
TEST_F(PlayerTest, TheInfoDecoderDescribesThePlayingFileFromItsOwnInput) {
  TFFDecoder reader;
  ASSERT_TRUE(reader.OpenMediaFile(TestData("tagged.mp3"), ""));
  TFileStreamInfo expected;
  reader.FillStreamInfo(expected);
  const int64_t size = reader.FileSize();
  reader.CloseMediaFile();

  TFFPlayer& player = NewPlayer();
  player.SetDisableDisplay(true);
  EXPECT_EQ(player.InfoDecoder().StreamCount(), -1);
  ASSERT_TRUE(player.OpenMedia(TestData("tagged.mp3"), 0, true)) << player.ErrorText();
  {
    auto lock = player.LockInfoDecoder();
    TFFDecoder& info = player.InfoDecoder();
    EXPECT_EQ(OpenCount(TestData("tagged.mp3")), 1) << "the file was opened a second time";
    ASSERT_NE(info.FormatContext(), nullptr);
    EXPECT_FALSE(info.OwnsContext());
    EXPECT_EQ(info.FileSize(), size);
    EXPECT_EQ(info.AudioStreamCount(), 1);
    EXPECT_EQ(info.PrimaryStream(), info.FirstAudioStream());
    TFileStreamInfo got;
    info.FillStreamInfo(got);
    EXPECT_EQ(got.Duration, player.Duration());
    EXPECT_EQ(got.Title, expected.Title);
    EXPECT_EQ(got.Author, expected.Author);
    EXPECT_EQ(got.Album, expected.Album);
    EXPECT_EQ(got.Year, expected.Year);
    EXPECT_FALSE(got.Title.empty());
  }
  // The next file is described instead; a stop leaves nothing described (and the input
  // is closed once, by its read thread: the leak and address checkers watch).
  ASSERT_TRUE(player.OpenMedia(TestData("notags-48k.mp3"), 0, false)) << player.ErrorText();
  EXPECT_EQ(OpenCount(TestData("tagged.mp3")), 0);
  {
    auto lock = player.LockInfoDecoder();
    TFileStreamInfo got;
    player.InfoDecoder().FillStreamInfo(got);
    EXPECT_EQ(got.Duration, player.Duration());
    EXPECT_TRUE(got.Title.empty());
  }
  player.Stop(true);
  EXPECT_EQ(player.InfoDecoder().FormatContext(), nullptr);
  EXPECT_EQ(player.InfoDecoder().StreamCount(), -1);
  EXPECT_FALSE(player.OpenMedia(TestData("empty.mp3"), 0, true));
  EXPECT_EQ(player.InfoDecoder().StreamCount(), -1);
}

// Each test runs in a process of its own: here no library has been loaded.
TEST(PlayerLibraries, OpeningWithoutTheLibrariesSaysSo) {
  if (FFLoader().LibraryLoaded(flAVCodec)) GTEST_SKIP() << "the libraries are loaded: run this test alone";
  TFFPlayer player;
  bool announced = false;
  player.OnState = [&](TCustomPlayer*, TPlayState) { announced = true; };
  EXPECT_FALSE(player.LibrariesReady());
  EXPECT_FALSE(player.OpenMedia(TestData("tagged.mp3"), 0, false));
  EXPECT_EQ(player.ErrorText(), "libav or libsdl not loaded.");
  EXPECT_FALSE(player.Playing());
  player.Stop(true);
  EXPECT_FALSE(announced);
}

// A pause asked for while paused, and a resume while running, change nothing and
// announce nothing; each state is looked at after the one before has been delivered, so
// that a repeat could not hide in the ring.
TEST_F(PlayerTest, PausingWhilePausedAndResumingWhileRunningDoNothing) {
  TFFPlayer& player = NewPlayer();
  player.SetDisableDisplay(true);
  ::setenv("SDL_DISKAUDIODELAY", "23", 1);
  ASSERT_TRUE(player.OpenMedia(TestData("vbr-noheader.mp3"), 0, true)) << player.ErrorText();
  ASSERT_TRUE(PumpUntil([&] { return SawState(psPlay); }));
  player.Pause();
  PumpFor(100ms);
  EXPECT_TRUE(player.Paused());
  EXPECT_EQ(States(), (std::vector<int64_t>{psPlay}));
  EXPECT_EQ(player.State(), psPlay);

  player.Resume();
  ASSERT_TRUE(PumpUntil([&] { return SawState(psResume); }));
  player.Resume();
  ASSERT_TRUE(PumpUntil([&] { return Positions().size() >= 3; }));
  EXPECT_FALSE(player.Paused());
  EXPECT_EQ(States(), (std::vector<int64_t>{psPlay, psResume}));

  player.Pause();
  ASSERT_TRUE(PumpUntil([&] { return SawState(psPause); }));
  const int64_t heldAt = player.CurrentPosition();
  player.Pause();
  PumpFor(200ms);
  EXPECT_TRUE(player.Paused());
  EXPECT_EQ(player.CurrentPosition(), heldAt);
  player.Stop(true);
  ASSERT_TRUE(PumpUntil([&] { return SawState(psStop); }));
  EXPECT_EQ(States(), (std::vector<int64_t>{psPlay, psResume, psPause, psStop}));
}

// A stream from a local server that hands over the first part of a file and then resets
// the connection: the read error is said once, reading ends, and the file stays open (at
// its last position, with no end announced) until it is stopped.
TEST_F(PlayerTest, AReadErrorEndsReadingWithItsTextAndThePlayerStaysOpen) {
  TLocalPort port;
  ASSERT_NE(port.Port(), 0);
  port.ServeThenReset(FileContent(TestData("tagged.mp3")).substr(0, 100000));  // about five seconds
  const std::string url = "tcp://127.0.0.1:" + std::to_string(port.Port());
  TLogCapture log;
  TFFPlayer& player = NewPlayer();
  player.SetDisableDisplay(true);
  const bool opened = player.OpenMedia(url, 0, false);
  EXPECT_TRUE(opened) << player.ErrorText();
  if (opened) {
    EXPECT_TRUE(PumpUntil([&] { return Positions().size() >= 3; }));
  }
  port.Reset();
  ASSERT_TRUE(opened);
  const std::string text = "error #" + std::to_string(AVERROR(ECONNRESET)) + " while reading file: " + url;
  EXPECT_TRUE(PumpUntil([&] { return log.Count(llError, text) > 0; })) << "the read error was not said";
  PumpFor(500ms);
  EXPECT_EQ(log.Count(llError, text), 1u);
  EXPECT_LT(log.Find("reach end of file"), 0);
  EXPECT_TRUE(player.Playing());
  EXPECT_FALSE(SawState(psEnd));
  EXPECT_FALSE(SawState(psStop));
  // The read thread is idle, not stuck in a read: the stop waits for it and does not
  // give up on it.
  player.Stop(true);
  EXPECT_FALSE(player.Playing());
  EXPECT_LT(log.Find("does not answer"), 0);
}
