// The audio path: decoding into interleaved floats, the audio hook (on a 16-bit view of
// them) and volume, conversion to the encoder's format, the FIFO of whole encoder frames,
// encoding, and the end-of-stream flush.
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <thread>

#include "AudioFitting.h"
#include "HookSamples.h"
#include "RunTables.h"
#include "media/common/FFUtils.h"

namespace sw {

namespace {

// The decode buffer holds interleaved floats: the encoders get the decoder's own values,
// not a 16-bit rounding of them (which adds a noise floor the encoder spends bits on).
constexpr AVSampleFormat DecodeFormat = AV_SAMPLE_FMT_FLT;
constexpr int DecodeBytesPerSample = 4;

AVChannelLayout LayoutOf(const AVChannelLayout& given) {
  AVChannelLayout layout{};
  if (given.order == AV_CHANNEL_ORDER_NATIVE || given.order == AV_CHANNEL_ORDER_AMBISONIC)
    ff::av_channel_layout_copy(&layout, &given);
  else
    ff::av_channel_layout_default(&layout, given.nb_channels);
  return layout;
}

// Converter from one format and layout to another at the given rates; nullptr on failure.
TResamplerPtr MakeResampler(const AVChannelLayout& outLayout, AVSampleFormat outFormat, int outRate,
                            const AVChannelLayout& inLayout, AVSampleFormat inFormat, int inRate) {
  SwrContext* swr = nullptr;
  AVChannelLayout out = LayoutOf(outLayout), in = LayoutOf(inLayout);
  const bool made = ff::swr_alloc_set_opts2(&swr, &out, outFormat, outRate, &in, inFormat, inRate, 0, nullptr) >= 0;
  ff::av_channel_layout_uninit(&out);
  ff::av_channel_layout_uninit(&in);
  TResamplerPtr result(swr);
  if (!made || !swr || ff::swr_init(swr) < 0) return nullptr;
  return result;
}

}  // namespace

void TCustomFFmpeg::TRun::AudioEncoderSetup(TOutputStream& ost, TInputStream& ist) {
  AVCodecContext* enc = ost.Encoder();
  const AVCodecParameters* in = ist.Stream->codecpar;
  if (enc->sample_rate <= 0) enc->sample_rate = in->sample_rate;
  if (enc->ch_layout.nb_channels <= 0) ff::av_channel_layout_default(&enc->ch_layout, in->ch_layout.nb_channels);
  if (enc->time_base.num <= 0 || enc->time_base.den <= 0) enc->time_base = AVRational{1, enc->sample_rate};
  ost.Fifo.reset(ff::av_audio_fifo_alloc(enc->sample_fmt, enc->ch_layout.nb_channels, 1024));
  if (!ost.Fifo) RaiseFFmpeg("av_fifo_alloc fail");
  ost.AudioResamplingNeeded = in->sample_rate != enc->sample_rate || S.AudioSyncMethod >= 2;
  ist.RequestedChannels = enc->ch_layout.nb_channels;
  ost.EncodingNeeded = true;
  ist.DecodingNeeded = true;
}

int TCustomFFmpeg::TRun::DecodeAudio(int istIndex, AVPacket* packet) {
  TInputStream& ist = Ist[istIndex];
  AVCodecContext* dec = ist.Decoder.get();
  if (packet) {
    const size_t wanted = std::max<size_t>(2 * static_cast<size_t>(packet->size), 192000);
    if (DecodeBuffer.size() < wanted) DecodeBuffer.resize(wanted);
  }
  const int streamIndex = packet ? packet->stream_index : ist.StreamIndex;
  const int sent = ff::avcodec_send_packet(dec, packet);
  if (sent < 0 && sent != AVERROR_EOF) return -1;
  for (int frames = 0;; ++frames) {
    const int got = ff::avcodec_receive_frame(dec, Decoded.get());
    if (got == AVERROR(EAGAIN) || got == AVERROR_EOF) return 0;
    if (got < 0) return -1;
    if (packet && frames > 0 && ((!ist.MultipleFramesShown && S.Verbosity > 0) || S.Verbosity > 1)) {
      E.Log(llError, "Multiple frames in a packet from stream %d", streamIndex);
      ist.MultipleFramesShown = true;
    }
    AudioFrame(istIndex, Decoded.get());
    ff::av_frame_unref(Decoded.get());
  }
}

int64_t TCustomFFmpeg::TRun::FramePosition(TInputStream& ist, const AVFrame* frame) {
  const int rate = frame->sample_rate;
  const int64_t pts = frame->best_effort_timestamp != AV_NOPTS_VALUE ? frame->best_effort_timestamp : frame->pts;
  const int64_t stated = pts != AV_NOPTS_VALUE ? ff::av_rescale_q(pts, ist.Stream->time_base, AVRational{1, rate})
                                               : ff::av_rescale(ist.Time, rate, AV_TIME_BASE);
  // Container timestamps may be coarser than a sample: small differences are theirs.
  if (ist.PositionRate != rate || std::llabs(stated - ist.NextSample) > rate / 200) ist.NextSample = stated;
  ist.PositionRate = rate;
  const int64_t first = ist.NextSample;
  ist.NextSample += frame->nb_samples;
  return first;
}

void TCustomFFmpeg::TRun::AudioFrame(int istIndex, const AVFrame* frame) {
  TInputStream& ist = Ist[istIndex];
  ist.Time = ist.NextTime;
  const int channels = frame->ch_layout.nb_channels;
  const int rate = frame->sample_rate;
  if (channels <= 0 || rate <= 0 || frame->nb_samples <= 0) return;

  const size_t count = static_cast<size_t>(frame->nb_samples) * channels;
  const size_t bytes = count * DecodeBytesPerSample;
  if (DecodeBuffer.size() < bytes) DecodeBuffer.resize(bytes);
  uint8_t* samples = DecodeBuffer.data();
  // A stream may change its rate or layout midway (joined files): convert by what came.
  if (frame->format != ist.DecodedFormat || rate != ist.DecodedRate || channels != ist.DecodedChannels) {
    ist.ToDecodeFormat.reset();
    ist.DecodedFormat = frame->format;
    ist.DecodedRate = rate;
    ist.DecodedChannels = channels;
  }
  if (frame->format == DecodeFormat) {
    std::memcpy(samples, frame->extended_data[0], bytes);
  } else {
    if (!ist.ToDecodeFormat)
      ist.ToDecodeFormat = MakeResampler(frame->ch_layout, DecodeFormat, rate, frame->ch_layout,
                                         static_cast<AVSampleFormat>(frame->format), rate);
    if (!ist.ToDecodeFormat)
      RaiseFFmpeg("Cannot convert %s sample format to %s sample format",
                  ff::av_get_sample_fmt_name(static_cast<AVSampleFormat>(frame->format)),
                  ff::av_get_sample_fmt_name(DecodeFormat));
    const int converted = ff::swr_convert(ist.ToDecodeFormat.get(), &samples, frame->nb_samples,
                                          const_cast<const uint8_t**>(frame->extended_data), frame->nb_samples);
    if (converted <= 0) return;
  }
  const int size = static_cast<int>(bytes);
  ist.NextTime += static_cast<int64_t>(1000000 / DecodeBytesPerSample) * size / (static_cast<int64_t>(rate) * channels);
  const int64_t first = FramePosition(ist, frame);

  // The hook gets and changes interleaved 16-bit samples; the floats take over its
  // changes only. Its time is the first sample's place as the trim counts it, to the
  // nearest µs: a hook that turns it back into a sample index finds the same sample.
  auto* floats = reinterpret_cast<float*>(samples);
  if (E.OnAudioHook) {
    HookSamples.resize(count);
    HookHanded.resize(count);
    FloatsToHookSamples(floats, HookHanded.data(), count);
    std::copy(HookHanded.begin(), HookHanded.end(), HookSamples.begin());
    E.OnAudioHook(&E, reinterpret_cast<uint8_t*>(HookSamples.data()), ff::av_rescale(first, AV_TIME_BASE, rate),
                  static_cast<int>(count * sizeof(int16_t)), rate, channels, AV_SAMPLE_FMT_S16);
    ApplyHookChanges(floats, HookHanded.data(), HookSamples.data(), count);
  }
  ApplyVolume(floats, count, S.AudioVolume);
  if (S.RateEmulation) {
    const int64_t ahead = ist.Time - (WallClock() - ist.Start);
    if (ahead > 1000) std::this_thread::sleep_for(std::chrono::milliseconds(ahead / 1000));
  }

  // The cut is exact to the sample: a buffer across the start or the end gives the
  // encoders only its samples inside [start, start + recording time). Without a start
  // time the output begins with the first buffer (where an input seek landed).
  const auto toSamples = [rate](int64_t us) { return ff::av_rescale(us, rate, AV_TIME_BASE); };
  int64_t from = S.StartTime == 0 ? 0 : std::clamp<int64_t>(toSamples(S.StartTime) - first, 0, frame->nb_samples);
  int64_t to = frame->nb_samples;
  if (S.RecordingTime != NoLimit && S.RecordingTime < NoLimit - std::max<int64_t>(S.StartTime, 0))
    to = std::clamp<int64_t>(toSamples(S.StartTime + S.RecordingTime) - first, 0, frame->nb_samples);
  if (to <= from) return;
  const int frameBytes = channels * DecodeBytesPerSample;
  const int64_t time = ff::av_rescale(first + from, AV_TIME_BASE, rate);
  for (TOutputStream& ost : Ost)
    if (ost.SourceIndex == istIndex && ost.EncodingNeeded)
      AudioOut(ost, ist, samples + from * frameBytes, static_cast<int>((to - from) * frameBytes),
               ost.SyncIndex == istIndex ? time : Ist[ost.SyncIndex].Time);
}

void TCustomFFmpeg::TRun::AudioOut(TOutputStream& ost, TInputStream& ist, uint8_t* samples, int size, int64_t time) {
  AVCodecContext* enc = ost.Encoder();
  const int osize = ff::av_get_bytes_per_sample(enc->sample_fmt);
  const int encChannels = enc->ch_layout.nb_channels, decChannels = ist.DecodedChannels;
  const int encRate = enc->sample_rate, decRate = ist.DecodedRate;
  if (osize <= 0 || encChannels <= 0 || decChannels <= 0 || encRate <= 0 || decRate <= 0)
    RaiseFFmpeg("Can not resample %d channels @ %d Hz to %d channels @ %d Hz", decChannels, decRate, encChannels,
                encRate);
  const int codedBits = ff::av_get_bits_per_sample(enc->codec_id);
  TAudioBufferSizes sizes = AudioBufferSizes(size, DecodeBytesPerSample, decChannels, decRate, encRate, osize,
                                             encChannels, enc->frame_size, codedBits);
  if (encChannels != decChannels || encRate != decRate) ost.AudioResamplingNeeded = true;
  const bool convert = ost.AudioResamplingNeeded || enc->sample_fmt != DecodeFormat;
  // The old converter's tail belongs before the new input.
  if (ost.Resampler && (ost.ResamplerRate != decRate || ost.ResamplerChannels != decChannels)) DrainResampler(ost);

  if (convert && !ost.Resampler) {
    AVChannelLayout in{};
    ff::av_channel_layout_default(&in, decChannels);
    ost.Resampler = MakeResampler(enc->ch_layout, enc->sample_fmt, encRate, in, DecodeFormat, decRate);
    ost.ResamplerRate = decRate;
    ost.ResamplerChannels = decChannels;
    if (!ost.Resampler) {
      if (ost.AudioResamplingNeeded)
        RaiseFFmpeg("Can not resample %d channels @ %d Hz to %d channels @ %d Hz", decChannels, decRate, encChannels,
                    encRate);
      RaiseFFmpeg("Cannot convert %s sample format to %s sample format",
                  ff::av_get_sample_fmt_name(DecodeFormat), ff::av_get_sample_fmt_name(enc->sample_fmt));
    }
  }

  const int fifoSamples = ff::av_audio_fifo_size(ost.Fifo.get());
  const double ipts = (time - S.StartTime) / 1e6;
  if (S.AudioSyncMethod != 0) {
    const double delta = ipts * encRate - ost.SyncPosition - fifoSamples;
    const double idelta = delta * decRate / encRate;
    int byteDelta = static_cast<int>(idelta) * decChannels * DecodeBytesPerSample;
    if (std::fabs(delta) > 50) {
      if (!ist.IsStart && std::fabs(delta) <= encRate * S.AudioDriftThreshold) {
        if (S.AudioSyncMethod >= 2 && ost.Resampler) {
          const int comp = std::clamp(static_cast<int>(delta), -S.AudioSyncMethod, S.AudioSyncMethod);
          if (S.Verbosity > 2)
            E.Log(llVerbose, "compensating audio timestamp drift:%f compensation:%d in:%d", delta, comp, encRate);
          ff::swr_set_compensation(ost.Resampler.get(), comp, encRate);
        }
      } else if (byteDelta < 0) {
        byteDelta = std::max(byteDelta, -size);
        samples += -byteDelta;
        size += byteDelta;
        if (S.Verbosity > 2) E.Log(llVerbose, "discarding %d audio samples", static_cast<int>(-delta));
        if (size <= 0) return;
        ist.IsStart = false;
      } else {
        SilenceBuffer.resize(static_cast<size_t>(size) + byteDelta);
        std::memset(SilenceBuffer.data(), 0, byteDelta);
        std::memcpy(SilenceBuffer.data() + byteDelta, samples, size);
        samples = SilenceBuffer.data();
        size += byteDelta;
        ist.IsStart = false;
        if (S.Verbosity > 2) E.Log(llVerbose, "adding %d audio samples of silence", static_cast<int>(delta));
        sizes = AudioBufferSizes(size, DecodeBytesPerSample, decChannels, decRate, encRate, osize, encChannels,
                                 enc->frame_size, codedBits);
      }
    }
  } else {
    ost.SyncPosition = std::llround(ipts * encRate) - fifoSamples;
  }

  const int inSamples = size / (decChannels * DecodeBytesPerSample);
  if (convert) {
    ConvertIntoFifo(ost, samples, inSamples, sizes.WorkSamples);
  } else if (inSamples > 0) {
    uint8_t* planes[1] = {samples};
    if (ff::av_audio_fifo_write(ost.Fifo.get(), reinterpret_cast<void**>(planes), inSamples) < inSamples)
      RaiseFFmpeg("av_fifo_realloc2() failed");
  }
  EncodeFifoFrames(ost, sizes.OutputBytes);
}

void TCustomFFmpeg::TRun::ConvertIntoFifo(TOutputStream& ost, const uint8_t* samples, int sampleCount,
                                          int64_t workSamples) {
  const AVCodecContext* enc = ost.Encoder();
  const int encChannels = enc->ch_layout.nb_channels;
  const size_t workBytes =
      static_cast<size_t>(workSamples) * ff::av_get_bytes_per_sample(enc->sample_fmt) * encChannels;
  if (WorkBuffer.size() < workBytes) WorkBuffer.resize(workBytes);
  uint8_t* planes[AV_NUM_DATA_POINTERS] = {};
  ff::av_samples_fill_arrays(planes, nullptr, WorkBuffer.data(), encChannels, static_cast<int>(workSamples),
                             enc->sample_fmt, 1);
  const uint8_t* in = samples;
  const int converted = ff::swr_convert(ost.Resampler.get(), planes, static_cast<int>(workSamples),
                                        samples ? &in : nullptr, samples ? sampleCount : 0);
  if (converted < 0) {
    if (S.ExitOnError) RaiseFFmpeg("av_audio_convert() failed");
    E.Log(llError, "av_audio_convert() failed");
    return;
  }
  if (converted > 0 &&
      ff::av_audio_fifo_write(ost.Fifo.get(), reinterpret_cast<void**>(planes), converted) < converted)
    RaiseFFmpeg("av_fifo_realloc2() failed");
}

void TCustomFFmpeg::TRun::DrainResampler(TOutputStream& ost) {
  if (!ost.Resampler) return;
  for (int before = -1; before != ff::av_audio_fifo_size(ost.Fifo.get());) {
    before = ff::av_audio_fifo_size(ost.Fifo.get());
    ConvertIntoFifo(ost, nullptr, 0, 4096);
  }
  // A drained converter is not fed again: the next input gets a new one.
  ost.Resampler.reset();
}

void TCustomFFmpeg::TRun::EncodeFifoFrames(TOutputStream& ost, int64_t outputBytes) {
  AVCodecContext* enc = ost.Encoder();
  // An encoder without a fixed frame size takes whatever arrived as one frame.
  const bool whole = enc->frame_size <= 1 || (enc->codec->capabilities & AV_CODEC_CAP_VARIABLE_FRAME_SIZE);
  const int frameSize = whole ? ff::av_audio_fifo_size(ost.Fifo.get()) : enc->frame_size;
  if (whole && enc->frame_size <= 1)
    SampleCodecBytes(static_cast<int64_t>(frameSize) * ff::av_get_bytes_per_sample(enc->sample_fmt) *
                         enc->ch_layout.nb_channels,
                     ff::av_get_bytes_per_sample(enc->sample_fmt), ff::av_get_bits_per_sample(enc->codec_id),
                     outputBytes);
  while (frameSize > 0 && ff::av_audio_fifo_size(ost.Fifo.get()) >= frameSize) {
    AVFrame* frame = EncodeFrame.get();
    frame->nb_samples = frameSize;
    frame->format = enc->sample_fmt;
    frame->sample_rate = enc->sample_rate;
    ff::av_channel_layout_copy(&frame->ch_layout, &enc->ch_layout);
    if (ff::av_frame_get_buffer(frame, 0) < 0) RaiseFFmpeg("Out of memory in do_audio_out");
    ff::av_audio_fifo_read(ost.Fifo.get(), reinterpret_cast<void**>(frame->extended_data), frameSize);
    frame->pts = ost.SyncPosition;
    EncodeAudioFrame(ost, frame);
    ost.SyncPosition += frameSize;
    ost.EncodedSamples += frameSize;
  }
}

void TCustomFFmpeg::TRun::EncodeAudioFrame(TOutputStream& ost, AVFrame* frame) {
  AVCodecContext* enc = ost.Encoder();
  const int sent = ff::avcodec_send_frame(enc, frame);
  if (frame) ff::av_frame_unref(frame);
  if (sent < 0 && sent != AVERROR_EOF) RaiseFFmpeg("Audio encoding failed");
  for (;;) {
    const int got = ff::avcodec_receive_packet(enc, Encoded.get());
    if (got == AVERROR(EAGAIN) || got == AVERROR_EOF) return;
    if (got < 0) RaiseFFmpeg("Audio encoding failed");
    AudioBytes += Encoded->size;
    Encoded->stream_index = ost.StreamIndex;
    ff::av_packet_rescale_ts(Encoded.get(), enc->time_base, ost.Stream->time_base);
    WriteFrame(ost, Encoded.get());
    ++ost.FrameNumber;  // "aframes" counts the packets written
  }
}

void TCustomFFmpeg::TRun::FlushAudio(TOutputStream& ost) {
  AVCodecContext* enc = ost.Encoder();
  if (ost.Resampler) {
    DrainResampler(ost);
    EncodeFifoFrames(ost, NoLimit);
  }
  const int left = ost.Fifo ? ff::av_audio_fifo_size(ost.Fifo.get()) : 0;
  if (left > 0) {
    // A short last frame where the encoder takes one, else a frame padded with silence.
    const bool shortOk = enc->frame_size <= 1 || (enc->codec->capabilities & (AV_CODEC_CAP_SMALL_LAST_FRAME |
                                                                               AV_CODEC_CAP_VARIABLE_FRAME_SIZE));
    const int n = shortOk ? left : enc->frame_size;
    AVFrame* frame = EncodeFrame.get();
    frame->nb_samples = n;
    frame->format = enc->sample_fmt;
    frame->sample_rate = enc->sample_rate;
    ff::av_channel_layout_copy(&frame->ch_layout, &enc->ch_layout);
    if (ff::av_frame_get_buffer(frame, 0) < 0) RaiseFFmpeg("frame_bytes invalid.");
    ff::av_samples_set_silence(frame->extended_data, 0, n, enc->ch_layout.nb_channels, enc->sample_fmt);
    ff::av_audio_fifo_read(ost.Fifo.get(), reinterpret_cast<void**>(frame->extended_data), left);
    frame->pts = ost.SyncPosition;
    EncodeAudioFrame(ost, frame);
    ost.SyncPosition += n;
    ost.EncodedSamples += left;
  }
  EncodeAudioFrame(ost, nullptr);
}

}  // namespace sw
