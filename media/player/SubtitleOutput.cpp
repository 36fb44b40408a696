// Subtitles: the subtitle thread decodes them into a ring of four; the play thread blends
// the bitmap ones due into the picture it shows and expires those that have ended.
// Text subtitles also go, as they are decoded, to the text renderer, which draws those
// shown at the picture's time.
#include <algorithm>
#include <cmath>
#include <limits>

#include "FFPlay.h"
#include "PlayContext.h"
#include "TextSubtitles.h"
#include "YuvBlend.h"
#include "media/binding/FFLog.h"

namespace sw {

namespace {

// Without a stated end a subtitle stays until the next one.
constexpr double Forever = std::numeric_limits<double>::max();
// Milliseconds the text renderer shows such a subtitle: a day.
constexpr int64_t UntilTheEnd = 86400000;

// Palette entries are 0xAARRGGBB.
TYuva ToYuva(uint32_t argb) {
  return RgbToYuva((argb >> 16) & 0xFF, (argb >> 8) & 0xFF, argb & 0xFF, static_cast<int>(argb >> 24));
}

// One palette bitmap over a yuv420p picture, clipped to it; chroma takes the colour of
// the top-left pixel of each 2x2 block.
void BlendRect(const AVSubtitleRect& r, AVFrame& frame) {
  if (r.type != SUBTITLE_BITMAP || !r.data[0] || !r.data[1]) return;
  const uint32_t* palette = reinterpret_cast<const uint32_t*>(r.data[1]);
  TYuva colours[256];
  for (int i = 0; i < std::min(r.nb_colors, 256); ++i) colours[i] = ToYuva(palette[i]);
  const int x0 = std::max(0, r.x), y0 = std::max(0, r.y);
  const int x1 = std::min(frame.width, r.x + r.w), y1 = std::min(frame.height, r.y + r.h);
  for (int y = y0; y < y1; ++y) {
    const uint8_t* index = r.data[0] + static_cast<ptrdiff_t>(y - r.y) * r.linesize[0];
    uint8_t* luma = frame.data[0] + static_cast<ptrdiff_t>(y) * frame.linesize[0];
    uint8_t* u = frame.data[1] + static_cast<ptrdiff_t>(y / 2) * frame.linesize[1];
    uint8_t* v = frame.data[2] + static_cast<ptrdiff_t>(y / 2) * frame.linesize[2];
    for (int x = x0; x < x1; ++x) {
      const int i = index[x - r.x];
      if (i >= r.nb_colors) continue;
      const TYuva& c = colours[i];
      if (c.A == 0) continue;
      luma[x] = Mix(luma[x], c.Y, c.A);
      if (x % 2 == 0 && y % 2 == 0) {
        u[x / 2] = Mix(u[x / 2], c.U, c.A);
        v[x / 2] = Mix(v[x / 2], c.V, c.A);
      }
    }
  }
}

}  // namespace

void PlayContext::SubtitleThread() {
  AVCodecContext* c = FSubtitleCodec.get();
  unsigned serial;
  {
    std::lock_guard<std::mutex> g(FSubLock);
    serial = FSubSerial;
  }
  for (;;) {
    AVPacket* packet = nullptr;
    if (SubtitleQueue.Get(packet, true) < 0) break;
    if (IsFlushPacket(packet)) {
      ff::avcodec_flush_buffers(c);
      std::lock_guard<std::mutex> g(FSubLock);
      serial = FSubSerial;
      continue;
    }
    TSubPicture sub;
    int got = 0;
    const double packetPts = packet->pts != AV_NOPTS_VALUE ? static_cast<double>(packet->pts) * av_q2d(SubtitleStream->time_base) : 0;
    const double packetDuration = packet->duration > 0 ? static_cast<double>(packet->duration) * av_q2d(SubtitleStream->time_base) : 0;
    const int used = ff::avcodec_decode_subtitle2(c, &sub.Sub, &got, packet);
    ff::av_packet_free(&packet);
    if (used < 0 || !got) continue;
    const double base = sub.Sub.pts != AV_NOPTS_VALUE ? static_cast<double>(sub.Sub.pts) / AV_TIME_BASE : packetPts;
    sub.Start = base + sub.Sub.start_display_time / 1000.0;
    if (sub.Sub.end_display_time > sub.Sub.start_display_time && sub.Sub.end_display_time != UINT32_MAX)
      sub.End = base + sub.Sub.end_display_time / 1000.0;
    else
      sub.End = packetDuration > 0 ? packetPts + packetDuration : Forever;
    std::unique_lock<std::mutex> g(FSubLock);
    FSubChanged.wait(g, [&] { return FSubs.size() < SubtitleRingSize || FSubAbort || serial != FSubSerial; });
    if (FSubAbort || serial != FSubSerial) {
      ff::avsubtitle_free(&sub.Sub);
      if (FSubAbort) break;
      continue;
    }
    if (FTextSubs) {
      const int64_t start = std::llround(sub.Start * 1000);
      const int64_t duration = sub.End == Forever ? UntilTheEnd : std::llround((sub.End - sub.Start) * 1000);
      for (unsigned i = 0; i < sub.Sub.num_rects; ++i)
        if (sub.Sub.rects[i]->type == SUBTITLE_ASS) FTextSubs->AddEvent(sub.Sub.rects[i]->ass, start, duration);
    }
    FSubs.push_back(sub);
  }
}

void PlayContext::ClearSubtitles() {
  {
    std::lock_guard<std::mutex> g(FSubLock);
    for (TSubPicture& s : FSubs) ff::avsubtitle_free(&s.Sub);
    FSubs.clear();
    if (FTextSubs) FTextSubs->Flush();
    ++FSubSerial;
  }
  FSubChanged.notify_all();
}

void PlayContext::ExpireSubtitlesLocked(double pts) {
  bool expired = false;
  // Ended, or followed by one that has begun.
  while (!FSubs.empty() && (FSubs.front().End <= pts || (FSubs.size() > 1 && FSubs[1].Start <= pts))) {
    ff::avsubtitle_free(&FSubs.front().Sub);
    FSubs.pop_front();
    expired = true;
  }
  if (expired) FSubChanged.notify_all();
}

void PlayContext::ExpireSubtitles(double pts) {
  std::lock_guard<std::mutex> g(FSubLock);
  ExpireSubtitlesLocked(pts);
}

bool PlayContext::BlendSubtitles(double pts, AVFrame& frame) {
  std::unique_lock<std::mutex> g(FSubLock);
  ExpireSubtitlesLocked(pts);
  bool drawn = false;
  if (!FSubs.empty() && FSubs.front().Start <= pts) {
    const AVSubtitle& s = FSubs.front().Sub;
    bool bitmaps = false;
    for (unsigned i = 0; i < s.num_rects; ++i)
      if (s.rects[i]->type == SUBTITLE_BITMAP) bitmaps = true;
    if (bitmaps && ff::av_frame_make_writable(&frame) >= 0) {
      for (unsigned i = 0; i < s.num_rects; ++i) BlendRect(*s.rects[i], frame);
      drawn = true;
    }
  }
  // The renderer keeps the events itself: overlapping ones are shown together.
  if (FTextSubs && FTextSubs->Blend(std::llround(pts * 1000), frame)) drawn = true;
  return drawn;
}

}  // namespace sw
