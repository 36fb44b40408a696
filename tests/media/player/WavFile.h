#pragma once
// WAV files of 16-bit samples at 44.1 kHz, each sample given by a function of its frame
// and channel.
#include <cstdint>
#include <fstream>
#include <functional>
#include <string>

inline bool WriteWav(const std::string& name, int channels, int64_t frames,
                     const std::function<int16_t(int64_t frame, int channel)>& sample) {
  const uint32_t rate = 44100;
  const uint32_t data = static_cast<uint32_t>(frames) * 2 * static_cast<uint32_t>(channels);
  std::ofstream out(name, std::ios::binary);
  const auto u32 = [&](uint32_t v) { out.write(reinterpret_cast<const char*>(&v), 4); };
  const auto u16 = [&](uint16_t v) { out.write(reinterpret_cast<const char*>(&v), 2); };
  out.write("RIFF", 4), u32(36 + data), out.write("WAVEfmt ", 8), u32(16), u16(1), u16(static_cast<uint16_t>(channels));
  u32(rate), u32(rate * 2 * static_cast<uint32_t>(channels)), u16(static_cast<uint16_t>(2 * channels)), u16(16);
  out.write("data", 4), u32(data);
  for (int64_t i = 0; i < frames; ++i)
    for (int c = 0; c < channels; ++c) u16(static_cast<uint16_t>(sample(i, c)));
  return static_cast<bool>(out);
}
