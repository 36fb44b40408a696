// Seeking the inputs to shortly before the start time, so that a cut late in a long file
// does not decode everything before it. The audio path still trims to the sample, so
// the output is the same as when every packet from the beginning is read.
#include "FrameSeekIndex.h"
#include "RunTables.h"
#include "media/binding/FFLoad.h"
#include "media/common/FFUtils.h"

namespace sw {

namespace {

constexpr AVRational Microseconds{1, AV_TIME_BASE};

// The decoders' warm-up before the start: an MP3 frame may take its main data from up to
// 511 bytes of earlier frames (at low rates that is a few dozen frames), and its sound
// overlaps the previous granule and the synthesis filter's history.
constexpr int64_t SeekPreRoll = 2 * AV_TIME_BASE;

// The first packet's time after a seek, µs on the engine's time line; NoTime when none
// of the used streams gives one.
int64_t FirstPacketTime(AVFormatContext* in, const std::vector<TInputStream>& ist, int firstStream, int64_t offset) {
  TPacketPtr packet(ff::av_packet_alloc());
  if (!packet) return NoTime;
  for (int tries = 0; tries < 64 && ff::av_read_frame(in, packet.get()) >= 0; ++tries) {
    const int index = packet->stream_index;
    const int64_t ts = packet->dts != AV_NOPTS_VALUE ? packet->dts : packet->pts;
    const bool used = index < static_cast<int>(in->nb_streams) && !ist[firstStream + index].Discard;
    if (used && ts != AV_NOPTS_VALUE) {
      const int64_t time = ff::av_rescale_q(ts, in->streams[index]->time_base, Microseconds) + offset;
      ff::av_packet_unref(packet.get());
      return time;
    }
    ff::av_packet_unref(packet.get());
  }
  return NoTime;
}

}  // namespace

bool TCustomFFmpeg::TRun::InputSeekable(int file) const {
  const AVFormatContext* in = E.InputFile(file);
  if (!in->pb || !(in->pb->seekable & AVIO_SEEKABLE_NORMAL) || (in->iformat->flags & AVFMT_TS_DISCONT)) return false;
  const TInputFileInfo& info = Files[file];
  bool used = false;
  for (int k = 0; k < info.StreamCount; ++k) {
    const TInputStream& ist = Ist[info.FirstStream + k];
    if (ist.Discard) continue;
    used = true;
    // Pictures restart only at key frames, and scaled timestamps no longer say where a
    // seek lands: those inputs are read from the beginning.
    if (ist.Stream->codecpar->codec_type != AVMEDIA_TYPE_AUDIO) return false;
    if (k < MaxStreams && E.FInputScale[file][k] != 0.0) return false;
  }
  return used;
}

void TCustomFFmpeg::TRun::SeekInputsToStart() {
  if (!S.SeekToStart || S.StartTime <= SeekPreRoll || S.JoinMode) return;
  for (int f = 0; f < static_cast<int>(Files.size()); ++f) {
    if (!InputSeekable(f)) continue;
    AVFormatContext* in = E.InputFile(f);
    const int64_t offset = E.FInputOffset[f];
    const int64_t target = S.StartTime - SeekPreRoll - offset;  // on the input's own time line
    if (!E.FFrameOffsets[f])
      E.FFrameOffsets[f] = ScanFrameOffsets(in, S.RecordingTime == NoLimit ? -1 : S.StartTime + S.RecordingTime - offset);
    if (E.FFrameOffsets[f]) AddSeekPoint(in, *E.FFrameOffsets[f], target);
    // A demuxer that cannot seek stays where it was. One that lands past the pre-roll is
    // taken back to its beginning, as if no seek had been asked.
    if (ff::av_seek_frame(in, -1, target, AVSEEK_FLAG_BACKWARD) < 0) {
      if (S.Verbosity > 0) E.Log(llVerbose, "Input file #%d cannot seek; it is read from its beginning", f);
      continue;
    }
    const int64_t landed = FirstPacketTime(in, Ist, Files[f].FirstStream, offset);
    if (landed != NoTime && landed <= S.StartTime - SeekPreRoll / 2 &&
        ff::av_seek_frame(in, -1, target, AVSEEK_FLAG_BACKWARD) >= 0)
      continue;
    const int64_t beginning = in->start_time != AV_NOPTS_VALUE ? in->start_time : 0;
    if (ff::av_seek_frame(in, -1, beginning, AVSEEK_FLAG_BACKWARD) < 0)
      RaiseFFmpeg("Could not seek input file #%d back to its beginning", f);
    if (S.Verbosity > 0) E.Log(llVerbose, "Input file #%d is read from its beginning", f);
  }
}

}  // namespace sw
