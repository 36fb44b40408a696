#pragma once
// The two CRC-16s of MP3 files: the frame CRC over the protected header and side
// information bits, and the encoder tag's CRC (the ANSI polynomial, bits reversed).
#include <cstddef>
#include <cstdint>

namespace sw::mp3 {

// Polynomial 0x8005, most significant bit first, starting from 0xFFFF.
uint16_t FrameCrc(const uint8_t* data, std::size_t size, uint16_t crc = 0xFFFF);
// Polynomial 0x8005 reflected (0xA001), starting from 0: the encoder tag's music and tag CRCs.
uint16_t TagCrc(const uint8_t* data, std::size_t size, uint16_t crc = 0);

}  // namespace sw::mp3
