// Option handlers for codecs, bit rates, picture geometry and the other stream settings.
#include <cmath>
#include <ctime>

#include "FFmpegTask.h"
#include "OptionText.h"
#include "media/base/MyUtils.h"

namespace sw {

namespace {

struct TKindSettings {
  std::optional<std::string>& CodecName;
  bool& StreamCopy;
  std::vector<std::string>& BitstreamFilters;
};

// The settings of the kind an option name starts with: "a", "v", else subtitles.
TKindSettings KindOf(TOptionSettings& o, char kind) {
  if (kind == 'a') return {o.AudioCodecName, o.AudioStreamCopy, o.AudioBitstreamFilters};
  if (kind == 'v') return {o.VideoCodecName, o.VideoStreamCopy, o.VideoBitstreamFilters};
  return {o.SubtitleCodecName, o.SubtitleStreamCopy, o.SubtitleBitstreamFilters};
}

}  // namespace

void TFFmpeg::OptCodec(const std::string& name, const std::string& value) {
  if (value.empty()) return;
  TKindSettings kind = KindOf(Options(), name[0]);
  if (value == "copy")
    kind.StreamCopy = true;
  else
    kind.CodecName = value;
}

// FFmpeg 5's "b" is an audio and a video option; the video bit rate goes to the video
// context alone, under the prefixed name that stream creation copies ("vb").
void TFFmpeg::OptBitRate(const std::string& name, const std::string& value) {
  const bool audio = name == "ab";
  if (!OptionSet().SetLibraryOption(audio ? "ab" : "vb", value)) return;
  if (OptionSet().CodecContext(audio ? AVMEDIA_TYPE_AUDIO : AVMEDIA_TYPE_VIDEO)->bit_rate < 1000)
    Log(llWarning, "WARNING: The bitrate parameter is set too low. It takes bits/s as argument, not kbits/s");
}

void TFFmpeg::OptSampleFormat(const std::string&, const std::string& value) {
  if (value != "list") {
    Options().AudioSampleFormat = ff::av_get_sample_fmt(value.c_str());
    return;
  }
  char line[128];
  for (int f = -1; f < AV_SAMPLE_FMT_NB; ++f)
    if (ff::av_get_sample_fmt_string(line, sizeof line, static_cast<AVSampleFormat>(f)))
      Log(llInfo, "%s", TrimText(line).c_str());
}

void TFFmpeg::OptPixelFormat(const std::string&, const std::string& value) {
  if (value == "list") {
    char line[128];
    for (int f = -1; f < AV_PIX_FMT_NB; ++f) {
      if (f >= 0 && !ff::av_pix_fmt_desc_get(static_cast<AVPixelFormat>(f))) continue;
      if (ff::av_get_pix_fmt_string(line, sizeof line, static_cast<AVPixelFormat>(f)))
        Log(llInfo, "%s", TrimText(line).c_str());
    }
    return;
  }
  const AVPixelFormat format = ff::av_get_pix_fmt(value.c_str());
  if (format == AV_PIX_FMT_NONE) RaiseFFmpeg("Unknown pixel format requested: %s", value.c_str());
  Options().PixelFormat = format;
}

void TFFmpeg::OptFrameSize(const std::string&, const std::string& value) {
  if (value.empty()) return;
  int width = 0, height = 0;
  if (ff::av_parse_video_size(&width, &height, value.c_str()) < 0) RaiseFFmpeg("Incorrect frame size");
  Options().FrameWidth = width;
  Options().FrameHeight = height;
}

void TFFmpeg::OptFrameRate(const std::string&, const std::string& value) {
  if (value.empty()) return;
  AVRational rate{0, 0};
  if (ff::av_parse_video_rate(&rate, value.c_str()) < 0) RaiseFFmpeg("Incorrect frame rate");
  Options().FrameRate = rate;
}

void TFFmpeg::OptAspect(const std::string&, const std::string& value) {
  double ratio = 0;
  const size_t colon = value.find(':');
  if (colon != std::string::npos) {
    const char* w = value.c_str();
    const char* h = value.c_str() + colon + 1;
    const int x = LeadingInt(w), y = LeadingInt(h);
    ratio = y > 0 ? static_cast<double>(x) / y : 0;
  } else {
    ratio = std::strtod(value.c_str(), nullptr);
  }
  if (!std::isfinite(ratio) || ratio == 0) RaiseFFmpeg("Incorrect aspect ratio specification.");
  Options().FrameAspectRatio = static_cast<float>(ratio);
}

void TFFmpeg::OptCrop(const std::string& name, const std::string& value) {
  const int crop = ToInt(value);
  if (crop <= 0) return;
  TOptionSettings& o = Options();
  const bool vertical = name == "croptop" || name == "cropbottom";
  int& size = vertical ? o.FrameHeight : o.FrameWidth;
  if (crop >= size)
    RaiseFFmpeg("%s crop dimensions are outside the range of the original image.\nRemember to crop first and scale second.",
                vertical ? "Vertical" : "Horizontal");
  const int band = name == "croptop" ? 0 : name == "cropbottom" ? 1 : name == "cropleft" ? 2 : 3;
  Log(llWarning, "%c%s is deprecated in favor of the crop avfilter", 'C', name.c_str() + 1);
  (band == 0 ? o.CropTop : band == 1 ? o.CropBottom : band == 2 ? o.CropLeft : o.CropRight) = crop;
  Settings().CropBands[band] = crop;
  size -= crop;
}

void TFFmpeg::OptQScale(const std::string&, const std::string& value) {
  const double q = ToDecimal(value);
  if (!(q > 0 && q <= 255)) RaiseFFmpeg("qscale must be > 0.0 and <= 255");
  Options().VideoQScale = static_cast<float>(q);
}

void TFFmpeg::OptPass(const std::string&, const std::string& value) {
  const int pass = ToInt(value);
  if (pass != 1 && pass != 2) RaiseFFmpeg("pass number can be only 1 or 2");
  Options().Pass = pass;
}

void TFFmpeg::OptVideoStats(const std::string&, const std::string&) {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  char clock[16] = "000000";
  if (localtime_r(&now, &local)) std::strftime(clock, sizeof clock, "%H%M%S", &local);
  Settings().VideoStatsFile = FormatText("%svstats_%s.log", ExecutableFolder().c_str(), clock);
}

void TFFmpeg::OptMatrix(const std::string& name, const std::string& value) {
  auto& matrix = name == "intra_matrix" ? Options().IntraMatrix : Options().InterMatrix;
  matrix.emplace(64, 0);
  const char* p = value.c_str();
  for (int i = 0; i < 64; ++i) {
    (*matrix)[i] = static_cast<uint16_t>(LeadingInt(p));
    if (i == 63) break;
    if (*p != ',') RaiseFFmpeg("Syntax error in matrix \"%s\" at coeff %d", value.c_str(), i);
    ++p;
  }
}

void TFFmpeg::OptBitstreamFilter(const std::string& name, const std::string& value) {
  if (!value.empty() && value[0] == '=') return;
  const size_t eq = value.find('=');
  const std::string filter = value.substr(0, eq);  // arguments after "=" are not used by the chain
  if (!ff::av_bsf_get_by_name(filter.c_str())) RaiseFFmpeg("Unknown bitstream filter %s", TrimText(value).c_str());
  KindOf(Options(), name[0]).BitstreamFilters.push_back(filter);
}

}  // namespace sw
