// Cuts of the fixtures decoded by the libraries' MP3 decoder (which honours the encoder
// delay and padding) against the decoded source: exact length, the same samples outside
// the ramps, the ramps and the volume where they belong, and valid frames.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <fstream>
#include <filesystem>

#include "FrameCheck.h"
#include "media/mp3/LosslessCut.h"
#include "tests/LoadedLibraries.h"
#include "tests/TempDir.h"
#include "tests/media/engine/DecodeFile.h"

using namespace sw::mp3;

namespace {

int64_t SamplesToTime(int64_t samples, int rate) { return (samples * 1000000 + rate / 2) / rate; }

struct TCutRun {
  bool Ok = false;
  TCutPlan Plan;
  int64_t ChangedFrames = 0;
  std::vector<std::string> Log;
  TDecodedAudio Audio;
};

class LosslessCut : public WithLibraries {
 protected:
  // Cuts samples [start, end) of a fixture with the given ramp length and decodes the result.
  TCutRun Cut(const std::string& name, int64_t start, int64_t end, double fadeSeconds = 0, int volume = 256) {
    TCutRun run;
    EXPECT_TRUE(FSource.Open(TestData(name))) << FSource.ErrorText();
    const int rate = FSource.Header().SampleRate;
    TLosslessCut cut;
    cut.OnLog = [&](const std::string& line) { run.Log.push_back(line); };
    TLosslessCutRequest r;
    r.Output = FOut = FDir.File("cut.mp3");
    r.Replace = true;  // one output name for every cut
    r.StartTime = SamplesToTime(start, rate);
    r.EndTime = SamplesToTime(end, rate);
    r.FadeTime = static_cast<int64_t>(fadeSeconds * 1000000);
    r.Volume = volume;
    run.Ok = cut.Run(FSource, r);
    EXPECT_TRUE(run.Ok) << cut.ErrorText();
    run.Plan = cut.Plan();
    run.ChangedFrames = cut.ChangedFrames();
    if (run.Ok) {
      EXPECT_TRUE(DecodeFile(FOut, run.Audio));
    }
    return run;
  }
  const TDecodedAudio& Source(const std::string& name) {
    if (FSourceName != name) {
      FSourceAudio = TDecodedAudio{};
      EXPECT_TRUE(DecodeFile(TestData(name), FSourceAudio));
      FSourceName = name;
    }
    return FSourceAudio;
  }
  // First sample (per channel) in [from, to) of the cut where it differs from the source
  // at the same place, or -1.
  int64_t FirstDifference(const TCutRun& run, const std::string& name, int64_t start, int64_t from, int64_t to) {
    const TDecodedAudio& src = Source(name);
    const int ch = src.Channels;
    for (int64_t i = from; i < to; ++i)
      for (int c = 0; c < ch; ++c)
        if (run.Audio.Samples[static_cast<size_t>(i * ch + c)] != src.Samples[static_cast<size_t>((start + i) * ch + c)])
          return i;
    return -1;
  }
  // Root mean square over [from, to) per-channel frames.
  static double Rms(const TDecodedAudio& a, int64_t from, int64_t to) {
    double sum = 0;
    for (int64_t i = from * a.Channels; i < to * a.Channels; ++i) sum += std::pow(a.Samples[static_cast<size_t>(i)], 2);
    return std::sqrt(sum / static_cast<double>((to - from) * a.Channels));
  }

  TTempDir FDir;
  std::string FOut;
  TMp3Source FSource;
  std::string FSourceName;
  TDecodedAudio FSourceAudio;
};

struct TSegment {
  const char* Name;
  int64_t Start, End;  // samples of the gapless output
};

// Whole files, odd sample offsets, segments shorter than a frame, starts in the first frame.
const TSegment Segments[] = {
    {"tagged.mp3", 0, 529200},           {"tagged.mp3", 3 * 44100 + 17, 9 * 44100 + 5},
    {"tagged.mp3", 70000, 70900},        {"tagged.mp3", 100, 529200},
    {"mono-vbr.mp3", 0, 88200},          {"mono-vbr.mp3", 22050 + 333, 66150},
    {"notags-48k.mp3", 48000, 144000},   {"notags-48k.mp3", 0, 96007},
    {"cover.mp3", 11025, 77175},         {"vbr-noheader.mp3", 13 * 44100 + 1, 20 * 44100},
    {"vbr-noheader.mp3", 600, 44100},    {"crc-8k.mp3", 8000, 20000},
    {"crc-8k.mp3", 1000, 23000},         {"lowrate-16k.mp3", 2 * 16000 + 100, 6 * 16000},
};

}  // namespace

TEST_F(LosslessCut, WithoutRampsTheCutDecodesToExactlyTheSourcesSamples) {
  for (const TSegment& seg : Segments) {
    SCOPED_TRACE(std::string(seg.Name) + " " + std::to_string(seg.Start) + ".." + std::to_string(seg.End));
    const TCutRun run = Cut(seg.Name, seg.Start, seg.End);
    ASSERT_TRUE(run.Ok);
    EXPECT_TRUE(run.Plan.ReservoirCovered);
    EXPECT_EQ(run.ChangedFrames, 0);
    ASSERT_EQ(run.Audio.Frames(), seg.End - seg.Start);
    EXPECT_EQ(run.Audio.SampleRate, FSource.Header().SampleRate);
    EXPECT_EQ(FirstDifference(run, seg.Name, seg.Start, 0, seg.End - seg.Start), -1);
    const TFrameCheck check = CheckFrames(FOut);
    EXPECT_TRUE(check.Problems.empty()) << check.Problems.front();
    EXPECT_EQ(check.Stream.Frames().size(), static_cast<size_t>(run.Plan.FrameCount()));
  }
}

TEST_F(LosslessCut, AFirstFrameThatDrawsOnTheReservoirDecodesFromItsFirstSample) {
  for (const char* name : {"tagged.mp3", "vbr-noheader.mp3", "lowrate-16k.mp3", "crc-8k.mp3"}) {
    SCOPED_TRACE(name);
    ASSERT_TRUE(FSource.Open(TestData(name)));
    // The first frame past 1 s whose main data begins in earlier frames.
    const int64_t spf = FSource.SamplesPerFrame();
    int64_t k = FSource.Header().SampleRate / spf;
    while (FSource.Frames()[static_cast<size_t>(k)].MainDataBegin == 0) ++k;
    const int64_t start = k * spf - FSource.RawStart() + DecoderDelay + 5;
    const TCutRun run = Cut(name, start, start + 3 * spf);
    ASSERT_TRUE(run.Ok);
    // The frames before it were copied (or carried) for their bytes, not for their sound.
    EXPECT_TRUE(run.Plan.FirstFrame < run.Plan.DecodeFrom || run.Plan.CarrierBytes > 0);
    EXPECT_TRUE(run.Plan.ReservoirCovered);
    ASSERT_EQ(run.Audio.Frames(), 3 * spf);
    EXPECT_EQ(FirstDifference(run, name, start, 0, 3 * spf), -1);
  }
}

TEST_F(LosslessCut, RampsLowerTheGainsAlongTheLinearCurveAndLeaveTheMiddleAlone) {
  const int64_t start = 44100, end = 11 * 44100;  // 10 s of the 12 s file
  const TCutRun run = Cut("tagged.mp3", start, end, 3.0);
  ASSERT_TRUE(run.Ok);
  ASSERT_EQ(run.Audio.Frames(), end - start);
  const int64_t fade = 3 * 44100, margin = 3 * 1152;
  // Two granules after a lowered one still carry its sound; past that the samples are the source's.
  EXPECT_EQ(FirstDifference(run, "tagged.mp3", start, fade + margin, end - start - fade - margin), -1);
  // The ramps follow t / 3 s within the half step of 0.75 dB, plus the granule's width.
  const TDecodedAudio& src = Source("tagged.mp3");
  for (double at : {0.6, 1.2, 1.8, 2.4}) {
    const int64_t a = static_cast<int64_t>(at * 44100) - 2205, b = a + 4410;
    const double inDb = 20 * std::log10(Rms(run.Audio, a, b) / Rms(src, start + a, start + b));
    EXPECT_NEAR(inDb, 20 * std::log10(at / 3.0), 1.0) << "fade-in at " << at;
    const int64_t c = end - start - b, d = end - start - a;
    const double outDb = 20 * std::log10(Rms(run.Audio, c, d) / Rms(src, start + c, start + d));
    EXPECT_NEAR(outDb, 20 * std::log10(at / 3.0), 1.0) << "fade-out at " << at;
  }
  // Silent at both ends: the first and last 2 ms are 60 dB below the segment's level.
  const double level = Rms(src, start, end);
  EXPECT_LT(Rms(run.Audio, 0, 88), level / 1000);
  EXPECT_LT(Rms(run.Audio, end - start - 88, end - start), level / 1000);
  EXPECT_TRUE(CheckFrames(FOut).Problems.empty());
}

TEST_F(LosslessCut, MiddleFramesAreCopiedByteForByte) {
  const TCutRun run = Cut("tagged.mp3", 0, 529200, 5.0, 255);
  ASSERT_TRUE(run.Ok);
  const TFrameCheck check = CheckFrames(FOut);
  ASSERT_TRUE(check.Problems.empty()) << check.Problems.front();
  std::ifstream a(TestData("tagged.mp3"), std::ios::binary), b(FOut, std::ios::binary);
  const std::string src{std::istreambuf_iterator<char>(a), {}}, out{std::istreambuf_iterator<char>(b), {}};
  const auto& srcFrames = FSource.Frames();
  const auto& outFrames = check.Stream.Frames();
  int64_t same = 0, changed = 0;
  for (size_t i = 0; i < outFrames.size(); ++i) {
    const TMp3Frame& o = outFrames[i];
    const TMp3Frame& s = srcFrames[static_cast<size_t>(run.Plan.FirstFrame) + i];
    ASSERT_EQ(o.Size, s.Size);
    const bool equal = out.compare(static_cast<size_t>(o.Offset), static_cast<size_t>(o.Size), src,
                                   static_cast<size_t>(s.Offset), static_cast<size_t>(s.Size)) == 0;
    // Frames between the ramps (5 s to 7 s of the 12 s) stay as they were.
    const double t = static_cast<double>(i) * 1152 / 44100;
    if (t > 5.1 && t < 6.9) {
      EXPECT_TRUE(equal) << i;
    }
    (equal ? same : changed)++;
  }
  EXPECT_EQ(changed, run.ChangedFrames);
  // Near the top of a ramp the gain is within half a step of unity and stays.
  EXPECT_GT(changed, 2 * 45 * 44100 / 11520);
  // The ID3 tags travel with the frames; only the stale length frame is left out.
  EXPECT_EQ(out.substr(0, 3), "ID3");
  EXPECT_NE(out.find("Snip Test Tone"), std::string::npos);
  EXPECT_EQ(out.substr(0, 230).find("TLEN"), std::string::npos);
  EXPECT_EQ(out.substr(out.size() - 128), src.substr(src.size() - 128));
}

TEST_F(LosslessCut, VolumeStepsScaleEverySampleExactly) {
  // 127/256 is 6.09 dB down: four steps of 1.5 dB halve every decoded value.
  const TCutRun run = Cut("notags-48k.mp3", 24000, 120000, 0, 127);
  ASSERT_TRUE(run.Ok);
  ASSERT_EQ(run.Audio.Frames(), 96000);
  EXPECT_EQ(run.ChangedFrames, run.Plan.FrameCount());
  const TDecodedAudio& src = Source("notags-48k.mp3");
  int worst = 0;
  for (int64_t i = 0; i < 96000 * 2; ++i) {
    const int expect = src.Samples[static_cast<size_t>(24000 * 2 + i)];
    worst = std::max(worst, std::abs(2 * run.Audio.Samples[static_cast<size_t>(i)] - expect));
  }
  EXPECT_LE(worst, 2);
  // Volume 0 is silence.
  const TCutRun silent = Cut("notags-48k.mp3", 24000, 120000, 0, 0);
  ASSERT_TRUE(silent.Ok);
  EXPECT_LT(Rms(silent.Audio, 0, 96000), 1.0);
}

TEST_F(LosslessCut, AReservoirBeyondTheDelaysReachIsCarriedInOneSilentFrame) {
  // 64 kbit/s mono: 187 bytes of main data a frame, and up to 511 drawn from before.
  const std::string name = "cover.mp3";
  ASSERT_TRUE(FSource.Open(TestData(name)));
  int64_t start = -1;
  TCutPlan plan;
  std::string error;
  for (int64_t s = 11025; s < 66150 && start < 0; s += 97)
    if (PlanCut(FSource, s, s + 11025, plan, error) && plan.CarrierBytes > 0) start = s;
  ASSERT_GE(start, 0) << "no such place in the fixture";
  // Copying the frames themselves would need more than the 12-bit delay.
  EXPECT_GT(FSource.RawStart() + start - DecoderDelay - FSource.ReservoirFrame(plan.DecodeFrom) * 1152, MaxDelay);
  const TCutRun run = Cut(name, start, start + 11025);
  ASSERT_TRUE(run.Ok);
  EXPECT_GT(run.Plan.CarrierBytes, 0);
  EXPECT_TRUE(run.Plan.ReservoirCovered);
  EXPECT_LE(run.Plan.Delay, MaxDelay);
  ASSERT_FALSE(run.Log.empty());
  EXPECT_NE(run.Log[0].find("carried in one silent frame"), std::string::npos);
  ASSERT_EQ(run.Audio.Frames(), 11025);
  EXPECT_GT(Rms(run.Audio, 0, 1152), 1000);  // a tone from the first sample, not silence
  EXPECT_EQ(FirstDifference(run, name, start, 0, 11025), -1);
  const TFrameCheck check = CheckFrames(FOut);
  EXPECT_TRUE(check.Problems.empty()) << check.Problems.front();
  EXPECT_EQ(check.Stream.Frames().size(), static_cast<size_t>(run.Plan.FrameCount() + 1));
}

TEST_F(LosslessCut, WhenNoFrameCanCarryTheReservoirTheCutStartsLaterAndSaysSo) {
  // Free-format frames of 24 bytes: 11 bytes of main data cannot carry the 255 the
  // reservoir may need, and twenty frames back lie beyond the 12-bit delay.
  ASSERT_TRUE(FSource.Open(TestData("free-lowrate.mp3")));
  TCutPlan plan;
  std::string error;
  int64_t start = -1;
  for (int64_t s = 12000; s < 48000 && start < 0; s += 101)
    if (PlanCut(FSource, s, s + 12000, plan, error) && !plan.ReservoirCovered) start = s;
  ASSERT_GE(start, 0) << "no such place in the fixture";
  EXPECT_EQ(plan.CarrierBytes, 0);
  EXPECT_LE(plan.Delay, MaxDelay);
  EXPECT_GT(plan.Delay, MaxDelay - 576);  // the nearest frame that fits
  EXPECT_GT(plan.FirstFrame, FSource.ReservoirFrame(plan.DecodeFrom));
  EXPECT_EQ(plan.OutputFrames() * 576 - plan.Delay - plan.Padding, 12000);
  EXPECT_EQ(plan.Delay + DecoderDelay + plan.FirstFrame * 576, start);  // no gapless fields in the source
  TLosslessCut cut;
  std::vector<std::string> log;
  cut.OnLog = [&](const std::string& line) { log.push_back(line); };
  TLosslessCutRequest r;
  r.Output = FOut = FDir.File("late.mp3");
  r.StartTime = SamplesToTime(start, 24000);
  r.EndTime = SamplesToTime(start + 12000, 24000);
  ASSERT_TRUE(cut.Run(FSource, r)) << cut.ErrorText();
  ASSERT_FALSE(log.empty());
  EXPECT_NE(log[0].find("encoder delay cannot reach back"), std::string::npos);
  // The check names the frames whose bytes are missing: they lie inside the fade-in.
  const TFrameCheck check = CheckFrames(FOut);
  ASSERT_FALSE(check.Problems.empty());
  EXPECT_NE(check.Problems[0].find("encoder delay does not cover"), std::string::npos) << check.Problems[0];
}

TEST_F(LosslessCut, FreeFormatFramesAreCopiedWithTheirSize) {
  // The libraries' decoder does not take free-format streams, so this one is checked frame by frame.
  ASSERT_TRUE(FSource.Open(TestData("free-format.mp3")));
  TLosslessCut cut;
  TLosslessCutRequest r;
  r.Output = FOut = FDir.File("free.mp3");
  r.StartTime = 500000;
  r.EndTime = 1500000;
  r.FadeTime = 0;
  ASSERT_TRUE(cut.Run(FSource, r)) << cut.ErrorText();
  const TCutPlan& plan = cut.Plan();
  EXPECT_EQ(plan.OutputFrames() * 1152 - plan.Delay - plan.Padding, 32000);
  EXPECT_EQ(plan.Delay + DecoderDelay + plan.FirstFrame * 1152, FSource.RawStart() + 16000);
  const TFrameCheck check = CheckFrames(FOut);
  ASSERT_TRUE(check.Problems.empty()) << check.Problems.front();
  EXPECT_EQ(check.Stream.FreeFormatSize(), 450);
  EXPECT_EQ(check.Stream.Tag().Delay, plan.Delay);
  std::ifstream a(TestData("free-format.mp3"), std::ios::binary), b(FOut, std::ios::binary);
  const std::string src{std::istreambuf_iterator<char>(a), {}}, out{std::istreambuf_iterator<char>(b), {}};
  const auto& outFrames = check.Stream.Frames();
  ASSERT_EQ(outFrames.size(), static_cast<size_t>(plan.OutputFrames()));
  const size_t firstSrc = static_cast<size_t>(FSource.Frames()[static_cast<size_t>(plan.FirstFrame)].Offset);
  EXPECT_EQ(out.substr(static_cast<size_t>(outFrames[0].Offset)), src.substr(firstSrc, outFrames.size() * 450));
}

TEST_F(LosslessCut, SegmentsOutsideTheFileAreRefusedAndWriteNothing) {
  ASSERT_TRUE(FSource.Open(TestData("cover.mp3")));
  TLosslessCut cut;
  TLosslessCutRequest r;
  r.Output = FDir.File("none.mp3");
  for (auto [from, to] : {std::pair<int64_t, int64_t>{3000000, 4000000}, {1000000, 1000000}, {-5, 100}}) {
    r.StartTime = from;
    r.EndTime = to;
    EXPECT_FALSE(cut.Run(FSource, r));
    EXPECT_NE(cut.ErrorText().find("Cannot cut without re-encoding"), std::string::npos);
  }
  r.Output = FDir.File("no-such-folder/x.mp3");
  r.StartTime = 0;
  r.EndTime = 1000000;
  EXPECT_FALSE(cut.Run(FSource, r));
  EXPECT_TRUE(std::filesystem::is_empty(FDir.Path()));
}

TEST_F(LosslessCut, TheOutputNeverDestroysTheSourceAnotherFileOrADevice) {
  TLosslessCut cut;
  TLosslessCutRequest r;
  r.StartTime = 1000000;
  r.EndTime = 3000000;
  const std::string source = FDir.File("source.mp3");
  std::filesystem::copy_file(TestData("tagged.mp3"), source);
  const std::string before = FileContent(source);
  ASSERT_TRUE(FSource.Open(source));

  // The source under its own name and through a hard link.
  std::filesystem::create_hard_link(source, FDir.File("link.mp3"));
  for (const char* name : {"source.mp3", "link.mp3"}) {
    r.Output = FDir.File(name);
    EXPECT_FALSE(cut.Run(FSource, r)) << name;
    EXPECT_NE(cut.ErrorText().find("is the source itself"), std::string::npos) << cut.ErrorText();
  }
  EXPECT_EQ(FileContent(source), before);

  // A replaced file keeps its permissions, and nothing temporary stays behind.
  r.Replace = true;
  r.Output = FDir.File("old.mp3");
  FDir.Write("old.mp3", "an earlier file");
  std::filesystem::permissions(r.Output, std::filesystem::perms(0640));
  ASSERT_TRUE(cut.Run(FSource, r)) << cut.ErrorText();
  EXPECT_EQ(std::filesystem::status(r.Output).permissions(), std::filesystem::perms(0640));
  TDecodedAudio audio;
  ASSERT_TRUE(DecodeFile(r.Output, audio));
  EXPECT_EQ(audio.Samples.size(), static_cast<size_t>(2 * 44100 * audio.Channels));
  // A stop part way leaves the earlier file as it was.
  const std::string cutBytes = FileContent(r.Output);
  int asked = 0;
  cut.OnQueryStop = [&] { return ++asked > 10; };
  EXPECT_FALSE(cut.Run(FSource, r));
  EXPECT_EQ(cut.ErrorText(), "Stopped: the cut was not completed.");
  EXPECT_EQ(FileContent(r.Output), cutBytes);
  cut.OnQueryStop = nullptr;
  int entries = 0;
  for (const auto& e : std::filesystem::directory_iterator(FDir.Path())) entries += e.path().extension() == ".part";
  EXPECT_EQ(entries, 0);

  // A pipe is refused without an open (nobody reads from this one) and stays a pipe.
  const std::string pipe = FDir.File("pipe.mp3");
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  r.Output = pipe;
  EXPECT_FALSE(cut.Run(FSource, r));
  EXPECT_EQ(cut.ErrorText(), pipe + ": Is a named pipe, not a regular file");
  EXPECT_TRUE(std::filesystem::is_fifo(pipe));

  // A failure says why.
  r.Output = FDir.File("no-such-folder/cut.mp3");
  EXPECT_FALSE(cut.Run(FSource, r));
  EXPECT_NE(cut.ErrorText().find(std::strerror(ENOENT)), std::string::npos) << cut.ErrorText();
}
