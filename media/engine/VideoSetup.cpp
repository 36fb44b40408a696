// Setting up an encoded video output: crop and scale, the filter graph, the two-pass log.
#include <climits>
#include <cstring>

#include "RunTables.h"
#include "VideoState.h"
#include "media/binding/FFLoad.h"
#include "media/common/FFUtils.h"

namespace sw {

namespace {

constexpr AVRational Microseconds{1, AV_TIME_BASE};

void AddFilter(AVFilterGraph* graph, AVFilterContext** made, const char* filter, const char* name,
               const std::string& args) {
  const AVFilter* f = ff::avfilter_get_by_name(filter);
  const int r = f ? ff::avfilter_graph_create_filter(made, f, name, args.empty() ? nullptr : args.c_str(), nullptr,
                                                     graph)
                  : AVERROR_FILTER_NOT_FOUND;
  if (r < 0) throw FFmpegException(LibraryErrorText("Error opening filters: " + std::string(filter), r));
}

}  // namespace

TVideoOutput::~TVideoOutput() {
  // The encoder context outlives the run; it must not keep the statistics it was lent.
  if (StatsOwner && StatsOwner->stats_in == StatsIn) StatsOwner->stats_in = nullptr;
  if (StatsIn) ff::av_free(StatsIn);
}

void TCustomFFmpeg::TRun::VideoEncoderSetup(TOutputStream& ost, TInputStream& ist) {
  AVCodecContext* enc = ost.Encoder();
  const AVCodecParameters* in = ist.Stream->codecpar;
  if (enc->pix_fmt == AV_PIX_FMT_NONE) RaiseFFmpeg("Video pixel format is unknown, stream cannot be encoded");
  auto video = std::make_shared<TVideoOutput>();
  ost.Video = video;
  video->Packet.reset(ff::av_packet_alloc());
  video->Sent.reset(ff::av_frame_alloc());
  if (!video->Packet || !video->Sent) RaiseFFmpeg("av_mallocz fail");

  for (int i = 0; i < 4; ++i) video->Bands[i] = video->ConfiguredBands[i] = S.CropBands[i];
  video->Crop = S.CropBands[0] || S.CropBands[1] || S.CropBands[2] || S.CropBands[3];
  const int croppedWidth = in->width - S.CropBands[2] - S.CropBands[3];
  const int croppedHeight = in->height - S.CropBands[0] - S.CropBands[1];
  // A size left open takes the cropped input's.
  if (enc->width <= 0 || enc->height <= 0) {
    enc->width = croppedWidth;
    enc->height = croppedHeight;
  }
  if (enc->time_base.num <= 0 || enc->time_base.den <= 0) {
    const AVRational rate = ist.Stream->r_frame_rate.num > 0 ? ist.Stream->r_frame_rate : AVRational{25, 1};
    enc->time_base = AVRational{rate.den, rate.num};
  }
  video->Source = {in->width, in->height, in->format};
  video->ScalerInput = {croppedWidth, croppedHeight, in->format};

  if (!S.VideoFilters.empty() || S.Deinterlace) {
    // The graph crops and scales; what it gives goes to the encoder as it is.
    BuildFilterGraph(ist, ost);
    video->Crop = false;
  } else {
    video->ResamplingNeeded =
        croppedWidth != enc->width || croppedHeight != enc->height || in->format != enc->pix_fmt;
  }
  if (video->ResamplingNeeded) {
    video->Temp.reset(ff::av_frame_alloc());
    if (video->Temp) {
      video->Temp->width = enc->width;
      video->Temp->height = enc->height;
      video->Temp->format = enc->pix_fmt;
    }
    if (!video->Temp || ff::av_frame_get_buffer(video->Temp.get(), 0) < 0)
      RaiseFFmpeg("Cannot allocate temp picture, check pix fmt");
    int64_t flags = S.ScalerFlags;
    ff::av_opt_get_int(E.OptionSet().ScalerContext(), "sws_flags", 0, &flags);
    S.ScalerFlags = static_cast<int>(flags);
    video->Scaler.reset(ff::sws_getContext(croppedWidth, croppedHeight, static_cast<AVPixelFormat>(in->format),
                                           enc->width, enc->height, enc->pix_fmt, S.ScalerFlags, nullptr, nullptr,
                                           nullptr));
    if (!video->Scaler) RaiseFFmpeg("Cannot get resampling context");
  }
  ost.EncodingNeeded = true;
  ist.DecodingNeeded = true;
  OpenTwoPassLog(ost, static_cast<int>(&ost - Ost.data()));
}

void TCustomFFmpeg::TRun::BuildFilterGraph(TInputStream& ist, TOutputStream& ost) {
  AVCodecContext* enc = ost.Encoder();
  const AVCodecParameters* in = ist.Stream->codecpar;
  if (!ist.Video) ist.Video = std::make_shared<TVideoInput>();
  TVideoInput& v = *ist.Video;
  if (v.Graph) return;  // one graph per decoded stream
  if (!FFLoader().LibraryLoaded(flAVFilter)) RaiseFFmpeg("LibAVFilter not loaded.");
  v.Graph.reset(ff::avfilter_graph_alloc());
  v.Filtered.reset(ff::av_frame_alloc());
  if (!v.Graph || !v.Filtered) RaiseFFmpeg("av_mallocz fail");
  AVFilterGraph* graph = v.Graph.get();
  const AVRational sar = in->sample_aspect_ratio.num > 0 ? in->sample_aspect_ratio : AVRational{0, 1};
  AddFilter(graph, &v.FilterInput, "buffer", "src",
            FormatText("video_size=%dx%d:pix_fmt=%d:time_base=%d/%d:pixel_aspect=%d/%d", in->width, in->height,
                       in->format, Microseconds.num, Microseconds.den, sar.num, sar.den));
  AddFilter(graph, &v.FilterOutput, "buffersink", "out", "");
  AVFilterContext* last = v.FilterInput;
  const int* b = S.CropBands;
  const int width = in->width - b[2] - b[3], height = in->height - b[0] - b[1];
  if (b[0] || b[1] || b[2] || b[3]) {
    AVFilterContext* crop = nullptr;
    AddFilter(graph, &crop, "crop", "crop", FormatText("%d:%d:%d:%d", width, height, b[2], b[0]));
    if (ff::avfilter_link(last, 0, crop, 0) < 0) RaiseFFmpeg("Error opening filters!");
    last = crop;
  }
  if (width != enc->width || height != enc->height) {
    AVFilterContext* scale = nullptr;
    AddFilter(graph, &scale, "scale", "scale", FormatText("%d:%d", enc->width, enc->height));
    if (ff::avfilter_link(last, 0, scale, 0) < 0) RaiseFFmpeg("Error opening filters!");
    last = scale;
  }
  // The encoder takes one pixel format: the graph converts to it at its end.
  AVFilterContext* format = nullptr;
  AddFilter(graph, &format, "format", "format",
            FormatText("pix_fmts=%s", ff::av_get_pix_fmt_name(enc->pix_fmt)));
  if (ff::avfilter_link(format, 0, v.FilterOutput, 0) < 0) RaiseFFmpeg("Error opening filters!");
  graph->scale_sws_opts = ff::av_strdup(FormatText("flags=0x%X", static_cast<unsigned>(S.ScalerFlags)).c_str());

  std::string text = S.VideoFilters.empty() ? "null" : S.VideoFilters;
  if (S.Deinterlace) text = "yadif," + text;
  v.GraphIsDeinterlaceOnly = S.VideoFilters.empty();
  AVFilterInOut* outputs = ff::avfilter_inout_alloc();
  AVFilterInOut* inputs = ff::avfilter_inout_alloc();
  int r = outputs && inputs ? 0 : AVERROR(ENOMEM);
  if (r == 0) {
    outputs->name = ff::av_strdup("in");
    outputs->filter_ctx = last;
    outputs->pad_idx = 0;
    outputs->next = nullptr;
    inputs->name = ff::av_strdup("out");
    inputs->filter_ctx = format;
    inputs->pad_idx = 0;
    inputs->next = nullptr;
    r = ff::avfilter_graph_parse_ptr(graph, text.c_str(), &inputs, &outputs, nullptr);
  }
  ff::avfilter_inout_free(&inputs);
  ff::avfilter_inout_free(&outputs);
  if (r >= 0) r = ff::avfilter_graph_config(graph, nullptr);
  if (r < 0) {
    char reason[256] = {};
    if (ff::av_strerror(r, reason, sizeof reason) < 0 || !reason[0]) RaiseFFmpeg("Error opening filters!");
    RaiseFFmpeg("Error opening filters: %s", reason);
  }
  // The encoder takes the graph's picture as it comes out (a pad makes it larger).
  enc->width = ff::av_buffersink_get_w(v.FilterOutput);
  enc->height = ff::av_buffersink_get_h(v.FilterOutput);
}

void TCustomFFmpeg::TRun::OpenTwoPassLog(TOutputStream& ost, int index) {
  AVCodecContext* enc = ost.Encoder();
  if (!(enc->flags & (AV_CODEC_FLAG_PASS1 | AV_CODEC_FLAG_PASS2))) return;
  std::string name = FormatText("%s-%d.log", S.PassLogPrefix.empty() ? "ffmpeg2pass" : S.PassLogPrefix.c_str(),
                                index);
  if (name.size() > 1023) name.resize(1023);
  TVideoOutput& v = *ost.Video;
  if (enc->flags & AV_CODEC_FLAG_PASS1) {
    v.TwoPassLog.reset(std::fopen(name.c_str(), "wb"));
    if (!v.TwoPassLog) RaiseFFmpeg("Cannot write log file %s for pass-1 encoding", name.c_str());
    return;
  }
  TFilePtr file(std::fopen(name.c_str(), "rb"));
  long size = -1;
  if (file && std::fseek(file.get(), 0, SEEK_END) == 0) size = std::ftell(file.get());
  if (!file || size < 0 || std::fseek(file.get(), 0, SEEK_SET) != 0)
    RaiseFFmpeg("Cannot read file: Error reading log file \"%s\" for pass-2 encoding", name.c_str());
  v.StatsIn = static_cast<char*>(ff::av_malloc(static_cast<size_t>(size) + 1));
  if (!v.StatsIn)
    RaiseFFmpeg("Could not allocate file buffer: Error reading log file \"%s\" for pass-2 encoding", name.c_str());
  if (std::fread(v.StatsIn, 1, static_cast<size_t>(size), file.get()) != static_cast<size_t>(size))
    RaiseFFmpeg("Cannot read file: Error reading log file \"%s\" for pass-2 encoding", name.c_str());
  v.StatsIn[size] = '\0';
  enc->stats_in = v.StatsIn;
  v.StatsOwner = enc;
}

void TCustomFFmpeg::TRun::AllocateBitBuffer() {
  int64_t size = 262144;
  for (const TOutputStream& ost : Ost)
    if (ost.EncodingNeeded && ost.Encoder()->codec_type == AVMEDIA_TYPE_VIDEO)
      size = std::max<int64_t>(size, static_cast<int64_t>(ost.Encoder()->width) * ost.Encoder()->height * 6 + 200);
  for (const TOutputStream& ost : Ost)
    if (ost.EncodingNeeded && ost.Encoder()->codec_type == AVMEDIA_TYPE_SUBTITLE) size = std::max<int64_t>(size, 1 << 20);
  try {
    if (size > INT_MAX) throw std::bad_alloc();
    BitBuffer.resize(static_cast<size_t>(size));
  } catch (const std::bad_alloc&) {
    RaiseFFmpeg("Cannot allocate %lld bytes output buffer", static_cast<long long>(size));
  }
}

}  // namespace sw
