#include "Crc16.h"

#include <array>

namespace sw::mp3 {

namespace {

constexpr std::array<uint16_t, 256> ReflectedTable() {
  std::array<uint16_t, 256> t{};
  for (int i = 0; i < 256; ++i) {
    uint16_t c = static_cast<uint16_t>(i);
    for (int b = 0; b < 8; ++b) c = (c & 1) ? static_cast<uint16_t>((c >> 1) ^ 0xA001) : static_cast<uint16_t>(c >> 1);
    t[i] = c;
  }
  return t;
}

constexpr std::array<uint16_t, 256> Reflected = ReflectedTable();

}  // namespace

uint16_t FrameCrc(const uint8_t* data, std::size_t size, uint16_t crc) {
  for (std::size_t i = 0; i < size; ++i) {
    crc ^= static_cast<uint16_t>(data[i] << 8);
    for (int b = 0; b < 8; ++b)
      crc = (crc & 0x8000) ? static_cast<uint16_t>((crc << 1) ^ 0x8005) : static_cast<uint16_t>(crc << 1);
  }
  return crc;
}

uint16_t TagCrc(const uint8_t* data, std::size_t size, uint16_t crc) {
  // The music CRC runs over the whole audio, hence the table.
  for (std::size_t i = 0; i < size; ++i) crc = static_cast<uint16_t>((crc >> 8) ^ Reflected[(crc ^ data[i]) & 0xFF]);
  return crc;
}

}  // namespace sw::mp3
