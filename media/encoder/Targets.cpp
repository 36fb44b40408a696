// Target presets: the disc formats VCD, SVCD, DVD and DV in a PAL, NTSC or film norm.
#include <cmath>

#include "FFmpegTask.h"

namespace sw {

namespace {

enum TNorm { nmPal, nmNtsc, nmFilm };

// The norm a frame rate stands for; -1 when it stands for none.
int NormOfRate(AVRational rate) {
  if (rate.den == 0) return -1;
  const long r = std::lround(av_q2d(rate) * 1000);
  return r == 23976 || r == 29970 ? nmNtsc : r == 25000 ? nmPal : -1;
}

struct TTarget {
  const char* Name;
  const char* VideoCodec;  // nullptr: unchanged
  const char* AudioCodec;
  const char* Format;
  const char* PalSize;
  const char* NtscSize;
  int SampleRate;
  bool Stereo;        // always 2 channels; otherwise only mono becomes stereo
  const char* Aspect;  // when none is set; nullptr: unchanged
  bool Gop;
};

constexpr TTarget Targets[] = {
    {"vcd", "mpeg1video", "mp2", "vcd", "352x288", "352x240", 44100, true, "4:3", true},
    {"svcd", "mpeg2video", "mp2", "svcd", "480x576", "480x480", 44100, false, "4:3", true},
    {"dvd", "mpeg2video", "ac3", "dvd", "720x576", "720x480", 48000, false, "16:9", true},
    {"dv", nullptr, nullptr, "dv", "720x576", "720x480", 48000, true, nullptr, false},
    {"dv50", nullptr, nullptr, "dv", "720x576", "720x480", 48000, true, nullptr, false},
};

struct TTargetOption {
  const char* Target;
  const char* Name;
  const char* Value;
};

// Quoted option settings per target, in the order they are applied.
constexpr TTargetOption TargetOptions[] = {
    {"vcd", "b", "1150000"},      {"vcd", "maxrate", "1150000"},  {"vcd", "minrate", "1150000"},
    {"vcd", "bufsize", "327680"}, {"vcd", "ab", "224000"},        {"vcd", "packetsize", "2324"},
    {"vcd", "muxrate", "1411200"},
    {"svcd", "b", "2040000"},     {"svcd", "maxrate", "2516000"}, {"svcd", "minrate", "0"},
    {"svcd", "bufsize", "1835008"}, {"svcd", "flags", "+scan_offset"}, {"svcd", "ab", "224000"},
    {"svcd", "packetsize", "2324"},
    {"dvd", "b", "6000000"},      {"dvd", "maxrate", "9000000"},  {"dvd", "minrate", "0"},
    {"dvd", "bufsize", "1835008"}, {"dvd", "packetsize", "2048"}, {"dvd", "muxrate", "10080000"},
    {"dvd", "ab", "448000"},
};

}  // namespace

void TFFmpeg::ApplyTarget(const std::string& target, const std::string& normName, const std::string& filmFallback) {
  const TTarget* t = nullptr;
  for (const TTarget& candidate : Targets)
    if (target == candidate.Name) t = &candidate;
  if (!t) RaiseFFmpeg("Unknown target type");

  TOptionSettings& o = Options();
  int norm;
  if (normName == "pal") {
    norm = nmPal;
  } else if (normName == "ntsc") {
    norm = nmNtsc;
  } else if (normName == "film") {
    norm = nmFilm;
  } else {
    if (o.FrameRate.den == 0) RaiseFFmpeg("frame_rate is invalid.");
    norm = NormOfRate(o.FrameRate);
    for (int f = 0; norm < 0 && f < InputFileCount(); ++f)
      for (unsigned s = 0; norm < 0 && s < InputFile(f)->nb_streams; ++s)
        if (InputFile(f)->streams[s]->codecpar->codec_type == AVMEDIA_TYPE_VIDEO)
          norm = NormOfRate(InputFile(f)->streams[s]->r_frame_rate);
    if (norm < 0) norm = filmFallback == "film" ? nmFilm : filmFallback == "ntsc" ? nmNtsc : nmPal;
    if (Settings().Verbosity > 0) Log(llVerbose, "Assuming %s for target.", norm == nmPal ? "PAL" : "NTSC");
  }

  if (t->VideoCodec) ApplyOption("vcodec", t->VideoCodec);
  if (t->AudioCodec) ApplyOption("acodec", t->AudioCodec);
  ApplyOption("f", t->Format);
  ApplyOption("s", norm == nmPal ? t->PalSize : t->NtscSize);
  ApplyOption("r", norm == nmPal ? "25" : norm == nmNtsc ? "30000/1001" : "24000/1001");
  if (t->Gop) ApplyOption("g", norm == nmPal ? "15" : "18");
  // "b" and "ab" go to their handlers, which keep the video and audio rates apart. FFmpeg 5
  // moved "muxrate" into the MPEG muxers and "+scan_offset" into mpeg2video's "scan_offset".
  for (const TTargetOption& option : TargetOptions) {
    if (target != option.Target) continue;
    const std::string name = option.Name;
    if (name == "muxrate")
      o.MuxerOptions.emplace_back(name, option.Value);
    else if (name == "flags")
      SetPrivateOption('v', "", "scan_offset", "1");
    else
      ApplyOption(name, option.Value);
  }
  if (target == "vcd") o.MuxPreload = 0.44f;
  if (target == "dv" || target == "dv50")
    ApplyOption("pix_fmt", target == "dv50" ? "yuv422p" : norm == nmPal ? "yuv420p" : "yuv411p");

  o.AudioSampleRate = t->SampleRate;
  if (t->Stereo || o.AudioChannels == 1) o.AudioChannels = 2;
  if (t->Aspect && o.FrameAspectRatio == 0) {
    ApplyOption("aspect", t->Aspect);
    Log(llInfo, "Assuming %s for aspect ratio", t->Aspect);
  }
}

}  // namespace sw
