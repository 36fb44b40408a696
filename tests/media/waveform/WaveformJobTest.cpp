#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cstring>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>

#include "../../LoadedLibraries.h"
#include "../../TempDir.h"
#include "../engine/DecodeFile.h"
#include "WaveFixtures.h"
#include "media/info/FFDecode.h"
#include "media/mp3/EncoderTag.h"
#include "media/mp3/Mp3Source.h"
#include "media/waveform/EnvelopeCache.h"
#include "media/waveform/EnvelopeDecode.h"
#include "media/waveform/WaveformJob.h"

using namespace sw;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

TEnvelopeResult Decode(const std::string& file, TEnvelope& e, int columns = 300,
                       const std::function<void(const TEnvelope&)>& publish = {}) {
  std::atomic<bool> stop{false};
  TEnvelopeDecodeOptions options;
  options.Columns = columns;
  options.PublishInterval = 0ms;
  return DecodeEnvelope(file, options, stop, publish ? publish : [](const TEnvelope&) {}, e);
}

// What a job hands out, gathered from its worker thread.
struct TJobLog {
  std::mutex Lock;
  std::condition_variable Changed;
  std::vector<TEnvelope> Envelopes;
  int Dones = 0;
  bool Decoded = false;

  void Attach(TWaveformJob& job) {
    job.OnEnvelope = [this](const TEnvelope& e) {
      std::lock_guard<std::mutex> l(Lock);
      Envelopes.push_back(e);
      Changed.notify_all();
    };
    job.OnDone = [this](bool decoded) {
      std::lock_guard<std::mutex> l(Lock);
      ++Dones;
      Decoded = decoded;
      Changed.notify_all();
    };
  }
  bool WaitFor(const std::function<bool()>& what, std::chrono::milliseconds limit = 20s) {
    std::unique_lock<std::mutex> l(Lock);
    return Changed.wait_for(l, limit, what);
  }
  size_t Count() {
    std::lock_guard<std::mutex> l(Lock);
    return Envelopes.size();
  }
};

class Waveform : public WithLibraries {
 protected:
  TTempDir Dir;
};

}  // namespace

TEST_F(Waveform, ToneHasItsAmplitudeAndSilenceStaysFlat) {
  // Stereo, 3 s: a 0.5 tone in both channels, silence, then a 0.8 tone on the left only
  // (mixed down: 0.4).
  const int rate = 44100;
  const std::string wav = Dir.File("tone.wav");
  WriteWav(wav, rate, 2, 3 * rate, [&](int64_t i, double* c) {
    const int part = static_cast<int>(i / rate);
    c[0] = part == 0 ? Sine(0.5, 440, i, rate) : part == 2 ? Sine(0.8, 440, i, rate) : 0;
    c[1] = part == 0 ? Sine(0.5, 440, i, rate) : 0;
  });
  TEnvelope e;
  ASSERT_EQ(Decode(wav, e), erDone);
  ASSERT_TRUE(e.Complete());
  EXPECT_EQ(e.Duration, 3000000);
  EXPECT_EQ(e.DecodedDuration, 3000000);
  const double expected[] = {0.5, 0.0, 0.4};
  for (int column = 0; column < 300; ++column) {
    if (column % 100 == 0 || column % 100 == 99) continue;  // may hold both sides of a change
    const double amplitude = expected[column / 100];
    EXPECT_NEAR(e.Columns[column].Max, amplitude, amplitude * 0.01) << column;
    EXPECT_NEAR(e.Columns[column].Min, -amplitude, amplitude * 0.01) << column;
  }
}

TEST_F(Waveform, Mp3EnvelopeMatchesAnIndependentDecode) {
  for (const char* name : {"cover.mp3", "notags-48k.mp3"}) {
    TEnvelope e;
    ASSERT_EQ(Decode(TestData(name), e, 500), erDone) << name;
    TDecodedAudio audio;
    ASSERT_TRUE(DecodeFile(TestData(name), audio));
    std::vector<TPeak> peaks(500, TPeak{1, -1});
    for (int64_t i = 0; i < audio.Frames(); ++i) {
      double mix = 0;
      for (int c = 0; c < audio.Channels; ++c) mix += audio.Samples[i * audio.Channels + c] / 32768.0;
      mix /= audio.Channels;
      const int64_t column = std::min<int64_t>(499, i * 1000000 / audio.SampleRate * 500 / e.Duration);
      peaks[column].Min = std::min<float>(peaks[column].Min, mix);
      peaks[column].Max = std::max<float>(peaks[column].Max, mix);
    }
    EXPECT_NEAR(e.DecodedDuration / 1e6, audio.Seconds(), 1e-4) << name;
    int compared = 0;
    for (int c = 1; c < 499; ++c) {
      if (peaks[c].Min > peaks[c].Max) continue;  // no sample fell in this column
      EXPECT_NEAR(e.Columns[c].Max, peaks[c].Max, 2 / 32768.0) << name << " column " << c;
      EXPECT_NEAR(e.Columns[c].Min, peaks[c].Min, 2 / 32768.0) << name << " column " << c;
      ++compared;
    }
    EXPECT_GT(compared, 450) << name;
  }
}

TEST_F(Waveform, LengthAgreesWithTheReader) {
  // Includes a file whose header claims far more than it holds and one whose length the
  // library would only estimate.
  for (const char* name : {"tagged.mp3", "truncated.mp3", "vbr-noheader.mp3", "mono-vbr.mp3", "notags-48k.mp3"}) {
    TFFDecoder reader;
    ASSERT_TRUE(reader.OpenMediaFile(TestData(name), "")) << name;
    TFileStreamInfo info;
    reader.FillStreamInfo(info);
    TEnvelope e;
    ASSERT_EQ(Decode(TestData(name), e), erDone) << name;
    EXPECT_EQ(e.Duration, info.Duration) << name;
    // The reader counts whole frames; the decode leaves out the encoder delay and padding.
    EXPECT_LE(e.DecodedDuration, info.Duration) << name;
    EXPECT_NEAR(e.DecodedDuration / 1e6, info.Duration / 1e6, 0.08) << name;
  }
}

TEST_F(Waveform, FileThatCannotBeDecodedGivesNothing) {
  for (const std::string& file : {TestData("text.mp3"), TestData("empty.mp3"), Dir.File("missing.mp3")}) {
    TEnvelope e;
    int published = 0;
    EXPECT_EQ(Decode(file, e, 300, [&](const TEnvelope&) { ++published; }), erFailed) << file;
    EXPECT_TRUE(e.Columns.empty()) << file;
    EXPECT_EQ(published, 0) << file;

    TWaveformJob job;
    job.CacheFolder = Dir.File("cache");
    TJobLog log;
    log.Attach(job);
    job.Start(file);
    ASSERT_TRUE(log.WaitFor([&] { return log.Dones == 1; })) << file;
    EXPECT_FALSE(log.Decoded) << file;
    EXPECT_EQ(log.Count(), 0u) << file;
  }
}

TEST_F(Waveform, PartialEnvelopesFillInFromTheLeft) {
  const std::string file = Dir.File("long.mp3");
  WriteRepeatedMp3(TestData("tagged.mp3"), file, 2);
  std::vector<TEnvelope> partial;
  TEnvelope e;
  ASSERT_EQ(Decode(file, e, 1000, [&](const TEnvelope& p) { partial.push_back(p); }), erDone);
  ASSERT_GT(partial.size(), 5u);
  int filled = 0;
  for (const TEnvelope& p : partial) {
    EXPECT_GT(p.Filled, filled);
    filled = p.Filled;
    for (int c = 0; c < p.Filled; ++c) {
      ASSERT_EQ(p.Columns[c].Min, e.Columns[c].Min) << c;
      ASSERT_EQ(p.Columns[c].Max, e.Columns[c].Max) << c;
    }
    for (size_t c = p.Filled + 1; c < p.Columns.size(); ++c) ASSERT_EQ(p.Columns[c].Max, 0.0f) << c;
  }
  EXPECT_LT(partial.front().Filled, 100);
}

TEST_F(Waveform, CancelStopsAtOnceAndNothingArrivesAfter) {
  const std::string file = Dir.File("long.mp3");
  WriteRepeatedMp3(TestData("tagged.mp3"), file, 20);  // four minutes
  for (bool midway : {true, false}) {
    TWaveformJob job;
    job.CacheFolder.clear();
    job.Options.PublishInterval = 1ms;
    TJobLog log;
    log.Attach(job);
    job.Start(file);
    if (midway) {
      ASSERT_TRUE(log.WaitFor([&] { return !log.Envelopes.empty(); }));
    }
    const Clock::time_point asked = Clock::now();
    job.Cancel();
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - asked);
    EXPECT_LT(took.count(), 50) << (midway ? "midway" : "while opening");
    EXPECT_FALSE(job.Running());
    const size_t seen = log.Count();
    if (midway) {
      EXPECT_FALSE(log.Envelopes.back().Complete());
    }
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(log.Count(), seen);
    EXPECT_EQ(log.Dones, 0);
  }
}

TEST_F(Waveform, StartingAnotherFileCancelsTheFirst) {
  const std::string longFile = Dir.File("long.mp3");
  WriteRepeatedMp3(TestData("tagged.mp3"), longFile, 20);
  TWaveformJob job;
  job.CacheFolder.clear();
  TJobLog log;
  log.Attach(job);
  job.Start(longFile);
  job.Start(TestData("cover.mp3"));
  ASSERT_TRUE(log.WaitFor([&] { return log.Dones == 1; }));
  ASSERT_FALSE(log.Envelopes.empty());
  for (const TEnvelope& e : log.Envelopes) EXPECT_LT(e.Duration, 3000000);  // cover.mp3's only
  EXPECT_TRUE(log.Envelopes.back().Complete());
}

TEST_F(Waveform, CacheGivesTheSameEnvelopeUntilTheFileChanges) {
  setenv("XDG_CACHE_HOME", Dir.File("xdg").c_str(), 1);
  EXPECT_EQ(EnvelopeCacheFolder(), Dir.File("xdg") + "/snipwave/waveforms");
  const std::string file = Dir.File("song.mp3");
  std::filesystem::copy_file(TestData("tagged.mp3"), file);
  const auto run = [&](TEnvelope& out) {
    TWaveformJob job;  // the cache folder as the window gets it
    TJobLog log;
    log.Attach(job);
    job.Start(file);
    ASSERT_TRUE(log.WaitFor([&] { return log.Dones == 1; }));
    ASSERT_TRUE(log.Decoded);
    out = log.Envelopes.back();
  };
  TEnvelope first, again;
  run(first);
  TEnvelopeKey key;
  ASSERT_TRUE(EnvelopeKeyOf(file, first.Columns.size(), key));
  TEnvelope stored;
  ASSERT_TRUE(LoadEnvelope(EnvelopeCacheFolder(), key, stored));
  EXPECT_EQ(stored.Duration, first.Duration);
  EXPECT_EQ(0, std::memcmp(stored.Columns.data(), first.Columns.data(), first.Columns.size() * sizeof(TPeak)));

  // Same path, size and time but the audio gone: only a cache hit still shows the tone.
  struct stat st {};
  ASSERT_EQ(stat(file.c_str(), &st), 0);
  { std::ofstream(file, std::ios::binary) << std::string(static_cast<size_t>(st.st_size), '\0'); }
  const struct timespec times[2] = {st.st_atim, st.st_mtim};
  ASSERT_EQ(utimensat(AT_FDCWD, file.c_str(), times, 0), 0);
  run(again);
  EXPECT_EQ(0, std::memcmp(again.Columns.data(), first.Columns.data(), first.Columns.size() * sizeof(TPeak)));

  // A new modification time misses: the zeros cannot be decoded.
  const struct timespec later[2] = {st.st_atim, {st.st_mtim.tv_sec + 5, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, file.c_str(), later, 0), 0);
  ASSERT_TRUE(EnvelopeKeyOf(file, first.Columns.size(), key));
  EXPECT_FALSE(LoadEnvelope(EnvelopeCacheFolder(), key, stored));

  // Another file under the same name (another size) gives its own envelope.
  std::filesystem::copy_file(TestData("cover.mp3"), file, std::filesystem::copy_options::overwrite_existing);
  run(again);
  EXPECT_EQ(again.DecodedDuration, 2000000);
  unsetenv("XDG_CACHE_HOME");
}

TEST_F(Waveform, DamagedCacheEntryIsIgnored) {
  const std::string folder = Dir.File("cache");
  TEnvelope e;
  ASSERT_EQ(Decode(TestData("cover.mp3"), e), erDone);
  TEnvelopeKey key;
  ASSERT_TRUE(EnvelopeKeyOf(TestData("cover.mp3"), 300, key));
  ASSERT_TRUE(StoreEnvelope(folder, key, e));
  TEnvelope partial = e;
  partial.Filled = 10;
  EXPECT_FALSE(StoreEnvelope(folder, key, partial));  // only whole envelopes are kept
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    std::filesystem::resize_file(entry.path(), std::filesystem::file_size(entry.path()) - 4);
  }
  TEnvelope loaded;
  EXPECT_FALSE(LoadEnvelope(folder, key, loaded));
  key.Columns = 200;
  EXPECT_FALSE(LoadEnvelope(folder, key, loaded));
}

// A long MP3 decoded in two halves at once gives the envelope of one decode, to the bit.
TEST_F(Waveform, TwoHalvesGiveTheEnvelopeOfOneDecode) {
  struct TLong {
    const char* Name;
    int Times;
    bool Gapless;  // led by an encoder tag with the right counts, delay and padding
  };
  for (const TLong& f : {TLong{"tagged.mp3", 6, false}, TLong{"tagged.mp3", 6, true}, TLong{"vbr-noheader.mp3", 3, false},
                         TLong{"notags-48k.mp3", 22, false}}) {
    sw::mp3::TMp3Source source;
    ASSERT_TRUE(source.Open(TestData(f.Name))) << f.Name;
    const std::string all = FileContent(TestData(f.Name));
    const auto& frames = source.Frames();
    const std::string audio = all.substr(static_cast<size_t>(frames.front().Offset),
                                         static_cast<size_t>(frames.back().Offset + frames.back().Size - frames.front().Offset));
    const std::string file = Dir.File(std::string(f.Gapless ? "gapless-" : "long-") + f.Name);
    {
      std::ofstream out(file, std::ios::binary);
      if (f.Gapless) {
        ASSERT_TRUE(source.Tag().HasGapless);
        sw::mp3::TInfoFrameFields fields;
        fields.Frames = static_cast<uint32_t>(frames.size() * f.Times);
        fields.Bytes = static_cast<uint32_t>(audio.size() * f.Times + frames.front().Offset - source.TagFrameOffset());
        fields.Lame = source.Tag().Lame;
        fields.Delay = 1105;
        fields.Padding = 700;
        const auto tag = sw::mp3::BuildInfoFrame(source.Header(), static_cast<int>(frames.front().Offset - source.TagFrameOffset()), fields);
        ASSERT_FALSE(tag.empty());
        out.write(reinterpret_cast<const char*>(tag.data()), static_cast<std::streamsize>(tag.size()));
      }
      for (int i = 0; i < f.Times; ++i) out << audio;
    }
    TEnvelope whole;
    std::atomic<bool> stop{false};
    TEnvelopeDecodeOptions options;
    options.Columns = 4096;
    options.Split = false;
    ASSERT_EQ(DecodeEnvelope(file, options, stop, [](const TEnvelope&) {}, whole), erDone) << f.Name;
    ASSERT_GE(whole.Duration, 60000000) << f.Name;
    // The later half placed by the frame index, and by reading through the first half.
    for (const bool byIndex : {true, false}) {
      TEnvelope halves;
      options.Split = true;
      options.SeekByIndex = byIndex;
      std::vector<int> filled;
      ASSERT_EQ(DecodeEnvelope(file, options, stop, [&](const TEnvelope& e) { filled.push_back(e.Filled); }, halves),
                erDone)
          << f.Name;
      EXPECT_EQ(halves.Duration, whole.Duration) << f.Name;
      EXPECT_EQ(halves.DecodedDuration, whole.DecodedDuration) << f.Name << " by index " << byIndex;
      int differing = 0;
      for (size_t c = 0; c < whole.Columns.size(); ++c)
        differing += halves.Columns[c].Min != whole.Columns[c].Min || halves.Columns[c].Max != whole.Columns[c].Max;
      EXPECT_EQ(differing, 0) << f.Name << " by index " << byIndex;
      // The first half still fills in from the left while the second is decoded.
      ASSERT_FALSE(filled.empty());
      EXPECT_LE(filled.back(), 2048) << f.Name;
    }
  }
}
