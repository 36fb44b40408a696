// Copied video and the picture rates of an input: the time base a copy is written with,
// and the notice about a codec whose rate differs from its container's. Inputs are made
// by the engine from the lavfi device and retimed packet by packet by the libraries.
#include <gtest/gtest.h>

#include <functional>

#include "../../LoadedLibraries.h"
#include "../../TempDir.h"
#include "../engine/RemuxFile.h"
#include "DecodeVideo.h"
#include "LogCapture.h"
#include "RunConvert.h"

using namespace sw;

namespace {

// 50 pictures at 25 per second.
const char* const Source = "testsrc=size=160x120:rate=25:duration=2,format=yuv420p";

struct TStreamTimes {
  AVRational TimeBase{0, 1};
  std::vector<int64_t> Times;  // times of the non-empty packets (AVI tells only decoding times), in TimeBase
};

// The first stream's time base and packet times, read without decoding.
TStreamTimes ReadTimes(const std::string& name) {
  TStreamTimes result;
  AVFormatContext* ctx = nullptr;
  if (OpenInputFormat(&ctx, MediaUrl(name), nullptr, nullptr) < 0) return result;
  std::unique_ptr<AVFormatContext*, void (*)(AVFormatContext**)> owner(&ctx, CloseInputFormat);
  result.TimeBase = ctx->streams[0]->time_base;
  TPacketPtr packet(ff::av_packet_alloc());
  while (ff::av_read_frame(ctx, packet.get()) >= 0) {
    if (packet->stream_index == 0 && packet->size > 0)
      result.Times.push_back(packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts);
    ff::av_packet_unref(packet.get());
  }
  return result;
}

// Writes the first stream of source into target (format from its name), the stream
// asking for time base tb and packet i stamped at(i) in it.
bool Retime(const std::string& source, const std::string& target, AVRational tb,
            const std::function<int64_t(int)>& at) {
  TRemux remux;
  if (!remux.Open(source, target, 1, tb)) return false;
  const AVRational outTb = remux.Out->streams[0]->time_base;
  bool ok = true;
  TPacketPtr packet(ff::av_packet_alloc());
  for (int i = 0; ok && ff::av_read_frame(remux.In, packet.get()) >= 0; ++i) {
    packet->pts = packet->dts = ff::av_rescale_q(at(i), tb, outTb);
    packet->duration = 0;
    packet->pos = -1;
    ok = ff::av_interleaved_write_frame(remux.Out.get(), packet.get()) >= 0;
    ff::av_packet_unref(packet.get());
  }
  return remux.Finish(ok);
}

class VideoCopy : public WithLibraries {
 protected:
  // Pictures of the lavfi source in the container that name tells.
  std::string Make(const std::string& name, const std::string& codec = "mpeg4") {
    const std::string file = Dir.File(name);
    const std::string error = RunConvert(Source, "lavfi", file, {}, {"vcodec=" + codec});
    EXPECT_EQ(error, "");
    return file;
  }
  std::string Copy(const std::string& input, const std::string& name) {
    const std::string file = Dir.File(name);
    const std::string error = RunConvert(input, nullptr, file, {}, {"vcodec=copy"});
    EXPECT_EQ(error, "");
    return file;
  }
  TTempDir Dir;
};

bool SameRational(AVRational a, AVRational b) { return av_cmp_q(a, b) == 0; }

// Every decoded picture at its place in µs.
void ExpectPictureTimes(const std::string& name, const std::vector<int64_t>& expected) {
  TDecodedVideo video;
  ASSERT_TRUE(DecodeVideo(name, video, nullptr, 0));
  EXPECT_EQ(video.Codec, AV_CODEC_ID_MPEG4);
  EXPECT_EQ(video.Times, expected);
}

std::vector<int64_t> EveryFortyMilliseconds() {
  std::vector<int64_t> times;
  for (int i = 0; i < 50; ++i) times.push_back(i * 40000);
  return times;
}

}  // namespace

TEST_F(VideoCopy, AFineContainerClockBecomesThePictureClock) {
  // MPEG-2 counts two ticks of its codec clock per picture: the picture, not the tick,
  // becomes the clock.
  for (const auto& [codec, id] : {std::pair{"mpeg4", AV_CODEC_ID_MPEG4}, std::pair{"mpeg2video", AV_CODEC_ID_MPEG2VIDEO}}) {
    SCOPED_TRACE(codec);
    const std::string mp4 = Make(std::string(codec) + ".mp4", codec);
    const TStreamTimes in = ReadTimes(mp4);
    ASSERT_TRUE(SameRational(in.TimeBase, AVRational{1, 12800}));  // the MP4 muxer's clock for 25 per second
    ASSERT_EQ(in.Times.size(), 50u);

    // AVI keeps the time base it is given: one tick per picture.
    const std::string avi = Copy(mp4, std::string(codec) + ".avi");
    const TStreamTimes out = ReadTimes(avi);
    EXPECT_TRUE(SameRational(out.TimeBase, AVRational{1, 25})) << out.TimeBase.num << "/" << out.TimeBase.den;
    ASSERT_EQ(out.Times.size(), 50u);
    for (int i = 0; i < 50; ++i) EXPECT_EQ(out.Times[i], i) << i;
    // MPEG-2 pictures held back by the decoder have no time of their own in a file with
    // decoding times only: their count is checked, the times above.
    if (id == AV_CODEC_ID_MPEG4) {
      ExpectPictureTimes(avi, EveryFortyMilliseconds());
    } else {
      TDecodedVideo video;
      ASSERT_TRUE(DecodeVideo(avi, video, nullptr, 0));
      EXPECT_EQ(video.Codec, id);
      EXPECT_EQ(video.Frames, 50);
    }
  }
}

TEST_F(VideoCopy, TheStreamsOwnClockStaysWhenItIsCoarseOrThePicturesAreIrregular) {
  // A millisecond clock is not fine enough to be replaced.
  const std::string mkv = Make("in.mkv");
  ASSERT_TRUE(SameRational(ReadTimes(mkv).TimeBase, AVRational{1, 1000}));
  const std::string fromMkv = Copy(mkv, "mkv.avi");
  EXPECT_TRUE(SameRational(ReadTimes(fromMkv).TimeBase, AVRational{1, 1000}));
  ExpectPictureTimes(fromMkv, EveryFortyMilliseconds());

  // Pictures off the codec's 25-per-second grid: on that grid every second one would
  // fall onto its neighbour. The fine clock is handed on (AVI coarsens it to a clock of
  // its own, still finer than the pictures) and every picture keeps its place.
  const AVRational fine{1, 12800};
  std::vector<int64_t> irregular;
  for (int i = 0; i < 50; ++i) irregular.push_back(i * 512 + (i % 2 ? 300 : 0));
  const std::string vfr = Dir.File("vfr.mp4");
  ASSERT_TRUE(Retime(Make("grid.mp4"), vfr, fine, [&](int i) { return irregular[i]; }));
  ASSERT_TRUE(SameRational(ReadTimes(vfr).TimeBase, fine));
  const TStreamTimes out = ReadTimes(Copy(vfr, "vfr.avi"));
  ASSERT_LT(av_cmp_q(out.TimeBase, AVRational{1, 25}), 0) << out.TimeBase.num << "/" << out.TimeBase.den;
  ASSERT_EQ(out.Times.size(), 50u);
  for (int i = 0; i < 50; ++i) EXPECT_EQ(out.Times[i], ff::av_rescale_q(irregular[i], fine, out.TimeBase)) << i;
}

TEST_F(VideoCopy, ACodecRateThatDiffersFromTheContainersIsNoticed) {
  const std::string notice = "Seems stream 0 codec frame rate differs from container frame rate: ";
  const auto open = [](const std::string& name) {
    TFFmpeg task;
    EXPECT_TRUE(task.OpenInputFile(name)) << task.ErrorText();
  };
  // Plain files made by the engine: codec and container agree (MPEG-2's codec clock
  // ticks twice per picture).
  const std::string mp4 = Make("in.mp4");
  const std::string mkv = Make("in.mkv");
  const std::string mpeg2 = Make("mpeg2.mp4", "mpeg2video");
  {
    TLogCapture log;
    open(mp4);
    open(mkv);
    open(mpeg2);
    EXPECT_LT(log.Find(notice), 0) << log.Line(log.Find(notice));
  }
  // The same pictures (the codec says 25 per second) stamped 10 per second by AVI.
  const std::string slow = Dir.File("slow.avi");
  ASSERT_TRUE(Retime(mp4, slow, AVRational{1, 10}, [](int i) { return i; }));
  TLogCapture log;
  open(slow);
  EXPECT_TRUE(log.Logged(llInfo, notice + "25.00 (25/1) -> 10.00 (10/1)")) << log.Line(log.Find("Seems"));
}
