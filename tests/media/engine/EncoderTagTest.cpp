// The MP3 files the engine writes: a gapless decode gives back exactly the samples of the
// segment for every length, and the encoder tag tells the encode's real settings to a
// tag reader that is not ours (mediainfo).
#include <gtest/gtest.h>

#include <cstdlib>

#include "../../RunProgram.h"
#include "../../TempDir.h"
#include "../encoder/LogCapture.h"
#include "../mp3/FrameCheck.h"
#include "../waveform/WaveFixtures.h"
#include "DecodeFile.h"
#include "EngineTask.h"

using namespace sw;
using EncoderTag = WithLibraries;

namespace {

struct TMp3Run {
  int64_t Length = 0;  // µs, from the input's start
  int Parts = 1;       // 0: as many as suit two workers
  int Rate = 44100, Channels = 2;
  int64_t BitRate = 128000;
  int VbrQuality = -1;  // VBR at this quality instead of the bit rate
};

// True when parts were encoded and joined.
bool Encode(const std::string& input, const std::string& output, const TMp3Run& r) {
  TLogCapture log;
  TCustomFFmpeg engine;
  AddInput(engine, input);
  // The input's first sample at time 0, as the job-control layer has it.
  const AVFormatContext* in = engine.InputFile(0);
  if (in->start_time != AV_NOPTS_VALUE) engine.InputTimestampOffset(0) = -in->start_time;
  AddOutput(engine, output, "libmp3lame", r.Rate, r.Channels, r.VbrQuality >= 0 ? 0 : r.BitRate);
  if (r.VbrQuality >= 0) {
    AVCodecContext* c = engine.OutputFile(0)->Streams[0].Codec.get();
    c->flags |= AV_CODEC_FLAG_QSCALE;
    c->global_quality = FF_QP2LAMBDA * r.VbrQuality;
  }
  TEngineSettings& s = engine.Settings();
  s.RecordingTime = r.Length;
  s.EncodeParts = r.Parts;
  s.EncodeWorkers = 2;
  s.PartsFrom = 1000000;
  engine.Transcode();
  engine.CleanUp();
  return log.LoggedLike("Encoded in 2 parts, joined at frames", "");
}

// Noise over a tone, so that every frame holds sound.
std::string NoiseWav(const TTempDir& dir, int rate, int seconds) {
  const std::string path = dir.File("noise" + std::to_string(rate) + ".wav");
  uint32_t seed = 3;
  WriteWav(path, rate, 2, static_cast<int64_t>(rate) * seconds, [&](int64_t i, double* ch) {
    seed = seed * 1664525u + 1013904223u;
    const double noise = static_cast<double>(seed >> 8) / (1u << 24) - 0.5;
    ch[0] = 0.5 * noise + Sine(0.2, 440, i, rate);
    ch[1] = Sine(0.3, 660, i, rate) - 0.3 * noise;
  });
  return path;
}

}  // namespace

// Lengths whose last frame needs 1 to 46 samples of padding made LAME flush one frame more
// than the muxer counted; around a frame boundary every length must come back exact,
// from one encoder and from joined parts. SNIPWAVE_LENGTH_SWEEP=1 tries 1,200 consecutive
// lengths at each rate instead of a sample.
TEST_F(EncoderTag, EveryLengthDecodesToExactlyTheSegmentsSamples) {
  TTempDir dir;
  const bool sweep = std::getenv("SNIPWAVE_LENGTH_SWEEP") != nullptr;
  std::vector<int64_t> extras;
  if (sweep)
    for (int64_t r = 0; r < 1200; ++r) extras.push_back(r);
  else
    extras = {0, 1, 2, 23, 45, 46, 47, 48, 600, 1151};
  int failures = 0;
  for (const int rate : {44100, 48000}) {
    const std::string input = NoiseWav(dir, rate, 3);
    const int64_t base = (rate / 1152 + 1) * 1152;  // a whole number of frames past 1 s
    for (const int64_t extra : extras)
      for (const int parts : {1, 2}) {
        const int64_t samples = base + extra;
        SCOPED_TRACE(testing::Message() << rate << " Hz, " << samples << " samples, " << parts << " parts");
        EXPECT_EQ(Encode(input, dir.File("out.mp3"), {ff::av_rescale(samples, 1000000, rate), parts, rate}), parts == 2);
        TDecodedAudio out;
        ASSERT_TRUE(DecodeFile(dir.File("out.mp3"), out));
        EXPECT_EQ(out.Frames(), samples);
        failures += out.Frames() != samples;
      }
  }
  if (sweep) std::printf("length sweep: %d of %zu lengths wrong\n", failures, extras.size() * 4);
}

// The tag of the files written holds the encode's mode, quality, lowpass, bit rate, delay
// and padding, and counts and CRCs that match the frames.
TEST_F(EncoderTag, TagReadersSeeTheEncodesSettings) {
  if (RunProgram("command -v mediainfo >/dev/null").Status != 0)
    FAIL() << "mediainfo is missing (scripts/install-deps.sh installs it)";
  TTempDir dir;
  struct TCase {
    const char* Input;
    TMp3Run Run;
    const char* Settings;  // as mediainfo shows them (LAME takes VBR below quality 5 at 0)
    int VbrMethod;
  };
  const std::string noise = NoiseWav(dir, 44100, 8);
  for (const TCase& c : {TCase{"tagged.mp3", {12000000, 1, 44100, 2, 320000}, "-m j -V 4 -q 3 -lowpass 20.5", 1},
                         TCase{"noise", {8000000, 2, 44100, 2, 128000}, "-m j -V 4 -q 3 -lowpass 17 -b 128", 1},
                         TCase{"notags-48k.mp3", {3000000, 1, 48000, 2, 96000}, "-m j -V 4 -q 3 -lowpass 15.1 -b 96", 1},
                         TCase{"mono-vbr.mp3", {4000000, 1, 22050, 1, 0, 6}, "-m m -V 6 -q 0 -lowpass 11 --vbr-new -b 8", 4}}) {
    SCOPED_TRACE(c.Input);
    const std::string input = std::string(c.Input) == "noise" ? noise : TestData(c.Input);
    const std::string out = dir.File("out.mp3");
    EXPECT_EQ(Encode(input, out, c.Run), c.Run.Parts == 2);
    const TProgramRun info = RunProgram("mediainfo '--Inform=Audio;%Encoded_Library_Settings%' '" + out + "'");
    EXPECT_NE(info.Output.find(c.Settings), std::string::npos) << info.Output;
    const TFrameCheck check = CheckFrames(out);
    EXPECT_TRUE(check.Problems.empty()) << check.Problems.front();
    const mp3::TEncoderTag& tag = check.Stream.Tag();
    EXPECT_EQ(std::string(tag.Lame.begin(), tag.Lame.begin() + 9), "LAME3.100");
    EXPECT_EQ(tag.Lame[9] & 0x0F, c.VbrMethod);
    EXPECT_EQ(tag.Xing, c.VbrMethod != 1);
    EXPECT_EQ(tag.Delay, 576);
    const int64_t samples = ff::av_rescale(c.Run.Length, c.Run.Rate, 1000000);
    EXPECT_EQ(static_cast<int64_t>(tag.Frames) * check.Stream.Header().SamplesPerFrame() - tag.Delay - tag.Padding,
              samples);
  }
}
