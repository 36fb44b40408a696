// Copied streams and what a run does to the packets and pictures it passes on: bitstream
// filters (and a packet a filter fails on), the first key packet of a copy, pictures
// that change size while they are encoded, and the pixel format an encoder gets.
#include <gtest/gtest.h>

#include <functional>

#include "../../LoadedLibraries.h"
#include "../../TempDir.h"
#include "../engine/RemuxFile.h"
#include "DecodeVideo.h"
#include "LogCapture.h"
#include "RunConvert.h"
#include "media/encoder/VideoFitting.h"

using namespace sw;

namespace {

// Test pictures for the lavfi device (JPEG's full-range YUV for Motion JPEG).
std::string Pictures(int width, int height, double seconds, const char* format = "yuv420p") {
  return "testsrc=size=" + std::to_string(width) + "x" + std::to_string(height) +
         ":rate=25:duration=" + std::to_string(seconds) + ",format=" + format;
}

// Writes the first stream of each source, one after the other, into target (the format
// its name tells, the first source's stream parameters); change(i, packet) may rewrite
// packet i of the whole before it is written and answers false to leave it out.
bool Splice(const std::vector<std::string>& sources, const std::string& target,
            const std::function<bool(int, AVPacket&)>& change = nullptr) {
  TRemux remux;
  if (!remux.Open(sources.front(), target, 1, AVRational{1, 1000})) return false;
  const AVRational outTb = remux.Out->streams[0]->time_base;
  bool ok = true;
  int index = 0;
  int64_t offset = 0, end = 0;  // milliseconds (the target's time base)
  TPacketPtr packet(ff::av_packet_alloc());
  for (size_t s = 0; ok && s < sources.size(); ++s) {
    AVFormatContext* in = nullptr;
    if (OpenInputFormat(&in, sources[s], nullptr, nullptr) < 0) return false;
    const AVRational tb = in->streams[0]->time_base;
    while (ok && ff::av_read_frame(in, packet.get()) >= 0) {
      if (packet->stream_index == 0 && (!change || change(index++, *packet))) {
        packet->stream_index = 0;
        packet->pts = ff::av_rescale_q(packet->pts, tb, outTb) + offset;
        packet->dts = ff::av_rescale_q(packet->dts, tb, outTb) + offset;
        packet->duration = ff::av_rescale_q(packet->duration, tb, outTb);
        packet->pos = -1;
        // The next file begins a picture (of 25 per second) after the last one.
        end = std::max(end, packet->pts + (packet->duration > 0 ? packet->duration : 40));
        ok = ff::av_interleaved_write_frame(remux.Out.get(), packet.get()) >= 0;
      }
      ff::av_packet_unref(packet.get());
    }
    CloseInputFormat(&in);
    offset = end;
  }
  return remux.Finish(ok);
}

bool KeyFlags(const std::string& name, std::vector<bool>& keys) {
  AVFormatContext* ctx = nullptr;
  if (OpenInputFormat(&ctx, name, nullptr, nullptr) < 0) return false;
  TPacketPtr packet(ff::av_packet_alloc());
  while (ff::av_read_frame(ctx, packet.get()) >= 0) {
    keys.push_back(packet->flags & AV_PKT_FLAG_KEY);
    ff::av_packet_unref(packet.get());
  }
  CloseInputFormat(&ctx);
  return true;
}

class StreamCopy : public WithLibraries {
 protected:
  std::string Make(const std::string& name, const std::string& pictures, const std::vector<std::string>& lines) {
    const std::string file = Dir.File(name);
    EXPECT_EQ(RunConvert(pictures, "lavfi", file, {}, lines), "");
    return file;
  }
  TTempDir Dir;
};

}  // namespace

// mjpeg2jpeg gives every Motion JPEG picture the tables of a plain JPEG file; on a packet
// that is no JPEG it fails, and that packet goes on as it came (or ends the run when
// errors are to end it).
TEST_F(StreamCopy, ABitstreamFilterRewritesEveryPacketAndOneItFailsOnIsWrittenAsItCame) {
  const std::string mjpeg = Make("mjpeg.mkv", Pictures(160, 120, 1, "yuvj420p"), {"vcodec=mjpeg"});
  const std::string junk(300, '\x5a');
  const std::string source = Dir.File("source.mkv");
  ASSERT_TRUE(Splice({mjpeg}, source, [&](int i, AVPacket& p) {
    if (i != 10) return true;
    ff::av_packet_unref(&p);
    ff::av_new_packet(&p, static_cast<int>(junk.size()));
    std::copy(junk.begin(), junk.end(), p.data);
    p.pts = p.dts = i * 40;  // in the source's milliseconds
    p.duration = 40;
    p.flags = AV_PKT_FLAG_KEY;
    return true;
  }));
  const std::vector<std::string> in = Payloads(source);
  ASSERT_EQ(in.size(), 25u);

  TLogCapture log;
  ASSERT_EQ(RunConvert(source, nullptr, Dir.File("copy.mkv"), {}, {"vcodec=copy", "vbsf=mjpeg2jpeg"}), "");
  const std::string failure = "mjpeg2jpeg failed for stream 0, codec copy: Invalid data found when processing input";
  EXPECT_EQ(log.Count(llError, failure), 1u);
  const std::vector<std::string> out = Payloads(Dir.File("copy.mkv"));
  ASSERT_EQ(out.size(), in.size());
  for (size_t i = 0; i < out.size(); ++i) {
    SCOPED_TRACE(i);
    if (i == 10) {
      EXPECT_EQ(out[i], junk);
      continue;
    }
    // The filter's tables go in before the picture's own data, which follows unchanged.
    EXPECT_GT(out[i].size(), in[i].size());
    EXPECT_EQ(out[i].compare(0, 2, "\xff\xd8"), 0);
    EXPECT_NE(out[i].find("\xff\xc4"), std::string::npos);
    EXPECT_EQ(out[i].substr(out[i].size() - 200), in[i].substr(in[i].size() - 200));
  }
  // The same run with errors ending it.
  EXPECT_EQ(RunConvert(source, nullptr, Dir.File("strict.mkv"), {}, {"xerror=1", "vcodec=copy", "vbsf=mjpeg2jpeg"}),
            failure);
}

// A copy starts at a key packet: pictures that depend on what came before are left out,
// unless asked for.
TEST_F(StreamCopy, ACopyBeginsAtAKeyPacketUnlessTheLeadingOthersAreAskedFor) {
  const std::string gop = Make("gop.mkv", Pictures(160, 120, 2), {"vcodec=mpeg4", "g=10"});
  const std::string late = Dir.File("late.mkv");
  ASSERT_TRUE(Splice({gop}, late, [](int i, AVPacket&) { return i >= 3; }));
  std::vector<bool> keys;
  ASSERT_TRUE(KeyFlags(late, keys));
  ASSERT_EQ(keys.size(), 47u);
  ASSERT_FALSE(keys[0]);
  ASSERT_TRUE(keys[7]);
  const std::vector<std::string> in = Payloads(late);

  ASSERT_EQ(RunConvert(late, nullptr, Dir.File("copy.mkv"), {}, {"vcodec=copy"}), "");
  EXPECT_EQ(Payloads(Dir.File("copy.mkv")), std::vector<std::string>(in.begin() + 7, in.end()));
  ASSERT_EQ(RunConvert(late, nullptr, Dir.File("all.mkv"), {}, {"copyinkf=1", "vcodec=copy"}), "");
  EXPECT_EQ(Payloads(Dir.File("all.mkv")), in);
}

// Motion JPEG pictures of 160x120 followed by ones of 320x240, encoded at the first size:
// the change is told once, and every picture comes out at the encoder's size.
TEST_F(StreamCopy, PicturesThatChangeSizeAreToldOnceAndScaledToTheEncodersSize) {
  const std::string small = Make("small.mkv", Pictures(160, 120, 1, "yuvj420p"), {"vcodec=mjpeg"});
  const std::string large = Make("large.mkv", Pictures(320, 240, 1, "yuvj420p"), {"vcodec=mjpeg"});
  const std::string both = Dir.File("both.mkv");
  ASSERT_TRUE(Splice({small, large}, both));
  TLogCapture log;
  ASSERT_EQ(RunConvert(both, nullptr, Dir.File("out.mkv"), {}, {"vcodec=mpeg4"}), "");
  EXPECT_EQ(log.Count(llQuiet, "Input Stream #0.0 frame size changed to 320x240, yuvj420p"), 1u);
  EXPECT_LT(log.Find("frame size changed to 160x120"), 0);
  TDecodedVideo out;
  ASSERT_TRUE(DecodeVideo(Dir.File("out.mkv"), out, nullptr, 50));
  EXPECT_EQ(out.Frames, 50);
  EXPECT_EQ(out.Width, 160);
  EXPECT_EQ(out.Height, 120);
  // The large pictures are the test pattern, not a stretched corner of it: its bars of
  // colour run across the whole width of the first large picture as of the small ones.
  TDecodedVideo small25, large25;
  ASSERT_TRUE(DecodeVideo(small, small25, nullptr, 1));
  for (int x = 4; x < 160; x += 16) EXPECT_NEAR(out.Y(25, x, 20), small25.Y(0, x, 20), 12) << x;
}

TEST(PixelFormatChoice, AnEncodersFirstFormatReplacesOneItDoesNotTake) {
  const AVPixelFormat jpegFormats[] = {AV_PIX_FMT_YUVJ420P, AV_PIX_FMT_YUVJ422P, AV_PIX_FMT_NONE};
  AVCodec mjpeg{};
  mjpeg.id = AV_CODEC_ID_MJPEG;
  mjpeg.pix_fmts = jpegFormats;
  AVCodec other = mjpeg;
  other.id = AV_CODEC_ID_MPEG4;
  AVCodec any{};
  const auto chosen = [](const AVCodec* encoder, AVPixelFormat format, int strict) {
    AVCodecContext c{};
    c.pix_fmt = format;
    c.strict_std_compliance = strict;
    ChoosePixelFormat(&c, encoder);
    return c.pix_fmt;
  };
  EXPECT_EQ(chosen(&mjpeg, AV_PIX_FMT_YUVJ422P, 0), AV_PIX_FMT_YUVJ422P);
  EXPECT_EQ(chosen(&mjpeg, AV_PIX_FMT_RGB24, 0), AV_PIX_FMT_YUVJ420P);
  EXPECT_EQ(chosen(&mjpeg, AV_PIX_FMT_YUV420P, 0), AV_PIX_FMT_YUVJ420P);
  // Motion JPEG takes plain 4:2:0 and 4:2:2 as they are when strictness is relaxed.
  EXPECT_EQ(chosen(&mjpeg, AV_PIX_FMT_YUV420P, -1), AV_PIX_FMT_YUV420P);
  EXPECT_EQ(chosen(&mjpeg, AV_PIX_FMT_YUV422P, -1), AV_PIX_FMT_YUV422P);
  EXPECT_EQ(chosen(&mjpeg, AV_PIX_FMT_YUV444P, -1), AV_PIX_FMT_YUVJ420P);
  EXPECT_EQ(chosen(&other, AV_PIX_FMT_YUV420P, -1), AV_PIX_FMT_YUVJ420P);
  // An encoder that lists nothing takes what it is given; nothing given is 4:2:0.
  EXPECT_EQ(chosen(&any, AV_PIX_FMT_RGB24, 0), AV_PIX_FMT_RGB24);
  EXPECT_EQ(chosen(&any, AV_PIX_FMT_NONE, 0), AV_PIX_FMT_YUV420P);
}

// A picture format the encoder does not take reaches it converted.
TEST_F(StreamCopy, AnEncoderGetsAFormatItTakes) {
  const std::string rgb = "testsrc=size=160x120:rate=25:duration=1,format=rgb24";
  ASSERT_EQ(RunConvert(rgb, "lavfi", Dir.File("out.mkv"), {}, {"vcodec=mpeg4"}), "");
  AVFormatContext* ctx = nullptr;
  ASSERT_GE(OpenInputFormat(&ctx, Dir.File("out.mkv"), nullptr, nullptr), 0);
  ASSERT_GE(ff::avformat_find_stream_info(ctx, nullptr), 0);
  EXPECT_EQ(ctx->streams[0]->codecpar->format, AV_PIX_FMT_YUV420P);
  CloseInputFormat(&ctx);
}
