#pragma once
// Layer III side information: where a frame's main data begins in the bit reservoir
// and each granule's global gain, read and rewritten in place.
#include <cstdint>

#include "Mp3Header.h"

namespace sw::mp3 {

// Bytes back from this frame's main data to where its main data really begins.
int MainDataBegin(const TMp3Header& header, const uint8_t* sideInfo);
void SetMainDataBegin(const TMp3Header& header, uint8_t* sideInfo, int begin);

// Bit position of a granule's global gain inside the side information.
int GlobalGainBit(const TMp3Header& header, int granule, int channel);
int GlobalGain(const TMp3Header& header, const uint8_t* sideInfo, int granule, int channel);
void SetGlobalGain(const TMp3Header& header, uint8_t* sideInfo, int granule, int channel, int gain);

// The CRC of a protected frame: the header's last two bytes and the side information.
uint16_t ComputeFrameCrc(const TMp3Header& header, const uint8_t* frame);
// Writes it after the header when the frame is protected.
void UpdateFrameCrc(const TMp3Header& header, uint8_t* frame);

}  // namespace sw::mp3
