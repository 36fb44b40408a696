// The video figures of the progress text: quality, quantiser histogram and PSNR.
#include <cmath>

#include "RunTables.h"
#include "VideoState.h"

namespace sw {

namespace {

double Psnr(double relativeError) { return -10.0 * std::log10(relativeError); }

}  // namespace

float TCustomFFmpeg::TRun::VideoQuality(const TOutputStream& ost) const {
  const int lambda = ost.Video && ost.Video->LastQuality > 0 ? ost.Video->LastQuality : ost.Encoder()->global_quality;
  return lambda / static_cast<float>(FF_QP2LAMBDA);
}

std::string TCustomFFmpeg::TRun::VideoQualityText(TOutputStream& ost, bool last) {
  std::string text;
  if (!ost.Video) return text;
  TVideoOutput& v = *ost.Video;
  const AVCodecContext* enc = ost.Encoder();
  if (S.QuantiserHistogram) {
    const long qp = std::lrint(VideoQuality(ost));
    if (qp >= 0 && qp < 52) ++v.Histogram[qp];
    for (int j = 0; j < 32; ++j) text += FormatText("%X", static_cast<int>(std::lrint(std::log2(v.Histogram[j] + 1))));
  }
  if ((enc->flags & AV_CODEC_FLAG_PSNR) && v.HasErrors) {
    text += "PSNR=";
    double totalError = 0, totalSize = 0;
    for (int j = 0; j < 3; ++j) {
      const double error = last ? static_cast<double>(enc->error[j]) : static_cast<double>(v.LastErrors[j]);
      double scale = static_cast<double>(enc->width) * enc->height * 255.0 * 255.0;
      if (j) scale /= 4;
      if (last) scale *= ost.FrameNumber;
      totalError += error;
      totalSize += scale;
      text += FormatText("%c:%2.2f ", "YUV"[j], Psnr(error / scale));
    }
    text += FormatText("*:%2.2f ", Psnr(totalError / totalSize));
  }
  return text;
}

}  // namespace sw
