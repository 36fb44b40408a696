// Reading a short span of a file: only the span is decoded, through the frame index of an
// MP3, and its samples lie where a decode of the whole file has them.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "../../LoadedLibraries.h"
#include "../../TempDir.h"
#include "../engine/DecodeFile.h"
#include "WaveFixtures.h"
#include "media/encoder/FFEncode.h"
#include "media/waveform/SpanJob.h"
#include "media/waveform/SpanRead.h"

using namespace sw;

namespace {

constexpr int Rate = 44100;

// Quiet noise with a loud 1 kHz burst at [61.25 s, 61.75 s); mono.
double BurstSound(int64_t i, uint32_t& seed) {
  seed = seed * 1664525u + 1013904223u;
  const double noise = 0.02 * (static_cast<double>(seed >> 8) / (1u << 24) - 0.5);
  const double t = static_cast<double>(i) / Rate;
  return noise + (t >= 61.25 && t < 61.75 ? Sine(0.7, 1000, i, Rate) : 0);
}

std::string BurstWav(const TTempDir& dir, int seconds) {
  const std::string wav = dir.File("burst.wav");
  uint32_t seed = 3;
  WriteWav(wav, Rate, 1, int64_t{Rate} * seconds, [&](int64_t i, double* ch) { ch[0] = BurstSound(i, seed); });
  return wav;
}

std::string BurstMp3(const TTempDir& dir, const std::string& wav) {
  TFFEncoder encoder;
  EXPECT_EQ(encoder.AddTask(wav, nullptr), 0);
  TOutputOptions o;
  o.FileFormat = "mp3";
  o.AudioCodec = "libmp3lame";
  o.AudioBitrate = 128000;
  const std::string out = dir.File("burst.mp3");
  EXPECT_TRUE(encoder.SetOutputFile(0, out, &o)) << encoder.ErrorText();
  encoder.StartTask(0);
  return out;
}

// The largest difference between a span and the same samples of a whole decode.
double Difference(const TSpan& span, const TDecodedAudio& whole) {
  double worst = 0;
  for (size_t i = 0; i < span.Samples.size(); ++i) {
    const int64_t at = span.FirstSample + static_cast<int64_t>(i);
    if (at >= whole.Frames()) return 1e9;
    worst = std::max<double>(worst, std::fabs(span.Samples[i] - whole.Floats[static_cast<size_t>(at)]));
  }
  return worst;
}

}  // namespace

class SpanRead : public WithLibraries {};

TEST_F(SpanRead, AnMp3SpanLiesWhereTheWholeDecodeHasIt) {
  TTempDir dir;
  const std::string mp3 = BurstMp3(dir, BurstWav(dir, 75));
  TDecodedAudio whole;
  ASSERT_TRUE(DecodeFile(mp3, whole, true));
  ASSERT_EQ(whole.Channels, 1);

  TSpanReader reader;
  std::atomic<bool> stop{false};
  ASSERT_TRUE(reader.Open(mp3, stop));
  EXPECT_TRUE(reader.Indexed());
  // Late in the file (sought through the index), then early (decoded from the start),
  // then late again on the same open file.
  for (const auto& [from, to] : {std::pair{60000000LL, 63000000LL}, std::pair{100000LL, 300000LL},
                                 std::pair{61200000LL, 61300000LL}}) {
    TSpan span;
    ASSERT_EQ(reader.Read(from, to, stop, span), erDone) << from;
    EXPECT_EQ(span.SampleRate, Rate);
    EXPECT_EQ(span.FirstSample, from * Rate / 1000000) << from;
    EXPECT_EQ(static_cast<int64_t>(span.Samples.size()), (to - from) * Rate / 1000000) << from;
    EXPECT_LT(Difference(span, whole), 1e-4) << from;
  }
  // The burst's start in the span read from the index: within the encoder's smear of 61.25 s.
  TSpan span;
  ASSERT_EQ(reader.Read(61000000, 62000000, stop, span), erDone);
  int64_t loud = -1;
  for (size_t i = 0; i < span.Samples.size() && loud < 0; ++i)
    if (std::fabs(span.Samples[i]) > 0.2f) loud = span.FirstSample + static_cast<int64_t>(i);
  EXPECT_NEAR(static_cast<double>(loud) / Rate, 61.25, 0.002);
}

TEST_F(SpanRead, AWavSpanHoldsTheWrittenSamplesAndEndsAtTheFileEnd) {
  TTempDir dir;
  const std::string wav = BurstWav(dir, 64);
  TSpanReader reader;
  std::atomic<bool> stop{false};
  ASSERT_TRUE(reader.Open(wav, stop));
  EXPECT_FALSE(reader.Indexed());
  TSpan span;
  ASSERT_EQ(reader.Read(61200000, 61800000, stop, span), erDone);
  uint32_t seed = 3;
  int64_t i = 0;
  for (; i < span.FirstSample; ++i) BurstSound(i, seed);
  for (const float s : span.Samples) {
    const double written = std::lround(BurstSound(i++, seed) * 32767) / 32768.0;
    ASSERT_NEAR(s, written, 1e-6) << i;
  }
  // A span past the end gives what there is; one wholly past it, nothing.
  ASSERT_EQ(reader.Read(63500000, 65000000, stop, span), erDone);
  EXPECT_EQ(span.FirstSample + static_cast<int64_t>(span.Samples.size()), int64_t{Rate} * 64);
  EXPECT_EQ(reader.Read(70000000, 71000000, stop, span), erFailed);
  EXPECT_TRUE(span.Samples.empty());
  stop = true;
  EXPECT_EQ(reader.Read(1000000, 2000000, stop, span), erStopped);
}

TEST_F(SpanRead, TheJobReadsOnItsThreadAndTheNewestRequestWins) {
  TTempDir dir;
  const std::string wav = BurstWav(dir, 64);
  std::mutex lock;
  std::condition_variable changed;
  std::vector<std::pair<int64_t, TSpan>> got;
  TSpanJob job;
  const std::thread::id asker = std::this_thread::get_id();
  bool otherThread = true;
  job.OnSpan = [&](int64_t from, int64_t, const TSpan& span) {
    std::lock_guard<std::mutex> l(lock);
    otherThread = otherThread && std::this_thread::get_id() != asker;
    got.push_back({from, span});
    changed.notify_all();
  };
  job.SetFile(wav);
  // Many requests at once: the last one is read, the ones between may be merged away.
  for (int i = 0; i < 20; ++i) job.Request(i * 1000000, i * 1000000 + 500000);
  {
    std::unique_lock<std::mutex> l(lock);
    ASSERT_TRUE(changed.wait_for(l, std::chrono::seconds(20), [&] { return !got.empty() && got.back().first == 19000000; }));
    EXPECT_LE(got.size(), 20u);
    EXPECT_TRUE(otherThread);
    EXPECT_EQ(got.back().second.FirstSample, int64_t{19} * Rate);
    EXPECT_EQ(got.back().second.Samples.size(), size_t{Rate / 2});
  }
  // Another file that cannot be read: an empty span; after Cancel nothing arrives.
  job.SetFile(dir.File("missing.mp3"));
  job.Request(0, 1000000);
  {
    std::unique_lock<std::mutex> l(lock);
    ASSERT_TRUE(changed.wait_for(l, std::chrono::seconds(20), [&] { return got.back().first == 0; }));
    EXPECT_TRUE(got.back().second.Samples.empty());
  }
  job.Cancel();
  const size_t before = got.size();
  job.Request(2000000, 3000000);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  std::lock_guard<std::mutex> l(lock);
  EXPECT_EQ(got.size(), before);
}
