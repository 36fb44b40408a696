// The packet loop: input choice, reading, timestamp correction, cut limits, decoding and
// dispatch, and the join-mode change from one input file to the next.
#include <cmath>
#include <thread>

#include "RunTables.h"
#include "media/base/StopReads.h"
#include "media/binding/FFLoad.h"
#include "media/common/FFUtils.h"

namespace sw {

namespace {

constexpr AVRational Microseconds{1, AV_TIME_BASE};

double Seconds(int64_t ticks, AVRational tb) { return static_cast<double>(ticks) * tb.num / tb.den; }

}  // namespace

void TCustomFFmpeg::TRun::PacketLoop() {
  TPacketPtr packet(ff::av_packet_alloc());
  if (!packet) RaiseFFmpeg("av_mallocz fail");
  for (;;) {
    if (E.StopRequested()) return;

    int chosen = -1;
    if (S.JoinMode) {
      chosen = CurrentFile;
      const int first = CurrentFile * FirstGroupSize;
      for (int i = first; i < first + FirstGroupSize && i < static_cast<int>(Ost.size()); ++i) {
        const AVMediaType t = Ost[i].Stream->codecpar->codec_type;
        if (t >= 0 && t < 4 && Ost[i].FrameNumber >= S.MaxFrames[t]) {
          chosen = -1;
          break;
        }
      }
    } else {
      double smallestOut = 1e100, smallestIn = 1e100;
      for (const TOutputStream& ost : Ost) {
        const TInputStream& ist = Ist[ost.SourceIndex];
        if (ist.PastRecordingTime || NoPacket[ist.FileIndex]) continue;
        const double outTime = Seconds(ost.MuxPosition, ost.Stream->time_base);
        const double inTime = static_cast<double>(ist.Time);
        if (!Files[ist.FileIndex].EndOfFile) {
          if (inTime < smallestIn) {
            smallestIn = inTime;
            if (S.InputSync) chosen = ist.FileIndex;
          }
          if (outTime < smallestOut) {
            smallestOut = outTime;
            if (!S.InputSync) chosen = ist.FileIndex;
          }
        }
        const AVMediaType t = ost.Stream->codecpar->codec_type;
        if (t >= 0 && t < 4 && ost.FrameNumber >= S.MaxFrames[t]) {
          chosen = -1;
          break;
        }
      }
    }
    if (chosen < 0) {
      if (S.JoinMode || NoPacketCount == 0) return;
      NoPacket.assign(NoPacket.size(), false);
      NoPacketCount = 0;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      continue;
    }

    if (S.FileSizeLimit > 0 && OutputFileSize(0) >= S.FileSizeLimit) return;

    AVFormatContext* in = E.InputFile(chosen);
    const int read = ff::av_read_frame(in, packet.get());
    if (read == AVERROR(EAGAIN)) {
      NoPacket[chosen] = true;
      ++NoPacketCount;
      continue;
    }
    if (read < 0) {
      // A read that failed is not the end of the input: the output would be committed
      // short, as if complete. A stop (AVERROR_EXIT) ends the run by its own way.
      const int failure = in->pb ? in->pb->error : 0;
      if (failure < 0 && failure != AVERROR_EOF && failure != AVERROR_EXIT && !AllReadsStopped())
        throw FFmpegException(SystemErrorText(FormatText("Error reading input file #%d", chosen), failure));
      Files[chosen].EndOfFile = true;
      if (S.Shortest && !S.JoinMode) return;
      if (S.JoinMode && !ChangeJoinFile()) return;
      continue;
    }
    NoPacket.assign(NoPacket.size(), false);
    NoPacketCount = 0;
    if (S.PacketDump && packet->stream_index < static_cast<int>(in->nb_streams))
      ff::av_pkt_dump_log2(nullptr, AV_LOG_DEBUG, packet.get(), S.HexDump, in->streams[packet->stream_index]);

    const TInputFileInfo& file = Files[chosen];
    if (packet->stream_index >= file.StreamCount || Ist[file.FirstStream + packet->stream_index].Discard) {
      ff::av_packet_unref(packet.get());
      continue;
    }
    const int istIndex = file.FirstStream + packet->stream_index;
    TInputStream& ist = Ist[istIndex];
    const AVRational tb = ist.Stream->time_base;

    const int64_t offset = ff::av_rescale_q(E.FInputOffset[chosen], Microseconds, tb);
    if (packet->dts != AV_NOPTS_VALUE) packet->dts += offset;
    if (packet->pts != AV_NOPTS_VALUE) packet->pts += offset;
    // Scales are kept for the first 20 streams of a file; later streams have none.
    const double scale = packet->stream_index < MaxStreams ? E.FInputScale[chosen][packet->stream_index] : 0.0;
    if (scale != 0.0) {
      if (packet->dts != AV_NOPTS_VALUE) packet->dts = std::llround(packet->dts * scale);
      if (packet->pts != AV_NOPTS_VALUE) packet->pts = std::llround(packet->pts * scale);
    }
    if (packet->dts != AV_NOPTS_VALUE && ist.NextTime != NoTime && (in->iformat->flags & AVFMT_TS_DISCONT)) {
      const int64_t dtsUs = ff::av_rescale_q(packet->dts, tb, Microseconds);
      const int64_t delta = dtsUs - ist.NextTime;
      if ((std::llabs(delta) > static_cast<int64_t>(S.DtsDeltaThreshold * 1000000) || dtsUs + 1 < ist.Time) &&
          !S.CopyTimestamps) {
        E.FInputOffset[chosen] -= delta;
        if (S.Verbosity >= 3)
          E.Log(llVerbose, "timestamp discontinuity %lld, new offset= %lld", static_cast<long long>(delta),
                static_cast<long long>(E.FInputOffset[chosen]));
        const int64_t shift = ff::av_rescale_q(delta, Microseconds, tb);
        packet->dts -= shift;
        if (packet->pts != AV_NOPTS_VALUE) packet->pts -= shift;
      }
    }

    if (S.RecordingTime != NoLimit && packet->pts != AV_NOPTS_VALUE &&
        ff::av_compare_ts(packet->pts, tb, S.StartTime + S.RecordingTime, Microseconds) >= 0) {
      ist.PastRecordingTime = true;
      ff::av_packet_unref(packet.get());
      continue;
    }

    if (OutputPacket(istIndex, packet.get()) < 0) {
      const std::string text = FormatText("Error while decoding stream #%d.%d (%s)", ist.FileIndex, ist.StreamIndex,
                                          MediaTypeName(ist.Stream->codecpar->codec_type).c_str());
      ff::av_packet_unref(packet.get());
      if (S.ExitOnError) throw FFmpegException(text);
      if (S.Verbosity >= 0) E.Log(llVerbose, "%s", text.c_str());
      continue;
    }
    ff::av_packet_unref(packet.get());
    const int64_t now = WallClock();
    if (now - LastReport > S.ReportInterval) {
      LastReport = now;
      ProgressReport(false, chosen);
    }
  }
}

bool TCustomFFmpeg::TRun::ChangeJoinFile() {
  const TInputFileInfo& file = Files[CurrentFile];
  for (int i = file.FirstStream; i < file.FirstStream + file.StreamCount; ++i) {
    if (!Ist[i].DecodingNeeded) continue;
    OutputPacket(i, nullptr);
    ff::avcodec_flush_buffers(Ist[i].Decoder.get());
    Ist[i].Flushed = true;
  }
  const bool last = CurrentFile + 1 >= static_cast<int>(Files.size());
  if (!last) {
    // The drained encoders of the first group start again for the next file.
    for (int i = 0; i < FirstGroupSize; ++i) {
      TOutputStream& ost = Ost[i];
      if (!ost.EncodingNeeded) continue;
      AVCodecContext* old = ost.Encoder();
      const AVCodec* codec = ost.Setup->Encoder ? ost.Setup->Encoder
                                                : ff::avcodec_find_encoder(static_cast<AVCodecID>(ost.SavedCodecId));
      TCodecContextPtr fresh = codec ? CopyEncoderSettings(codec, old) : nullptr;
      if (!fresh)
        RaiseFFmpeg("Unsupported codec for output stream #%d.%d (%s)", ost.FileIndex, ost.StreamIndex,
                    MediaTypeName(old->codec_type).c_str());
      std::lock_guard<std::recursive_mutex> lock(CodecLock());
      std::erase(E.FOpenedEncoders, old);
      ff::avcodec_close(old);
      ost.Setup->Codec = std::move(fresh);
      if (ff::avcodec_open2(ost.Encoder(), codec, nullptr) < 0)
        RaiseFFmpeg(
            "Error while opening codec for output stream #%d.%d (%s) - maybe incorrect parameters such as bit_rate, "
            "rate, width or height",
            ost.FileIndex, ost.StreamIndex, MediaTypeName(ost.Encoder()->codec_type).c_str());
      E.FOpenedEncoders.push_back(ost.Encoder());
    }
  }
  for (int i = FirstGroupSize; i < static_cast<int>(Ost.size()); ++i) {
    Ost[i].SyncPosition = Ost[i - FirstGroupSize].SyncPosition;
    Ost[i].FrameNumber = Ost[i - FirstGroupSize].FrameNumber;
    Ost[i].MuxPosition = Ost[i - FirstGroupSize].MuxPosition;
  }
  double largest = 0;
  const int first = CurrentFile * FirstGroupSize;
  for (int i = first; i < first + FirstGroupSize && i < static_cast<int>(Ost.size()); ++i) {
    largest = std::max(largest, Seconds(Ost[i].MuxPosition, Ost[i].Stream->time_base));
    Ost[i].Active = false;
  }
  if (last) return false;
  ++CurrentFile;
  E.FInputOffset[CurrentFile] += std::llround(largest * 1000000);
  return true;
}

int TCustomFFmpeg::TRun::OutputPacket(int istIndex, AVPacket* packet) {
  TInputStream& ist = Ist[istIndex];
  const AVCodecParameters* par = ist.Stream->codecpar;
  if (ist.NextTime == NoTime) ist.NextTime = ist.Time;
  if (packet && packet->dts != AV_NOPTS_VALUE)
    ist.Time = ist.NextTime = ff::av_rescale_q(packet->dts, ist.Stream->time_base, Microseconds);

  const int64_t packetTime = ist.NextTime;
  if (ist.DecodingNeeded) {
    const int decoded = par->codec_type == AVMEDIA_TYPE_AUDIO      ? DecodeAudio(istIndex, packet)
                        : par->codec_type == AVMEDIA_TYPE_VIDEO    ? DecodeVideo(istIndex, packet)
                        : par->codec_type == AVMEDIA_TYPE_SUBTITLE ? DecodeSubtitle(istIndex, packet)
                                                                   : -1;
    if (decoded < 0) return -1;
  } else if (packet) {
    ist.Time = ist.NextTime;
    if (par->codec_type == AVMEDIA_TYPE_AUDIO && par->frame_size > 0 && par->sample_rate > 0)
      ist.NextTime += static_cast<int64_t>(1000000) * par->frame_size / par->sample_rate;
    else if (packet->duration > 0)
      ist.NextTime += ff::av_rescale_q(packet->duration, ist.Stream->time_base, Microseconds);
    if (S.RateEmulation) {
      const int64_t ahead = ist.Time - (WallClock() - ist.Start);
      if (ahead > 1000) std::this_thread::sleep_for(std::chrono::milliseconds(ahead / 1000));
    }
  }
  // Copied outputs take the packet whether or not another output decodes it.
  if (packet && (S.StartTime == 0 || packetTime >= S.StartTime))
    for (TOutputStream& ost : Ost)
      if (ost.SourceIndex == istIndex && !ost.EncodingNeeded) StreamCopyPacket(ost, ist, packet);

  if (!packet)
    for (TOutputStream& ost : Ost)
      if (ost.SourceIndex == istIndex && ost.EncodingNeeded) {
        if (ost.Encoder()->codec_type == AVMEDIA_TYPE_AUDIO) FlushAudio(ost);
        if (ost.Encoder()->codec_type == AVMEDIA_TYPE_VIDEO) FlushVideo(ost);
        if (ost.Encoder()->codec_type == AVMEDIA_TYPE_SUBTITLE) FlushSubtitle(ost);
      }
  return 0;
}

}  // namespace sw
