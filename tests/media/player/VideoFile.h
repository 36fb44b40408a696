#pragma once
// Small Matroska files with pictures whose brightness tells their frame number, a sine
// tone, and a bitmap subtitle (a red box), written through the libraries; and files of
// test pictures from the lavfi device with SubRip subtitles.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "media/binding/AVDeviceStubs.h"
#include "media/common/FFHandles.h"
#include "media/common/UnicodeProtocol.h"

struct TVideoFileSpec {
  double Seconds = 3;
  int Fps = 25;
  int Width = 160, Height = 120;
  bool Video = true, Audio = true;
  double SubtitleStart = -1, SubtitleEnd = -1;  // seconds; none when negative
  int AudioBlock = 1024;                        // samples per sound packet
  // The tone of each channel (Hz) at a time (seconds); 440 Hz on both by default.
  std::function<std::pair<double, double>(double)> Tones;
  // The video stream is in a format the libraries cannot decode (its packets are noise).
  bool UndecodableVideo = false;
  // A second sound stream after the first: mono, a tone of this frequency, in packets of
  // this many samples; none when 0. The first sound stream may be marked the default one.
  int SecondAudioBlock = 0;
  double SecondTone = 1000;
  bool FirstAudioDefault = false;
};

// The red box of the subtitle.
constexpr int SubX = 16, SubY = 16, SubW = 64, SubH = 32;

// Frame n's luma; the gray it shows as 8-bit RGB, and back (the display converts with the
// limited-range matrix).
inline int FrameLuma(int n) { return 16 + 2 * n; }
inline int FrameFromGray(int gray) { return static_cast<int>(std::lround((gray * 219.0 / 255.0) / 2)); }

namespace video_file_detail {

// pts and duration in units of from; the muxer may have chosen another time base.
inline bool Write(AVFormatContext* out, AVPacket* p, int index, int64_t pts, int64_t duration, AVRational from) {
  const AVRational to = out->streams[index]->time_base;
  p->stream_index = index;
  p->pts = p->dts = ff::av_rescale_q(pts, from, to);
  p->duration = ff::av_rescale_q(duration, from, to);
  p->flags |= AV_PKT_FLAG_KEY;
  return ff::av_interleaved_write_frame(out, p) >= 0;
}

// The subtitle packet and the decoder's set-up data of a box in palette colour 1.
inline bool EncodeSubtitle(int width, int height, double seconds, std::vector<uint8_t>& packet,
                           std::vector<uint8_t>& extradata) {
  using namespace sw;
  const AVCodec* codec = ff::avcodec_find_encoder(AV_CODEC_ID_DVD_SUBTITLE);
  if (!codec) return false;
  TCodecContextPtr c(ff::avcodec_alloc_context3(codec));
  c->width = width;
  c->height = height;
  c->time_base = AVRational{1, 1000};
  if (ff::avcodec_open2(c.get(), codec, nullptr) < 0) return false;
  std::vector<uint8_t> indexes(static_cast<size_t>(SubW) * SubH, 1);
  uint32_t palette[4] = {0x00000000, 0xFFFF0000, 0xFF000000, 0xFFFFFFFF};
  AVSubtitleRect rect{};
  rect.x = SubX, rect.y = SubY, rect.w = SubW, rect.h = SubH;
  rect.nb_colors = 4;
  rect.type = SUBTITLE_BITMAP;
  rect.data[0] = indexes.data();
  rect.linesize[0] = SubW;
  rect.data[1] = reinterpret_cast<uint8_t*>(palette);
  rect.linesize[1] = 4 * 4;
  AVSubtitleRect* rects[1] = {&rect};
  AVSubtitle sub{};
  sub.format = 0;
  sub.start_display_time = 0;
  sub.end_display_time = static_cast<uint32_t>(std::lround(seconds * 1000));
  sub.num_rects = 1;
  sub.rects = rects;
  sub.pts = 0;
  packet.resize(1 << 16);
  const int size = ff::avcodec_encode_subtitle(c.get(), packet.data(), static_cast<int>(packet.size()), &sub);
  if (size <= 0) return false;
  packet.resize(static_cast<size_t>(size));
  extradata.assign(c->extradata, c->extradata + c->extradata_size);
  return true;
}

}  // namespace video_file_detail

inline bool WriteVideoFile(const std::string& name, const TVideoFileSpec& spec) {
  using namespace sw;
  using namespace video_file_detail;
  AVFormatContext* out = nullptr;
  if (ff::avformat_alloc_output_context2(&out, nullptr, "matroska", name.c_str()) < 0) return false;
  TFormatContextPtr owner(out);
  int video = -1, audio = -1, subtitle = -1;
  if (spec.Video) {
    AVStream* st = ff::avformat_new_stream(out, nullptr);
    st->codecpar->codec_type = AVMEDIA_TYPE_VIDEO;
    st->codecpar->codec_id = AV_CODEC_ID_RAWVIDEO;
    st->codecpar->format = AV_PIX_FMT_YUV420P;
    st->codecpar->width = spec.Width;
    st->codecpar->height = spec.Height;
    st->codecpar->codec_tag = MKTAG('I', '4', '2', '0');
    if (spec.UndecodableVideo) {
      // A codec tag the muxer would refuse at normal strictness: the file names a video
      // format that no decoder knows.
      st->codecpar->codec_id = AV_CODEC_ID_CINEPAK;
      st->codecpar->codec_tag = MKTAG('Z', 'Z', 'Z', 'Z');
      out->strict_std_compliance = FF_COMPLIANCE_UNOFFICIAL;
    }
    st->time_base = AVRational{1, spec.Fps};
    st->avg_frame_rate = st->r_frame_rate = AVRational{spec.Fps, 1};
    video = st->index;
  }
  if (spec.Audio) {
    AVStream* st = ff::avformat_new_stream(out, nullptr);
    st->codecpar->codec_type = AVMEDIA_TYPE_AUDIO;
    st->codecpar->codec_id = AV_CODEC_ID_PCM_S16LE;
    st->codecpar->sample_rate = 44100;
    ff::av_channel_layout_default(&st->codecpar->ch_layout, 2);
    st->codecpar->bits_per_coded_sample = 16;
    st->codecpar->block_align = 4;
    st->time_base = AVRational{1, 44100};
    if (spec.FirstAudioDefault) st->disposition = AV_DISPOSITION_DEFAULT;
    audio = st->index;
  }
  int second = -1;
  if (spec.SecondAudioBlock > 0) {
    AVStream* st = ff::avformat_new_stream(out, nullptr);
    st->codecpar->codec_type = AVMEDIA_TYPE_AUDIO;
    st->codecpar->codec_id = AV_CODEC_ID_PCM_S16LE;
    st->codecpar->sample_rate = 44100;
    ff::av_channel_layout_default(&st->codecpar->ch_layout, 1);
    st->codecpar->bits_per_coded_sample = 16;
    st->codecpar->block_align = 2;
    st->time_base = AVRational{1, 44100};
    second = st->index;
  }
  std::vector<uint8_t> subPacket, subExtra;
  if (spec.SubtitleStart >= 0) {
    if (!EncodeSubtitle(spec.Width, spec.Height, spec.SubtitleEnd - spec.SubtitleStart, subPacket, subExtra)) return false;
    AVStream* st = ff::avformat_new_stream(out, nullptr);
    st->codecpar->codec_type = AVMEDIA_TYPE_SUBTITLE;
    st->codecpar->codec_id = AV_CODEC_ID_DVD_SUBTITLE;
    st->codecpar->width = spec.Width;
    st->codecpar->height = spec.Height;
    if (!subExtra.empty()) {
      st->codecpar->extradata = static_cast<uint8_t*>(ff::av_mallocz(subExtra.size() + AV_INPUT_BUFFER_PADDING_SIZE));
      std::memcpy(st->codecpar->extradata, subExtra.data(), subExtra.size());
      st->codecpar->extradata_size = static_cast<int>(subExtra.size());
    }
    st->time_base = AVRational{1, 1000};
    subtitle = st->index;
  }
  if (ff::avio_open(&out->pb, name.c_str(), AVIO_FLAG_WRITE) < 0) return false;
  bool ok = ff::avformat_write_header(out, nullptr) >= 0;
  TPacketPtr p(ff::av_packet_alloc());
  const int frames = static_cast<int>(std::lround(spec.Seconds * spec.Fps));
  const int64_t samples = std::llround(spec.Seconds * 44100);
  const int Block = spec.AudioBlock;
  int64_t nextSample = 0, nextSecond = 0;
  bool subDone = subtitle < 0;
  // In time order: each picture, the sound up to its time, the subtitle when it begins.
  for (int n = 0; ok && n <= frames; ++n) {
    const double t = static_cast<double>(n) / spec.Fps;
    while (ok && audio >= 0 && nextSample < samples && nextSample < std::llround(t * 44100) + Block) {
      const int count = static_cast<int>(std::min<int64_t>(Block, samples - nextSample));
      ok = ff::av_new_packet(p.get(), count * 4) >= 0;
      if (!ok) break;
      int16_t* s = reinterpret_cast<int16_t*>(p->data);
      for (int i = 0; i < count; ++i) {
        const double at = static_cast<double>(nextSample + i) / 44100.0;
        const std::pair<double, double> f = spec.Tones ? spec.Tones(at) : std::make_pair(440.0, 440.0);
        s[2 * i] = static_cast<int16_t>(8000 * std::sin(2 * M_PI * f.first * at));
        s[2 * i + 1] = static_cast<int16_t>(8000 * std::sin(2 * M_PI * f.second * at));
      }
      ok = Write(out, p.get(), audio, nextSample, count, AVRational{1, 44100});
      nextSample += count;
    }
    while (ok && second >= 0 && nextSecond < samples && nextSecond < std::llround(t * 44100) + spec.SecondAudioBlock) {
      const int count = static_cast<int>(std::min<int64_t>(spec.SecondAudioBlock, samples - nextSecond));
      ok = ff::av_new_packet(p.get(), count * 2) >= 0;
      if (!ok) break;
      int16_t* s = reinterpret_cast<int16_t*>(p->data);
      for (int i = 0; i < count; ++i)
        s[i] = static_cast<int16_t>(8000 * std::sin(2 * M_PI * spec.SecondTone * static_cast<double>(nextSecond + i) / 44100.0));
      ok = Write(out, p.get(), second, nextSecond, count, AVRational{1, 44100});
      nextSecond += count;
    }
    if (ok && !subDone && t >= spec.SubtitleStart) {
      ok = ff::av_new_packet(p.get(), static_cast<int>(subPacket.size())) >= 0;
      if (ok) {
        std::memcpy(p->data, subPacket.data(), subPacket.size());
        ok = Write(out, p.get(), subtitle, std::llround(spec.SubtitleStart * 1000),
                   std::llround((spec.SubtitleEnd - spec.SubtitleStart) * 1000), AVRational{1, 1000});
      }
      subDone = true;
    }
    if (!ok || video < 0 || n == frames) continue;
    const int w = spec.Width, h = spec.Height;
    ok = ff::av_new_packet(p.get(), w * h * 3 / 2) >= 0;
    if (!ok) break;
    std::memset(p->data, FrameLuma(n), static_cast<size_t>(w) * h);
    std::memset(p->data + w * h, 128, static_cast<size_t>(w) * h / 2);
    ok = Write(out, p.get(), video, n, 1, AVRational{1, spec.Fps});
  }
  ok = ff::av_write_trailer(out) >= 0 && ok;
  ff::avio_closep(&out->pb);
  return ok;
}

// Test pictures from the lavfi device (testsrc: colour bars, a gradient and a counter,
// different in every picture) as raw yuv420p, with the subtitle file srt (SubRip or ASS,
// told by its content) as a subtitle stream when it is not empty.
inline bool WriteTestPictureFile(const std::string& name, const std::string& srt, double seconds, int width,
                                 int height) {
  using namespace sw;
  using namespace video_file_detail;
  ff::avdevice_register_all();
  const std::string graph = "testsrc=size=" + std::to_string(width) + "x" + std::to_string(height) +
                            ":rate=25:duration=" + std::to_string(seconds) + ",format=yuv420p";
  AVFormatContext* pictures = nullptr;
  if (OpenInputFormat(&pictures, graph, ff::av_find_input_format("lavfi"), nullptr) < 0) return false;
  std::unique_ptr<AVFormatContext*, void (*)(AVFormatContext**)> picturesOwner(&pictures, CloseInputFormat);
  if (ff::avformat_find_stream_info(pictures, nullptr) < 0) return false;
  AVFormatContext* text = nullptr;
  std::unique_ptr<AVFormatContext*, void (*)(AVFormatContext**)> textOwner(&text, CloseInputFormat);
  if (!srt.empty() && (OpenInputFormat(&text, MediaUrl(srt), nullptr, nullptr) < 0 ||
                       ff::avformat_find_stream_info(text, nullptr) < 0))
    return false;

  AVFormatContext* out = nullptr;
  if (ff::avformat_alloc_output_context2(&out, nullptr, "matroska", name.c_str()) < 0) return false;
  TFormatContextPtr owner(out);
  const AVStream* vin = pictures->streams[0];
  AVStream* video = ff::avformat_new_stream(out, nullptr);
  video->codecpar->codec_type = AVMEDIA_TYPE_VIDEO;
  video->codecpar->codec_id = AV_CODEC_ID_RAWVIDEO;
  video->codecpar->format = AV_PIX_FMT_YUV420P;
  video->codecpar->width = width;
  video->codecpar->height = height;
  video->codecpar->codec_tag = MKTAG('I', '4', '2', '0');
  video->time_base = AVRational{1, 25};
  AVStream* subtitle = nullptr;
  if (text) {
    subtitle = ff::avformat_new_stream(out, nullptr);
    if (ff::avcodec_parameters_copy(subtitle->codecpar, text->streams[0]->codecpar) < 0) return false;
    subtitle->codecpar->codec_tag = 0;
    subtitle->time_base = AVRational{1, 1000};
  }
  if (ff::avio_open(&out->pb, name.c_str(), AVIO_FLAG_WRITE) < 0) return false;
  bool ok = ff::avformat_write_header(out, nullptr) >= 0;
  // The cues, then the pictures with each cue written before the first picture after it.
  std::vector<TPacketPtr> cues;
  TPacketPtr p(ff::av_packet_alloc());
  while (ok && text && ff::av_read_frame(text, p.get()) >= 0) {
    cues.emplace_back(ff::av_packet_alloc());
    ok = cues.back() && ff::av_packet_ref(cues.back().get(), p.get()) >= 0;
    ff::av_packet_unref(p.get());
  }
  size_t nextCue = 0;
  int64_t frame = 0;
  while (ok && ff::av_read_frame(pictures, p.get()) >= 0) {
    const int64_t at = ff::av_rescale_q(p->pts, vin->time_base, AVRational{1, 1000});
    for (; ok && nextCue < cues.size(); ++nextCue) {
      AVPacket* c = cues[nextCue].get();
      const AVRational tb = text->streams[0]->time_base;
      if (ff::av_rescale_q(c->pts, tb, AVRational{1, 1000}) > at) break;
      ok = Write(out, c, subtitle->index, c->pts, c->duration, tb);
    }
    ok = ok && Write(out, p.get(), video->index, frame++, 1, AVRational{1, 25});
    ff::av_packet_unref(p.get());
  }
  for (; ok && nextCue < cues.size(); ++nextCue)
    ok = Write(out, cues[nextCue].get(), subtitle->index, cues[nextCue]->pts, cues[nextCue]->duration,
               text->streams[0]->time_base);
  ok = ff::av_write_trailer(out) >= 0 && ok;
  ff::avio_closep(&out->pb);
  return ok && frame > 0;
}
