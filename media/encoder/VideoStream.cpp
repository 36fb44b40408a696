// Creating a video stream of an output file from the pending video settings.
#include <cmath>
#include <cstdio>
#include <cstring>

#include "FFmpegTask.h"
#include "VideoFitting.h"

namespace sw {

namespace {

// Sample aspect from the display aspect and the frame size (4:3 frames when the size is
// unknown), as a fraction of terms up to 255.
AVRational SampleAspect(const TOptionSettings& o) {
  const double sar = o.FrameWidth > 0 && o.FrameHeight > 0
                         ? static_cast<double>(o.FrameAspectRatio) * o.FrameHeight / o.FrameWidth
                         : static_cast<double>(o.FrameAspectRatio) * 3 / 4;
  return sar > 0 ? ff::av_d2q(sar, 255) : AVRational{0, 1};
}

uint16_t* CopyMatrix(const std::vector<uint16_t>& matrix) {
  auto* copy = static_cast<uint16_t*>(ff::av_malloc(64 * sizeof(uint16_t)));
  if (!copy) RaiseFFmpeg("Could not alloc stream");
  std::memcpy(copy, matrix.data(), 64 * sizeof(uint16_t));
  return copy;
}

// "start,end,q" entries separated by "/": q above 0 is a quantiser, else the quality factor
// -q/100. The entries go to the context, which frees them with itself.
void SetRateControlOverride(AVCodecContext* codec, const std::string& text) {
  std::vector<RcOverride> entries;
  for (size_t start = 0; start <= text.size();) {
    size_t end = text.find('/', start);
    if (end == std::string::npos) end = text.size();
    const std::string entry = text.substr(start, end - start);
    int first = 0, last = 0, q = 0, used = 0;
    if (std::sscanf(entry.c_str(), "%d,%d,%d%n", &first, &last, &q, &used) != 3 || entry[used] != '\0')
      RaiseFFmpeg("error parsing rc_override");
    RcOverride r{};
    r.start_frame = first;
    r.end_frame = last;
    r.qscale = q > 0 ? q : 0;
    r.quality_factor = q > 0 ? 1.0f : -q / 100.0f;
    entries.push_back(r);
    start = end + 1;
  }
  auto* copy = static_cast<RcOverride*>(ff::av_malloc(entries.size() * sizeof(RcOverride)));
  if (!copy) RaiseFFmpeg("Could not alloc stream");
  std::memcpy(copy, entries.data(), entries.size() * sizeof(RcOverride));
  codec->rc_override = copy;
  codec->rc_override_count = static_cast<int>(entries.size());
}

}  // namespace

void TFFmpeg::NewVideoStream(TOutputFile& file) {
  TOptionSettings& o = Options();
  const TNewStream s = BeginStream(file, AVMEDIA_TYPE_VIDEO);
  AVCodecContext* codec = s.Codec;
  AVCodecContext* tmpl = OptionSet().CodecContext(AVMEDIA_TYPE_VIDEO);
  // Mode bit 0 (or no mode on a format that asks for it): global headers; bit 1: local headers too.
  if ((o.VideoGlobalHeader & 1) || (o.VideoGlobalHeader == 0 && (s.Context->oformat->flags & AVFMT_GLOBALHEADER))) {
    codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    tmpl->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  }
  if (o.VideoGlobalHeader & 2) {
    codec->flags2 |= AV_CODEC_FLAG2_LOCAL_HEADER;
    tmpl->flags2 |= AV_CODEC_FLAG2_LOCAL_HEADER;
  }

  const AVRational sar = SampleAspect(o);
  if (s.Setup->StreamCopy) {
    s.Stream->sample_aspect_ratio = codec->sample_aspect_ratio = sar;
  } else {
    AVRational rate = o.FrameRate.num > 0 && o.FrameRate.den > 0 ? o.FrameRate : AVRational{25, 1};
    if (!o.ForceFrameRate) rate = ChooseFrameRate(rate, s.Encoder);
    codec->framerate = rate;
    codec->time_base = AVRational{rate.den, rate.num};
    codec->width = o.FrameWidth;
    codec->height = o.FrameHeight;
    s.Stream->sample_aspect_ratio = codec->sample_aspect_ratio = sar;
    codec->pix_fmt = static_cast<AVPixelFormat>(o.PixelFormat);
    ChoosePixelFormat(codec, s.Encoder);
    if (o.IntraOnly) codec->gop_size = 0;
    if (o.VideoQScale > 0 || o.SameQuality) {
      codec->flags |= AV_CODEC_FLAG_QSCALE;
      codec->global_quality = static_cast<int>(std::lrint(FF_QP2LAMBDA * o.VideoQScale));
    }
    if (o.IntraMatrix) codec->intra_matrix = CopyMatrix(*o.IntraMatrix);
    if (o.InterMatrix) codec->inter_matrix = CopyMatrix(*o.InterMatrix);
    if (o.RateControlOverride) SetRateControlOverride(codec, *o.RateControlOverride);
    if (codec->rc_initial_buffer_occupancy == 0) codec->rc_initial_buffer_occupancy = codec->rc_buffer_size * 3 / 4;
    codec->intra_dc_precision = o.IntraDcPrecision - 8;
    if (o.Psnr) codec->flags |= AV_CODEC_FLAG_PSNR;
    if (o.Pass == 1) codec->flags |= AV_CODEC_FLAG_PASS1;
    if (o.Pass == 2) codec->flags |= AV_CODEC_FLAG_PASS2;
  }
  FinishStream(s, AVMEDIA_TYPE_VIDEO);
  o.PixelFormat = -1;
}

}  // namespace sw
