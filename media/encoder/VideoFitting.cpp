#include "VideoFitting.h"

namespace sw {

void ChoosePixelFormat(AVCodecContext* codec, const AVCodec* encoder) {
  if (!encoder || !encoder->pix_fmts) {
    if (codec->pix_fmt == AV_PIX_FMT_NONE) codec->pix_fmt = AV_PIX_FMT_YUV420P;
    return;
  }
  for (const AVPixelFormat* f = encoder->pix_fmts; *f != AV_PIX_FMT_NONE; ++f)
    if (*f == codec->pix_fmt) return;
  // Motion JPEG takes plain YUV 4:2:0 and 4:2:2 when strictness allows it.
  if (encoder->id == AV_CODEC_ID_MJPEG && codec->strict_std_compliance < 0 &&
      (codec->pix_fmt == AV_PIX_FMT_YUV420P || codec->pix_fmt == AV_PIX_FMT_YUV422P))
    return;
  codec->pix_fmt = encoder->pix_fmts[0];
}

AVRational ChooseFrameRate(AVRational rate, const AVCodec* encoder) {
  if (!encoder || !encoder->supported_framerates || !encoder->supported_framerates[0].num) return rate;
  return encoder->supported_framerates[ff::av_find_nearest_q_idx(rate, encoder->supported_framerates)];
}

}  // namespace sw
