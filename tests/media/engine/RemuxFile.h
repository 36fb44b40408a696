#pragma once
// Files read or written packet by packet, without decoding.
#include <string>
#include <vector>

#include "media/common/FFHandles.h"
#include "media/common/UnicodeProtocol.h"

// The payload of every packet of a file, in order.
inline std::vector<std::string> Payloads(const std::string& name) {
  using namespace sw;
  std::vector<std::string> result;
  AVFormatContext* ctx = nullptr;
  if (OpenInputFormat(&ctx, name, nullptr, nullptr) < 0) return result;
  TPacketPtr packet(ff::av_packet_alloc());
  while (ff::av_read_frame(ctx, packet.get()) >= 0) {
    result.emplace_back(reinterpret_cast<char*>(packet->data), packet->size);
    ff::av_packet_unref(packet.get());
  }
  CloseInputFormat(&ctx);
  return result;
}

// An input opened with its stream information, and an output of the format the target's
// name tells holding copies of the input's first stream, its header written.
class TRemux {
 public:
  // tb: the time base the copies ask for; {0, 1} for the source's.
  bool Open(const std::string& source, const std::string& target, int copies, AVRational tb) {
    using namespace sw;
    if (OpenInputFormat(&In, MediaUrl(source), nullptr, nullptr) < 0) return false;
    if (ff::avformat_find_stream_info(In, nullptr) < 0) return false;
    AVFormatContext* out = nullptr;
    if (ff::avformat_alloc_output_context2(&out, nullptr, nullptr, target.c_str()) < 0) return false;
    Out.reset(out);
    const AVStream* from = In->streams[0];
    for (int i = 0; i < copies; ++i) {
      AVStream* st = ff::avformat_new_stream(out, nullptr);
      if (!st || ff::avcodec_parameters_copy(st->codecpar, from->codecpar) < 0) return false;
      st->codecpar->codec_tag = 0;
      st->time_base = tb.num > 0 ? tb : from->time_base;
    }
    if (ff::avio_open(&out->pb, target.c_str(), AVIO_FLAG_WRITE) < 0) return false;
    Started = ff::avformat_write_header(out, nullptr) >= 0;
    return Started;
  }
  // Ends the output; false when it or anything before (ok) failed.
  bool Finish(bool ok) {
    if (!Started) return false;
    Started = false;
    ok = ff::av_write_trailer(Out.get()) >= 0 && ok;
    ff::avio_closep(&Out->pb);
    return ok;
  }
  ~TRemux() {
    if (Out && Out->pb) ff::avio_closep(&Out->pb);
    sw::CloseInputFormat(&In);
  }

  AVFormatContext* In = nullptr;
  sw::TFormatContextPtr Out;

 private:
  bool Started = false;
};

// Writes the first stream of source into a file of the format its name tells, repeated
// as streams copies, with framesPerPacket of its packets joined into each packet.
inline bool RemuxFile(const std::string& source, const std::string& target, int copies, int framesPerPacket) {
  using namespace sw;
  TRemux remux;
  if (!remux.Open(source, target, copies, AVRational{0, 1})) return false;
  AVFormatContext* in = remux.In;
  AVFormatContext* out = remux.Out.get();
  const AVStream* from = in->streams[0];
  bool ok = true;
  TPacketPtr packet(ff::av_packet_alloc()), joined(ff::av_packet_alloc());
  std::string data;
  int count = 0;
  const auto flush = [&] {
    if (data.empty()) return;
    for (int i = 0; i < copies && ok; ++i) {
      ok = ff::av_new_packet(packet.get(), static_cast<int>(data.size())) >= 0;
      if (!ok) break;
      std::copy(data.begin(), data.end(), packet->data);
      packet->pts = packet->dts = ff::av_rescale_q(joined->pts, from->time_base, out->streams[i]->time_base);
      packet->duration = ff::av_rescale_q(joined->duration, from->time_base, out->streams[i]->time_base);
      packet->flags = AV_PKT_FLAG_KEY;
      packet->stream_index = i;
      ok = ff::av_interleaved_write_frame(out, packet.get()) >= 0;
    }
    data.clear();
    count = 0;
  };
  while (ok && ff::av_read_frame(in, packet.get()) >= 0) {
    if (packet->stream_index == 0) {
      if (count == 0) {
        joined->pts = packet->pts;
        joined->duration = 0;
      }
      data.append(reinterpret_cast<char*>(packet->data), packet->size);
      joined->duration += packet->duration;
      ff::av_packet_unref(packet.get());
      if (++count == framesPerPacket) flush();
    } else {
      ff::av_packet_unref(packet.get());
    }
  }
  flush();
  return remux.Finish(ok);
}
