// The video path: decoding, the input hook, the filter graph, frame-rate fitting by
// dropping and duplicating, cropping and scaling, encoding and the end-of-stream flush.
#include <algorithm>
#include <cmath>
#include <thread>

#include "RunTables.h"
#include "VideoState.h"
#include "media/common/FFUtils.h"

namespace sw {

namespace {

constexpr AVRational Microseconds{1, AV_TIME_BASE};

// The picture as its cropped part: the planes start further in, the size shrinks.
bool CropPicture(AVFrame* picture, const int bands[4]) {
  const AVPixFmtDescriptor* desc = ff::av_pix_fmt_desc_get(static_cast<AVPixelFormat>(picture->format));
  if (!desc || (desc->flags & (AV_PIX_FMT_FLAG_BITSTREAM | AV_PIX_FMT_FLAG_PAL | AV_PIX_FMT_FLAG_HWACCEL)))
    return false;
  const int top = bands[0], left = bands[2];
  if ((top & ((1 << desc->log2_chroma_h) - 1)) || (left & ((1 << desc->log2_chroma_w) - 1))) return false;
  int step[4] = {};
  for (int c = 0; c < desc->nb_components; ++c)
    step[desc->comp[c].plane] = std::max(step[desc->comp[c].plane], desc->comp[c].step);
  for (int p = 0; p < 4 && picture->data[p]; ++p) {
    const bool chroma = (desc->flags & AV_PIX_FMT_FLAG_PLANAR) && (p == 1 || p == 2);
    const int x = chroma ? left >> desc->log2_chroma_w : left;
    const int y = chroma ? top >> desc->log2_chroma_h : top;
    picture->data[p] += static_cast<ptrdiff_t>(y) * picture->linesize[p] + static_cast<ptrdiff_t>(x) * step[p];
  }
  picture->width -= bands[2] + bands[3];
  picture->height -= bands[0] + bands[1];
  return true;
}

// A writable picture of the same shape holding a copy of source; nullptr on failure.
AVFrame* WritableCopy(TFramePtr& holder, const AVFrame* source) {
  if (!holder) holder.reset(ff::av_frame_alloc());
  if (!holder) return nullptr;
  AVFrame* copy = holder.get();
  if (copy->width != source->width || copy->height != source->height || copy->format != source->format) {
    ff::av_frame_unref(copy);
    copy->width = source->width;
    copy->height = source->height;
    copy->format = source->format;
    if (ff::av_frame_get_buffer(copy, 0) < 0) return nullptr;
  }
  if (ff::av_frame_make_writable(copy) < 0) return nullptr;
  ff::av_image_copy(copy->data, copy->linesize, const_cast<const uint8_t**>(source->data), source->linesize,
                    static_cast<AVPixelFormat>(source->format), source->width, source->height);
  copy->pts = source->pts;
  copy->sample_aspect_ratio = source->sample_aspect_ratio;
  return copy;
}

}  // namespace

int TCustomFFmpeg::TRun::DecodeVideo(int istIndex, AVPacket* packet) {
  TInputStream& ist = Ist[istIndex];
  AVCodecContext* dec = ist.Decoder.get();
  const int sent = ff::avcodec_send_packet(dec, packet);
  if (sent < 0 && sent != AVERROR_EOF) return -1;
  for (;;) {
    const int got = ff::avcodec_receive_frame(dec, Decoded.get());
    if (got == AVERROR(EAGAIN) || got == AVERROR_EOF) return 0;
    if (got < 0) return -1;
    VideoFrame(istIndex, Decoded.get());
    ff::av_frame_unref(Decoded.get());
  }
}

void TCustomFFmpeg::TRun::VideoFrame(int istIndex, AVFrame* frame) {
  TInputStream& ist = Ist[istIndex];
  const AVRational tb = ist.Stream->time_base;
  if (frame->best_effort_timestamp != AV_NOPTS_VALUE)
    ist.Time = ff::av_rescale_q(frame->best_effort_timestamp, tb, Microseconds);
  else
    ist.Time = ist.NextTime;
  int64_t duration = frame->pkt_duration > 0 ? ff::av_rescale_q(frame->pkt_duration, tb, Microseconds) : 0;
  if (duration <= 0) {
    const AVRational rate = ist.Decoder->framerate.num > 0 ? ist.Decoder->framerate : ist.Stream->avg_frame_rate;
    if (rate.num > 0 && rate.den > 0) duration = ff::av_rescale(AV_TIME_BASE, rate.den, rate.num);
  }
  ist.NextTime = ist.Time + std::max<int64_t>(duration, 0);
  ++ist.PictureCount;

  AVFrame* picture = frame;
  if (InputHook) {
    if (!ist.Video) ist.Video = std::make_shared<TVideoInput>();
    picture = WritableCopy(ist.Video->HookPicture, frame);
    if (!picture) RaiseFFmpeg("hook buf malloc error.");
    CallVideoHook(true, picture, ist.PictureCount, ist.Time);
  }
  if (S.RateEmulation) {
    const int64_t ahead = ist.Time - (WallClock() - ist.Start);
    if (ahead > 1000) std::this_thread::sleep_for(std::chrono::milliseconds(ahead / 1000));
  }
  if (S.StartTime != 0 && ist.Time < S.StartTime) return;

  const auto dispatch = [&](AVFrame* p, bool filtered) {
    for (TOutputStream& ost : Ost)
      if (ost.SourceIndex == istIndex && ost.EncodingNeeded) {
        if (ost.Encoder()->codec_type != AVMEDIA_TYPE_VIDEO) RaiseFFmpeg("invalid codec_type");
        VideoOut(ost, ist, p, filtered);
      }
  };
  TVideoInput* v = ist.Video.get();
  if (!v || !v->Graph) {
    dispatch(picture, false);
    return;
  }
  picture->pts = ist.Time;
  if (ff::av_buffersrc_add_frame_flags(v->FilterInput, picture, AV_BUFFERSRC_FLAG_KEEP_REF) < 0) {
    if (!v->GraphIsDeinterlaceOnly) RaiseFFmpeg("Error while filtering the picture of stream #%d.%d", ist.FileIndex,
                                                ist.StreamIndex);
    E.Log(llError, "Deinterlacing failed.");
    dispatch(picture, false);
    return;
  }
  const AVRational outTb = ff::av_buffersink_get_time_base(v->FilterOutput);
  while (ff::av_buffersink_get_frame(v->FilterOutput, v->Filtered.get()) >= 0) {
    if (v->Filtered->pts != AV_NOPTS_VALUE) ist.Time = ff::av_rescale_q(v->Filtered->pts, outTb, Microseconds);
    dispatch(v->Filtered.get(), true);
    ff::av_frame_unref(v->Filtered.get());
  }
}

void TCustomFFmpeg::TRun::VideoOut(TOutputStream& ost, TInputStream& ist, AVFrame* picture, bool filtered) {
  AVCodecContext* enc = ost.Encoder();
  TVideoOutput& v = *ost.Video;

  // 1. How many output frames this picture makes.
  int count = 1;
  const TInputStream& sync = Ist[ost.SyncIndex];
  const double syncTime = (sync.Time - S.StartTime) / 1e6 / (static_cast<double>(enc->time_base.num) / enc->time_base.den);
  if (S.VideoSyncMethod != 0) {
    const double vdelta = syncTime - static_cast<double>(ost.SyncPosition);
    const bool variable = E.OutputFile(ost.FileIndex)->Context->oformat->flags & AVFMT_VARIABLE_FPS;
    if (vdelta < -1.1) {
      count = 0;
    } else if (S.VideoSyncMethod == 2 || (S.VideoSyncMethod < 0 && variable)) {
      if (vdelta <= -0.6)
        count = 0;
      else if (vdelta > 0.6)
        ost.SyncPosition = std::llrint(syncTime);
    } else if (vdelta > 1.1) {
      count = static_cast<int>(std::llrint(vdelta));
    }
    if (count == 0) {
      ++DroppedFrames;
      DupDropNotice = true;
      if (S.Verbosity > 2) E.Log(llVerbose, "*** drop!");
    } else if (count > 1) {
      DuplicatedFrames += count - 1;
      DupDropNotice = true;
      if (S.Verbosity > 2) E.Log(llVerbose, "*** %d dup!", count - 1);
    }
  } else {
    ost.SyncPosition = std::llrint(syncTime);
  }
  count = std::min(count, S.MaxFrames[AVMEDIA_TYPE_VIDEO] - ost.FrameNumber);
  if (count <= 0) return;

  AVFrame* source = picture;
  if (!filtered) {
    // 3. A picture of another size or format than the set-up's: the crop bands follow
    //    the size, and a scaler takes over where the encoder's shape is no longer met.
    const TPictureShape decoded{picture->width, picture->height, picture->format};
    if (!(decoded == v.Source)) {
      E.Log(llQuiet, "Input Stream #%d.%d frame size changed to %dx%d, %s", ist.FileIndex, ist.StreamIndex,
            decoded.Width, decoded.Height,
            ff::av_get_pix_fmt_name(static_cast<AVPixelFormat>(decoded.Format))
                ? ff::av_get_pix_fmt_name(static_cast<AVPixelFormat>(decoded.Format))
                : "none");
      if (v.Crop && v.Source.Width > 0 && v.Source.Height > 0) {
        for (int i = 0; i < 4; ++i) {
          const int from = i < 2 ? v.Source.Height : v.Source.Width, to = i < 2 ? decoded.Height : decoded.Width;
          v.Bands[i] = static_cast<int>(static_cast<int64_t>(v.ConfiguredBands[i]) * to / from) & ~1;
        }
      }
      v.Source = decoded;
      v.ScalerInput = {decoded.Width - v.Bands[2] - v.Bands[3], decoded.Height - v.Bands[0] - v.Bands[1],
                       decoded.Format};
      v.ResamplingNeeded = v.ScalerInput.Width != enc->width || v.ScalerInput.Height != enc->height ||
                           v.ScalerInput.Format != enc->pix_fmt;
      v.Scaler.reset();
      if (v.ResamplingNeeded) {
        v.Scaler.reset(ff::sws_getContext(v.ScalerInput.Width, v.ScalerInput.Height,
                                          static_cast<AVPixelFormat>(v.ScalerInput.Format), enc->width, enc->height,
                                          enc->pix_fmt, S.ScalerFlags, nullptr, nullptr, nullptr));
        if (!v.Scaler) RaiseFFmpeg("Cannot get resampling context");
        if (!v.Temp) {
          v.Temp.reset(ff::av_frame_alloc());
          if (!v.Temp) RaiseFFmpeg("Cannot allocate temp picture, check pix fmt");
          v.Temp->width = enc->width;
          v.Temp->height = enc->height;
          v.Temp->format = enc->pix_fmt;
          if (ff::av_frame_get_buffer(v.Temp.get(), 0) < 0) RaiseFFmpeg("Cannot allocate temp picture, check pix fmt");
        }
      }
    }
    // 2. Cropping: a view into the picture.
    if (v.Crop) {
      if (!v.Sent) v.Sent.reset(ff::av_frame_alloc());
      ff::av_frame_unref(v.Sent.get());
      if (ff::av_frame_ref(v.Sent.get(), picture) < 0 || !CropPicture(v.Sent.get(), v.Bands)) {
        ff::av_frame_unref(v.Sent.get());
        if (S.ExitOnError) RaiseFFmpeg("error cropping picture");
        E.Log(llError, "error cropping picture");
        return;
      }
      source = v.Sent.get();
    }
    if (v.ResamplingNeeded) {
      if (ff::av_frame_make_writable(v.Temp.get()) < 0) RaiseFFmpeg("Cannot allocate temp picture, check pix fmt");
      ff::sws_scale(v.Scaler.get(), source->data, source->linesize, 0, source->height, v.Temp->data,
                    v.Temp->linesize);
      source = v.Temp.get();
    }
  }

  for (int i = 0; i < count; ++i) {
    AVFrame* toEncode = source;
    if (OutputHook || (PreviewModes && WallClock() - LastPreview >= S.PreviewInterval)) {
      if (OutputHook) {
        toEncode = WritableCopy(v.HookPicture, source);
        if (!toEncode) RaiseFFmpeg("hook buf malloc error.");
        CallVideoHook(false, toEncode, ost.FrameNumber + 1, sync.Time);
      }
      if (PreviewModes && WallClock() - LastPreview >= S.PreviewInterval) {
        LastPreview = WallClock();
        PreviewPicture(toEncode, ost.FrameNumber + 1, sync.Time);
      }
    }
    EncodeVideo(ost, toEncode);
    ++ost.SyncPosition;
    ++ost.FrameNumber;
  }
  if (source == v.Sent.get()) ff::av_frame_unref(v.Sent.get());
}

void TCustomFFmpeg::TRun::EncodeVideo(TOutputStream& ost, AVFrame* picture) {
  AVCodecContext* enc = ost.Encoder();
  TVideoOutput& v = *ost.Video;
  int sent;
  if (picture) {
    TFramePtr frame(ff::av_frame_alloc());
    if (!frame || ff::av_frame_ref(frame.get(), picture) < 0) RaiseFFmpeg("Video encoding failed");
    frame->pts = ost.SyncPosition;
    frame->pict_type = AV_PICTURE_TYPE_NONE;
    frame->sample_aspect_ratio = enc->sample_aspect_ratio;
    if (S.TopFieldFirst >= 0) {
      frame->interlaced_frame = 1;
      frame->top_field_first = S.TopFieldFirst;
    }
    sent = ff::avcodec_send_frame(enc, frame.get());
  } else {
    sent = ff::avcodec_send_frame(enc, nullptr);
  }
  if (sent < 0 && sent != AVERROR_EOF) RaiseFFmpeg("Video encoding failed");
  AVPacket* packet = v.Packet.get();
  for (;;) {
    const int got = ff::avcodec_receive_packet(enc, packet);
    if (got == AVERROR(EAGAIN) || got == AVERROR_EOF) return;
    if (got < 0) RaiseFFmpeg("Video encoding failed");
    VideoBytes += packet->size;
    size_t sideSize = 0;
    if (const uint8_t* q = ff::av_packet_get_side_data(packet, AV_PKT_DATA_QUALITY_STATS, &sideSize);
        q && sideSize >= 6) {
      v.LastQuality = static_cast<int>(q[0] | q[1] << 8 | q[2] << 16 | static_cast<uint32_t>(q[3]) << 24);
      v.LastPictType = ff::av_get_picture_type_char(static_cast<AVPictureType>(q[4]));
      const int errors = q[5];
      v.HasErrors = errors > 0 && sideSize >= 8 + 8 * static_cast<size_t>(errors);
      for (int i = 0; i < 4; ++i) {
        v.LastErrors[i] = 0;
        if (v.HasErrors && i < errors)
          for (int k = 0; k < 8; ++k) v.LastErrors[i] |= static_cast<uint64_t>(q[8 + 8 * i + k]) << (8 * k);
      }
    }
    if (v.TwoPassLog && enc->stats_out) std::fputs(enc->stats_out, v.TwoPassLog.get());
    if (!S.VideoStatsFile.empty()) WriteVideoStats(ost, packet->size);
    packet->stream_index = ost.StreamIndex;
    if (packet->duration <= 0) packet->duration = 1;
    ff::av_packet_rescale_ts(packet, enc->time_base, ost.Stream->time_base);
    WriteFrame(ost, packet);
    ff::av_packet_unref(packet);
  }
}

void TCustomFFmpeg::TRun::FlushVideo(TOutputStream& ost) {
  if (!ost.Video) return;
  EncodeVideo(ost, nullptr);
  // The pass-1 log ends with the encoder's summary.
  if (ost.Video->TwoPassLog && ost.Encoder()->stats_out) std::fputs(ost.Encoder()->stats_out, ost.Video->TwoPassLog.get());
}

void TCustomFFmpeg::TRun::WriteVideoStats(TOutputStream& ost, int64_t frameSize) {
  if (!VideoStats) {
    std::FILE* f = std::fopen(S.VideoStatsFile.c_str(), "w");
    if (!f) RaiseFFmpeg("fopen fail: %s", S.VideoStatsFile.c_str());
    VideoStats.reset(f, [](std::FILE* file) { std::fclose(file); });
  }
  const AVCodecContext* enc = ost.Encoder();
  const TVideoOutput& v = *ost.Video;
  std::FILE* f = VideoStats.get();
  const int frame = ost.FrameNumber + 1;
  std::fprintf(f, "frame= %5d q= %2.1f ", frame, v.LastQuality / static_cast<float>(FF_QP2LAMBDA));
  if ((enc->flags & AV_CODEC_FLAG_PSNR) && v.HasErrors)
    std::fprintf(f, "PSNR= %6.2f ",
                 -10.0 * std::log10(v.LastErrors[0] / (enc->width * enc->height * 255.0 * 255.0) + 1e-300));
  std::fprintf(f, "f_size= %6d ", static_cast<int>(frameSize));
  const double time = (ost.SyncPosition + 1) * static_cast<double>(enc->time_base.num) / enc->time_base.den;
  const double rate = time > 0 ? frameSize * 8 / (static_cast<double>(enc->time_base.num) / enc->time_base.den) / 1000
                               : 0;
  const double total = static_cast<double>(VideoBytes);
  std::fprintf(f, "s_size= %8.0fkB time= %0.3f br= %7.1fkbits/s avg_br= %7.1fkbits/s ", total / 1024, time, rate,
               time > 0 ? total * 8 / time / 1000 : 0.0);
  std::fprintf(f, "type= %c\n", v.LastPictType);
}

}  // namespace sw
