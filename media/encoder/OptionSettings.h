#pragma once
// Settings that the option handlers collect for the next input file, output file or
// output stream; opening a file or creating a stream takes them over and clears some.
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

extern "C" {
#include <libavutil/rational.h>
}

namespace sw {

using TMetadataPair = std::pair<std::string, std::string>;

struct TOptionSettings {
  // Formats
  std::string ForcedFormat;    // "f": the next open uses this format
  bool ImageFormat = false;    // "f pgmyuv"

  // Video
  int FrameWidth = 0, FrameHeight = 0;
  float FrameAspectRatio = 0.0f;
  int PixelFormat = -1;
  int CropTop = 0, CropBottom = 0, CropLeft = 0, CropRight = 0;
  AVRational FrameRate{0, 0};
  float VideoQScale = 0.0f;
  std::optional<std::vector<uint16_t>> IntraMatrix, InterMatrix;  // 64 coefficients
  std::optional<std::string> RateControlOverride;
  int VideoDiscard = 0;
  bool SameQuality = false, Psnr = false, IntraOnly = false, ForceFrameRate = false;
  int IntraDcPrecision = 8;
  int MeThreshold = 0;
  int Pass = 0;
  int VideoGlobalHeader = 0;

  // Per kind: disabled, codec name, stream copy, codec tag, language
  bool VideoDisabled = false, AudioDisabled = false, SubtitleDisabled = false;
  std::optional<std::string> VideoCodecName, AudioCodecName, SubtitleCodecName;
  bool VideoStreamCopy = false, AudioStreamCopy = false, SubtitleStreamCopy = false;
  uint32_t VideoCodecTag = 0, AudioCodecTag = 0, SubtitleCodecTag = 0;
  std::string VideoLanguage, AudioLanguage, SubtitleLanguage;

  // Audio
  int AudioSampleRate = 44100;
  int AudioChannels = 2;
  uint64_t AudioChannelLayout = 0;  // channel mask; 0: unknown
  int AudioSampleFormat = -1;
  float AudioQScale = -99999.0f;    // unset

  // Muxing and files
  float MuxDelay = 0.0f, MuxPreload = 0.0f;  // seconds
  bool LoopInput = false;
  int LoopOutput = -1;
  int InputChannel = 0;                      // "vc"
  std::optional<std::string> TvStandard;     // "tvstd"
  int64_t InputTimestampOffset = 0;          // µs, "itsoffset"
  int64_t OutputTimestamp = 0;               // seconds since 1970, "timestamp"
  int StreamIds[20] = {};                    // "streamid", by output stream index
  std::vector<std::string> VideoBitstreamFilters, AudioBitstreamFilters, SubtitleBitstreamFilters;
  std::vector<TMetadataPair> PendingMetadata;
  double InputTimestampScales[20] = {};      // "itsscale", by stream of the next input file

  // Encoder-private options (name, value) that presets name for the next stream of a kind;
  // the generic option block does not know them.
  std::vector<TMetadataPair> VideoPrivateOptions, AudioPrivateOptions, SubtitlePrivateOptions;
  // Muxer-private options (name, value) for the next output file, e.g. "muxrate".
  std::vector<TMetadataPair> MuxerOptions;

  // The next output file: it may replace a file of its name (else one there is kept);
  // it is a local file whatever its name looks like (else an allowed protocol's URL goes
  // to that protocol).
  bool ReplaceOutput = false;
  bool LocalOutput = false;
};

}  // namespace sw
