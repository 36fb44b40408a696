#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../../LoadedLibraries.h"
#include "media/binding/FFLog.h"
#include "media/encoder/FFmpegTask.h"
#include "media/engine/AudioFitting.h"

using namespace sw;

namespace {

class AudioFitting : public WithLibraries {
 protected:
  void SetUp() override {
    WithLibraries::SetUp();
    Logger.SetTriggerEventInMainThread(false);
    Logger.SetLogLevel(llDebug);
    Logger.OnLog = [this](void*, uint32_t, TLogLevel level, const std::string& text) {
      if (level == llWarning) Warnings.push_back(text);
    };
    Lame = ff::avcodec_find_encoder_by_name("libmp3lame");
    ASSERT_NE(Lame, nullptr);
    Codec.reset(ff::avcodec_alloc_context3(Lame));
  }

  TFFLogger Logger;
  std::vector<std::string> Warnings;
  const AVCodec* Lame = nullptr;
  TCodecContextPtr Codec;
};

bool Listed(const AVCodec* c, AVSampleFormat f) {
  for (const AVSampleFormat* p = c->sample_fmts; *p != AV_SAMPLE_FMT_NONE; ++p)
    if (*p == f) return true;
  return false;
}

}  // namespace

TEST_F(AudioFitting, SampleFormatIsKeptWhenListedElseTheFirstListed) {
  ASSERT_NE(Lame->sample_fmts, nullptr);
  for (const AVSampleFormat* p = Lame->sample_fmts; *p != AV_SAMPLE_FMT_NONE; ++p) {
    Codec->sample_fmt = *p;
    ChooseSampleFormat(Codec.get(), Lame);
    EXPECT_EQ(Codec->sample_fmt, *p);
  }
  for (AVSampleFormat f : {AV_SAMPLE_FMT_NONE, AV_SAMPLE_FMT_U8, AV_SAMPLE_FMT_DBL}) {
    ASSERT_FALSE(Listed(Lame, f));
    Codec->sample_fmt = f;
    ChooseSampleFormat(Codec.get(), Lame);
    EXPECT_EQ(Codec->sample_fmt, Lame->sample_fmts[0]);
  }
  // Nothing listed, nothing to choose.
  Codec->sample_fmt = AV_SAMPLE_FMT_U8;
  ChooseSampleFormat(Codec.get(), nullptr);
  EXPECT_EQ(Codec->sample_fmt, AV_SAMPLE_FMT_U8);
}

TEST_F(AudioFitting, SampleRateIsTheNearestListedWithAWarningWhenNotExact) {
  ASSERT_NE(Lame->supported_samplerates, nullptr);
  TFFmpeg engine;
  for (const int* r = Lame->supported_samplerates; *r; ++r) {
    Codec->sample_rate = *r;
    ChooseSampleRate(Codec.get(), Lame, engine);
    EXPECT_EQ(Codec->sample_rate, *r);
  }
  EXPECT_TRUE(Warnings.empty());

  for (int requested : {44000, 47000, 96000, 1000, 23000}) {
    int nearest = 0;
    for (const int* r = Lame->supported_samplerates; *r; ++r)
      if (!nearest || std::abs(*r - requested) < std::abs(nearest - requested)) nearest = *r;
    Warnings.clear();
    Codec->sample_rate = requested;
    ChooseSampleRate(Codec.get(), Lame, engine);
    EXPECT_EQ(Codec->sample_rate, nearest) << requested;
    ASSERT_EQ(Warnings.size(), 1u);
    EXPECT_EQ(Warnings[0], "Requested sampling rate unsupported using closest supported (" + std::to_string(nearest) + ")");
  }
}

TEST_F(AudioFitting, SampleRateTieTakesTheFirstListed) {
  static const int rates[] = {32000, 48000, 0};
  AVCodec fake = *Lame;  // only the rate list matters
  fake.supported_samplerates = rates;
  TFFmpeg engine;
  Codec->sample_rate = 40000;
  ChooseSampleRate(Codec.get(), &fake, engine);
  EXPECT_EQ(Codec->sample_rate, 32000);
  static const int reversed[] = {48000, 32000, 0};
  fake.supported_samplerates = reversed;
  Codec->sample_rate = 40000;
  ChooseSampleRate(Codec.get(), &fake, engine);
  EXPECT_EQ(Codec->sample_rate, 48000);
}

TEST_F(AudioFitting, BufferSizesCoverTheConvertedSamplesAndRefuseWhatCannotFit) {
  // 1152 stereo 16-bit samples at 44.1 kHz for a 48 kHz stereo float encoder of 1152.
  const TAudioBufferSizes s = AudioBufferSizes(1152 * 4, 2, 2, 44100, 48000, 4, 2, 1152, 0);
  EXPECT_EQ(s.WorkSamples, (1152 * 48000 + 44100) / 44100 * 2 + 10000);
  EXPECT_EQ(s.WorkBytes, s.WorkSamples * 8);
  EXPECT_EQ(s.OutputBytes, s.WorkBytes + 16384);
  // A codec that stores more bits than its sample format holds needs more output room.
  EXPECT_EQ(AudioBufferSizes(1152 * 4, 2, 2, 44100, 44100, 1, 2, 1, 24).OutputBytes,
            AudioBufferSizes(1152 * 4, 2, 2, 44100, 44100, 1, 2, 1, 0).WorkBytes * 3 + 16384);
  const auto refusal = [](auto call) -> std::string {
    try {
      call();
    } catch (const FFmpegException& e) {
      return e.what();
    }
    return "";
  };
  EXPECT_EQ(refusal([] { AudioBufferSizes(int64_t{1} << 32, 2, 1, 8000, 192000, 8, 8, 1152, 0); }),
            "Buffer sizes too large in do_audio_out");
  // Sample codecs: bytes per sample of the codec, checked against the output room.
  EXPECT_EQ(SampleCodecBytes(4000, 4, 24, s.OutputBytes), 3000);
  EXPECT_EQ(SampleCodecBytes(4000, 2, 0, s.OutputBytes), 2000);
  EXPECT_EQ(refusal([&] { SampleCodecBytes(s.OutputBytes * 4, 2, 16, s.OutputBytes); }),
            "Internal error, buffer size too small");
}
