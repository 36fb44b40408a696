#include "PictureFilter.h"

#include <memory>

namespace sw {

namespace {

struct TInOutFree {
  void operator()(AVFilterInOut* p) const { ff::avfilter_inout_free(&p); }
};
using TInOutPtr = std::unique_ptr<AVFilterInOut, TInOutFree>;

}  // namespace

void TPictureFilter::Free() {
  if (FGraph) ff::avfilter_graph_free(&FGraph);
  FSource = FSink = nullptr;
  FFormat = -1;
}

bool TPictureFilter::Configure(const AVFrame& p, AVRational tb, AVRational aspect, std::string& error) {
  Free();
  FGraph = ff::avfilter_graph_alloc();
  if (!FGraph) throw std::bad_alloc();
  // The scaler flags of pictures scaled inside the graph: bicubic.
  FGraph->scale_sws_opts = ff::av_strdup("flags=4");
  const std::string args = "video_size=" + std::to_string(p.width) + "x" + std::to_string(p.height) +
                           ":pix_fmt=" + std::to_string(p.format) + ":time_base=" + std::to_string(tb.num) + "/" +
                           std::to_string(tb.den) + ":pixel_aspect=" + std::to_string(aspect.num > 0 ? aspect.num : 1) +
                           "/" + std::to_string(aspect.num > 0 ? aspect.den : 1);
  if (ff::avfilter_graph_create_filter(&FSource, ff::avfilter_get_by_name("buffer"), "src", args.c_str(), nullptr,
                                       FGraph) < 0 ||
      ff::avfilter_graph_create_filter(&FSink, ff::avfilter_get_by_name("buffersink"), "out", nullptr, nullptr,
                                       FGraph) < 0) {
    error = "cannot make the picture filter";
    return false;
  }
  // The text reads from "in" (the source) and writes to "out" (the sink).
  TInOutPtr outputs(ff::avfilter_inout_alloc()), inputs(ff::avfilter_inout_alloc());
  if (!outputs || !inputs) throw std::bad_alloc();
  outputs->name = ff::av_strdup("in");
  outputs->filter_ctx = FSource;
  inputs->name = ff::av_strdup("out");
  inputs->filter_ctx = FSink;
  AVFilterInOut* in = inputs.release();
  AVFilterInOut* out = outputs.release();
  const int parsed = ff::avfilter_graph_parse_ptr(FGraph, FText.c_str(), &in, &out, nullptr);
  ff::avfilter_inout_free(&in);
  ff::avfilter_inout_free(&out);
  if (parsed < 0 || ff::avfilter_graph_config(FGraph, nullptr) < 0) {
    error = "cannot use the video filter \"" + FText + "\"";
    Free();
    return false;
  }
  FWidth = p.width, FHeight = p.height, FFormat = p.format;
  return true;
}

bool TPictureFilter::Filter(const AVFrame& picture, AVRational timeBase, AVRational sampleAspect,
                            const std::function<bool(const AVFrame&, AVRational)>& take, std::string& error) {
  if ((!FGraph || picture.width != FWidth || picture.height != FHeight || picture.format != FFormat) &&
      !Configure(picture, timeBase, sampleAspect, error))
    return false;
  if (ff::av_buffersrc_add_frame_flags(FSource, const_cast<AVFrame*>(&picture), AV_BUFFERSRC_FLAG_KEEP_REF) < 0) {
    error = "cannot filter a picture";
    return false;
  }
  TFramePtr out(ff::av_frame_alloc());
  if (!out) throw std::bad_alloc();
  const AVRational outBase = ff::av_buffersink_get_time_base(FSink);
  while (ff::av_buffersink_get_frame(FSink, out.get()) >= 0) {
    const bool more = take(*out, outBase);
    ff::av_frame_unref(out.get());
    if (!more) return true;
  }
  return true;
}

}  // namespace sw
