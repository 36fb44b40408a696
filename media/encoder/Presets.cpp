// Presets: the built-in libx264 presets and preset files, applied as option lines.
#include <filesystem>
#include <fstream>
#include <sstream>
#include <strings.h>

#include "FFmpegTask.h"
#include "OptionText.h"

namespace sw {

namespace {

// FFmpeg 5's libx264 wrapper no longer knows several old generic keys; the presets use what
// it accepts: flags2 +wpred/+dct8x8/+mixed_refs/+fastpskip -> weightb, 8x8dct, mixed-refs,
// fast-pskip; partitions +parti8x8... -> the wrapper's list "i8x8,i4x4,p8x8,b8x8";
// directpred 1/3 -> direct-pred spatial/auto; cqp -> qp.
struct TBuiltInPreset {
  std::string Name, Content;
};

// Analysis settings that differ between the speed presets.
struct TSpeed {
  const char* Name;
  const char* Partitions;
  const char* MotionSearch;
  int Subq, Range, BStrategy, BFrames, Refs;
  const char* Direct;
  int Trellis, MixedRefs, Dct8x8, FastPSkip, WeightP;
};

constexpr TSpeed Speeds[] = {
    {"ultrafast", "none", "dia", 0, 16, 0, 0, 1, "spatial", 0, 0, 0, 1, 0},
    {"superfast", "i8x8,i4x4", "dia", 1, 16, 1, 3, 1, "spatial", 0, 0, 1, 1, 0},
    {"veryfast", "i8x8,i4x4,p8x8,b8x8", "hex", 2, 16, 1, 3, 1, "spatial", 0, 0, 1, 1, 0},
    {"faster", "i8x8,i4x4,p8x8,b8x8", "hex", 4, 16, 1, 3, 2, "spatial", 1, 0, 1, 1, 1},
    {"fast", "i8x8,i4x4,p8x8,b8x8", "hex", 6, 16, 1, 3, 2, "spatial", 1, 1, 1, 1, 2},
    {"medium", "i8x8,i4x4,p8x8,b8x8", "hex", 7, 16, 1, 3, 3, "spatial", 1, 1, 1, 1, 2},
    {"slow", "i8x8,i4x4,p8x8,b8x8", "umh", 8, 16, 2, 3, 5, "auto", 1, 1, 1, 1, 2},
    {"slower", "all", "umh", 9, 16, 2, 3, 8, "auto", 2, 1, 1, 1, 2},
    {"veryslow", "all", "umh", 10, 24, 2, 8, 16, "auto", 2, 1, 1, 1, 2},
    {"placebo", "all", "tesa", 10, 24, 2, 16, 16, "auto", 2, 1, 1, 0, 2},
};

// Rate-control and GOP lines common to every speed preset.
const char* const CommonLines =
    "flags=+loop\ncmp=+chroma\ng=250\nkeyint_min=25\nsc_threshold=40\ni_qfactor=0.71\nqcomp=0.6\nqmin=10\n"
    "qmax=51\nqdiff=4\n";

// A first pass only gathers statistics: one reference, cheap analysis, no trellis.
std::string SpeedLines(const TSpeed& s, bool firstPass) {
  const bool cheap = firstPass;
  return FormatText(
      "coder=%d\n%spartitions=%s\nme_method=%s\nsubq=%d\nme_range=%d\nb_strategy=%d\nbf=%d\nrefs=%d\n"
      "direct-pred=%s\ntrellis=%d\nmixed-refs=%d\nweightb=%d\n8x8dct=%d\nfast-pskip=%d\nwpredp=%d",
      s.BFrames ? 1 : 0, CommonLines, cheap ? "none" : s.Partitions, s.MotionSearch, cheap ? 2 : s.Subq, s.Range,
      s.BStrategy, s.BFrames, cheap ? 1 : s.Refs, s.Direct, cheap ? 0 : s.Trellis, cheap ? 0 : s.MixedRefs,
      s.BFrames ? 1 : 0, cheap ? 0 : s.Dct8x8, s.FastPSkip, s.WeightP);
}

const TSpeed& SpeedNamed(const std::string& name) {
  for (const TSpeed& s : Speeds)
    if (name == s.Name) return s;
  return Speeds[5];
}

std::vector<TBuiltInPreset> MakeBuiltInPresets() {
  std::vector<TBuiltInPreset> table{
      {"libx264-baseline", "coder=0\nbf=0\nweightb=0\n8x8dct=0\nwpredp=0"},
      {"libx264-main", "8x8dct=0"},
      {"libx264-ipod320", "coder=0\nbf=0\nweightb=0\n8x8dct=0\nlevel=13\nmaxrate=768000\nbufsize=3000000\nwpredp=0"},
      {"libx264-ipod640",
       "coder=0\nbf=0\nrefs=1\nweightb=0\n8x8dct=0\nlevel=30\nmaxrate=10000000\nbufsize=10000000\nwpredp=0"},
      {"libx264-default",
       "coder=1\nflags=+loop\ncmp=+chroma\npartitions=i8x8,i4x4,p8x8,b8x8\nme_method=hex\nsubq=7\nme_range=16\n"
       "g=250\nkeyint_min=25\nsc_threshold=40\ni_qfactor=0.71\nb_strategy=1\nqcomp=0.6\nqmin=10\nqmax=51\n"
       "qdiff=4\nbf=3\nrefs=3\ndirect-pred=spatial\ntrellis=1\nmixed-refs=1\nweightb=1\n8x8dct=1\n"
       "fast-pskip=1\nwpredp=2"},
  };
  for (const TSpeed& s : Speeds) {
    table.push_back({std::string("libx264-") + s.Name, SpeedLines(s, false)});
    table.push_back({std::string("libx264-") + s.Name + "_firstpass", SpeedLines(s, true)});
  }
  // The older names: "normal" and "hq" are the medium and slow settings, "max" placebo.
  table.push_back({"libx264-normal", SpeedLines(SpeedNamed("medium"), false)});
  table.push_back({"libx264-hq", SpeedLines(SpeedNamed("slow"), false)});
  table.push_back({"libx264-max", SpeedLines(SpeedNamed("placebo"), false)});
  table.push_back({"libx264-fastfirstpass", SpeedLines(SpeedNamed("medium"), true)});
  table.push_back({"libx264-slowfirstpass", SpeedLines(SpeedNamed("medium"), false) + "\nrefs=1"});
  for (const char* speed : {"ultrafast", "fast", "medium", "slow", "slower"})
    table.push_back({std::string("libx264-lossless_") + speed, "qp=0\n" + SpeedLines(SpeedNamed(speed), false)});
  table.push_back({"libx264-lossless_max", "qp=0\n" + SpeedLines(SpeedNamed("placebo"), false)});
  return table;
}

const std::vector<TBuiltInPreset>& BuiltInPresets() {
  static const std::vector<TBuiltInPreset> table = MakeBuiltInPresets();
  return table;
}

const TBuiltInPreset* FindBuiltIn(const std::string& name) {
  for (const TBuiltInPreset& p : BuiltInPresets())
    if (strcasecmp(p.Name.c_str(), name.c_str()) == 0) return &p;
  return nullptr;
}

}  // namespace

std::vector<std::string> BuiltInPresetNames() {
  std::vector<std::string> names;
  for (const TBuiltInPreset& p : BuiltInPresets()) names.push_back(p.Name);
  return names;
}

void TFFmpeg::ApplyPreset(const std::string& kind, const std::string& preset) {
  if (kind.empty() || preset.empty()) return;
  TOptionSettings& o = Options();
  const TBuiltInPreset* builtIn = nullptr;
  if (kind[0] != 'f') {
    builtIn = FindBuiltIn(preset);
    const std::optional<std::string>& codec = kind[0] == 'v' && o.VideoCodecName   ? o.VideoCodecName
                                              : kind[0] == 'a' && o.AudioCodecName ? o.AudioCodecName
                                                                                   : o.SubtitleCodecName;
    // The codec name leads, as the built-in names do ("libx264-main").
    if (!builtIn && codec) builtIn = FindBuiltIn(*codec + "-" + preset);
  }
  std::string content;
  if (builtIn) {
    content = builtIn->Content;
  } else {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(preset, ec)) RaiseFFmpeg("Preset \"%s\" not found", preset.c_str());
    std::ifstream file(preset, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    content = text.str();
  }

  for (const std::string& line : TextLines(content, false)) {
    const std::string entry = TrimText(line);
    if (entry.empty()) continue;
    const size_t eq = entry.find('=');
    const std::string key = entry.substr(0, eq), value = eq == std::string::npos ? "" : entry.substr(eq + 1);
    if (key.empty() || value.empty()) RaiseFFmpeg("%s: Invalid syntax: \"%s\"", preset.c_str(), entry.c_str());
    const std::string lower = LowerText(key);
    if (lower == "acodec" || lower == "vcodec" || lower == "scodec") {
      OptCodec(lower, value);
    } else if (!OptionSet().SetLibraryOption(key, value) &&
               !SetPrivateOption(kind[0], builtIn ? "libx264" : "", key, value)) {
      RaiseFFmpeg("%s: Invalid option or argument: \"%s\", parsed as \"%s\" = \"%s\"", preset.c_str(),
                  entry.c_str(), key.c_str(), value.c_str());
    }
  }
}

// Keys the generic option block lacks may be private options of the kind's encoder: the
// pending codec's, else the given one. They are checked on a scratch context and kept for
// the next stream of the kind.
bool TFFmpeg::SetPrivateOption(char kind, const std::string& fallbackEncoder, const std::string& key,
                               const std::string& value) {
  TOptionSettings& o = Options();
  const bool audio = kind == 'a', subtitle = kind == 's';
  const std::optional<std::string>& pending = audio ? o.AudioCodecName : subtitle ? o.SubtitleCodecName : o.VideoCodecName;
  const std::string name = pending.value_or(fallbackEncoder);
  const AVCodec* encoder = name.empty() ? nullptr : ff::avcodec_find_encoder_by_name(name.c_str());
  if (!encoder || !encoder->priv_class) return false;
  TCodecContextPtr scratch(ff::avcodec_alloc_context3(encoder));
  if (!scratch || !scratch->priv_data || ff::av_opt_set(scratch->priv_data, key.c_str(), value.c_str(), 0) < 0)
    return false;
  (audio ? o.AudioPrivateOptions : subtitle ? o.SubtitlePrivateOptions : o.VideoPrivateOptions).emplace_back(key, value);
  return true;
}

}  // namespace sw
