#include "PartDecode.h"

#include <algorithm>
#include <mutex>

#include "SampleMix.h"
#include "media/binding/FFLoad.h"
#include "media/common/UnicodeProtocol.h"

namespace sw {

namespace {

int StopRequested(void* flag) { return static_cast<const std::atomic<bool>*>(flag)->load() ? 1 : 0; }

int FirstAudioStream(const AVFormatContext* ctx) {
  for (unsigned i = 0; i < ctx->nb_streams; ++i)
    if (ctx->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO) return static_cast<int>(i);
  return -1;
}

// The sample of the file's decoded sound that the frame at this byte offset starts with;
// -1 when no frame starts there.
int64_t FrameSample(const mp3::TMp3Source& index, int64_t offset) {
  const auto& frames = index.Frames();
  const auto at = std::lower_bound(frames.begin(), frames.end(), offset,
                                   [](const mp3::TMp3Frame& f, int64_t o) { return f.Offset < o; });
  if (at == frames.end() || at->Offset != offset) return -1;
  return (at - frames.begin()) * static_cast<int64_t>(index.SamplesPerFrame()) - index.RawStart();
}

// After a seek by bytes the demuxer no longer knows where the file starts and ends: it
// takes the first packet for the file's first and asks the decoder to skip the encoder
// delay there. The index places every frame whole, and the end is cut by the count.
void KeepWholeFrames(AVPacket& packet) {
  size_t size = 0;
  if (uint8_t* skip = ff::av_packet_get_side_data(&packet, AV_PKT_DATA_SKIP_SAMPLES, &size))
    std::fill(skip, skip + size, uint8_t{0});
}

}  // namespace

TInput::~TInput() {
  if (Decoder) {
    std::lock_guard<std::recursive_mutex> lock(CodecLock());
    Decoder.reset();
  }
  if (Context) CloseInputFormat(&Context);
}

bool OpenInput(TInput& in, const std::string& url, const std::atomic<bool>& stop) {
  if (!(in.Context = ff::avformat_alloc_context())) return false;
  in.Context->interrupt_callback = {StopRequested, const_cast<std::atomic<bool>*>(&stop)};
  if (OpenInputFormat(&in.Context, url, nullptr, nullptr) < 0) {
    in.Context = nullptr;  // the library freed it
    return false;
  }
  if (ff::avformat_find_stream_info(in.Context, nullptr) < 0) return false;
  in.Stream = FirstAudioStream(in.Context);
  if (in.Stream < 0) return false;
  const AVCodecParameters* par = in.Context->streams[in.Stream]->codecpar;
  const AVCodec* codec = ff::avcodec_find_decoder(par->codec_id);
  if (!codec) return false;
  {
    std::lock_guard<std::recursive_mutex> lock(CodecLock());
    in.Decoder.reset(ff::avcodec_alloc_context3(codec));
    if (!in.Decoder || ff::avcodec_parameters_to_context(in.Decoder.get(), par) < 0) return false;
    in.Decoder->pkt_timebase = in.Context->streams[in.Stream]->time_base;
    if (ff::avcodec_open2(in.Decoder.get(), codec, nullptr) < 0) return false;
  }
  for (unsigned i = 0; i < in.Context->nb_streams; ++i)
    if (static_cast<int>(i) != in.Stream) in.Context->streams[i]->discard = AVDISCARD_ALL;
  return true;
}

bool SeekToPreRoll(TInput& in, const mp3::TMp3Source& index, int64_t decodeFrom) {
  const AVCodecParameters* par = in.Context->streams[in.Stream]->codecpar;
  const auto& frames = index.Frames();
  if (frames.empty() || index.Header().SampleRate != par->sample_rate || index.SamplesPerFrame() <= 0) return false;
  const int64_t frame = (decodeFrom + index.RawStart()) / index.SamplesPerFrame();
  if (frame <= 0 || frame >= static_cast<int64_t>(frames.size())) return false;
  return ff::av_seek_frame(in.Context, in.Stream, frames[static_cast<size_t>(frame)].Offset, AVSEEK_FLAG_BYTE) >= 0;
}

bool TPartDecode::Run(const std::function<void()>& publish) {
  TPacketPtr packet(ff::av_packet_alloc());
  FFrame.reset(ff::av_frame_alloc());
  if (!packet || !FFrame) return false;
  AVCodecContext* decoder = FIn.Decoder.get();
  const AVRational tb = FIn.Context->streams[FIn.Stream]->time_base;
  int64_t skipBefore = AV_NOPTS_VALUE;  // packets before this time are only read
  while (!FStop && !Done()) {
    if (ff::av_read_frame(FIn.Context, packet.get()) < 0) break;
    if (packet->stream_index == FIn.Stream) {
      if (!FPart.Index && FPart.DecodeFrom > 0 && skipBefore == AV_NOPTS_VALUE && FOrigin != AV_NOPTS_VALUE) {
        // The start of the sound is known: the decoder forgets it and waits for the pre-roll.
        ff::avcodec_flush_buffers(decoder);
        skipBefore = FOrigin + ff::av_rescale_q(FPart.DecodeFrom, AVRational{1, FIn.Decoder->sample_rate}, tb);
      }
      const bool skip = skipBefore != AV_NOPTS_VALUE && packet->pts != AV_NOPTS_VALUE && packet->pts < skipBefore;
      if (FPart.Index) KeepWholeFrames(*packet);
      if (!skip) {
        // A damaged packet is skipped; the decoder goes on with the next one.
        ff::avcodec_send_packet(decoder, packet.get());
        Drain();
      }
    }
    ff::av_packet_unref(packet.get());
    if (publish) publish();
  }
  if (!FStop && !Done()) {
    ff::avcodec_send_packet(decoder, nullptr);
    Drain();
  }
  return FDecodedAny;
}

void TPartDecode::Drain() {
  const AVRational tb = FIn.Context->streams[FIn.Stream]->time_base;
  while (!Done() && ff::avcodec_receive_frame(FIn.Decoder.get(), FFrame.get()) >= 0) {
    AVFrame& f = *FFrame;
    if (FPart.Index) {
      PlaceByIndex(f);
    } else if (FOrigin == AV_NOPTS_VALUE) {
      FOrigin = f.pts;
      FLost = FPart.From > 0 && f.pts == AV_NOPTS_VALUE;
    }
    // Where a later part's first decoded frame lies; from then on, as counted.
    if (!FPart.Index && !FPlaced && FPart.From > 0 && FOrigin != AV_NOPTS_VALUE && FPart.DecodeFrom > 0 &&
        FOrigin != f.pts) {
      FLost = f.pts == AV_NOPTS_VALUE;
      FNext = ff::av_rescale_q(f.pts - FOrigin, tb, AVRational{1, f.sample_rate});
      FPlaced = true;
    }
    const bool waiting = FPart.From > 0 && !FPlaced;
    if (!waiting && !FLost && MixDown(f, FMixed)) {
      int64_t first = std::max<int64_t>(0, FPart.From - FNext);
      int64_t count = std::min<int64_t>(f.nb_samples, FPart.To - FNext) - first;
      if (count > 0) {
        FSink(FNext + first, FMixed.data() + first, static_cast<int>(count), f.sample_rate);
        FDecodedAny = true;
      }
      FNext += f.nb_samples;
    }
    ff::av_frame_unref(FFrame.get());
  }
}


// The first frame that lies in the index places the part; from then on, as counted.
// The pre-roll frames before From are decoded and dropped.
void TPartDecode::PlaceByIndex(const AVFrame& f) {
  if (FPlaced) return;
  const int64_t at = FrameSample(*FPart.Index, f.pkt_pos);
  if (at < 0) return;
  FNext = at;
  FPlaced = true;
  FLost = at > FPart.From;  // landed past the part's first sample
}


}  // namespace sw
