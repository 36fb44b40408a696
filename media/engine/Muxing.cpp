// Every packet reaches its muxer here: through the stream's bitstream filters, then
// interleaved with the other streams of its file.
#include "EncoderTagWriter.h"
#include "RunTables.h"
#include "media/common/FFUtils.h"

namespace sw {

void TCustomFFmpeg::TRun::OpenBitstreamFilters(TOutputStream& ost) {
  if (!ost.Filters.empty() || !ost.Setup) return;
  for (const std::string& name : ost.Setup->BitstreamFilters) {
    const AVBitStreamFilter* filter = ff::av_bsf_get_by_name(name.c_str());
    if (!filter) RaiseFFmpeg("Unknown bitstream filter %s", name.c_str());
    AVBSFContext* raw = nullptr;
    if (ff::av_bsf_alloc(filter, &raw) < 0) RaiseFFmpeg("av_mallocz fail");
    TBitstreamFilterPtr bsf(raw);
    const AVCodecParameters* in = ost.Filters.empty() ? ost.Stream->codecpar : ost.Filters.back()->par_out;
    ff::avcodec_parameters_copy(bsf->par_in, in);
    bsf->time_base_in = ost.Stream->time_base;
    const int r = ff::av_bsf_init(bsf.get());
    if (r < 0) throw FFmpegException(LibraryErrorText(name, r));
    ost.Filters.push_back(std::move(bsf));
  }
}

void TCustomFFmpeg::TRun::WriteFrame(TOutputStream& ost, AVPacket* packet) { FilterAndWrite(ost, packet, 0); }

void TCustomFFmpeg::TRun::FilterAndWrite(TOutputStream& ost, AVPacket* packet, size_t index) {
  if (index >= ost.Filters.size()) {
    Interleave(ost, packet);
    return;
  }
  AVBSFContext* bsf = ost.Filters[index].get();
  const int streamIndex = packet->stream_index;
  // The packet as it came: a filter that fails on it passes it on unchanged (the filter
  // takes the packet over even when it fails).
  TPacketPtr original(ff::av_packet_alloc());
  TPacketPtr out(ff::av_packet_alloc());
  if (!original || !out || ff::av_packet_ref(original.get(), packet) < 0) RaiseFFmpeg("av_mallocz fail");
  bool passed = false;
  int r = ff::av_bsf_send_packet(bsf, packet);
  if (r >= 0) {
    while ((r = ff::av_bsf_receive_packet(bsf, out.get())) >= 0) {
      out->stream_index = streamIndex;
      passed = true;
      FilterAndWrite(ost, out.get(), index + 1);
    }
    if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) return;
  } else {
    ff::av_packet_unref(packet);
  }
  const AVCodecContext* enc = ost.EncodingNeeded ? ost.Encoder() : nullptr;
  const std::string text =
      LibraryErrorText(FormatText("%s failed for stream %d, codec %s", bsf->filter->name, streamIndex,
                                  enc && enc->codec ? enc->codec->name : "copy"),
                       r);
  if (S.ExitOnError) throw FFmpegException(text);
  E.Log(llError, "%s", text.c_str());
  if (!passed) FilterAndWrite(ost, original.get(), index + 1);
}

void TCustomFFmpeg::TRun::Interleave(TOutputStream& ost, AVPacket* packet) {
  const int64_t start = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
  if (start != AV_NOPTS_VALUE) ost.MuxPosition = std::max(ost.MuxPosition, start + packet->duration);
  TOutputFile& file = *E.OutputFile(ost.FileIndex);
  if (file.PacketSink) {
    file.PacketSink(packet);
    ff::av_packet_unref(packet);
    ++file.PacketsWritten;
    return;
  }
  if (ost.TagWriter) ost.TagWriter->Packet(file.Context->pb, *packet);
  const int r = ff::av_interleaved_write_frame(file.Context, packet);
  if (r < 0) throw FFmpegException(SystemErrorText("av_interleaved_write_frame()", r));
  ++file.PacketsWritten;
}

}  // namespace sw
