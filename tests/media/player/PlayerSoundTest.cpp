// What reaches the sound device: the file's own samples from the seek position on, at
// the volume asked for, silence when muted, nothing while paused.
#include <algorithm>
#include <cstring>

#include "../engine/DecodeFile.h"
#include "PlayerHarness.h"

using namespace sw;
using namespace std::chrono_literals;

namespace {

constexpr int64_t Second = 1000000;

size_t FirstSound(const std::vector<int16_t>& s) {
  return static_cast<size_t>(std::find_if(s.begin(), s.end(), [](int16_t v) { return v != 0; }) - s.begin());
}

// Where in whole the run part[from, from + length) appears exactly (frame-aligned), or -1.
int64_t FindRun(const std::vector<int16_t>& whole, const std::vector<int16_t>& part, size_t from, size_t length,
                int channels) {
  if (from + length > part.size()) return -1;
  for (size_t at = 0; at + length <= whole.size(); at += channels)
    if (std::equal(part.begin() + from, part.begin() + from + length, whole.begin() + at)) return static_cast<int64_t>(at);
  return -1;
}

// After a seek the decoder starts without the frames before; a few frames later its output
// is the same as a decode from the start.
constexpr size_t WarmUpFrames = 8 * 1152;

}  // namespace

TEST_F(PlayerTest, SoundFromTheSeekPositionIsTheFilesOwnDecodedSamples) {
  TDecodedAudio reference;
  ASSERT_TRUE(DecodeFile(TestData("tagged.mp3"), reference));
  TFFPlayer& player = NewPlayer();
  ASSERT_TRUE(player.OpenMedia(TestData("tagged.mp3"), 0, true)) << player.ErrorText();
  player.Seek(0, false, 3 * Second);
  player.Resume();
  ASSERT_TRUE(PumpUntil([&] { return SawState(psEnd); }));
  player.Stop(true);

  const std::vector<int16_t> sound = Sound();
  const size_t first = FirstSound(sound);
  ASSERT_LT(first, sound.size()) << "nothing but silence reached the device";
  const size_t from = first + WarmUpFrames * 2;
  const int64_t at = FindRun(reference.Samples, sound, from, 4096, 2);
  ASSERT_GE(at, 0) << "the device got sound that is not in the file";
  // The sound starts at the frame the seek landed on, at most one frame before 3 s.
  const double startSeconds = static_cast<double>(at / 2 - static_cast<int64_t>(WarmUpFrames)) / 44100;
  EXPECT_NEAR(startSeconds, 3.0, 0.03);
  // From there on, every sample of the file up to its end, unchanged and in order.
  const size_t rest = reference.Samples.size() - static_cast<size_t>(at);
  ASSERT_GE(sound.size() - from, rest);
  EXPECT_TRUE(std::equal(reference.Samples.begin() + at, reference.Samples.end(), sound.begin() + from));
  // And then only silence.
  EXPECT_EQ(FirstSound(std::vector<int16_t>(sound.begin() + from + rest, sound.end())), sound.size() - from - rest);
}
