#pragma once
// The Xing/Info frame that leads an MP3 stream (frame and byte counts, seek table) and
// the encoder tag after it (encoder delay and padding for gapless decoding, CRCs).
#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "Mp3Header.h"

namespace sw::mp3 {

constexpr int LameTagSize = 36;
constexpr int MaxDelay = 4095;  // the tag's 12-bit fields

struct TEncoderTag {
  bool Present = false;   // the first frame is a tag frame, not audio
  bool Xing = false;      // "Xing" (VBR) rather than "Info" (CBR)
  bool Vbri = false;      // another encoder's tag frame; no gapless fields
  uint32_t Frames = 0;    // audio frames after the tag frame, 0 when not given
  uint32_t Bytes = 0;     // tag frame and audio, 0 when not given
  uint32_t Quality = 0;
  bool HasGapless = false;  // an encoder tag whose delay and padding decoders honour
  std::array<uint8_t, LameTagSize> Lame{};
  int Delay = 0, Padding = 0;
};

// Reads the tag of a stream's first frame (the whole frame given). False when it is audio.
bool ParseEncoderTag(const TMp3Header& header, const uint8_t* frame, int frameSize, TEncoderTag& tag);

struct TInfoFrameFields {
  bool Xing = false;
  uint32_t Frames = 0, Bytes = 0, Quality = 0;
  std::array<uint8_t, 100> Toc{};
  std::array<uint8_t, LameTagSize> Lame{};  // the encoder tag to start from
  int Delay = 0, Padding = 0;
  uint16_t MusicCrc = 0;
};

// What an encoder tag says about the encoder's settings, in the tag's own numbering.
struct TEncoderSettings {
  std::string Version;    // the encoder's short version, "3.100"
  int VbrMethod = 0;      // 1 CBR, 2 ABR, 3 VBR (old), 4 VBR (new); 0 unknown
  int Lowpass = 0;        // Hz
  int AthType = 0;
  bool NsPsyTune = false;
  int Bitrate = 0;        // kbit/s: CBR's rate, ABR's mean, VBR's least
  int StereoMode = 7;     // 0 mono, 1 stereo, 2 dual, 3 joint, 4 forced mid/side, 7 unknown
  int SourceRate = 0;     // Hz
  int Quality = 0;        // VBR quality (0-9) and algorithm quality (0-9)
  int VbrQuality = 0;
};
// The encoder's name, version and settings into the fields of a tag frame.
void PutEncoderSettings(const TEncoderSettings& settings, TInfoFrameFields& fields);

// The header and size of a tag frame for a stream: the given bit rate, or the lowest
// that holds the tag with its seek table.
TMp3Header InfoFrameHeader(TMp3Header stream, int bitrateIndex, int& size);
// The seek table: entry k is where the frame k % of the way through starts, in 256ths
// of the stream's bytes (tag frame included, which comes first).
std::array<uint8_t, 100> InfoSeekTable(int64_t frames, int64_t infoSize, int64_t bytes,
                                       const std::function<int64_t(int64_t frame)>& frameSize);

// Bytes a tag frame needs after its header: side information, the Xing fields and the
// encoder tag, with or without the seek table.
int InfoFrameNeeds(const TMp3Header& header, bool withToc);
// A silent tag frame of that header (no CRC) and size; the seek table is left out when
// it does not fit; empty when even the rest does not fit. Fills the music length and the
// tag CRC.
std::vector<uint8_t> BuildInfoFrame(const TMp3Header& header, int frameSize, const TInfoFrameFields& fields);

}  // namespace sw::mp3
