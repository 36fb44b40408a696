// Files with pictures: each picture a test file holds shows its frame number as its
// brightness, so the hook can tell which picture was shown against the time it was
// given, the sound the device had taken, and the wall clock.
#include <sys/stat.h>

#include <algorithm>
#include <array>

#include "../encoder/LogCapture.h"
#include "PlayerHarness.h"
#include "VideoFile.h"
#include "media/base/HostWindow.h"
#include "media/binding/SDLStubs.h"
#include "media/player/Display.h"

using namespace sw;
using namespace std::chrono_literals;

namespace {

constexpr int64_t Second = 1000000;

struct TShown {
  int64_t Pts;        // what the hook was told, microseconds
  int Frame;          // what the picture shows
  double SoundTaken;  // seconds of sound the device had received by then
  std::chrono::steady_clock::time_point At;
  bool Red;           // the subtitle box is drawn
  bool Paused;
  int Width;
  bool CornerRed;  // the top-left pixel
};

class PlayerVideoTest : public PlayerTest {
 protected:
  std::string MakeFile(const TVideoFileSpec& spec) {
    const std::string name = Temp.File("video.mkv");
    EXPECT_TRUE(WriteVideoFile(name, spec));
    return name;
  }

  // A player whose hook records every picture.
  TFFPlayer& NewVideoPlayer() {
    TFFPlayer& player = NewPlayer();
    player.SetVideoHook(true);
    player.OnVideoHook = [this](TCustomPlayer* sender, TPixelBuffer& bitmap, int64_t pts, bool&) {
      auto pixel = [&](int x, int y) { return &bitmap.Pixels[static_cast<size_t>(y) * bitmap.BytesPerRow + 3 * static_cast<size_t>(x)]; };
      const uint8_t* middle = pixel(bitmap.Width - 20, bitmap.Height - 20);
      const uint8_t* box = pixel(SubX + SubW / 2, SubY + SubH / 2);
      const uint8_t* corner = pixel(1, 1);
      TShown s{pts, FrameFromGray(middle[1]), SoundSeconds(), std::chrono::steady_clock::now(),
               box[2] > 200 && box[1] < 80 && box[0] < 80, static_cast<TFFPlayer*>(sender)->Paused(), bitmap.Width,
               corner[2] > 200 && corner[1] < 80 && corner[0] < 80};
      std::lock_guard<std::mutex> g(ShownLock);
      Shown.push_back(s);
    };
    return player;
  }

  double SoundSeconds() const {
    struct stat st {};
    if (::stat(Temp.File("sound.raw").c_str(), &st) != 0) return 0;
    return static_cast<double>(st.st_size) / (44100 * 4);
  }

  std::vector<TShown> TakeShown() {
    std::lock_guard<std::mutex> g(ShownLock);
    return Shown;
  }
  size_t ShownCount() {
    std::lock_guard<std::mutex> g(ShownLock);
    return Shown.size();
  }

  // The disk driver at the pace of a real device (1024 samples of 44.1 kHz per buffer),
  // or faster.
  static void RealTimeSound(const char* msPerBuffer = "23") { ::setenv("SDL_DISKAUDIODELAY", msPerBuffer, 1); }

  std::mutex ShownLock;
  std::vector<TShown> Shown;
};

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

}  // namespace

// The sound runs twice as fast as the wall clock: the pictures must follow it, not the
// wall clock.
TEST_F(PlayerVideoTest, PicturesFollowTheSoundAndTheLastIsShownBeforeTheEnd) {
  RealTimeSound("11");
  const std::string file = MakeFile({});
  TFFPlayer& player = NewVideoPlayer();
  int frameWidth = 0, frameHeight = 0;
  player.OnFileOpen = [&](TCustomPlayer*, int64_t, int w, int h, int&, int&) { frameWidth = w, frameHeight = h; };
  size_t shownAtEnd = 0;
  player.OnState = [&](TCustomPlayer*, TPlayState s) {
    if (s == psEnd) shownAtEnd = ShownCount();
    Record(TRecordedEvent::State, s);
  };
  ASSERT_TRUE(player.OpenMedia(file, 0, false)) << player.ErrorText();
  EXPECT_EQ(frameWidth, 160);
  EXPECT_EQ(frameHeight, 120);
  ASSERT_TRUE(PumpUntil([&] { return SawState(psEnd); }, 20s));
  player.Stop(true);

  const std::vector<TShown> shown = TakeShown();
  ASSERT_GE(shown.size(), 25u) << "too few of the 75 pictures were shown";
  std::vector<double> lag;
  for (size_t i = 0; i < shown.size(); ++i) {
    // The picture is the one its time says, and they come in order.
    EXPECT_EQ(shown[i].Frame, std::lround(shown[i].Pts * 25.0 / Second)) << "picture " << i;
    if (i > 0) {
      EXPECT_GT(shown[i].Frame, shown[i - 1].Frame);
    }
    lag.push_back(shown[i].SoundTaken - static_cast<double>(shown[i].Pts) / Second);
  }
  // In step with the sound: a picture shows when the device has taken the sound of its
  // time (give or take its buffer of 23 ms; an idle machine keeps within 0.1 s). Pictures
  // that followed the wall clock would lag the sound by half their time, 0.75 s in the
  // middle of the file; a machine with ten runnable threads a core was seen at 0.27 s.
  EXPECT_LT(std::fabs(Median(lag)), 0.45) << "pictures and sound drift apart";
  // The end comes after the last picture, with the position at the duration.
  EXPECT_EQ(shown.back().Frame, 74);
  EXPECT_EQ(shownAtEnd, shown.size()) << "psEnd was announced before the last picture";
  const std::vector<int64_t> positions = Positions();
  ASSERT_FALSE(positions.empty());
  EXPECT_TRUE(std::is_sorted(positions.begin(), positions.end()));
  EXPECT_EQ(positions.back(), 3 * Second);
}

TEST_F(PlayerVideoTest, VideoOnlyFilePlaysAtItsOwnPace) {
  TVideoFileSpec spec;
  spec.Seconds = 2;
  spec.Audio = false;
  const std::string file = MakeFile(spec);
  TFFPlayer& player = NewVideoPlayer();
  ASSERT_TRUE(player.OpenMedia(file, 0, false)) << player.ErrorText();
  ASSERT_TRUE(PumpUntil([&] { return SawState(psEnd); }, 20s));
  player.Stop(true);

  const std::vector<TShown> shown = TakeShown();
  ASSERT_GE(shown.size(), 10u);
  EXPECT_EQ(shown.front().Frame, 0);
  EXPECT_EQ(shown.back().Frame, 49);
  for (size_t i = 1; i < shown.size(); ++i) {
    EXPECT_GT(shown[i].Frame, shown[i - 1].Frame);
    // Never early: each picture comes no sooner than its time after the first.
    const double wall = std::chrono::duration<double>(shown[i].At - shown.front().At).count();
    EXPECT_GE(wall, static_cast<double>(shown[i].Pts - shown.front().Pts) / Second - 0.02) << "picture " << i;
  }
  const double total = std::chrono::duration<double>(shown.back().At - shown.front().At).count();
  EXPECT_LT(total, 1.96 + 1.0) << "far slower than real time";
  const std::vector<int64_t> positions = Positions();
  ASSERT_FALSE(positions.empty());
  EXPECT_TRUE(std::is_sorted(positions.begin(), positions.end()));
  EXPECT_EQ(positions.back(), 2 * Second);
}

TEST_F(PlayerVideoTest, SeekingShowsThePictureOfTheNewPlaceEvenWhilePaused) {
  RealTimeSound();
  TVideoFileSpec spec;
  spec.Seconds = 4;
  const std::string file = MakeFile(spec);
  TFFPlayer& player = NewVideoPlayer();
  ASSERT_TRUE(player.OpenMedia(file, 0, true)) << player.ErrorText();
  // Opened paused: the first picture is shown and then the pause announced.
  ASSERT_TRUE(PumpUntil([&] { return SawState(psPause); }));
  ASSERT_GE(ShownCount(), 1u);
  EXPECT_EQ(TakeShown().front().Frame, 0);

  player.Seek(0, true, 2 * Second);
  ASSERT_TRUE(PumpUntil([&] { return !TakeShown().empty() && TakeShown().back().Frame == 50; }))
      << "the picture at 2 s was not shown while paused";
  PumpFor(200ms);
  EXPECT_EQ(TakeShown().back().Frame, 50) << "pictures went on while paused";
  EXPECT_TRUE(TakeShown().back().Paused);
  ASSERT_TRUE(PumpUntil([&] { return !Positions().empty() && Positions().back() == 2 * Second; }));

  player.Resume();
  ASSERT_TRUE(PumpUntil([&] { return TakeShown().back().Frame >= 60; }));
  const size_t beforeBack = ShownCount();
  player.Seek(0, true, 400000);
  ASSERT_TRUE(PumpUntil([&] { return TakeShown().back().Frame >= 20 && TakeShown().back().Frame < 50; }));
  player.Stop(true);

  const std::vector<TShown> shown = TakeShown();
  // After the paused seek: on from 50 without a gap of more than a few pictures.
  size_t i = 0;
  while (i < shown.size() && shown[i].Frame != 50) ++i;
  ASSERT_LT(i + 1, beforeBack);
  EXPECT_LE(shown[i + 1].Frame, 53);
  // After the seek back the pictures start at 10 (give or take the ones in flight) and
  // rise; nothing from before it comes back.
  size_t back = beforeBack;
  while (back < shown.size() && shown[back].Frame > 50) ++back;
  ASSERT_LT(back, shown.size());
  EXPECT_GE(shown[back].Frame, 10);
  EXPECT_LE(shown[back].Frame, 14);
  for (size_t k = back + 1; k < shown.size(); ++k) EXPECT_GT(shown[k].Frame, shown[k - 1].Frame);
  for (const TShown& s : shown) EXPECT_EQ(s.Frame, std::lround(s.Pts * 25.0 / Second));
}

// A host window's frames are the display the window is to show: its size, with the
// picture fitted in by its aspect, shown again at once when the aspect ratio changes.
TEST_F(PlayerVideoTest, AHostWindowGetsFramesOfItsSizeThatFollowTheAspectRatio) {
  SetHostWindowSizeQuery([](uintptr_t window, int& w, int& h) {
    w = 400, h = 150;
    return window == 0x77;
  });
  std::mutex lock;
  std::vector<std::array<int, 4>> frames;  // width, height, the picture's first and last column
  const auto record = [&](TCustomPlayer*, TPixelBuffer& b, int64_t, bool&) {
    const uint8_t* row = &b.Pixels[static_cast<size_t>(b.Height / 2) * b.BytesPerRow];
    int left = -1, right = -1;
    for (int x = 0; x < b.Width; ++x)
      if (row[3 * x + 1] > 20) right = x, left = left < 0 ? x : left;
    std::lock_guard<std::mutex> g(lock);
    frames.push_back({b.Width, b.Height, left, right});
  };
  const auto last = [&] {
    std::lock_guard<std::mutex> g(lock);
    return frames.empty() ? std::array<int, 4>{0, 0, -1, -1} : frames.back();
  };
  TFFPlayer& player = NewPlayer();
  player.OnVideoHook = record;
  ASSERT_TRUE(player.OpenMedia(MakeFile({}), 0x77, true)) << player.ErrorText();
  player.Seek(0, true, Second);  // a bright picture (the first is black)
  ASSERT_TRUE(PumpUntil([&] { return last()[2] >= 0; }));
  // 160 x 120 in 400 x 150: 200 wide, in the middle.
  EXPECT_EQ(last(), (std::array<int, 4>{400, 150, 100, 299}));
  // Paused, the picture stands; a new aspect ratio shows without waiting for the next one.
  player.SetAspectRatio(2.0f);
  ASSERT_TRUE(PumpUntil([&] { return last()[2] < 90; })) << "the aspect ratio was not acted on";
  EXPECT_EQ(last(), (std::array<int, 4>{400, 150, 50, 349}));
  player.Stop(true);

  // A waveform is drawn at the window's size too.
  frames.clear();
  TFFPlayer& sound = NewPlayer();
  sound.OnVideoHook = record;
  ASSERT_TRUE(sound.OpenMedia(TestData("tagged.mp3"), 0x77, false)) << sound.ErrorText();
  ASSERT_TRUE(PumpUntil([&] { return last()[0] > 0; }));
  sound.Stop(true);
  EXPECT_EQ(last()[0], 400);
  EXPECT_EQ(last()[1], 150);
  SetHostWindowSizeQuery(nullptr);
}

TEST_F(PlayerVideoTest, BitmapSubtitlesAreDrawnIntoThePicturesOfTheirTime) {
  TVideoFileSpec spec;
  spec.SubtitleStart = 1.0;
  spec.SubtitleEnd = 2.0;
  const std::string file = MakeFile(spec);
  TFFPlayer& player = NewVideoPlayer();
  ASSERT_TRUE(player.OpenMedia(file, 0, false)) << player.ErrorText();
  ASSERT_TRUE(PumpUntil([&] { return SawState(psEnd); }, 20s));
  player.Stop(true);

  int red = 0, plain = 0;
  for (const TShown& s : TakeShown()) {
    const double t = static_cast<double>(s.Pts) / Second;
    if (t > 1.02 && t < 1.98) {
      EXPECT_TRUE(s.Red) << "no subtitle at " << t;
      ++red;
    } else if (t < 0.98 || t > 2.02) {
      EXPECT_FALSE(s.Red) << "a subtitle at " << t;
      ++plain;
    }
    // The box leaves the rest of the picture alone.
    EXPECT_EQ(s.Frame, std::lround(t * 25));
  }
  EXPECT_GE(red, 5);
  EXPECT_GE(plain, 10);
}

TEST_F(PlayerVideoTest, VideoSwitchesAndTheOwnWindow) {
  const std::string file = MakeFile({});
  {
    // DisableVideo: the sound plays with its waveform, no picture of the file is shown.
    TFFPlayer& player = NewVideoPlayer();
    player.SetDisableVideo(true);
    int frameWidth = 0;
    player.OnFileOpen = [&](TCustomPlayer*, int64_t, int w, int, int&, int&) { frameWidth = w; };
    ASSERT_TRUE(player.OpenMedia(file, 0, false)) << player.ErrorText();
    ASSERT_TRUE(PumpUntil([&] { return SawState(psEnd); }, 20s));
    player.Stop(true);
    EXPECT_EQ(frameWidth, -1);
    ASSERT_FALSE(TakeShown().empty());
    // Waveform frames are the display's size, not the video's.
    for (const TShown& s : TakeShown()) EXPECT_EQ(s.Width, TPlayerDisplay::DefaultWidth);
    std::lock_guard<std::mutex> g(ShownLock);
    Shown.clear();
  }
  {
    // DisableDisplay: no display work at all.
    ClearEvents();
    TFFPlayer& player = NewVideoPlayer();
    player.SetDisableDisplay(true);
    ASSERT_TRUE(player.OpenMedia(file, 0, false)) << player.ErrorText();
    ASSERT_TRUE(PumpUntil([&] { return SawState(psEnd); }, 20s));
    player.Stop(true);
    EXPECT_TRUE(TakeShown().empty());
  }
  {
    // A video-only file without video is nothing to play.
    TVideoFileSpec spec;
    spec.Audio = false;
    const std::string silent = Temp.File("silent.mkv");
    ASSERT_TRUE(WriteVideoFile(silent, spec));
    TFFPlayer& player = NewPlayer();
    player.SetDisableVideo(true);
    EXPECT_FALSE(player.OpenMedia(silent, 0, false));
    EXPECT_EQ(player.ErrorText(), silent + ": could not open codecs, no stream to play.");
  }
  {
    // Without a host window and without a hook the pictures go to the player's own window
    // (the dummy driver): playback is the same.
    ClearEvents();
    TFFPlayer& player = NewPlayer();
    ASSERT_TRUE(player.OpenMedia(file, 0, false)) << player.ErrorText();
    ASSERT_TRUE(PumpUntil([&] { return SawState(psEnd); }, 20s));
    player.Stop(true);
    EXPECT_EQ(Positions().back(), 3 * Second);
  }
}

TEST_F(PlayerVideoTest, TheVideoFilterTextWorksOnEveryPicture) {
  TVideoFileSpec spec;
  spec.Seconds = 1;
  const std::string file = MakeFile(spec);
  TFFPlayer& player = NewVideoPlayer();
  player.SetVideoFilterText("scale=80:60,drawbox=x=0:y=0:w=8:h=8:color=red:t=fill");
  ASSERT_TRUE(player.OpenMedia(file, 0, false)) << player.ErrorText();
  ASSERT_TRUE(PumpUntil([&] { return SawState(psEnd); }, 20s));
  player.Stop(true);
  const std::vector<TShown> shown = TakeShown();
  ASSERT_GE(shown.size(), 5u);
  for (const TShown& s : shown) {
    EXPECT_EQ(s.Width, 80);
    EXPECT_TRUE(s.CornerRed);
    EXPECT_EQ(s.Frame, std::lround(s.Pts * 25.0 / Second));
  }
  EXPECT_EQ(shown.back().Frame, 24);

  // A text the library cannot use: the pictures are shown as they are.
  {
    std::lock_guard<std::mutex> g(ShownLock);
    Shown.clear();
  }
  ClearEvents();
  TFFPlayer& plain = NewVideoPlayer();
  plain.SetVideoFilterText("no_such_filter");
  ASSERT_TRUE(plain.OpenMedia(file, 0, false)) << plain.ErrorText();
  ASSERT_TRUE(PumpUntil([&] { return SawState(psEnd); }, 20s));
  plain.Stop(true);
  ASSERT_FALSE(TakeShown().empty());
  EXPECT_EQ(TakeShown().back().Width, 160);
  EXPECT_FALSE(TakeShown().back().CornerRed);
}

TEST(PlayerDisplayFit, PicturesKeepTheirAspectCentredWithEvenSizes) {
  using R = TPlayerDisplay::TRect;
  auto same = [](R a, R b) { return a.X == b.X && a.Y == b.Y && a.W == b.W && a.H == b.H; };
  // 4:3 in a wide window: full height, centred across.
  EXPECT_TRUE(same(TPlayerDisplay::FitPicture(640, 480, 1, 0, 800, 450), R{100, 0, 600, 450}));
  // 16:9 in a 4:3 window: full width, centred down, heights rounded to even.
  EXPECT_TRUE(same(TPlayerDisplay::FitPicture(1280, 720, 1, 0, 640, 480), R{0, 60, 640, 360}));
  // Wide pixels make a square picture wide; a forced aspect wins over both.
  EXPECT_TRUE(same(TPlayerDisplay::FitPicture(100, 100, 2, 0, 400, 400), R{0, 100, 400, 200}));
  EXPECT_TRUE(same(TPlayerDisplay::FitPicture(100, 100, 2, 1.0f, 400, 300), R{50, 0, 300, 300}));
  // A negative aspect fills the window.
  EXPECT_TRUE(same(TPlayerDisplay::FitPicture(100, 100, 1, -1.0f, 400, 300), R{0, 0, 400, 300}));
  const R odd = TPlayerDisplay::FitPicture(720, 576, 1, 0, 333, 333);
  EXPECT_EQ(odd.W % 2, 0);
  EXPECT_EQ(odd.H % 2, 0);
}

// A display slower than the pictures (each takes 70 ms to show, at 25 a second): late
// pictures are dropped and the video thread passes decoded ones over to catch up; what is
// shown is still each picture at its own time, in order.
TEST_F(PlayerVideoTest, ASlowDisplayMakesTheVideoThreadPassPicturesOver) {
  RealTimeSound();
  TVideoFileSpec spec;
  spec.Seconds = 3;
  const std::string file = MakeFile(spec);
  TFFPlayer& player = NewVideoPlayer();
  const auto record = player.OnVideoHook;
  player.OnVideoHook = [&](TCustomPlayer* sender, TPixelBuffer& b, int64_t pts, bool& update) {
    record(sender, b, pts, update);
    std::this_thread::sleep_for(70ms);
  };
  ASSERT_TRUE(player.OpenMedia(file, 0, false)) << player.ErrorText();
  int64_t dropped = 0, skipped = 0;
  ASSERT_TRUE(PumpUntil([&] {
    dropped = std::max(dropped, player.DroppedPictures());
    skipped = std::max(skipped, player.SkippedPictures());
    return SawState(psEnd);
  }, 20s));
  player.Stop(true);
  EXPECT_GT(dropped, 0);
  EXPECT_GT(skipped, 0);
  const std::vector<TShown> shown = TakeShown();
  ASSERT_GE(shown.size(), 10u);
  for (size_t i = 0; i < shown.size(); ++i) {
    EXPECT_EQ(shown[i].Frame, std::lround(shown[i].Pts * 25.0 / Second)) << "picture " << i;
    if (i > 0) {
      EXPECT_GT(shown[i].Frame, shown[i - 1].Frame);
    }
  }
}

// The player's own window cannot take the pictures (SDL refuses their texture): that is
// said, and the file is closed.
TEST_F(PlayerVideoTest, PicturesTheOwnWindowCannotTakeCloseTheFileWithTheirText) {
  static const auto real = ff::SDL_CreateTexture;
  ff::SDL_CreateTexture = [](SDL_Renderer* r, Uint32 format, int access, int w, int h) -> SDL_Texture* {
    return format == SDL_PIXELFORMAT_IYUV ? nullptr : real(r, format, access, w, h);
  };
  TLogCapture log;
  TFFPlayer& player = NewPlayer();
  const bool opened = player.OpenMedia(MakeFile({}), 0, false);
  const bool stopped = opened && PumpUntil([&] { return SawState(psStop); });
  ff::SDL_CreateTexture = real;
  ASSERT_TRUE(opened) << player.ErrorText();
  ASSERT_TRUE(stopped) << "the file was not closed";
  EXPECT_FALSE(player.Playing());
  EXPECT_FALSE(SawState(psEnd));
  EXPECT_EQ(log.Count(llFatal,
                      "Error: the video system does not support an image size of 160x120 pixels. Try using -lowres or "
                      "-vf \"scale=w:h\" to reduce the image size."),
            1u);
}

// The display's size: the host window's, taken at open after the file-open handler has
// had its say, unless that handler (or the host) set one.
TEST_F(PlayerVideoTest, TheDisplayIsTheHostWindowsSizeUnlessTheFileOpenHandlerSetsOne) {
  SetHostWindowSizeQuery([](uintptr_t window, int& w, int& h) {
    w = 400, h = 150;
    return window == 0x77;
  });
  std::pair<int, int> offered{-1, -1};
  TFFPlayer& player = NewPlayer();
  player.OnFileOpen = [&](TCustomPlayer*, int64_t, int, int, int& w, int& h) { offered = {w, h}; };
  ASSERT_TRUE(player.OpenMedia(TestData("tagged.mp3"), 0x77, true)) << player.ErrorText();
  EXPECT_EQ(offered, (std::pair<int, int>{0, 0}));
  EXPECT_EQ(player.ScreenWidth(), 400);
  EXPECT_EQ(player.ScreenHeight(), 150);
  player.Stop(true);

  TFFPlayer& chosen = NewPlayer();
  chosen.OnFileOpen = [](TCustomPlayer*, int64_t, int, int, int& w, int& h) { w = 200, h = 100; };
  ASSERT_TRUE(chosen.OpenMedia(TestData("tagged.mp3"), 0x77, true)) << chosen.ErrorText();
  EXPECT_EQ(chosen.ScreenWidth(), 200);
  EXPECT_EQ(chosen.ScreenHeight(), 100);
  chosen.Stop(true);

  TFFPlayer& alone = NewPlayer();
  ASSERT_TRUE(alone.OpenMedia(TestData("tagged.mp3"), 0, true)) << alone.ErrorText();
  EXPECT_EQ(alone.ScreenWidth(), 0);
  alone.Stop(true);
  SetHostWindowSizeQuery(nullptr);
}
