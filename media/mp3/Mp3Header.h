#pragma once
// One MPEG audio frame header (four bytes), with what layer III frames need from it:
// sizes, samples per frame, the side-information length.
#include <cstdint>

namespace sw::mp3 {

enum TMpegVersion { mvMpeg1, mvMpeg2, mvMpeg25 };
enum TChannelMode { cmStereo, cmJointStereo, cmDualChannel, cmMono };

struct TMp3Header {
  uint32_t Raw = 0;
  TMpegVersion Version = mvMpeg1;
  int Layer = 3;
  bool Protected = false;  // a 16-bit CRC follows the header
  int BitrateIndex = 0;    // 0: free format
  int Bitrate = 0;         // bits per second, 0 for free format
  int SampleRate = 0;
  int Padding = 0;         // one byte more in this frame
  TChannelMode Mode = cmStereo;

  int Channels() const { return Mode == cmMono ? 1 : 2; }
  int Granules() const { return Version == mvMpeg1 ? 2 : 1; }
  int SamplesPerFrame() const { return Granules() * 576; }
  // Bytes of side information after the header (and its CRC).
  int SideInfoSize() const;
  // Header plus CRC.
  int HeaderSize() const { return Protected ? 6 : 4; }
  // Whole frame in bytes; 0 for a free-format frame, whose size the stream tells.
  int FrameSize() const { return FrameSizeAt(BitrateIndex) + (BitrateIndex ? Padding : 0); }
  // Frame size without padding at another bit-rate index (0 for free format).
  int FrameSizeAt(int bitrateIndex) const;
  // The same header with other bit-rate index, padding and protection.
  uint32_t With(int bitrateIndex, int padding, bool isProtected) const;
};

// False when the four bytes are not a layer I-III frame header (no sync, reserved values).
bool ParseHeader(const uint8_t* p, TMp3Header& header);
int BitrateOf(TMpegVersion version, int layer, int index);

// Frames of one clean stream share version, layer, sample rate and channel count.
inline bool SameStream(const TMp3Header& a, const TMp3Header& b) {
  return a.Version == b.Version && a.Layer == b.Layer && a.SampleRate == b.SampleRate &&
         a.Channels() == b.Channels();
}

}  // namespace sw::mp3
