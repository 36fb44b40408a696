#include "FrameSeekIndex.h"

#include <cstring>

#include "media/binding/FFLoad.h"
#include "media/common/FFHandles.h"
#include "media/common/UnicodeProtocol.h"
#include "media/mp3/Mp3Source.h"

namespace sw {

namespace {

AVStream* AudioStream(const AVFormatContext* in) {
  for (unsigned k = 0; k < in->nb_streams; ++k)
    if (in->streams[k]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO) return in->streams[k];
  return nullptr;
}

}  // namespace

std::shared_ptr<const TFrameOffsets> ScanFrameOffsets(const AVFormatContext* in, int64_t until) {
  const AVStream* st = AudioStream(in);
  if (!st || !in->iformat || std::strcmp(in->iformat->name, "mp3") != 0 || !in->url) return nullptr;
  const AVCodecParameters* p = st->codecpar;
  if (p->frame_size <= 0 || p->sample_rate <= 0) return nullptr;
  const int64_t frameLimit = until < 0 ? -1 : ff::av_rescale(until, p->sample_rate, AV_TIME_BASE) / p->frame_size + 2;
  const std::string url = in->url;
  if (IsProtocolUrl(url) && !IsUnicodeUrl(url)) return nullptr;
  mp3::TMp3Source source;
  if (!source.Open(MediaUrlToFileName(url), frameLimit)) return nullptr;
  auto offsets = std::make_shared<TFrameOffsets>();
  offsets->Offsets.reserve(source.Frames().size());
  for (const mp3::TMp3Frame& f : source.Frames()) offsets->Offsets.push_back(f.Offset);
  offsets->SamplesPerFrame = source.SamplesPerFrame();
  offsets->SampleRate = source.Header().SampleRate;
  offsets->WholeFile = frameLimit < 0 || static_cast<int64_t>(source.Frames().size()) < frameLimit;
  return offsets;
}

bool AddSeekPoint(AVFormatContext* in, const TFrameOffsets& frames, int64_t target) {
  const std::vector<int64_t>& offsets = frames.Offsets;
  AVStream* st = AudioStream(in);
  if (!st || offsets.empty() || st->codecpar->frame_size <= 0 || st->codecpar->sample_rate <= 0) return false;
  const int64_t step = ff::av_rescale_q(st->codecpar->frame_size, AVRational{1, st->codecpar->sample_rate}, st->time_base);
  if (step <= 0) return false;
  // The demuxer's first packets must be the scanned frames: frame n at n steps.
  TPacketPtr packet(ff::av_packet_alloc());
  if (!packet) return false;
  int checked = 0;
  for (int tries = 0; tries < 8 && checked < 4 && ff::av_read_frame(in, packet.get()) >= 0; ++tries) {
    const AVPacket& p = *packet;
    if (p.stream_index == st->index) {
      const int64_t n = p.dts / step;
      if (p.dts == AV_NOPTS_VALUE || p.dts < 0 || p.dts % step != 0 || n >= static_cast<int64_t>(offsets.size()) ||
          offsets[static_cast<size_t>(n)] != p.pos) {
        ff::av_packet_unref(packet.get());
        return false;
      }
      ++checked;
    }
    ff::av_packet_unref(packet.get());
  }
  if (checked == 0) return false;
  const int64_t at = ff::av_rescale_q(target, AVRational{1, AV_TIME_BASE}, st->time_base);
  if (at < 0) return false;
  const int64_t n = at / step;
  if (n >= static_cast<int64_t>(offsets.size())) return false;
  return ff::av_add_index_entry(st, offsets[static_cast<size_t>(n)], n * step, 0, 0, AVINDEX_KEYFRAME) >= 0;
}

}  // namespace sw
