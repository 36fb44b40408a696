// Text subtitles: the same test pictures are played from a file without and a file with a
// SubRip stream. The pictures of both must be identical except while a cue is shown;
// then the cue's text (white, centred, near the bottom) changes the lower part of the
// picture, and the change is the same for every picture of one cue and differs between
// cues of different text.
#include <cstdio>
#include <map>

#include "PlayerHarness.h"
#include "VideoFile.h"
#include "media/binding/ASSStubs.h"
#include "media/binding/FFLog.h"

using namespace sw;
using namespace std::chrono_literals;

namespace {

constexpr int W = 320, H = 240;

// Two cues and where they are shown, in seconds.
const char* const Cues =
    "1\n00:00:00,500 --> 00:00:01,200\nHello\n\n"
    "2\n00:00:01,800 --> 00:00:02,600\nWORLD 42 WIDE\n\n";
constexpr double Cue1[2] = {0.5, 1.2}, Cue2[2] = {1.8, 2.6};
constexpr double Margin = 0.045;  // about a picture's time

using TPictures = std::map<int64_t, std::vector<uint8_t>>;  // by time (µs): BGR rows, packed

// Where a shown picture differs from the plain one.
struct TChange {
  int Count = 0;
  int X0 = W, Y0 = H, X1 = -1, Y1 = -1;  // bounding box, inclusive
  int White = 0;                         // changed pixels that are near white
  std::vector<bool> Mask;
};

TChange Compare(const std::vector<uint8_t>& shown, const std::vector<uint8_t>& plain) {
  TChange c;
  c.Mask.assign(static_cast<size_t>(W) * H, false);
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      const size_t i = (static_cast<size_t>(y) * W + x) * 3;
      if (std::memcmp(&shown[i], &plain[i], 3) == 0) continue;
      c.Mask[static_cast<size_t>(y) * W + x] = true;
      ++c.Count;
      c.X0 = std::min(c.X0, x), c.X1 = std::max(c.X1, x);
      c.Y0 = std::min(c.Y0, y), c.Y1 = std::max(c.Y1, y);
      if (shown[i] > 220 && shown[i + 1] > 220 && shown[i + 2] > 220) ++c.White;
    }
  return c;
}

// Share of the pixels changed in either that are changed in only one.
double Disagreement(const TChange& a, const TChange& b) {
  int either = 0, one = 0;
  for (size_t i = 0; i < a.Mask.size(); ++i) {
    either += a.Mask[i] || b.Mask[i];
    one += a.Mask[i] != b.Mask[i];
  }
  return either ? static_cast<double>(one) / either : 0;
}

bool Within(double t, const double (&cue)[2], double margin) { return t >= cue[0] - margin && t <= cue[1] + margin; }

class PlayerTextSubtitleTest : public PlayerTest {
 protected:
  void SetUp() override {
    PlayerTest::SetUp();
    std::ofstream(Temp.File("cues.srt")) << Cues;
    ASSERT_TRUE(WriteTestPictureFile(Temp.File("plain.mkv"), "", 3, W, H));
    ASSERT_TRUE(WriteTestPictureFile(Temp.File("subtitled.mkv"), Temp.File("cues.srt"), 3, W, H));
  }

  // A player whose hook keeps every picture by its time; later pictures of the same time
  // (after a seek back) go to Again.
  TFFPlayer& NewRecordingPlayer() {
    {
      std::lock_guard<std::mutex> g(PicturesLock);
      Pictures.clear();
      Again.clear();
      AfterSeek = false;
    }
    ClearEvents();
    TFFPlayer& player = NewPlayer();
    player.SetVideoHook(true);
    player.OnVideoHook = [this](TCustomPlayer*, TPixelBuffer& b, int64_t pts, bool&) {
      if (b.Width != W || b.Height != H || b.Bits != 24) return;
      std::vector<uint8_t> rows(static_cast<size_t>(W) * H * 3);
      for (int y = 0; y < H; ++y)
        std::memcpy(&rows[static_cast<size_t>(y) * W * 3], &b.Pixels[static_cast<size_t>(y) * b.BytesPerRow], W * 3);
      std::lock_guard<std::mutex> g(PicturesLock);
      (AfterSeek ? Again : Pictures)[pts] = std::move(rows);
    };
    return player;
  }

  TPictures PlayToTheEnd(const std::string& file) {
    TFFPlayer& player = NewRecordingPlayer();
    EXPECT_TRUE(player.OpenMedia(file, 0, false)) << player.ErrorText();
    EXPECT_TRUE(PumpUntil([&] { return SawState(psEnd); }, 20s));
    player.Stop(true);
    std::lock_guard<std::mutex> g(PicturesLock);
    return Pictures;
  }

  std::mutex PicturesLock;
  TPictures Pictures, Again;
  bool AfterSeek = false;
};

}  // namespace

TEST_F(PlayerTextSubtitleTest, CuesAreDrawnOverThePicturesOfTheirTimeAndNowhereElse) {
  const TPictures plain = PlayToTheEnd(Temp.File("plain.mkv"));
  const TPictures shown = PlayToTheEnd(Temp.File("subtitled.mkv"));
  ASSERT_GE(plain.size(), 40u);
  ASSERT_GE(shown.size(), 40u);

  std::vector<TChange> first, second;
  int outside = 0;
  for (const auto& [pts, pixels] : shown) {
    const auto other = plain.find(pts);
    if (other == plain.end()) continue;  // dropped in the other run
    const double t = static_cast<double>(pts) / 1e6;
    const TChange c = Compare(pixels, other->second);
    if (Within(t, Cue1, -Margin) || Within(t, Cue2, -Margin)) {
      EXPECT_GE(c.Count, 150) << "no text at " << t;
      // SubRip's default place: centred across, near the bottom; white letters.
      EXPECT_GE(c.Y0, H / 2) << t;
      EXPECT_LE(c.Y1, H - 1) << t;
      EXPECT_NEAR((c.X0 + c.X1) / 2.0, W / 2.0, W / 10.0) << t;
      EXPECT_GE(c.White, 15) << "the text is not white at " << t;
      (Within(t, Cue1, 0) ? first : second).push_back(c);
      if (first.size() == 1 && Within(t, Cue1, 0)) Grab("subtitle-hello", pixels.data(), W, H, W * 3);
      if (second.size() == 1 && Within(t, Cue2, 0)) Grab("subtitle-world", pixels.data(), W, H, W * 3);
    } else if (!Within(t, Cue1, Margin) && !Within(t, Cue2, Margin)) {
      EXPECT_EQ(c.Count, 0) << "pixels changed at " << t << ", where no cue is shown";
      ++outside;
    }
  }
  ASSERT_GE(first.size(), 5u);
  ASSERT_GE(second.size(), 5u);
  EXPECT_GE(outside, 20);
  // One cue's text stands still over the changing pictures; another text is another shape.
  for (const TChange& c : first) EXPECT_LT(Disagreement(c, first.front()), 0.05);
  for (const TChange& c : second) EXPECT_LT(Disagreement(c, second.front()), 0.05);
  EXPECT_GT(Disagreement(first.front(), second.front()), 0.3);
  EXPECT_GT(second.front().X1 - second.front().X0, first.front().X1 - first.front().X0 + 40)
      << "the longer text is not wider";
}

// An ASS stream brings its own styles in the script header: red letters at the top.
TEST_F(PlayerTextSubtitleTest, AnAssStreamIsDrawnWithTheStylesOfItsHeader) {
  std::ofstream(Temp.File("styled.ass"))
      << "[Script Info]\nScriptType: v4.00+\nPlayResX: 320\nPlayResY: 240\n\n"
         "[V4+ Styles]\nFormat: Name, Fontname, Fontsize, PrimaryColour, SecondaryColour, OutlineColour, "
         "BackColour, Bold, Italic, Underline, StrikeOut, ScaleX, ScaleY, Spacing, Angle, BorderStyle, Outline, "
         "Shadow, Alignment, MarginL, MarginR, MarginV, Encoding\n"
         "Style: Top,DejaVu Sans,40,&H000000FF,&H000000FF,&H00000000,&H00000000,-1,0,0,0,100,100,0,0,1,2,0,8,10,10,"
         "10,1\n\n"
         "[Events]\nFormat: Layer, Start, End, Style, Name, MarginL, MarginR, MarginV, Effect, Text\n"
         "Dialogue: 0,0:00:00.50,0:00:01.50,Top,,0,0,0,,RED TOP\n";
  ASSERT_TRUE(WriteTestPictureFile(Temp.File("styled.mkv"), Temp.File("styled.ass"), 2, W, H));
  const TPictures plain = PlayToTheEnd(Temp.File("plain.mkv"));
  const TPictures shown = PlayToTheEnd(Temp.File("styled.mkv"));
  const double cue[2] = {0.5, 1.5};
  int inside = 0, outside = 0;
  for (const auto& [pts, pixels] : shown) {
    const auto other = plain.find(pts);
    if (other == plain.end()) continue;
    const double t = static_cast<double>(pts) / 1e6;
    const TChange c = Compare(pixels, other->second);
    if (Within(t, cue, -Margin)) {
      ++inside;
      EXPECT_GE(c.Count, 300) << t;
      EXPECT_LT(c.Y1, H / 2) << "not at the top at " << t;
      int red = 0;
      for (size_t i = 0; i < c.Mask.size(); ++i) {
        const uint8_t* p = &pixels[3 * i];
        red += c.Mask[i] && p[2] > 200 && p[1] < 70 && p[0] < 70;
      }
      EXPECT_GE(red, 100) << "the letters are not red at " << t;
      if (inside == 1) Grab("subtitle-ass", pixels.data(), W, H, W * 3);
    } else if (!Within(t, cue, Margin)) {
      ++outside;
      EXPECT_EQ(c.Count, 0) << t;
    }
  }
  EXPECT_GE(inside, 10);
  EXPECT_GE(outside, 10);
}

// After a seek the decoder numbers its events from the start again: the renderer must
// forget the ones it had, or it takes the next cue (numbered like the first) for a copy
// of one it has and drops it. The read thread reads about 5 s ahead in this file, so the
// second cue is first read after the seek.
TEST_F(PlayerTextSubtitleTest, TheNextCueIsDrawnAfterASeek) {
  const double later[2] = {7.8, 8.5};
  std::ofstream(Temp.File("far.srt")) << "1\n00:00:00,300 --> 00:00:01,000\nHello\n\n"
                                         "2\n00:00:07,800 --> 00:00:08,500\nWORLD 42 WIDE\n\n";
  ASSERT_TRUE(WriteTestPictureFile(Temp.File("far-plain.mkv"), "", 9, W, H));
  ASSERT_TRUE(WriteTestPictureFile(Temp.File("far.mkv"), Temp.File("far.srt"), 9, W, H));
  const auto playUntil = [&](int64_t pts) {
    return PumpUntil([&] {
      std::lock_guard<std::mutex> g(PicturesLock);
      return !Pictures.empty() && Pictures.rbegin()->first >= pts;
    });
  };
  // The plain pictures of the second cue's time.
  TFFPlayer& plainPlayer = NewRecordingPlayer();
  ASSERT_TRUE(plainPlayer.OpenMedia(Temp.File("far-plain.mkv"), 0, true)) << plainPlayer.ErrorText();
  plainPlayer.Seek(0, true, 7500000);
  plainPlayer.Resume();
  ASSERT_TRUE(playUntil(8600000));
  plainPlayer.Stop(true);
  TPictures plain;
  {
    std::lock_guard<std::mutex> g(PicturesLock);
    plain = Pictures;
  }
  // The first cue is shown (and so handed to the renderer), then a seek to before the second.
  TFFPlayer& player = NewRecordingPlayer();
  ASSERT_TRUE(player.OpenMedia(Temp.File("far.mkv"), 0, false)) << player.ErrorText();
  ASSERT_TRUE(playUntil(700000));
  player.Seek(0, true, 7500000);
  ASSERT_TRUE(playUntil(8600000));
  player.Stop(true);

  std::lock_guard<std::mutex> g(PicturesLock);
  int second = 0;
  for (const auto& [pts, pixels] : Pictures) {
    const double t = static_cast<double>(pts) / 1e6;
    const auto other = plain.find(pts);
    if (other == plain.end() || !Within(t, later, -Margin)) continue;
    EXPECT_GE(Compare(pixels, other->second).Count, 150) << "no text at " << t;
    ++second;
  }
  EXPECT_GE(second, 5);
}

// Without libass (here a broken file in the library folder, in a process of its own so
// that no earlier test has loaded the real one) the pictures are shown as they are and
// one line says why.
TEST_F(PlayerTextSubtitleTest, WithoutTheTextRendererThePicturesPlayUntouched) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  std::ofstream(Temp.File("short.srt")) << "1\n00:00:00,200 --> 00:00:01,000\nHello\n\n";
  ASSERT_TRUE(WriteTestPictureFile(Temp.File("short-plain.mkv"), "", 1.2, W, H));
  ASSERT_TRUE(WriteTestPictureFile(Temp.File("short.mkv"), Temp.File("short.srt"), 1.2, W, H));
  const std::string folder = Temp.File("libs");
  std::filesystem::create_directories(folder);
  std::ofstream(folder + "/" + ASSLibraryFile) << "not a library";
  const auto run = [&] {
    FFLoader().SetLibraryFolder(folder);
    TFFLogger logger;
    logger.SetLogLevel(llInfo);
    logger.SetTriggerEventInMainThread(false);
    std::mutex linesLock;
    std::vector<std::string> lines;
    logger.OnLog = [&](void*, uint32_t, TLogLevel, const std::string& text) {
      std::lock_guard<std::mutex> g(linesLock);
      lines.push_back(text);
    };
    const TPictures plain = PlayToTheEnd(Temp.File("short-plain.mkv"));
    const TPictures shown = PlayToTheEnd(Temp.File("short.mkv"));
    int compared = 0, changed = 0;
    for (const auto& [pts, pixels] : shown) {
      const auto other = plain.find(pts);
      if (other == plain.end()) continue;
      ++compared;
      changed += Compare(pixels, other->second).Count > 0;
    }
    int told = 0;
    {
      std::lock_guard<std::mutex> g(linesLock);
      for (const std::string& line : lines)
        told += line.rfind("Text subtitles are not drawn: Load library ", 0) == 0;
    }
    std::fprintf(stderr, "compared %d changed %d told %d\n", compared, changed, told);
    std::_Exit(compared >= 15 && changed == 0 && told == 1 && !HasFailure() ? 0 : 1);
  };
  EXPECT_EXIT(run(), ::testing::ExitedWithCode(0), "compared [0-9]+ changed 0 told 1");
}
