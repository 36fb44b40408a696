#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "../LoadedLibraries.h"
#include "../LocalPort.h"
#include "../TempDir.h"
#include "../media/engine/DecodeFile.h"
#include "../media/waveform/WaveFixtures.h"
#include "app/CutJob.h"
#include "app/LosslessCutJob.h"
#include "media/base/MainThread.h"
#include "media/base/SafeOutput.h"
#include "media/info/FFDecode.h"

using namespace sw;
using namespace std::chrono_literals;
using CutRun = WithLibraries;

namespace {

// Runs one cut of tagged.mp3 through the job, as the window does, and waits for its end.
struct TCut {
  TFFEncoder Encoder;
  std::vector<std::string> Log;
  TCutJob Job{Encoder, [this](bool, const std::string& t) { Log.push_back(t); }, ""};
  std::atomic<bool> Ended{false};
  bool Finished = false;

  // during: run once on the worker while the cut is under way.
  explicit TCut(const TCutJob::TRequest& r, const std::function<void(TOutputOptions&)>& tweak = nullptr,
                std::function<void()> during = nullptr) {
    SetMainThread();
    const TFadeShaper shaper(r.SegStartTime(), r.SegEndTime());
    Encoder.OnAudioHook = [this, shaper, tweak, during](TCustomEncoder*, int, int64_t pts, uint8_t* s, int size,
                                                        int rate, int ch, int f) mutable {
      if (during) std::exchange(during, nullptr)();
      if (tweak)
        shaper.Apply(pts, reinterpret_cast<int16_t*>(s), f == AV_SAMPLE_FMT_S16 ? size / 2 / ch : 0, rate, ch);
      else
        Job.AudioHook(pts, s, size, rate, ch, f);
    };
    Encoder.OnTerminate = [this](TCustomEncoder*, TTerminateInfo info) {
      CallInMainThread([&] {
        if (info.TaskIndex >= 0) Finished = Job.Terminated(info);
        else Ended = true;
      });
    };
    if (tweak) {
      // The same job with another output: set up by hand from the job's own settings.
      Encoder.ClearTasks();
      EXPECT_EQ(Encoder.AddTask(r.Source, nullptr), 0);
      TOutputOptions o = CutOutputOptions(r.SegStartTime(), r.SegEndTime(), r.Volume, r.SourceBitRate, r.SourceTags);
      tweak(o);
      EXPECT_TRUE(Encoder.SetOutputFile(0, BuildOutputPath(r.Folder, r.Name), &o)) << Encoder.ErrorText();
      Encoder.StartTask(1);
    } else {
      std::string message;
      if (!Job.Start(r, message)) {
        ADD_FAILURE() << message;
        return;
      }
    }
    for (int i = 0; i < 1000 && !Ended; ++i) WaitForPendingMessages(10ms);
  }
};

TCutJob::TRequest Request(const TTempDir& dir, const std::string& name, int64_t start, int64_t end,
                          const std::string& source = TestData("tagged.mp3")) {
  TCutJob::TRequest r;
  r.Source = source;
  TFFDecoder reader;
  EXPECT_TRUE(reader.OpenMediaFile(r.Source, ""));
  reader.FillStreamInfo(r.SourceTags);
  r.SourceBitRate = r.SourceTags.BitRate;
  r.Folder = dir.Path();
  r.Name = name;
  r.SegStart = start;
  r.SegEnd = end;
  r.Volume = 100;
  r.StartLabel = "00:00:02";
  r.EndLabel = "00:00:09";
  return r;
}

double Rms(const TDecodedAudio& a, double from, double to) {
  const int64_t first = static_cast<int64_t>(from * a.SampleRate) * a.Channels;
  const int64_t last = std::min<int64_t>(static_cast<int64_t>(to * a.SampleRate) * a.Channels, a.Samples.size());
  double sum = 0;
  for (int64_t i = first; i < last; ++i) sum += static_cast<double>(a.Samples[i]) * a.Samples[i];
  return last > first ? std::sqrt(sum / static_cast<double>(last - first)) : 0;
}

}  // namespace

TEST_F(CutRun, CutHasItsLengthFadesTagsAndLog) {
  TTempDir dir;
  TCut cut(Request(dir, "clip", 1, 12));
  ASSERT_TRUE(cut.Ended);
  EXPECT_TRUE(cut.Finished);
  const std::string out = dir.File("clip.mp3");
  EXPECT_EQ(cut.Log, (std::vector<std::string>{"Begin Time:00:00:02", "End Time:00:00:09", "Output:" + out,
                                               "Volume:255", "Completed to cut mp3 file."}));
  TDecodedAudio a;
  ASSERT_TRUE(DecodeFile(out, a));
  EXPECT_NEAR(a.Frames(), 11 * 44100, 1152);
  // Rising over the first five seconds, falling over the last five, never silent between.
  const double middle = Rms(a, 5.0, 6.0);
  EXPECT_LT(Rms(a, 0.0, 0.5), middle * 0.2);
  EXPECT_LT(Rms(a, 0.5, 1.5), Rms(a, 2.0, 3.0));
  EXPECT_LT(Rms(a, 2.0, 3.0), Rms(a, 3.5, 4.5));
  EXPECT_GT(Rms(a, 1.0, 1.5), 0.0);
  EXPECT_LT(Rms(a, 10.5, 11.0), middle * 0.2);
  EXPECT_GT(Rms(a, 9.5, 10.0), Rms(a, 10.5, 11.0));

  TFFDecoder reader;
  ASSERT_TRUE(reader.OpenMediaFile(out, ""));
  TFileStreamInfo tags;
  reader.FillStreamInfo(tags);
  EXPECT_EQ(tags.Title, "Snip Test Tone");
  EXPECT_EQ(tags.Author, "Korvane Lab");
  EXPECT_EQ(tags.Album, "Fixtures");
  EXPECT_EQ(tags.Year, 2024);
  EXPECT_EQ(tags.Track, 3);
  std::ifstream file(out, std::ios::binary);
  char head[4] = {};
  file.read(head, 4);
  EXPECT_EQ(std::string(head, 4), std::string("ID3\x03", 4));
}

TEST_F(CutRun, MiddleIsBitForBitThePlainConversion) {
  TTempDir dir;
  const auto wav = [](TOutputOptions& o) {
    o.FileFormat = "wav";
    o.AudioCodec = "pcm_s16le";
    o.AudioBitrate = -1;
  };
  TCut faded(Request(dir, "faded.wav", 0, 12), wav);
  TCut plain(Request(dir, "plain.wav", 0, 12), [&](TOutputOptions& o) {
    wav(o);
    o.AudioHook = false;
  });
  TDecodedAudio f, p;
  // The job names every output .mp3; the content is what the format says.
  ASSERT_TRUE(DecodeFile(dir.File("faded.wav.mp3"), f));
  ASSERT_TRUE(DecodeFile(dir.File("plain.wav.mp3"), p));
  ASSERT_EQ(f.Samples.size(), p.Samples.size());
  const size_t from = 5 * 44100 * 2, to = 7 * 44100 * 2;  // between the two fades
  size_t differ = 0;
  for (size_t i = from; i < to; ++i) differ += f.Samples[i] != p.Samples[i];
  EXPECT_EQ(differ, 0u);
  // Within the fade-in almost every sample changed.
  size_t changed = 0;
  for (size_t i = 0; i < from; ++i) changed += f.Samples[i] != p.Samples[i];
  EXPECT_GT(changed, from * 9 / 10);
}

namespace {

// A 16-bit WAV file of the given channels and rate: channel c holds a sine of 200 (c + 1) Hz.
std::string WriteWav(const TTempDir& dir, int channels, int rate, int seconds) {
  const uint32_t frames = static_cast<uint32_t>(rate * seconds), bytes = frames * channels * 2;
  std::string data(bytes, '\0');
  auto* s = reinterpret_cast<int16_t*>(data.data());
  for (uint32_t i = 0; i < frames; ++i)
    for (int c = 0; c < channels; ++c)
      *s++ = static_cast<int16_t>(8000 * std::sin(2 * M_PI * 200 * (c + 1) * i / rate));
  const auto le = [](uint32_t v, int n) {
    std::string t;
    for (int i = 0; i < n; ++i) t += static_cast<char>((v >> (8 * i)) & 0xff);
    return t;
  };
  const std::string header = "RIFF" + le(36 + bytes, 4) + "WAVEfmt " + le(16, 4) + le(1, 2) + le(channels, 2) +
                             le(rate, 4) + le(rate * channels * 2, 4) + le(channels * 2, 2) + le(16, 2) + "data" +
                             le(bytes, 4);
  return dir.Write("surround.wav", header + data);
}

bool Logged(const TCut& cut, const std::string& text) {
  return std::find(cut.Log.begin(), cut.Log.end(), text) != cut.Log.end();
}

}  // namespace

TEST_F(CutRun, MoreThanStereoIsCutToStereoAtARateTheEncoderTakes) {
  TTempDir dir;
  TCut cut(Request(dir, "stereo", 0, 3, WriteWav(dir, 6, 96000, 3)));
  ASSERT_TRUE(cut.Ended);
  EXPECT_TRUE(cut.Finished) << ::testing::PrintToString(cut.Log);
  TDecodedAudio a;
  ASSERT_TRUE(DecodeFile(dir.File("stereo.mp3"), a));
  EXPECT_EQ(a.Channels, 2);
  EXPECT_EQ(a.SampleRate, 48000);
  EXPECT_NEAR(a.Seconds(), 3.0, 0.05);
  EXPECT_GT(Rms(a, 1.0, 2.0), 1000.0);
}

TEST_F(CutRun, ASegmentWithoutAudioIsAFailureAndLeavesNoFile) {
  TTempDir dir;
  // The file's header claims twelve seconds; the audio ends after about one.
  TCut cut(Request(dir, "nothing", 5, 10, TestData("truncated.mp3")));
  ASSERT_TRUE(cut.Ended);
  EXPECT_FALSE(cut.Finished);
  EXPECT_FALSE(Logged(cut, "Completed to cut mp3 file."));
  EXPECT_TRUE(Logged(cut, "Failed to cut file."));
  EXPECT_TRUE(std::filesystem::is_empty(dir.Path()));
}

TEST_F(CutRun, ACutOntoItsOwnSourceIsRefusedAndTheSourceKept) {
  TTempDir dir;
  const std::string source = dir.File("s.mp3");
  std::filesystem::copy_file(TestData("tagged.mp3"), source);
  TCutJob::TRequest r = Request(dir, "s.mp3", 2, 9, source);
  r.Replace = true;  // the user agreed to replace the file there
  TCut cut(r);
  ASSERT_TRUE(cut.Ended);
  EXPECT_FALSE(cut.Finished);
  EXPECT_TRUE(Logged(cut, "Output file #0 (" + source +
                              ") is the same file as input file #0: an output may not overwrite its input"));
  EXPECT_EQ(std::filesystem::file_size(source), std::filesystem::file_size(TestData("tagged.mp3")));
  TDecodedAudio a;
  ASSERT_TRUE(DecodeFile(source, a));
  EXPECT_NEAR(a.Seconds(), 12.0, 0.03);
}

TEST_F(CutRun, AFileThatAppearsDuringACutIsKeptUnlessReplacingWasAllowed) {
  TTempDir dir;
  const std::string out = dir.File("precious.mp3");
  const auto appear = [&] { dir.Write("precious.mp3", "my precious data"); };
  const std::string refusal = out + ": " + TargetAppearedWords;
  for (const bool replace : {false, true}) {
    SCOPED_TRACE(replace);
    std::filesystem::remove(out);
    TCutJob::TRequest r = Request(dir, "precious", 1, 12);
    r.Replace = replace;
    TCut cut(r, nullptr, appear);
    ASSERT_TRUE(cut.Ended);
    EXPECT_EQ(cut.Finished, replace);
    EXPECT_EQ(Logged(cut, refusal), !replace) << ::testing::PrintToString(cut.Log);
    EXPECT_EQ(FileContent(out) == "my precious data", !replace);

    // The cut without re-encoding, as the window runs it.
    std::filesystem::remove(out);
    std::vector<std::string> log;
    TLosslessCutJob lossless([&](bool, const std::string& t) { log.push_back(t); });
    lossless.OnQueryStop = [&, once = true]() mutable {
      // Once the new file is being written beside its target.
      for (const auto& e : std::filesystem::directory_iterator(dir.Path()))
        if (once && e.path().extension() == ".part") once = false, appear();
      return false;
    };
    std::string message;
    EXPECT_EQ(lossless.Run(r, message), replace) << message;
    EXPECT_EQ(message.find(TargetAppearedWords) != std::string::npos, !replace) << message;
    EXPECT_EQ(FileContent(out) == "my precious data", !replace);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);  // nothing left beside it
  }
}

TEST_F(CutRun, TheCutsOutputIsALocalFileWhateverItsName) {
  TTempDir dir;
  TLocalPort port;
  ASSERT_NE(port.Port(), 0);
  const std::string url = "http://127.0.0.1:" + std::to_string(port.Port());
  TFFEncoder encoder;
  std::vector<std::string> log;
  TCutJob job(encoder, [&](bool, const std::string& t) { log.push_back(t); }, "");
  TCutJob::TRequest r = Request(dir, "x", 2, 9);
  r.Folder = url;
  std::string message;
  EXPECT_FALSE(job.Start(r, message));
  EXPECT_EQ(message, OutputRefusal(url, "x"));
  // Handed to the encoder as it is, the name is a path on this computer.
  encoder.ClearTasks();
  ASSERT_EQ(encoder.AddTask(r.Source, nullptr), 0);
  const TOutputOptions o = CutOutputOptions(2000000, 9000000, 70, 0, r.SourceTags);
  EXPECT_FALSE(encoder.SetOutputFile(0, url + "/x.mp3", &o));
  EXPECT_EQ(encoder.ErrorText(), url + "/x.mp3: No such file or directory");
  EXPECT_FALSE(port.Connected());
}

TEST_F(CutRun, SetUpFailuresKeepTheirTextAndGiveTheReasonAfterIt) {
  TTempDir dir;
  const std::string file = dir.Write("plain", "x");
  const struct {
    std::string Folder, Name, Reason;
  } cases[] = {{dir.File("a/b"), "x", dir.File("a/b/x.mp3") + ": No such file or directory"},
               {file, "x", file + "/x.mp3: Not a directory"},
               {dir.Path(), std::string(300, 'n'), dir.File(std::string(300, 'n') + ".mp3") + ": File name too long"}};
  for (const auto& c : cases) {
    TFFEncoder encoder;
    std::vector<std::string> log;
    TCutJob job(encoder, [&](bool, const std::string& t) { log.push_back(t); }, "");
    TCutJob::TRequest r = Request(dir, c.Name, 2, 9);
    r.Folder = c.Folder;
    std::string message;
    EXPECT_FALSE(job.Start(r, message));
    EXPECT_EQ(message, "Failed to convert audio.\n" + c.Reason);
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(log[log.size() - 2], "Failed to convert audio.");
    EXPECT_EQ(log.back(), c.Reason);
  }
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);
}

TEST_F(CutRun, ARefusedNameStartsNothing) {
  TTempDir dir;
  std::filesystem::create_directory(dir.File("in"));
  for (const std::string name : {"../escaped", "..", "line\nbreak"}) {
    TFFEncoder encoder;
    std::vector<std::string> log;
    TCutJob job(encoder, [&](bool, const std::string& t) { log.push_back(t); }, "");
    TCutJob::TRequest r = Request(dir, name, 2, 9);
    r.Folder = dir.File("in");
    std::string message;
    EXPECT_FALSE(job.Start(r, message));
    EXPECT_EQ(message, OutputNameRefusal(name));
    EXPECT_EQ(log, std::vector<std::string>{message});
    EXPECT_EQ(encoder.TaskCount(), 0);
  }
  EXPECT_EQ(std::distance(std::filesystem::recursive_directory_iterator(dir.Path()), {}), 1);
}

namespace {

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
  return out;
}

// Peak of the frames [from, to) of a decode in dB of full scale.
double PeakDb(const TDecodedAudio& a, int64_t from, int64_t to) {
  int peak = 0;
  for (int64_t i = std::max<int64_t>(from, 0) * a.Channels; i < std::min(to, a.Frames()) * a.Channels; ++i)
    peak = std::max(peak, std::abs(static_cast<int>(a.Samples[static_cast<size_t>(i)])));
  return 20 * std::log10((peak + 1e-3) / 32768.0);
}

}  // namespace

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
      TCutJob::TRequest r = Request(dir, "cut", start, end, source);
      r.Replace = true;  // each cut writes the one name
      TCut cut(r);
      ASSERT_TRUE(cut.Finished) << ::testing::PrintToString(cut.Log);
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
