#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>

#include "../../TempDir.h"
#include "DecodeFile.h"
#include "EngineTask.h"
#include "RemuxFile.h"

using namespace sw;
using Engine = WithLibraries;

namespace {

constexpr int64_t Second = 1000000;
constexpr int LameFrame = 1152;

struct THookView {
  std::vector<int64_t> Times;
  std::vector<int16_t> Samples;  // everything the hook saw, in order
  void Attach(TCustomFFmpeg& engine) {
    engine.OnAudioHook = [this](TCustomFFmpeg*, uint8_t* s, int64_t time, int bytes, int, int, int format) {
      EXPECT_EQ(format, AV_SAMPLE_FMT_S16);
      Times.push_back(time);
      const auto* p = reinterpret_cast<const int16_t*>(s);
      Samples.insert(Samples.end(), p, p + bytes / 2);
    };
  }
};

bool Exists(const std::string& name) { return std::filesystem::exists(name); }

}  // namespace

TEST_F(Engine, WholeFileKeepsLengthRateAndChannels) {
  struct TCase {
    const char* Input;
    int Rate, Channels;
  };
  for (const TCase c : {TCase{"tagged.mp3", 44100, 2}, TCase{"mono-vbr.mp3", 22050, 1}}) {
    TTempDir dir;
    TCustomFFmpeg engine;
    AddInput(engine, TestData(c.Input));
    AddOutput(engine, dir.File("out.mp3"), "libmp3lame", c.Rate, c.Channels, 64000);
    engine.Transcode();
    EXPECT_TRUE(engine.FinishedNormally());
    engine.CleanUp();
    TDecodedAudio in, out;
    ASSERT_TRUE(DecodeFile(TestData(c.Input), in));
    ASSERT_TRUE(DecodeFile(dir.File("out.mp3"), out)) << c.Input;
    EXPECT_EQ(out.SampleRate, c.Rate);
    EXPECT_EQ(out.Channels, c.Channels);
    // The Info header's delay and padding let the decoder give back the input's length.
    EXPECT_NEAR(out.Frames(), in.Frames(), LameFrame) << c.Input;
  }
}

TEST_F(Engine, StartAndRecordingTimeCutTheOutputButTheHookSeesEverythingBefore) {
  for (const bool seek : {false, true}) {
    SCOPED_TRACE(seek);
    TTempDir dir;
    TCustomFFmpeg engine;
    engine.Settings().SeekToStart = seek;
    AddInput(engine, TestData("tagged.mp3"));
    AddOutput(engine, dir.File("cut.mp3"), "libmp3lame", 44100, 2, 128000);
    engine.Settings().StartTime = 3 * Second;
    engine.Settings().RecordingTime = engine.Settings().TotalDuration = 4 * Second;
    engine.Settings().ReportInterval = 0;  // a report after every packet
    THookView hook;
    hook.Attach(engine);
    std::vector<int64_t> totals, times;
    engine.OnProgress = [&](TCustomFFmpeg*, int, int frame, int fps, float q, float, int64_t, int64_t time, int64_t total) {
      EXPECT_EQ(frame, -1);
      EXPECT_EQ(fps, -1);
      EXPECT_EQ(q, -1.0f);
      totals.push_back(total);
      times.push_back(time);
    };
    engine.Transcode();
    engine.CleanUp();

    ASSERT_FALSE(hook.Times.empty());
    if (seek)  // decoding starts shortly before the start, a whole second after the beginning
      EXPECT_GE(hook.Times.front(), Second - Second / 10);
    else  // decoding starts at the file's beginning
      EXPECT_LT(hook.Times.front(), Second / 10);
    EXPECT_TRUE(std::is_sorted(hook.Times.begin(), hook.Times.end()));
    EXPECT_LT(hook.Times.back(), 7 * Second);     // packets from S + D on are not decoded
    EXPECT_GT(hook.Times.back(), 7 * Second - Second / 10);

    TDecodedAudio out;
    ASSERT_TRUE(DecodeFile(dir.File("cut.mp3"), out));
    EXPECT_NEAR(out.Frames(), 4 * 44100, LameFrame);  // the decoder trims the encoder delay

    ASSERT_FALSE(totals.empty());
    EXPECT_TRUE(std::all_of(totals.begin(), totals.end(), [](int64_t t) { return t == 4 * Second; }));
    EXPECT_GE(*std::min_element(times.begin(), times.end()), 10000);  // never below 0.01 s
    EXPECT_NEAR(times.back() / 1e6, 4.0, 0.1);
  }
}

// The volume scales the decoder's own floats; a 16-bit output rounds them once.
TEST_F(Engine, VolumeScalesWithSaturationAndUnityIsExact) {
  TDecodedAudio source;
  ASSERT_TRUE(DecodeFile(TestData("tagged.mp3"), source, true));
  for (int volume : {256, 512, 1024, 64}) {
    TTempDir dir;
    TCustomFFmpeg engine;
    AddInput(engine, TestData("tagged.mp3"));
    // PCM keeps what reaches the encoder bit for bit.
    AddOutput(engine, dir.File("out.wav"), "pcm_s16le", 44100, 2, 0, "wav");
    engine.Settings().AudioVolume = volume;
    THookView hook;
    hook.Attach(engine);
    engine.Transcode();
    engine.CleanUp();
    TDecodedAudio out;
    ASSERT_TRUE(DecodeFile(dir.File("out.wav"), out));
    ASSERT_EQ(out.Samples.size(), hook.Samples.size()) << volume;
    ASSERT_EQ(out.Samples.size(), source.Floats.size());
    size_t saturated = 0, wrong = 0, unrounded = 0;
    for (size_t i = 0; i < out.Samples.size(); ++i) {
      const double exact = source.Floats[i] * 32768.0 * volume / 256;
      const int expected = static_cast<int>(std::clamp<double>(std::nearbyint(exact), -32768, 32767));
      wrong += out.Samples[i] != expected;
      // Scaling the hook's 16-bit samples would round twice.
      unrounded += expected != std::clamp((hook.Samples[i] * volume + 128) >> 8, -32768, 32767);
      saturated += expected == 32767 || expected == -32768;
    }
    EXPECT_EQ(wrong, 0u) << volume;
    if (volume == 1024) {
      EXPECT_GT(saturated, 0u);  // the fixture peaks above a quarter of full scale
    }
    if (volume == 512) {
      EXPECT_GT(unrounded, out.Samples.size() / 4);
    }
  }
}

TEST_F(Engine, StopEndsTheLoopAndKeepsNothing) {
  TTempDir dir;
  const std::string existing = dir.Write("stopped.mp3", "an earlier cut");
  TCustomFFmpeg engine;
  AddInput(engine, TestData("tagged.mp3"));
  AddOutput(engine, existing, "libmp3lame", 44100, 2, 128000);
  int buffers = 0;
  engine.OnAudioHook = [&](TCustomFFmpeg* sender, uint8_t*, int64_t, int, int, int, int) {
    if (++buffers == 100) sender->RequestStop();
  };
  engine.Transcode();
  EXPECT_FALSE(engine.FinishedNormally());
  EXPECT_LT(buffers, 200);  // the loop ended soon after the request
  engine.CleanUp();
  std::ifstream in(existing);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "an earlier cut");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);
}

TEST_F(Engine, OutputLeftEmptyIsAFailureAndNotKept) {
  TTempDir dir;
  {
    TCustomFFmpeg engine;
    AddInput(engine, TestData("tagged.mp3"));
    AddOutput(engine, dir.File("zero.mp3"), "libmp3lame", 44100, 2, 128000);
    engine.Settings().RecordingTime = 0;
    EXPECT_THROW(engine.Transcode(), FFmpegException);
    EXPECT_FALSE(engine.FinishedNormally());
    engine.CleanUp();
    EXPECT_FALSE(Exists(dir.File("zero.mp3")));
  }
  {
    TCustomFFmpeg engine;
    AddInput(engine, TestData("tagged.mp3"));
    AddOutput(engine, dir.File("early.mp3"), "libmp3lame", 44100, 2, 128000);
    engine.RequestStop();
    engine.Transcode();
    EXPECT_FALSE(engine.FinishedNormally());
  }  // the destructor cleans up too
  EXPECT_FALSE(Exists(dir.File("early.mp3")));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 0);
}

TEST_F(Engine, FatalSetUpErrorsRaiseTheirTextsAndLeaveNothingBehind) {
  TTempDir dir;
  const auto expectRaise = [&](TCustomFFmpeg& engine, const std::string& text) {
    try {
      engine.Transcode();
      ADD_FAILURE() << "no exception for " << text;
    } catch (const FFmpegException& e) {
      EXPECT_EQ(e.what(), text);
    }
    engine.CleanUp();
    EXPECT_EQ(engine.OutputFileCount(), 0);
    EXPECT_FALSE(Exists(dir.File("out.mp3")));
  };
  {
    TCustomFFmpeg engine;
    AddInput(engine, TestData("tagged.mp3"));
    AddOutput(engine, dir.File("out.mp3"), "libmp3lame", 44100, 2, 128000);
    auto file = std::make_shared<TOutputFile>();
    ASSERT_GE(ff::avformat_alloc_output_context2(&file->Context, nullptr, "mp3", nullptr), 0);
    engine.AddOutputFile(file);
    expectRaise(engine, "Output file #1 does not contain any stream");
  }
  {
    TCustomFFmpeg engine;
    AddInput(engine, TestData("cover.mp3"));  // stream 1 is the picture
    AddOutput(engine, dir.File("out.mp3"), "libmp3lame", 44100, 1, 64000);
    engine.Settings().StreamMaps.push_back({0, 1, 0, 1});
    expectRaise(engine, "Codec type mismatch for mapping #0.1 (Video) -> #0.0 (Audio)");
  }
  {
    TCustomFFmpeg engine;
    AddInput(engine, TestData("tagged.mp3"));
    AddOutput(engine, dir.File("out.mp3"), "libmp3lame", 44100, 2, 128000);
    TOutputStreamSetup& setup = engine.OutputFile(0)->Streams[0];
    setup.Encoder = nullptr;
    setup.Codec->codec_id = AV_CODEC_ID_NONE;
    expectRaise(engine, "Encoder (codec id 0) not found for output stream #0.0 (Audio)");
  }
}

TEST_F(Engine, CoverPictureStaysOutOfTheOutput) {
  TTempDir dir;
  TCustomFFmpeg engine;
  AddInput(engine, TestData("cover.mp3"));
  AddOutput(engine, dir.File("out.mp3"), "libmp3lame", 44100, 1, 64000);
  engine.Transcode();
  engine.CleanUp();
  TDecodedAudio out;
  ASSERT_TRUE(DecodeFile(dir.File("out.mp3"), out));
  EXPECT_EQ(out.StreamCount, 1);
  EXPECT_NEAR(out.Seconds(), 2.0, 0.03);
}

TEST_F(Engine, StreamCopyCopiesPacketsUnchangedAndRefusesVolumeOrHook) {
  TTempDir dir;
  {
    TCustomFFmpeg engine;
    AddInput(engine, TestData("notags-48k.mp3"));
    AddOutput(engine, dir.File("copy.mp3"), "copy", 0, 0, 0);
    engine.Transcode();
    engine.CleanUp();
    const auto in = Payloads(TestData("notags-48k.mp3")), out = Payloads(dir.File("copy.mp3"));
    ASSERT_FALSE(in.empty());
    EXPECT_EQ(out, in);
  }
  const auto refused = [&](auto configure, const std::string& text) {
    TCustomFFmpeg engine;
    AddInput(engine, TestData("notags-48k.mp3"));
    AddOutput(engine, dir.File("refused.mp3"), "copy", 0, 0, 0);
    configure(engine);
    EXPECT_THROW(
        try { engine.Transcode(); } catch (const FFmpegException& e) {
          EXPECT_EQ(e.what(), text);
          throw;
        },
        FFmpegException);
  };
  refused([](TCustomFFmpeg& e) { e.Settings().AudioVolume = 255; },
          "-acodec copy and -vol are incompatible (frames are not decoded)");
  refused([](TCustomFFmpeg& e) { e.OnAudioHook = [](TCustomFFmpeg*, uint8_t*, int64_t, int, int, int, int) {}; },
          "-acodec copy and AudioHook are incompatible (frames are not decoded)");
  EXPECT_FALSE(Exists(dir.File("refused.mp3")));
}

TEST_F(Engine, InputThatChangesRateAndChannelsMidwayKeepsItsLength) {
  TTempDir dir;
  // Two MP3 files joined byte for byte: 12 s of 44.1 kHz stereo, then 4 s of 22.05 kHz mono.
  std::ofstream(dir.File("joined.mp3"), std::ios::binary)
      << std::ifstream(TestData("tagged.mp3"), std::ios::binary).rdbuf()
      << std::ifstream(TestData("mono-vbr.mp3"), std::ios::binary).rdbuf();
  TCustomFFmpeg engine;
  AddInput(engine, dir.File("joined.mp3"));
  AddOutput(engine, dir.File("out.wav"), "pcm_s16le", 44100, 2, 0, "wav");
  std::set<std::pair<int, int>> formats;
  engine.OnAudioHook = [&](TCustomFFmpeg*, uint8_t*, int64_t, int, int rate, int channels, int) {
    formats.insert({rate, channels});
  };
  engine.Transcode();
  engine.CleanUp();
  EXPECT_TRUE(formats.count({44100, 2}));
  EXPECT_TRUE(formats.count({22050, 1}));
  TDecodedAudio out;
  ASSERT_TRUE(DecodeFile(dir.File("out.wav"), out));
  EXPECT_NEAR(out.Seconds(), 16.0, 0.2);
}
