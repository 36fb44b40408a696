// Inputs sought to shortly before the start time: the output is the one a run from the
// beginning gives, sample for sample, and the material far before the start is not read.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <thread>

#include <sys/stat.h>

#include "../../LocalPort.h"
#include "../../TempDir.h"
#include "DecodeFile.h"
#include "EngineTask.h"
#include "media/common/FFUtils.h"
#include "media/engine/FrameSeekIndex.h"

using namespace sw;
using InputSeek = WithLibraries;

namespace {

constexpr int64_t Second = 1000000;

struct TCutResult {
  TDecodedAudio Decoded;
  std::string Bytes;
  int64_t FirstHookTime = NoTime;
  int64_t HookedBeforeStart = 0;  // sample frames the hook saw before the start time
};

std::string FileBytes(const std::string& name) {
  std::ifstream in(name, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A cut as the job layer makes it, with a fade-like hook that depends on the buffer times.
TCutResult Cut(const std::string& input, const std::string& output, const char* codec, const char* format,
               int64_t start, int64_t length, bool seek) {
  TCustomFFmpeg engine;
  AddInput(engine, input);
  const AVFormatContext* in = engine.InputFile(0);
  if (in->start_time != AV_NOPTS_VALUE) engine.InputTimestampOffset(0) = -in->start_time;
  const AVCodecParameters* par = in->streams[0]->codecpar;
  AddOutput(engine, output, codec, par->sample_rate, par->ch_layout.nb_channels, 96000, format);
  engine.Settings().StartTime = start;
  engine.Settings().RecordingTime = length;
  engine.Settings().SeekToStart = seek;
  TCutResult r;
  engine.OnAudioHook = [&](TCustomFFmpeg*, uint8_t* samples, int64_t time, int bytes, int rate, int channels, int) {
    if (r.FirstHookTime == NoTime) r.FirstHookTime = time;
    const int frames = bytes / 2 / channels;
    if (time < start) r.HookedBeforeStart += frames;
    auto* s = reinterpret_cast<int16_t*>(samples);
    for (int i = 0; i < frames; ++i) {
      // Loudness falls by a step each 100 ms from the start on: any shift of the times shows.
      const int64_t t = time + static_cast<int64_t>(i) * Second / rate - start;
      const int gain = 256 - static_cast<int>(std::clamp<int64_t>(t / (Second / 10), 0, 200));
      for (int c = 0; c < channels; ++c) s[i * channels + c] = static_cast<int16_t>(s[i * channels + c] * gain / 256);
    }
  };
  engine.Transcode();
  engine.CleanUp();
  EXPECT_TRUE(DecodeFile(output, r.Decoded)) << output;
  r.Bytes = FileBytes(output);
  return r;
}

}  // namespace

TEST_F(InputSeek, CutsLateInTheFileAreTheSameWithAndWithoutTheSeek) {
  TTempDir dir;
  struct TCase {
    const char* Input;
    int64_t Start, Length;
  };
  // CBR with an Info header, VBR without any header, MPEG-2 VBR with a Xing header whose
  // reservoir reaches four frames back, MPEG-2.5 with CRCs, and a 48 kHz file.
  for (const TCase c : {TCase{"tagged.mp3", 7 * Second + 250000, 3 * Second},
                        TCase{"vbr-noheader.mp3", 17 * Second + 1, 5 * Second},
                        TCase{"mono-vbr.mp3", 2 * Second + 600000, Second},
                        TCase{"lowrate-16k.mp3", 5 * Second + 3, 2 * Second},
                        TCase{"crc-8k.mp3", 2 * Second + 500000, NoLimit},
                        TCase{"notags-48k.mp3", 2 * Second + 100000, 800000}}) {
    SCOPED_TRACE(testing::Message() << c.Input << " from " << c.Start);
    TDecodedAudio whole;
    ASSERT_TRUE(DecodeFile(TestData(c.Input), whole));
    const TCutResult sought = Cut(TestData(c.Input), dir.File("a.wav"), "pcm_s16le", "wav", c.Start, c.Length, true);
    const TCutResult read = Cut(TestData(c.Input), dir.File("b.wav"), "pcm_s16le", "wav", c.Start, c.Length, false);
    ASSERT_GT(sought.Decoded.Frames(), 0);
    EXPECT_EQ(sought.Decoded.Samples, read.Decoded.Samples);
    // The seek skipped what lies before the pre-roll; the run from the beginning did not.
    EXPECT_GT(sought.FirstHookTime, 0);
    EXPECT_LE(read.FirstHookTime, 0);
    EXPECT_LE(sought.HookedBeforeStart, ff::av_rescale(3 * Second, whole.SampleRate, Second));
    // Both hold the input's own samples from the start on (an independent decode), but for
    // the hook's gain, which may step one sample apart from the one reckoned here.
    const int64_t first = ff::av_rescale(c.Start, whole.SampleRate, Second);
    ASSERT_GE(whole.Frames(), first + sought.Decoded.Frames());
    int64_t wrong = 0;
    const int ch = whole.Channels;
    for (int64_t i = 0; i < sought.Decoded.Frames(); ++i) {
      const int gain = 256 - static_cast<int>(std::min<int64_t>(i * Second / whole.SampleRate / (Second / 10), 200));
      for (int k = 0; k < ch; ++k) {
        const int in = whole.Samples[(first + i) * ch + k];
        wrong += std::abs(sought.Decoded.Samples[i * ch + k] - in * gain / 256) > std::abs(in) / 256 + 1;
      }
    }
    EXPECT_EQ(wrong, 0);
  }
}

TEST_F(InputSeek, EncodedCutIsByteForByteTheSame) {
  TTempDir dir;
  const TCutResult sought =
      Cut(TestData("vbr-noheader.mp3"), dir.File("a.mp3"), "libmp3lame", "mp3", 14 * Second + 321, 6 * Second, true);
  const TCutResult read =
      Cut(TestData("vbr-noheader.mp3"), dir.File("b.mp3"), "libmp3lame", "mp3", 14 * Second + 321, 6 * Second, false);
  EXPECT_EQ(sought.Decoded.Frames(), 6 * 44100);
  EXPECT_GT(sought.FirstHookTime, 10 * Second);
  EXPECT_TRUE(sought.Bytes == read.Bytes);
}

TEST_F(InputSeek, StartsWithinThePreRollAndStreamsAreReadFromTheBeginning) {
  TTempDir dir;
  // Too close to the beginning for a seek: everything is read, and nothing changes.
  const TCutResult early = Cut(TestData("tagged.mp3"), dir.File("a.wav"), "pcm_s16le", "wav", Second, Second, true);
  EXPECT_LE(early.FirstHookTime, 0);
  EXPECT_EQ(early.Decoded.Frames(), 44100);
  // A stream cannot seek: the cut reads it from the beginning and is still exact.
  TLocalPort port;
  ASSERT_NE(port.Port(), 0);
  port.Serve(FileBytes(TestData("tagged.mp3")));
  const std::string url = "tcp://127.0.0.1:" + std::to_string(port.Port());
  const TCutResult streamed = Cut(url, dir.File("b.wav"), "pcm_s16le", "wav", 8 * Second, Second, true);
  EXPECT_LE(streamed.FirstHookTime, 0);
  EXPECT_EQ(streamed.Decoded.Frames(), 44100);
}

TEST_F(InputSeek, FrameOffsetsTakeTheDemuxerStraightToTheFrame) {
  const auto open = [](const std::string& name) {
    AVFormatContext* raw = nullptr;
    EXPECT_EQ(OpenInputFormat(&raw, MediaUrl(name), nullptr, nullptr), 0) << name;
    EXPECT_GE(ff::avformat_find_stream_info(raw, nullptr), 0);
    return std::unique_ptr<AVFormatContext*, void (*)(AVFormatContext**)>(new AVFormatContext*(raw), [](AVFormatContext** c) {
      CloseInputFormat(c);
      delete c;
    });
  };
  // With a tag frame (not a packet) and without one; each file's offsets, from the scan.
  for (const char* name : {"tagged.mp3", "vbr-noheader.mp3"}) {
    SCOPED_TRACE(name);
    auto in = open(TestData(name));
    const auto offsets = ScanFrameOffsets(*in, -1);
    ASSERT_TRUE(offsets);
    ASSERT_TRUE(AddSeekPoint(*in, *offsets, 7 * Second + 5000));
    ASSERT_GE(ff::av_seek_frame(*in, -1, 7 * Second + 5000, AVSEEK_FLAG_BACKWARD), 0);
    TPacketPtr packet(ff::av_packet_alloc());
    ASSERT_GE(ff::av_read_frame(*in, packet.get()), 0);
    // The frame holding 7.005 s: its offset, and the time a read from the beginning gives it.
    const AVStream* st = (*in)->streams[packet->stream_index];
    const int64_t frame = 7005 * 44100 / 1000 / 1152;
    EXPECT_EQ(packet->pos, offsets->Offsets[frame]);
    EXPECT_TRUE(offsets->WholeFile);
    EXPECT_EQ(packet->pts, ff::av_rescale_q(frame * 1152, AVRational{1, 44100}, st->time_base));

    // Offsets that are not the demuxer's frames (one frame off) are refused.
    auto other = open(TestData(name));
    TFrameOffsets shifted = *offsets;
    shifted.Offsets.erase(shifted.Offsets.begin());
    EXPECT_FALSE(AddSeekPoint(*other, shifted, 7 * Second));
    EXPECT_FALSE(AddSeekPoint(*other, *offsets, 60 * Second));  // past the frames scanned
  }
  // Only MP3 inputs are scanned; a partial scan ends after the frame holding its end.
  EXPECT_FALSE(ScanFrameOffsets(*open(TestData("cover.png")), -1));
  const auto part = ScanFrameOffsets(*open(TestData("tagged.mp3")), 2 * Second);
  ASSERT_TRUE(part);
  EXPECT_EQ(part->Offsets.size(), static_cast<size_t>(2 * 44100 / 1152 + 2));
  EXPECT_FALSE(part->WholeFile);
}
