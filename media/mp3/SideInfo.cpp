#include "SideInfo.h"

#include "Crc16.h"

namespace sw::mp3 {

namespace {

int ReadBits(const uint8_t* p, int bit, int count) {
  int v = 0;
  for (int i = 0; i < count; ++i, ++bit) v = (v << 1) | ((p[bit >> 3] >> (7 - (bit & 7))) & 1);
  return v;
}

void WriteBits(uint8_t* p, int bit, int count, int value) {
  for (int i = count - 1; i >= 0; --i, ++bit) {
    const uint8_t mask = static_cast<uint8_t>(0x80 >> (bit & 7));
    if ((value >> i) & 1)
      p[bit >> 3] |= mask;
    else
      p[bit >> 3] &= static_cast<uint8_t>(~mask);
  }
}

}  // namespace

int MainDataBegin(const TMp3Header& h, const uint8_t* side) {
  return ReadBits(side, 0, h.Version == mvMpeg1 ? 9 : 8);
}

void SetMainDataBegin(const TMp3Header& h, uint8_t* side, int begin) {
  WriteBits(side, 0, h.Version == mvMpeg1 ? 9 : 8, begin);
}

int GlobalGainBit(const TMp3Header& h, int granule, int channel) {
  const bool mono = h.Channels() == 1;
  // Each granule/channel block: part2_3_length 12, big_values 9, then the gain.
  if (h.Version == mvMpeg1) {
    const int start = 9 + (mono ? 5 : 3) + 4 * h.Channels();  // main_data_begin, private bits, scfsi
    return start + (granule * h.Channels() + channel) * 59 + 21;
  }
  const int start = 8 + (mono ? 1 : 2);
  return start + channel * 63 + 21;
}

int GlobalGain(const TMp3Header& h, const uint8_t* side, int granule, int channel) {
  return ReadBits(side, GlobalGainBit(h, granule, channel), 8);
}

void SetGlobalGain(const TMp3Header& h, uint8_t* side, int granule, int channel, int gain) {
  WriteBits(side, GlobalGainBit(h, granule, channel), 8, gain);
}

uint16_t ComputeFrameCrc(const TMp3Header& h, const uint8_t* frame) {
  const uint16_t crc = FrameCrc(frame + 2, 2);
  return FrameCrc(frame + 6, static_cast<std::size_t>(h.SideInfoSize()), crc);
}

void UpdateFrameCrc(const TMp3Header& h, uint8_t* frame) {
  if (!h.Protected) return;
  const uint16_t crc = ComputeFrameCrc(h, frame);
  frame[4] = static_cast<uint8_t>(crc >> 8);
  frame[5] = static_cast<uint8_t>(crc);
}

}  // namespace sw::mp3
