#include "DurationProbe.h"

#include "media/common/FFHandles.h"
#include "media/common/UnicodeProtocol.h"

namespace sw {

bool DurationNeedsMeasuring(const AVFormatContext* context, int streamIndex, int64_t fileSize) {
  if (context->duration_estimation_method == AVFMT_DURATION_FROM_BITRATE) return true;
  const int64_t bitRate = context->streams[streamIndex]->codecpar->bit_rate;
  if (context->duration <= 0 || bitRate <= 0 || fileSize <= 0) return false;
  const double impliedBytes = context->duration / 1e6 * static_cast<double>(bitRate) / 8.0;
  return impliedBytes > static_cast<double>(fileSize) * 1.1;
}

TMeasuredLength MeasureStreamLength(const std::string& url, int streamIndex, const std::function<bool()>& stop) {
  TMeasuredLength result;
  AVFormatContext* raw = nullptr;
  if (OpenInputFormat(&raw, url, nullptr, nullptr) < 0) return result;
  std::unique_ptr<AVFormatContext*, void (*)(AVFormatContext**)> owner(&raw, CloseInputFormat);
  if (streamIndex < 0 || streamIndex >= static_cast<int>(raw->nb_streams)) return result;
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
