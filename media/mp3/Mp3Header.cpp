#include "Mp3Header.h"

namespace sw::mp3 {

namespace {

// kbit/s by bit-rate index; index 0 is free format, 15 is reserved.
constexpr int Mpeg1Rates[3][15] = {
    {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
    {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320}};
constexpr int Mpeg2Rates[2][15] = {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
                                   {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160}};
constexpr int SampleRates[3][3] = {{44100, 48000, 32000}, {22050, 24000, 16000}, {11025, 12000, 8000}};

}  // namespace

int BitrateOf(TMpegVersion version, int layer, int index) {
  if (index <= 0 || index >= 15) return 0;
  if (version == mvMpeg1) return Mpeg1Rates[layer - 1][index] * 1000;
  return Mpeg2Rates[layer == 1 ? 0 : 1][index] * 1000;
}

bool ParseHeader(const uint8_t* p, TMp3Header& h) {
  if (p[0] != 0xFF || (p[1] & 0xE0) != 0xE0) return false;
  const int versionBits = (p[1] >> 3) & 3, layerBits = (p[1] >> 1) & 3;
  const int bitrateIndex = p[2] >> 4, rateIndex = (p[2] >> 2) & 3;
  if (versionBits == 1 || layerBits == 0 || bitrateIndex == 15 || rateIndex == 3) return false;
  h.Raw = static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 | static_cast<uint32_t>(p[2]) << 8 | p[3];
  h.Version = versionBits == 3 ? mvMpeg1 : versionBits == 2 ? mvMpeg2 : mvMpeg25;
  h.Layer = 4 - layerBits;
  h.Protected = (p[1] & 1) == 0;
  h.BitrateIndex = bitrateIndex;
  h.Bitrate = BitrateOf(h.Version, h.Layer, bitrateIndex);
  h.SampleRate = SampleRates[h.Version][rateIndex];
  h.Padding = (p[2] >> 1) & 1;
  h.Mode = static_cast<TChannelMode>(p[3] >> 6);
  return true;
}

int TMp3Header::SideInfoSize() const {
  if (Layer != 3) return 0;
  if (Version == mvMpeg1) return Mode == cmMono ? 17 : 32;
  return Mode == cmMono ? 9 : 17;
}

int TMp3Header::FrameSizeAt(int bitrateIndex) const {
  const int bitrate = BitrateOf(Version, Layer, bitrateIndex);
  if (!bitrate) return 0;
  if (Layer == 1) return 12 * bitrate / SampleRate * 4;
  // Layer III of MPEG-2 and 2.5 has half the samples per frame.
  const int factor = Layer == 3 && Version != mvMpeg1 ? 72 : 144;
  return factor * bitrate / SampleRate;
}

uint32_t TMp3Header::With(int bitrateIndex, int padding, bool isProtected) const {
  uint32_t raw = Raw & ~(0xFu << 12) & ~(1u << 9) & ~(1u << 16);
  return raw | static_cast<uint32_t>(bitrateIndex) << 12 | static_cast<uint32_t>(padding) << 9 |
         (isProtected ? 0u : 1u << 16);
}

}  // namespace sw::mp3
