// DVB subtitles encoded again: the input is made by the libraries (a paletted bitmap
// shown by one display set and cleared by the next, as broadcasts carry them), the output
// is read back and decoded on its own.
#include <gtest/gtest.h>

#include <cstring>

#include "../../LoadedLibraries.h"
#include "../../TempDir.h"
#include "ReadSubtitles.h"
#include "RunConvert.h"
#include "media/common/UnicodeProtocol.h"

using namespace sw;

namespace {

constexpr AVRational Milliseconds{1, 1000};
constexpr uint32_t Red = 0xffff0000, Green = 0xff00ff00;

struct TShown {
  int64_t Start = 0;  // ms
  int64_t Clear = 0;  // ms; -1: no clearing display set follows
};

// Cues at 0.5-1.5 s, 2-3.25 s and from 4.1 s on (the last one never cleared): a 32x16
// bitmap, left half red, right half green.
const TShown Cues[] = {{500, 1500}, {2000, 3250}, {4100, -1}};

bool MakeDvbInput(const std::string& name) {
  const AVCodec* codec = ff::avcodec_find_encoder(AV_CODEC_ID_DVB_SUBTITLE);
  if (!codec) return false;
  TCodecContextPtr enc(ff::avcodec_alloc_context3(codec));
  enc->width = 720;
  enc->height = 576;
  enc->time_base = Milliseconds;
  if (ff::avcodec_open2(enc.get(), codec, nullptr) < 0) return false;
  AVFormatContext* out = nullptr;
  if (ff::avformat_alloc_output_context2(&out, nullptr, nullptr, name.c_str()) < 0) return false;
  TFormatContextPtr owner(out);
  AVStream* st = ff::avformat_new_stream(out, nullptr);
  if (!st || ff::avcodec_parameters_from_context(st->codecpar, enc.get()) < 0) return false;
  st->time_base = Milliseconds;
  if (ff::avio_open(&out->pb, name.c_str(), AVIO_FLAG_WRITE) < 0) return false;
  bool ok = ff::avformat_write_header(out, nullptr) >= 0;

  uint8_t pixels[32 * 16];
  for (int i = 0; i < 32 * 16; ++i) pixels[i] = i % 32 < 16 ? 1 : 2;
  uint32_t palette[4] = {0, Red, Green, 0};
  AVSubtitleRect rect{};
  rect.x = 100;
  rect.y = 400;
  rect.w = 32;
  rect.h = 16;
  rect.nb_colors = 4;
  rect.type = SUBTITLE_BITMAP;
  rect.data[0] = pixels;
  rect.linesize[0] = 32;
  rect.data[1] = reinterpret_cast<uint8_t*>(palette);
  AVSubtitleRect* rects[] = {&rect};
  std::vector<uint8_t> buffer(1 << 16);
  const auto write = [&](int64_t at, unsigned count) {
    AVSubtitle sub{};
    sub.num_rects = count;
    sub.rects = rects;
    sub.end_display_time = 30000;
    const int size = ff::avcodec_encode_subtitle(enc.get(), buffer.data(), static_cast<int>(buffer.size()), &sub);
    TPacketPtr packet(ff::av_packet_alloc());
    ok = ok && size > 0 && ff::av_new_packet(packet.get(), size) >= 0;
    if (!ok) return;
    std::memcpy(packet->data, buffer.data(), static_cast<size_t>(size));
    packet->pts = packet->dts = ff::av_rescale_q(at, Milliseconds, st->time_base);
    packet->flags = AV_PKT_FLAG_KEY;
    ok = ff::av_interleaved_write_frame(out, packet.get()) >= 0;
  };
  for (const TShown& cue : Cues) {
    write(cue.Start, 1);
    if (cue.Clear >= 0) write(cue.Clear, 0);
  }
  ok = ff::av_write_trailer(out) >= 0 && ok;
  ff::avio_closep(&out->pb);
  return ok;
}

struct TDisplaySet {
  int64_t Time = 0;  // ms
  unsigned Rects = 0;
  int X = 0, Y = 0, Width = 0, Height = 0;
  uint32_t Left = 0, Right = 0;  // colours of the first row's first and last pixel
};

std::vector<TDisplaySet> ReadDisplaySets(const std::string& name, AVCodecID& codec) {
  std::vector<TDisplaySet> sets;
  ForEachSubtitle(name, codec, [&](const AVPacket& packet, const AVStream& st, const AVSubtitle& sub) {
    TDisplaySet& set = sets.emplace_back();
    set.Time = ff::av_rescale_q(packet.pts, st.time_base, Milliseconds);
    set.Rects = sub.num_rects;
    if (sub.num_rects > 0 && sub.rects[0]->type == SUBTITLE_BITMAP) {
      const AVSubtitleRect* r = sub.rects[0];
      set.X = r->x;
      set.Y = r->y;
      set.Width = r->w;
      set.Height = r->h;
      const uint32_t* colours = reinterpret_cast<const uint32_t*>(r->data[1]);
      set.Left = colours[r->data[0][0]];
      set.Right = colours[r->data[0][r->w - 1]];
    }
  });
  return sets;
}

// Colours come back through the stream's luma/chroma table: near, not equal.
void ExpectColour(uint32_t actual, uint32_t expected) {
  for (int shift = 0; shift < 32; shift += 8)
    EXPECT_NEAR(static_cast<int>((actual >> shift) & 0xff), static_cast<int>((expected >> shift) & 0xff), 12)
        << std::hex << actual << " " << expected;
}

class DvbSubtitles : public WithLibraries {
 protected:
  TTempDir Dir;
};

}  // namespace

TEST_F(DvbSubtitles, EachCueIsAPictureAndItsClearingAtTheirTimes) {
  const std::string input = Dir.File("in.mkv");
  ASSERT_TRUE(MakeDvbInput(input));
  AVCodecID codec = AV_CODEC_ID_NONE;
  ASSERT_EQ(ReadDisplaySets(input, codec).size(), 5u);  // the input as made

  for (const char* name : {"out.mkv", "out.ts"}) {
    SCOPED_TRACE(name);
    ASSERT_EQ(RunConvert(input, nullptr, Dir.File(name), {}, {"scodec=dvbsub"}), "");
    const std::vector<TDisplaySet> sets = ReadDisplaySets(Dir.File(name), codec);
    EXPECT_EQ(codec, AV_CODEC_ID_DVB_SUBTITLE);
    // Two per cue: the picture, then a set without regions that clears it, at the
    // clearing display set of the input, else at the end of the page's time-out (30 s).
    const int64_t times[] = {500, 1500, 2000, 3250, 4100, 4100 + 30000};
    ASSERT_EQ(sets.size(), 6u);
    for (size_t i = 0; i < 6; ++i) {
      SCOPED_TRACE(i);
      EXPECT_NEAR(sets[i].Time, times[i], 1);
      if (i % 2) {
        EXPECT_EQ(sets[i].Rects, 0u);
        continue;
      }
      ASSERT_EQ(sets[i].Rects, 1u);
      EXPECT_EQ(sets[i].X, 100);
      EXPECT_EQ(sets[i].Y, 400);
      EXPECT_EQ(sets[i].Width, 32);
      EXPECT_EQ(sets[i].Height, 16);
      ExpectColour(sets[i].Left, Red);
      ExpectColour(sets[i].Right, Green);
    }
  }
}
