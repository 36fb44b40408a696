// A long MP3 segment encoded in parts on several workers and joined: the exact sample
// count, the sound around each join against one encoder's, valid frames with one tag
// frame, the hook, progress and stop, and the fall-back to one encoder.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <thread>

#include "../../TempDir.h"
#include "../encoder/LogCapture.h"
#include "../mp3/FrameCheck.h"
#include "DecodeFile.h"
#include "../waveform/WaveFixtures.h"
#include "EngineTask.h"
#include "media/common/FFUtils.h"
#include "media/mp3/FrameJoin.h"

using namespace sw;
using ParallelEncode = WithLibraries;

namespace {

constexpr int64_t Second = 1000000;
constexpr int SampleDelay = 1105;  // LAME's delay with the decoder's: where frame 0's sound starts

struct TRunResult {
  TDecodedAudio Decoded;
  std::vector<int64_t> Joins;  // output frame indexes where a later part takes over
  bool FellBack = false;
  std::map<std::thread::id, std::vector<int64_t>> HookTimes;
  std::vector<int64_t> ProgressTimes;
};

// A cut of [start, start + length) into MP3 (or WAV: the PCM the encoders are given),
// with a hook that fades like the cut job's.
// `parts` 0: as many as suit two workers.
TRunResult Encode(const std::string& input, const std::string& output, int64_t start, int64_t length, int parts,
               const char* codec = "libmp3lame", const char* format = "mp3") {
  TLogCapture log;
  TCustomFFmpeg engine;
  AddInput(engine, input);
  const AVFormatContext* in = engine.InputFile(0);
  if (in->start_time != AV_NOPTS_VALUE) engine.InputTimestampOffset(0) = -in->start_time;
  AddOutput(engine, output, codec, 44100, 2, 128000, format);
  TEngineSettings& s = engine.Settings();
  s.StartTime = start;
  s.RecordingTime = s.TotalDuration = length;
  s.EncodeParts = parts;
  s.EncodeWorkers = 2;
  s.PartsFrom = 3 * Second;
  s.ReportInterval = 0;
  TRunResult r;
  std::mutex lock;
  engine.OnAudioHook = [&](TCustomFFmpeg* sender, uint8_t* samples, int64_t time, int bytes, int rate, int channels,
                           int) {
    EXPECT_EQ(sender, &engine);
    {
      std::lock_guard<std::mutex> g(lock);
      r.HookTimes[std::this_thread::get_id()].push_back(time);
    }
    auto* p = reinterpret_cast<int16_t*>(samples);
    for (int i = 0; i < bytes / 2 / channels; ++i) {
      const double t = static_cast<double>(time - start) / Second + static_cast<double>(i) / rate;
      const double gain = std::clamp(std::min(t, static_cast<double>(length) / Second - t), 0.0, 1.0);
      for (int c = 0; c < channels; ++c) p[i * channels + c] = static_cast<int16_t>(std::lround(p[i * channels + c] * gain));
    }
  };
  engine.OnProgress = [&](TCustomFFmpeg*, int, int, int, float, float, int64_t, int64_t time, int64_t) {
    r.ProgressTimes.push_back(time);
  };
  engine.Settings().Verbosity = 1;
  engine.Transcode();
  engine.CleanUp();
  EXPECT_TRUE(DecodeFile(output, r.Decoded)) << output;
  for (const auto& [level, text] : log.All()) {
    const std::string head = "Encoded in ";
    if (text.rfind(head, 0) == 0) {
      std::istringstream at(text.substr(text.find("frames") + 6));
      for (int64_t j; at >> j;) r.Joins.push_back(j);
    }
    r.FellBack = r.FellBack || (level == llWarning && text.find("encoding with one encoder") != std::string::npos);
  }
  return r;
}

// Signal-to-noise ratio in dB of `coded` against `reference` over frames [from, to).
double Snr(const TDecodedAudio& coded, const TDecodedAudio& reference, int64_t from, int64_t to) {
  double signal = 0, noise = 0;
  const int ch = reference.Channels;
  for (int64_t i = std::max<int64_t>(from, 0) * ch; i < std::min({to, coded.Frames(), reference.Frames()}) * ch; ++i) {
    const double x = reference.Samples[i], d = coded.Samples[i] - x;
    signal += x * x;
    noise += d * d;
  }
  return 10 * std::log10((signal + 1) / (noise + 1));
}

// Problems of the main-data layout: a frame whose data begins before the stream or
// overlaps the data of the frame before it, or runs past its own area.
std::vector<std::string> MainDataProblems(const std::string& path, const TFrameCheck& check) {
  std::ifstream f(path, std::ios::binary);
  const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(f), {}};
  std::vector<std::string> problems;
  int64_t area = 0, previousEnd = 0;
  for (const mp3::TMp3Frame& frame : check.Stream.Frames()) {
    const auto at = bytes.begin() + frame.Offset;
    mp3::TMainDataLayout l;
    if (!mp3::MainDataOf(mp3::TFrameBytes(at, at + frame.Size), l)) {
      problems.push_back("not layer III at " + std::to_string(frame.Offset));
      continue;
    }
    const int64_t begin = area - l.Begin, end = begin + l.DataBytes;
    if (begin < 0 || begin < previousEnd || end > area + l.AreaSize)
      problems.push_back("main data of the frame at " + std::to_string(frame.Offset) + " is out of place");
    previousEnd = std::max(previousEnd, end);
    area += l.AreaSize;
  }
  return problems;
}

}  // namespace

TEST_F(ParallelEncode, JoinedOutputHasTheSegmentsSamplesAndSoundsLikeOneEncoder) {
  TTempDir dir;
  struct TCase {
    const char* Input;
    int64_t Start, Length;
    int Parts;
    size_t Joins;
  };
  // Tones with beats and noise: the encoders of two parts hold reservoirs of different
  // sizes where they meet, so most joins must make room (a frame grows).
  uint32_t seed = 1;
  WriteWav(dir.File("beats.wav"), 44100, 2, 20 * 44100, [&](int64_t i, double* ch) {
    const double t = static_cast<double>(i) / 44100;
    seed = seed * 1664525u + 1013904223u;
    const double noise = static_cast<double>(seed >> 8) / (1u << 24) - 0.5, beat = std::fmod(t, 0.5) < 0.05 ? 0.18 : 0.0;
    ch[0] = 0.18 * std::sin(2 * M_PI * (220 + 30 * std::sin(t / 7)) * t) + beat + 0.06 * noise;
    ch[1] = 0.18 * std::sin(2 * M_PI * (330 + 40 * std::sin(t / 5)) * t) + beat / 2 + 0.06 * noise;
  });
  // A sweep with tremolo; and silence that turns to noise, joined inside the noise. Parts
  // 0: two of 3 s, then four of 1.5 s (parts are at least a third of the 3 s from which a
  // segment is split).
  for (const TCase c : {TCase{"tagged.mp3", Second + 1234, 10 * Second, 2, 1}, TCase{"tagged.mp3", 0, 12 * Second, 3, 2},
                        TCase{"vbr-noheader.mp3", 8 * Second + 77, 15 * Second, 3, 2},
                        TCase{"tagged.mp3", 0, 12 * Second, 0, 5}, TCase{"beats.wav", 0, 19 * Second, 0, 7}}) {
    SCOPED_TRACE(testing::Message() << c.Input << " in " << c.Parts << " parts");
    const std::string input = std::string(c.Input) == "beats.wav" ? dir.File(c.Input) : TestData(c.Input);
    const TRunResult pcm = Encode(input, dir.File("pcm.wav"), c.Start, c.Length, 1, "pcm_s16le", "wav");
    const TRunResult one = Encode(input, dir.File("one.mp3"), c.Start, c.Length, 1);
    const TRunResult parted = Encode(input, dir.File("parted.mp3"), c.Start, c.Length, c.Parts);
    const int64_t samples = ff::av_rescale(c.Length, 44100, Second);
    EXPECT_EQ(pcm.Decoded.Frames(), samples);
    EXPECT_EQ(one.Decoded.Frames(), samples);
    EXPECT_EQ(parted.Decoded.Frames(), samples);
    EXPECT_TRUE(one.Joins.empty());
    ASSERT_EQ(parted.Joins.size(), c.Joins);
    EXPECT_FALSE(parted.FellBack);
    for (const int64_t j : parted.Joins) {
      SCOPED_TRACE(testing::Message() << "join at frame " << j);
      // 100 ms around the join, where the first sound of the new part's frame starts.
      const int64_t at = j * 1152 - SampleDelay, half = 2205;
      const double joinedSnr = Snr(parted.Decoded, pcm.Decoded, at - half, at + half);
      const double oneSnr = Snr(one.Decoded, pcm.Decoded, at - half, at + half);
      EXPECT_GE(joinedSnr, oneSnr - 1.0);
      EXPECT_GT(oneSnr, 5.0);  // the window holds sound, not silence
    }
    // Over the whole segment the parts sound as one encoder does.
    EXPECT_NEAR(Snr(parted.Decoded, pcm.Decoded, 0, samples), Snr(one.Decoded, pcm.Decoded, 0, samples), 1.0);
    const TFrameCheck check = CheckFrames(dir.File("parted.mp3"));
    EXPECT_TRUE(check.Problems.empty()) << check.Problems.front();
    const std::vector<std::string> layout = MainDataProblems(dir.File("parted.mp3"), check);
    EXPECT_TRUE(layout.empty()) << layout.front();
    EXPECT_EQ(check.Stream.Frames().size(), CheckFrames(dir.File("one.mp3")).Stream.Frames().size());
    const auto& frames = check.Stream.Frames();
    const auto grown = std::count_if(frames.begin(), frames.end(), [&](const mp3::TMp3Frame& f) {
      return f.BitrateIndex != frames.front().BitrateIndex;
    });
    if (std::string(c.Input) == "beats.wav")
      EXPECT_GE(grown, 2);  // rooms were made, and the checks above hold for them
    else
      EXPECT_LE(grown, 1);
  }
}

TEST_F(ParallelEncode, HookRunsPerPartInTimeOrderAndProgressReachesTheEnd) {
  TTempDir dir;
  const TRunResult r = Encode(TestData("tagged.mp3"), dir.File("parted.mp3"), Second, 10 * Second, 2);
  ASSERT_EQ(r.Joins.size(), 1u);
  // Two workers called the hook, each in time order, and between them every stretch of
  // the segment was shaped.
  ASSERT_EQ(r.HookTimes.size(), 2u);
  std::vector<int64_t> all;
  for (const auto& [thread, times] : r.HookTimes) {
    EXPECT_TRUE(std::is_sorted(times.begin(), times.end()));
    all.insert(all.end(), times.begin(), times.end());
  }
  std::sort(all.begin(), all.end());
  EXPECT_LE(all.front(), Second);
  EXPECT_GE(all.back(), 11 * Second - Second / 10);
  for (size_t i = 1; i < all.size(); ++i) EXPECT_LE(all[i] - all[i - 1], 30000) << "a gap at " << all[i - 1];
  ASSERT_FALSE(r.ProgressTimes.empty());
  EXPECT_NEAR(r.ProgressTimes.back() / 1e6, 10.0, 0.1);
}

TEST_F(ParallelEncode, PartsThatCannotBeJoinedFallBackToOneEncoderAndSaySo) {
  TTempDir dir;
  // The header-less VBR file claims 52 s and holds 24 s. Behind junk its frames cannot be
  // scanned: the parts are planned by the claim, the last one gets no sound at all, and
  // the encode falls back, still whole and exact. Without the junk the scan tells the
  // parts what the file holds, and they join.
  const std::string junked = dir.File("junked.mp3");
  {
    std::ofstream out(junked, std::ios::binary);
    out << std::ifstream(TestData("vbr-noheader.mp3"), std::ios::binary).rdbuf() << std::string(700, 'x');
  }
  for (const std::string& input : {junked, TestData("vbr-noheader.mp3")}) {
    SCOPED_TRACE(input);
    const bool scanned = input != junked;
    const TRunResult r = Encode(input, dir.File("out.mp3"), 2 * Second, 45 * Second, 3);
    EXPECT_EQ(r.FellBack, !scanned);
    EXPECT_EQ(r.Joins.size(), scanned ? 2u : 0u);
    // Everything the input holds from the start on, as one encoder gives it.
    const TRunResult one = Encode(input, dir.File("one.mp3"), 2 * Second, 45 * Second, 1);
    EXPECT_EQ(r.Decoded.Frames(), one.Decoded.Frames());
    EXPECT_GT(r.Decoded.Frames(), 21 * 44100);
    const TFrameCheck check = CheckFrames(dir.File("out.mp3"));
    EXPECT_TRUE(check.Problems.empty()) << check.Problems.front();
  }
}

TEST_F(ParallelEncode, StopWithAndWithoutWaitingEndsEveryPartAndKeepsNothing) {
  for (const bool wait : {true, false}) {
    SCOPED_TRACE(wait);
    TTempDir dir;
    std::atomic<int> ends{0}, hooked{0};
    {
      TCustomFFmpeg engine;
      AddInput(engine, TestData("tagged.mp3"));
      AddOutput(engine, dir.File("out.mp3"), "libmp3lame", 44100, 2, 128000);
      engine.Settings().RecordingTime = 12 * Second;
      engine.Settings().EncodeParts = 3;
      engine.Settings().PartsFrom = 3 * Second;
      engine.OnTerminate = [&](TCustomFFmpeg*) { ++ends; };
      engine.OnAudioHook = [&](TCustomFFmpeg*, uint8_t*, int64_t, int, int, int, int) {
        ++hooked;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
      };
      engine.Start(true, tpNormal)->Resume();
      while (hooked < 10) std::this_thread::sleep_for(std::chrono::milliseconds(1));
      engine.Stop(wait);
      if (!wait)
        while (ends == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
      EXPECT_FALSE(engine.FinishedNormally());
      EXPECT_FALSE(engine.ErrorRaised()) << engine.ErrorMessage();
    }
    EXPECT_EQ(ends, 1);
    // The parts stopped long before the 470 buffers of the whole file, and left no file.
    EXPECT_LT(hooked, 200);
    EXPECT_TRUE(std::filesystem::is_empty(dir.Path()));
  }
}
