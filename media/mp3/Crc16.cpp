#include "Crc16.h"

#include <array>

namespace sw::mp3 {

namespace {

using TTables = std::array<std::array<uint16_t, 256>, 8>;

// Table k gives the effect of a byte followed by k zero bytes, so that eight bytes are
// taken in one step.
constexpr TTables ReflectedTables() {
  TTables t{};
  for (int i = 0; i < 256; ++i) {
    uint16_t c = static_cast<uint16_t>(i);
    for (int b = 0; b < 8; ++b) c = (c & 1) ? static_cast<uint16_t>((c >> 1) ^ 0xA001) : static_cast<uint16_t>(c >> 1);
    t[0][i] = c;
  }
  for (int k = 1; k < 8; ++k)
    for (int i = 0; i < 256; ++i) t[k][i] = static_cast<uint16_t>((t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFF]);
  return t;
}

constexpr TTables Reflected = ReflectedTables();

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
  // The music CRC runs over the whole audio, hence the tables.
  const auto& t = Reflected;
  std::size_t i = 0;
  for (; i + 8 <= size; i += 8) {
    const uint8_t* d = data + i;
    const uint16_t c = static_cast<uint16_t>(crc ^ (d[0] | d[1] << 8));
    crc = static_cast<uint16_t>(t[7][c & 0xFF] ^ t[6][c >> 8] ^ t[5][d[2]] ^ t[4][d[3]] ^ t[3][d[4]] ^ t[2][d[5]] ^
                                t[1][d[6]] ^ t[0][d[7]]);
  }
  for (; i < size; ++i) crc = static_cast<uint16_t>((crc >> 8) ^ t[0][(crc ^ data[i]) & 0xFF]);
  return crc;
}

}  // namespace sw::mp3
