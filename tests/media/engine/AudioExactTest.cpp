// Sample counts through the audio path: cuts, resampling, joins of a copy and an encode,
// limits, and the outputs that share one input.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>

#include "../../TempDir.h"
#include "DecodeFile.h"
#include "EngineTask.h"
#include "RemuxFile.h"

using namespace sw;
using AudioExact = WithLibraries;

namespace {

constexpr int64_t Second = 1000000;

// The input the way the job-control layer opens it: its first sample at time 0.
void AddInputAtZero(TCustomFFmpeg& engine, const std::string& name) {
  AddInput(engine, name);
  const AVFormatContext* in = engine.InputFile(engine.InputFileCount() - 1);
  if (in->start_time != AV_NOPTS_VALUE) engine.InputTimestampOffset(engine.InputFileCount() - 1) = -in->start_time;
}

TDecodedAudio Convert(const std::string& input, const std::string& output, const char* codec, const char* format,
                      int rate, int channels, int64_t start, int64_t length) {
  TCustomFFmpeg engine;
  AddInputAtZero(engine, input);
  AddOutput(engine, output, codec, rate, channels, 128000, format);
  engine.Settings().StartTime = start;
  engine.Settings().RecordingTime = length;
  engine.Transcode();
  engine.CleanUp();
  TDecodedAudio out;
  EXPECT_TRUE(DecodeFile(output, out)) << output;
  return out;
}

}  // namespace

TEST_F(AudioExact, CutsAreExactToTheSampleInWavAndInMp3) {
  TTempDir dir;
  TDecodedAudio whole;
  ASSERT_TRUE(DecodeFile(TestData("vbr-noheader.mp3"), whole));
  struct TCase {
    const char* Input;
    int64_t Start, Length, Samples;
  };
  for (const TCase c : {TCase{"tagged.mp3", 3 * Second, 1 * Second, 44100},
                        TCase{"tagged.mp3", 2 * Second + 123456, 1 * Second, 44100},
                        TCase{"vbr-noheader.mp3", 5 * Second, 15 * Second, 661500}}) {
    SCOPED_TRACE(testing::Message() << c.Input << " from " << c.Start);
    const TDecodedAudio wav = Convert(TestData(c.Input), dir.File("cut.wav"), "pcm_s16le", "wav", 44100, 2, c.Start,
                                      c.Length);
    EXPECT_EQ(wav.Frames(), c.Samples);
    // The MP3 carries LAME's delay and padding in its header; a gapless decode honours them.
    const TDecodedAudio mp3 = Convert(TestData(c.Input), dir.File("cut.mp3"), "libmp3lame", "mp3", 44100, 2,
                                      c.Start, c.Length);
    EXPECT_EQ(mp3.Frames(), c.Samples);
    if (std::string(c.Input) == "vbr-noheader.mp3") {
      // The samples are the input's own from the start on, none shifted or repeated.
      const size_t first = static_cast<size_t>(ff::av_rescale(c.Start, 44100, Second)) * 2;
      ASSERT_GE(whole.Samples.size(), first + wav.Samples.size());
      EXPECT_TRUE(std::equal(wav.Samples.begin(), wav.Samples.end(), whole.Samples.begin() + first));
    }
  }
}

TEST_F(AudioExact, ResamplingLosesNoSamplesAtTheEnd) {
  TTempDir dir;
  // 12 s at 44.1 kHz, 4 s at 22.05 kHz mono; and a cut through the resampler.
  EXPECT_EQ(Convert(TestData("tagged.mp3"), dir.File("a.wav"), "pcm_s16le", "wav", 8000, 2, 0, NoLimit).Frames(),
            96000);
  EXPECT_EQ(Convert(TestData("mono-vbr.mp3"), dir.File("b.wav"), "pcm_s16le", "wav", 44100, 2, 0, NoLimit).Frames(),
            176400);
  EXPECT_EQ(Convert(TestData("tagged.mp3"), dir.File("c.wav"), "pcm_s16le", "wav", 8000, 1, 3 * Second, 2 * Second)
                .Frames(),
            16000);
}

TEST_F(AudioExact, RateChangeMidwayDrainsTheOldResampler) {
  TTempDir dir;
  // 12 s of 44.1 kHz stereo, then 4 s of 22.05 kHz mono, in one stream; the output runs
  // at 22.05 kHz so the first part is resampled and its resampler replaced midway.
  std::ofstream(dir.File("joined.mp3"), std::ios::binary)
      << std::ifstream(TestData("tagged.mp3"), std::ios::binary).rdbuf()
      << std::ifstream(TestData("mono-vbr.mp3"), std::ios::binary).rdbuf();
  TDecodedAudio first, second;
  ASSERT_TRUE(DecodeFile(TestData("tagged.mp3"), first));
  ASSERT_TRUE(DecodeFile(TestData("mono-vbr.mp3"), second));
  TCustomFFmpeg engine;
  AddInput(engine, dir.File("joined.mp3"));
  AddOutput(engine, dir.File("out.wav"), "pcm_s16le", 22050, 1, 0, "wav");
  int64_t firstPart = 0, secondPart = 0;
  engine.OnAudioHook = [&](TCustomFFmpeg*, uint8_t*, int64_t, int bytes, int rate, int channels, int) {
    (rate == 44100 ? firstPart : secondPart) += bytes / 2 / channels;
  };
  engine.Transcode();
  engine.CleanUp();
  TDecodedAudio out;
  ASSERT_TRUE(DecodeFile(dir.File("out.wav"), out));
  // Whatever the decoder gave of each part, at 22.05 kHz, to the sample (half a sample
  // when the first part is odd).
  EXPECT_LE(std::fabs(out.Frames() - (firstPart / 2.0 + secondPart)), 0.5);
}

TEST_F(AudioExact, CopiedOutputBesideADecodedOneGetsEveryPacket) {
  TTempDir dir;
  TCustomFFmpeg engine;
  AddInput(engine, TestData("notags-48k.mp3"));
  AddOutput(engine, dir.File("copy.mp3"), "copy", 0, 0, 0);
  AddOutput(engine, dir.File("decoded.wav"), "pcm_s16le", 48000, 2, 0, "wav");
  engine.Transcode();
  engine.CleanUp();
  EXPECT_EQ(Payloads(dir.File("copy.mp3")), Payloads(TestData("notags-48k.mp3")));
  TDecodedAudio wav;
  ASSERT_TRUE(DecodeFile(dir.File("decoded.wav"), wav));
  EXPECT_EQ(wav.Frames(), 144000);
}

TEST_F(AudioExact, FileSizeLimitAndProgressSizesCountTheWriteBuffer) {
  TTempDir dir;
  TCustomFFmpeg engine;
  AddInput(engine, TestData("tagged.mp3"));
  AddOutput(engine, dir.File("limited.wav"), "pcm_s16le", 44100, 2, 0, "wav");
  constexpr int64_t Limit = 300000;
  engine.Settings().FileSizeLimit = Limit;
  engine.Settings().ReportInterval = 0;
  int64_t worst = 0;
  engine.OnProgress = [&](TCustomFFmpeg*, int file, int, int, float, float, int64_t size, int64_t time, int64_t) {
    if (file < 0) return;
    // 16-bit stereo at 44.1 kHz after a 44-byte header, give or take one decoded frame.
    worst = std::max<int64_t>(worst, std::llabs(size - (44 + time * 176400 / Second)));
  };
  engine.Transcode();
  engine.CleanUp();
  const int64_t size = static_cast<int64_t>(std::filesystem::file_size(dir.File("limited.wav")));
  EXPECT_GE(size, Limit);
  EXPECT_LE(size, Limit + 1152 * 4 + 44);  // stops within one decoded frame of the limit
  EXPECT_LE(worst, 1152 * 4);
}

TEST_F(AudioExact, AudioFrameLimitCountsEncodedPackets) {
  TTempDir dir;
  TCustomFFmpeg engine;
  AddInput(engine, TestData("tagged.mp3"));
  AddOutput(engine, dir.File("short.mp3"), "libmp3lame", 44100, 2, 128000);
  engine.Settings().MaxFrames[AVMEDIA_TYPE_AUDIO] = 10;
  engine.Transcode();
  engine.CleanUp();
  TDecodedAudio out;
  ASSERT_TRUE(DecodeFile(dir.File("short.mp3"), out));
  // Ten packets, and what the drain of the decoder and the encoder still gives.
  EXPECT_GE(out.Frames(), 10 * 1152 - 2000);
  EXPECT_LE(out.Frames(), 14 * 1152);
}

TEST_F(AudioExact, HugeVolumeSaturatesInsteadOfWrapping) {
  TTempDir dir;
  TCustomFFmpeg engine;
  AddInput(engine, TestData("tagged.mp3"));
  AddOutput(engine, dir.File("loud.wav"), "pcm_s16le", 44100, 2, 0, "wav");
  engine.Settings().AudioVolume = 1 << 24;  // sample x volume leaves the 32-bit range
  engine.Transcode();
  engine.CleanUp();
  TDecodedAudio out, seen;
  ASSERT_TRUE(DecodeFile(dir.File("loud.wav"), out));
  ASSERT_TRUE(DecodeFile(TestData("tagged.mp3"), seen, true));
  ASSERT_EQ(out.Samples.size(), seen.Floats.size());
  size_t wrong = 0;
  for (size_t i = 0; i < seen.Floats.size(); ++i) {
    const double exact = seen.Floats[i] * 65536.0 * 32768.0;  // in 16-bit steps
    const int expected = static_cast<int>(std::clamp<double>(std::nearbyint(exact), -32768, 32767));
    wrong += out.Samples[i] != expected;
  }
  EXPECT_EQ(wrong, 0u);
}

// The encoders get the decoder's own floats: where the hook changed a 16-bit sample the
// float moves by that change, elsewhere it stays exact.
TEST_F(AudioExact, HookChangesReachTheEncoderOnTheDecodersFloats) {
  TTempDir dir;
  TCustomFFmpeg engine;
  AddInput(engine, TestData("tagged.mp3"));
  AddOutput(engine, dir.File("out.wav"), "pcm_f32le", 44100, 2, 0, "wav");
  std::vector<int16_t> handed, left;
  engine.OnAudioHook = [&](TCustomFFmpeg*, uint8_t* s, int64_t, int bytes, int, int, int format) {
    EXPECT_EQ(format, AV_SAMPLE_FMT_S16);
    auto* p = reinterpret_cast<int16_t*>(s);
    handed.insert(handed.end(), p, p + bytes / 2);
    for (int i = 0; i < bytes / 2; i += 3) p[i] = static_cast<int16_t>(p[i] / 2 - 7);
    left.insert(left.end(), p, p + bytes / 2);
  };
  engine.Transcode();
  engine.CleanUp();
  TDecodedAudio source, out;
  ASSERT_TRUE(DecodeFile(TestData("tagged.mp3"), source, true));
  ASSERT_TRUE(DecodeFile(dir.File("out.wav"), out, true));
  ASSERT_EQ(out.Floats.size(), source.Floats.size());
  ASSERT_EQ(handed.size(), source.Floats.size());
  size_t wrong = 0, unchanged = 0;
  for (size_t i = 0; i < out.Floats.size(); ++i) {
    const float f = source.Floats[i];
    // The hook saw each float rounded to 16 bits.
    wrong += handed[i] != std::clamp<long>(std::lrint(f * 32768.0), -32768, 32767);
    const float expected = handed[i] == left[i] ? f : f + static_cast<float>(left[i] - handed[i]) / 32768.0f;
    wrong += std::fabs(out.Floats[i] - expected) > 1e-7f;
    unchanged += handed[i] == left[i] && out.Floats[i] == f;
  }
  EXPECT_EQ(wrong, 0u);
  EXPECT_GT(unchanged, out.Floats.size() / 2);  // bit for bit, not merely near
}

TEST_F(AudioExact, ClearedTaskStartsAgain) {
  TTempDir dir;
  TCustomFFmpeg engine;
  int ends = 0;
  engine.OnTerminate = [&](TCustomFFmpeg*) { ++ends; };
  for (const char* name : {"first.wav", "second.wav"}) {
    AddInput(engine, TestData("mono-vbr.mp3"));
    AddOutput(engine, dir.File(name), "pcm_s16le", 22050, 1, 0, "wav");
    engine.Start(false, tpNormal);
    EXPECT_TRUE(engine.FinishedNormally()) << name;
    EXPECT_FALSE(engine.ErrorRaised()) << engine.ErrorMessage();
    EXPECT_TRUE(std::filesystem::exists(dir.File(name))) << name;
    engine.ClearTask();
  }
  EXPECT_EQ(ends, 2);
}

TEST_F(AudioExact, TimestampScaleBelongsToItsStreamOnly) {
  TTempDir dir;
  // A file with 21 copies of one MP3 stream; stream 20 has no scale slot of its own.
  ASSERT_TRUE(RemuxFile(TestData("tagged.mp3"), dir.File("many.mka"), 21, 1));
  TCustomFFmpeg engine;
  AddInput(engine, dir.File("many.mka"));
  AddOutput(engine, dir.File("last.mka"), "copy", 0, 0, 0, "matroska");
  engine.InputTimestampScale(0, 19) = 2.0;
  engine.Settings().StreamMaps = {TStreamMap{0, 20, 0, 20}};
  engine.Transcode();
  engine.CleanUp();
  AVFormatContext* out = nullptr;
  ASSERT_EQ(OpenInputFormat(&out, MediaUrl(dir.File("last.mka")), nullptr, nullptr), 0);
  ff::avformat_find_stream_info(out, nullptr);
  const double seconds = out->duration / 1e6;
  CloseInputFormat(&out);
  EXPECT_NEAR(seconds, 12.0, 0.1);
}
