// Cuts through the workflow's job, both modes, decoded and checked against their sources:
// what a front end gets (refusals, the question, the run log, progress and the end) and
// what is written (length, fades, tags; nothing when a cut does not finish).
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>

#include "../LoadedLibraries.h"
#include "../LocalPort.h"
#include "../TempDir.h"
#include "../media/engine/DecodeFile.h"
#include "../media/waveform/WaveFixtures.h"
#include "app/core/CutJob.h"
#include "app/core/ReencodeWork.h"
#include "media/base/MainThread.h"
#include "media/base/SafeOutput.h"
#include "media/gain/SegmentFade.h"
#include "media/info/FFDecode.h"

using namespace sw;
using namespace std::chrono_literals;
using CutRun = WithLibraries;
namespace fs = std::filesystem;

namespace {

// One cut through the job, run on this thread's queue as a front end runs it, to its end.
struct TCut {
  TCutJob Job{""};
  std::vector<std::string> Log;   // "I " or "E " and the line
  std::vector<int> Progress;
  std::vector<std::string> Asked;  // the replace questions
  std::optional<TCutEnd> End;
  std::string Refusal;
  bool Started = false;

  // answer: to the replace question. during: called on this thread while the cut runs,
  // until it returns true.
  explicit TCut(const TCutRequest& r, bool answer = false, std::function<bool(TCutJob&)> during = nullptr) {
    SetMainThread();
    Job.OnLog = [this](bool error, const std::string& line) { Log.push_back((error ? "E " : "I ") + line); };
    Job.OnAskReplace = [this, answer](const std::string& path) {
      Asked.push_back(path);
      return answer;
    };
    Job.OnProgress = [this](int percent) { Progress.push_back(percent); };
    Job.OnEnd = [this](const TCutEnd& end) { End = end; };
    Started = Job.Start(r, Refusal);
    for (int i = 0; Started && !End && i < 30000; ++i) {
      WaitForPendingMessages(1ms);
      if (during && during(Job)) during = nullptr;
    }
  }
  bool Finished() const { return End && End->Outcome == coFinished; }
  bool Logged(const std::string& line) const { return std::find(Log.begin(), Log.end(), line) != Log.end(); }
};

TCutRequest Request(const TTempDir& dir, const std::string& name, int64_t start, int64_t end,
                    const std::string& source = TestData("tagged.mp3"), TCutMode mode = cmReencode) {
  TCutRequest r;
  r.Source = source;
  r.Folder = dir.Path();
  r.Name = name;
  r.StartTime = start * 1000000;
  r.EndTime = end * 1000000;
  r.Volume = 100;
  r.Mode = mode;
  return r;
}

double Rms(const TDecodedAudio& a, double from, double to) {
  const int64_t first = static_cast<int64_t>(from * a.SampleRate) * a.Channels;
  const int64_t last = std::min<int64_t>(static_cast<int64_t>(to * a.SampleRate) * a.Channels, a.Samples.size());
  double sum = 0;
  for (int64_t i = first; i < last; ++i) sum += static_cast<double>(a.Samples[i]) * a.Samples[i];
  return last > first ? std::sqrt(sum / static_cast<double>(last - first)) : 0;
}

// An MP3 of `seconds` of loud noise over a tone, at that rate: CBR at `kbits`, or VBR
// (quality 4) when `kbits` is 0.
std::string NoiseMp3(const TTempDir& dir, const std::string& name, int rate, int kbits, int seconds) {
  const std::string wav = dir.File(name + ".wav");
  uint32_t seed = 7;
  ::WriteWav(wav, rate, 2, static_cast<int64_t>(rate) * seconds, [&](int64_t i, double* ch) {
    seed = seed * 1664525u + 1013904223u;
    const double noise = static_cast<double>(seed >> 8) / (1u << 24) - 0.5;
    ch[0] = 0.8 * noise + Sine(0.15, 440, i, rate);
    ch[1] = -0.6 * noise + Sine(0.3, 330, i, rate);
  });
  TFFEncoder encoder;
  EXPECT_EQ(encoder.AddTask(wav, nullptr), 0);
  TOutputOptions o;
  o.FileFormat = "mp3";
  o.AudioCodec = "libmp3lame";
  if (kbits > 0) o.AudioBitrate = kbits * 1000;
  else o.ExtOptions = "-aq 4";
  const std::string out = dir.File(name + ".mp3");
  EXPECT_TRUE(encoder.SetOutputFile(0, out, &o)) << encoder.ErrorText();
  encoder.StartTask(0);
  fs::remove(wav);
  return out;
}

// Peak of the frames [from, to) of a decode in dB of full scale.
double PeakDb(const TDecodedAudio& a, int64_t from, int64_t to) {
  int peak = 0;
  for (int64_t i = std::max<int64_t>(from, 0) * a.Channels; i < std::min(to, a.Frames()) * a.Channels; ++i)
    peak = std::max(peak, std::abs(static_cast<int>(a.Samples[static_cast<size_t>(i)])));
  return 20 * std::log10((peak + 1e-3) / 32768.0);
}

bool PartFileIn(const std::string& folder) {
  for (const auto& e : fs::directory_iterator(folder))
    if (e.path().extension() == ".part") return true;
  return false;
}

std::size_t Entries(const std::string& folder) { return std::distance(fs::directory_iterator(folder), {}); }

}  // namespace

TEST_F(CutRun, CutHasItsLengthFadesTagsLogAndProgress) {
  TTempDir dir;
  TCutRequest r = Request(dir, "clip", 1, 12);
  r.StartTime += 500000;  // the command line's fractions are kept to the sample
  TCut cut(r);
  ASSERT_TRUE(cut.Finished()) << ::testing::PrintToString(cut.Log);
  const std::string out = dir.File("clip.mp3");
  EXPECT_EQ(cut.End->Output, out);
  EXPECT_EQ(cut.Log, (std::vector<std::string>{"I Begin Time:00:00:01.500", "I End Time:00:00:12", "I Output:" + out,
                                               "I Volume:255", "I Completed to cut mp3 file."}));
  ASSERT_FALSE(cut.Progress.empty());
  EXPECT_EQ(cut.Progress.front(), 0);
  EXPECT_TRUE(std::is_sorted(cut.Progress.begin(), cut.Progress.end()));
  EXPECT_LE(cut.Progress.back(), 100);
  TDecodedAudio a;
  ASSERT_TRUE(DecodeFile(out, a));
  EXPECT_EQ(a.Frames(), 10 * 44100 + 22050);
  // Rising over the first five seconds, falling over the last five, never silent between.
  const double middle = Rms(a, 5.0, 6.0);
  EXPECT_LT(Rms(a, 0.0, 0.5), middle * 0.2);
  EXPECT_LT(Rms(a, 0.5, 1.5), Rms(a, 2.0, 3.0));
  EXPECT_LT(Rms(a, 2.0, 3.0), Rms(a, 3.5, 4.5));
  EXPECT_GT(Rms(a, 1.0, 1.5), 0.0);
  EXPECT_LT(Rms(a, 10.0, 10.5), middle * 0.2);

  TFFDecoder reader;
  ASSERT_TRUE(reader.OpenMediaFile(out, ""));
  TFileStreamInfo tags;
  reader.FillStreamInfo(tags);
  EXPECT_EQ(tags.Title, "Snip Test Tone");
  EXPECT_EQ(tags.Author, "Korvane Lab");
  EXPECT_EQ(tags.Album, "Fixtures");
  EXPECT_EQ(tags.Year, 2024);
  EXPECT_EQ(tags.Track, 3);
  EXPECT_EQ(FileContent(out).substr(0, 4), std::string("ID3\x03", 4));
}

// The job attaches the one fade in both modes: the loudness of each cut follows the fade
// curve, measured against the source's own decode (the lossless cut in its 1.5 dB steps).
TEST_F(CutRun, BothModesFadeAlongTheOneCurve) {
  TTempDir dir;
  const std::string source = NoiseMp3(dir, "noise", 44100, 192, 20);
  TDecodedAudio src;
  ASSERT_TRUE(DecodeFile(source, src));
  for (const TCutMode mode : {cmReencode, cmLossless}) {
    SCOPED_TRACE(mode);
    TCut cut(Request(dir, "faded", 2, 16, source, mode), true);
    ASSERT_TRUE(cut.Finished()) << ::testing::PrintToString(cut.Log);
    TDecodedAudio a;
    ASSERT_TRUE(DecodeFile(dir.File("faded.mp3"), a));
    ASSERT_EQ(a.Frames(), 14 * 44100);
    const double tolerance = mode == cmLossless ? 1.0 : 0.3;  // dB; half a gain step and the window's slope
    for (const double at : {1.25, 2.5, 3.75, 4.75, 7.0, 11.0, 12.5, 13.25}) {
      const double got = Rms(a, at - 0.05, at + 0.05), was = Rms(src, 2 + at - 0.05, 2 + at + 0.05);
      // The ramp's slope over the window is part of the measure: take its mean square.
      double mean = 0;
      for (int i = -50; i < 50; ++i) {
        const double t = at + (i + 0.5) / 1000;
        mean += std::pow(FadeFactor(t * 44100, (14 - t) * 44100, 5 * 44100) * 255 / 256, 2) / 100;
      }
      EXPECT_NEAR(20 * std::log10(got / was), 10 * std::log10(mean), tolerance) << at << " s";
    }
  }
}

TEST_F(CutRun, MiddleIsBitForBitThePlainConversion) {
  // The fade on the engine's hook, set up by hand with a WAV output.
  TTempDir dir;
  const auto convert = [&](const std::string& name, bool fade) {
    TFFEncoder encoder;
    const TFadeShaper shaper(0, 12000000);
    encoder.OnAudioHook = [&](TCustomEncoder*, int, int64_t pts, uint8_t* s, int size, int rate, int ch, int f) {
      if (f == AV_SAMPLE_FMT_S16) shaper.Apply(pts, reinterpret_cast<int16_t*>(s), size / 2 / ch, rate, ch);
    };
    EXPECT_EQ(encoder.AddTask(TestData("tagged.mp3"), nullptr), 0);
    TOutputOptions o = CutOutputOptions(0, 12000000, 100, -1, {});
    o.FileFormat = "wav";
    o.AudioCodec = "pcm_s16le";
    o.AudioHook = fade;
    EXPECT_TRUE(encoder.SetOutputFile(0, dir.File(name), &o)) << encoder.ErrorText();
    encoder.StartTask(0);
    TDecodedAudio a;
    EXPECT_TRUE(DecodeFile(dir.File(name), a));
    return a;
  };
  const TDecodedAudio f = convert("faded.wav", true), p = convert("plain.wav", false);
  ASSERT_EQ(f.Samples.size(), p.Samples.size());
  const size_t from = 5 * 44100 * 2, to = 7 * 44100 * 2;  // between the two fades
  size_t differ = 0;
  for (size_t i = from; i < to; ++i) differ += f.Samples[i] != p.Samples[i];
  EXPECT_EQ(differ, 0u);
  size_t changed = 0;  // within the fade-in almost every sample
  for (size_t i = 0; i < from; ++i) changed += f.Samples[i] != p.Samples[i];
  EXPECT_GT(changed, from * 9 / 10);
}

TEST_F(CutRun, MoreThanStereoIsCutToStereoAtARateTheEncoderTakes) {
  TTempDir dir;
  const std::string wav = dir.File("surround.wav");
  ::WriteWav(wav, 96000, 6, 3 * 96000, [](int64_t i, double* ch) {
    for (int c = 0; c < 6; ++c) ch[c] = Sine(0.25, 200 * (c + 1), i, 96000);
  });
  TCut cut(Request(dir, "stereo", 0, 3, wav));
  ASSERT_TRUE(cut.Finished()) << ::testing::PrintToString(cut.Log);
  TDecodedAudio a;
  ASSERT_TRUE(DecodeFile(dir.File("stereo.mp3"), a));
  EXPECT_EQ(a.Channels, 2);
  EXPECT_EQ(a.SampleRate, 48000);
  EXPECT_NEAR(a.Seconds(), 3.0, 0.05);
  EXPECT_GT(Rms(a, 1.0, 2.0), 1000.0);
}

// Refused before anything is asked or written, with one reason in the log, in both modes:
// names that leave the folder, a URL for a folder, a segment outside the file (the header
// of truncated.mp3 claims 12 s, its audio ends after one), the source itself as output.
TEST_F(CutRun, RefusalsComeFirstAndWriteNothing) {
  TTempDir dir;
  fs::create_directory(dir.File("in"));
  const std::string source = dir.File("in/s.mp3");
  fs::copy_file(TestData("tagged.mp3"), source);
  fs::create_hard_link(source, dir.File("in/link.mp3"));
  TLocalPort port;
  ASSERT_NE(port.Port(), 0);
  const std::string url = "http://127.0.0.1:" + std::to_string(port.Port());
  const std::string sourceItself = "\" is the source itself: a cut may not overwrite its source.";
  const struct {
    std::string Folder, Name, Source;
    int64_t Start, End;
    std::string Reason;
  } cases[] = {
      {"in", "../escaped", source, 2, 9, OutputNameRefusal("../escaped")},
      {"in", "..", source, 2, 9, OutputNameRefusal("..")},
      {"in", "line\nbreak", source, 2, 9, OutputNameRefusal("line\nbreak")},
      {url, "x", source, 2, 9, OutputRefusal(url, "x")},
      {"in", "x", source, 9, 9, "The segment must end after it starts and lie within the file's 12 seconds."},
      {"in", "x", source, 2, 13, "The segment must end after it starts and lie within the file's 12 seconds."},
      {"in", "x", TestData("truncated.mp3"), 5, 10, "The segment must end after it starts and lie within the file's 1 seconds."},
      {"in", "s.mp3", source, 2, 9, "The output file \"" + dir.File("in/s.mp3") + sourceItself},
      {"in", "link", source, 2, 9, "The output file \"" + dir.File("in/link.mp3") + sourceItself},
  };
  for (const TCutMode mode : {cmReencode, cmLossless})
    for (const auto& c : cases) {
      SCOPED_TRACE(c.Name + " " + std::to_string(mode));
      TCutRequest r = Request(dir, c.Name, c.Start, c.End, c.Source, mode);
      r.Folder = c.Folder == url ? url : dir.File(c.Folder);
      TCut cut(r, true);
      EXPECT_FALSE(cut.Started);
      EXPECT_EQ(cut.Refusal, c.Reason);
      EXPECT_TRUE(cut.Asked.empty());
      EXPECT_TRUE(cut.Progress.empty());
      // The reason alone, line by line, at the error level.
      std::vector<std::string> expected;
      std::string rest = c.Reason;
      for (std::size_t nl; (nl = rest.find('\n')) != std::string::npos; rest = rest.substr(nl + 1))
        expected.push_back("E " + rest.substr(0, nl));
      expected.push_back("E " + rest);
      EXPECT_EQ(cut.Log, expected);
    }
  EXPECT_FALSE(port.Connected());
  EXPECT_EQ(FileContent(source), FileContent(TestData("tagged.mp3")));
  EXPECT_EQ(std::distance(fs::recursive_directory_iterator(dir.Path()), {}), 3);
}

// The question comes once an output may be written: Cancel keeps the file and logs nothing.
// A file that appears at the name while the cut runs is kept unless replacing was allowed.
TEST_F(CutRun, FilesAtTheOutputsNameAreReplacedOnlyWithPermission) {
  TTempDir dir;
  const std::string out = dir.File("precious.mp3");
  const std::string refusal = out + ": " + TargetAppearedWords;
  for (const TCutMode mode : {cmReencode, cmLossless}) {
    SCOPED_TRACE(mode);
    dir.Write("precious.mp3", "my precious data");
    TCut declined(Request(dir, "precious", 1, 12, TestData("tagged.mp3"), mode), false);
    EXPECT_FALSE(declined.Started);
    EXPECT_EQ(declined.Refusal, "");
    EXPECT_EQ(declined.Asked, std::vector<std::string>{out});
    EXPECT_TRUE(declined.Log.empty());
    EXPECT_EQ(FileContent(out), "my precious data");

    for (const bool replace : {false, true}) {
      SCOPED_TRACE(replace);
      fs::remove(out);
      // Without a file there the question is not asked, and nothing may be replaced.
      TCut cut(Request(dir, "precious", 1, 12, TestData("tagged.mp3"), mode), true, [&](TCutJob&) {
        if (!PartFileIn(dir.Path())) return false;
        dir.Write("precious.mp3", "my precious data");
        return true;
      });
      ASSERT_TRUE(cut.End);
      EXPECT_TRUE(cut.Asked.empty());
      EXPECT_EQ(cut.End->Outcome, coFailed);
      EXPECT_EQ(cut.End->Reason.find(refusal) != std::string::npos, true) << cut.End->Reason;
      EXPECT_EQ(FileContent(out), "my precious data");
      EXPECT_EQ(Entries(dir.Path()), 1u);  // nothing left beside it

      // Asked, and allowed: the file that is there at the end is replaced.
      TCut allowed(Request(dir, "precious", 1, 12, TestData("tagged.mp3"), mode), replace);
      EXPECT_EQ(allowed.Finished(), replace);
      EXPECT_EQ(FileContent(out) == "my precious data", !replace);
      EXPECT_EQ(Entries(dir.Path()), 1u);
    }
  }
}

TEST_F(CutRun, SetUpFailuresKeepTheirTextAndGiveTheReasonAfterIt) {
  TTempDir dir;
  const std::string file = dir.Write("plain", "x");
  const struct {
    std::string Folder, Name, Reason;
  } cases[] = {{dir.File("a/b"), "x", dir.File("a/b/x.mp3") + ": No such file or directory"},
               {file, "x", file + "/x.mp3: Not a directory"},
               {file + "/new", "x", file + "/new: Not a directory"},  // the folder cannot be made
               {dir.Path(), std::string(300, 'n'), dir.File(std::string(300, 'n') + ".mp3") + ": File name too long"}};
  for (const auto& c : cases) {
    TCutRequest r = Request(dir, c.Name, 2, 9);
    r.Folder = c.Folder;
    TCut cut(r);
    EXPECT_FALSE(cut.Started);
    EXPECT_EQ(cut.Refusal, "Failed to convert audio.\n" + c.Reason);
    ASSERT_GE(cut.Log.size(), 2u);
    EXPECT_EQ(cut.Log[cut.Log.size() - 2], "E Failed to convert audio.");
    EXPECT_EQ(cut.Log.back(), "E " + c.Reason);
  }
  EXPECT_EQ(Entries(dir.Path()), 1u);
}

// Stopped with and without waiting, in both modes: the end says so, nothing is written
// and a file that was to be replaced stays as it was.
TEST_F(CutRun, AStoppedCutLeavesNothing) {
  TTempDir dir;
  const std::string source = dir.File("long.mp3");
  {
    std::ofstream long_(source, std::ios::binary);
    for (int i = 0; i < 20; ++i) long_ << FileContent(TestData("vbr-noheader.mp3"));
  }
  for (const TCutMode mode : {cmReencode, cmLossless})
    for (const bool wait : {false, true}) {
      SCOPED_TRACE(std::to_string(mode) + (wait ? " waiting" : ""));
      const std::string kept = dir.Write("kept.mp3", "the file before");
      bool stopped = false;
      TCut cut(Request(dir, "kept", 0, 470, source, mode), true, [&](TCutJob& job) {
        if (!PartFileIn(dir.Path())) return false;
        job.Stop(wait);
        stopped = true;
        if (wait) {
          EXPECT_FALSE(job.Running());
        }
        return true;
      });
      ASSERT_TRUE(cut.End);
      EXPECT_TRUE(stopped);
      EXPECT_EQ(cut.End->Outcome, coStopped) << cut.End->Reason;
      EXPECT_FALSE(cut.Logged("I Completed to cut mp3 file."));
      EXPECT_FALSE(cut.Logged("I Failed to cut file."));
      EXPECT_EQ(FileContent(kept), "the file before");
      EXPECT_EQ(Entries(dir.Path()), 2u);
    }
}

// A cut starts and ends in silence: the fade shapes every sample the trim keeps, the
// first one too, whatever the rate, the start, and whether parts were encoded apart; and
// it decodes to exactly the segment's samples.
TEST_F(CutRun, EveryCutStartsAndEndsInSilenceAndHasItsExactLength) {
  TTempDir dir;
  struct TSource {
    const char* Name;
    int Rate, Kbits;
  };
  for (const TSource src : {TSource{"cbr44", 44100, 128}, TSource{"vbr48", 48000, 0}, TSource{"cbr8", 8000, 24}}) {
    const std::string source = NoiseMp3(dir, src.Name, src.Rate, src.Kbits, 68);
    // 31 s are encoded in parts, 6 s by one encoder.
    for (const auto& [start, end] : {std::pair{0, 6}, std::pair{20, 51}, std::pair{60, 66}}) {
      SCOPED_TRACE(testing::Message() << src.Name << " " << start << "-" << end << " s");
      TCut cut(Request(dir, "cut", start, end, source), true);  // each cut writes the one name
      ASSERT_TRUE(cut.Finished()) << ::testing::PrintToString(cut.Log);
      TDecodedAudio a;
      ASSERT_TRUE(DecodeFile(dir.File("cut.mp3"), a));
      EXPECT_EQ(a.SampleRate, src.Rate);
      EXPECT_EQ(a.Frames(), static_cast<int64_t>(end - start) * src.Rate);
      const int64_t edge = src.Rate / 500;  // 2 ms
      EXPECT_LT(PeakDb(a, 0, edge), -60.0);
      EXPECT_LT(PeakDb(a, a.Frames() - edge, a.Frames()), -60.0);
      EXPECT_GT(PeakDb(a, a.Frames() / 2 - edge, a.Frames() / 2 + edge), -12.0);  // the middle is loud
    }
  }
}
