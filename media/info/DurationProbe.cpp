#include "DurationProbe.h"

#include "media/common/FFHandles.h"
#include "media/common/UnicodeProtocol.h"
#include "media/mp3/Mp3Source.h"

namespace sw {

bool DurationNeedsMeasuring(const AVFormatContext* context, int streamIndex, int64_t fileSize) {
  if (context->duration_estimation_method == AVFMT_DURATION_FROM_BITRATE) return true;
  const int64_t bitRate = context->streams[streamIndex]->codecpar->bit_rate;
  if (context->duration <= 0 || bitRate <= 0 || fileSize <= 0) return false;
  const double impliedBytes = context->duration / 1e6 * static_cast<double>(bitRate) / 8.0;
  return impliedBytes > static_cast<double>(fileSize) * 1.1;
}

namespace {

// An MP3 file's packets are its audio frames: a scan of the frame headers gives their
// count and bytes several times faster than the demuxer reads them. Only a clean scan
// counts (a cut-off last frame, which the demuxer still gives as a packet, is left to it).
bool ScanMp3Length(const AVFormatContext* in, const std::string& url, int streamIndex, TMeasuredLength& result) {
  if (std::string(in->iformat->name) != "mp3" || (IsProtocolUrl(url) && !IsUnicodeUrl(url))) return false;
  if (in->streams[streamIndex]->codecpar->codec_type != AVMEDIA_TYPE_AUDIO) return false;
  mp3::TMp3Source source;
  if (!source.Open(MediaUrlToFileName(url)) || !source.Notes().empty()) return false;
  int64_t bytes = 0;
  for (const mp3::TMp3Frame& f : source.Frames()) bytes += f.Size;
  const int64_t samples = static_cast<int64_t>(source.Frames().size()) * source.SamplesPerFrame();
  result.Duration = ff::av_rescale(samples, AV_TIME_BASE, source.Header().SampleRate);
  if (result.Duration > 0) result.BitRate = ff::av_rescale(bytes * 8, AV_TIME_BASE, result.Duration);
  return true;
}

}  // namespace

TMeasuredLength MeasureStreamLength(const std::string& url, int streamIndex, const std::function<bool()>& stop) {
  TMeasuredLength result;
  AVFormatContext* raw = nullptr;
  if (OpenInputFormat(&raw, url, nullptr, nullptr) < 0) return result;
  std::unique_ptr<AVFormatContext*, void (*)(AVFormatContext**)> owner(&raw, CloseInputFormat);
  if (streamIndex < 0 || streamIndex >= static_cast<int>(raw->nb_streams)) return result;
  if (ScanMp3Length(raw, url, streamIndex, result)) return stop && stop() ? TMeasuredLength{} : result;
  const AVRational timeBase = raw->streams[streamIndex]->time_base;
  TPacketPtr packet(ff::av_packet_alloc());
  if (!packet) return result;
  int64_t ticks = 0, bytes = 0;
  while (ff::av_read_frame(raw, packet.get()) >= 0) {
    if (stop && stop()) {
      ff::av_packet_unref(packet.get());
      return result;
    }
    if (packet->stream_index == streamIndex) {
      ticks += packet->duration;
      bytes += packet->size;
    }
    ff::av_packet_unref(packet.get());
  }
  if (ticks <= 0) return result;
  result.Duration = ff::av_rescale_q(ticks, timeBase, AVRational{1, AV_TIME_BASE});
  if (result.Duration > 0) result.BitRate = ff::av_rescale(bytes * 8, AV_TIME_BASE, result.Duration);
  return result;
}

}  // namespace sw
