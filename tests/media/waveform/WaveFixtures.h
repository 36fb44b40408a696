#pragma once
// Sound files made by the tests: 16-bit PCM WAV files of exactly known samples, and long
// MP3 files made by repeating a fixture's audio frames.
#include <cmath>
#include <cstdint>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

// channel samples at frame i, each -1..1
using TSampleAt = std::function<void(int64_t i, double* channels)>;

inline void WriteWav(const std::string& path, int rate, int channels, int64_t frames, const TSampleAt& at) {
  std::ofstream out(path, std::ios::binary);
  const auto u32 = [&](uint32_t v) { out.write(reinterpret_cast<const char*>(&v), 4); };
  const auto u16 = [&](uint16_t v) { out.write(reinterpret_cast<const char*>(&v), 2); };
  const uint32_t bytes = static_cast<uint32_t>(frames * channels * 2);
  out.write("RIFF", 4);
  u32(36 + bytes);
  out.write("WAVEfmt ", 8);
  u32(16);
  u16(1);
  u16(static_cast<uint16_t>(channels));
  u32(static_cast<uint32_t>(rate));
  u32(static_cast<uint32_t>(rate * channels * 2));
  u16(static_cast<uint16_t>(channels * 2));
  u16(16);
  out.write("data", 4);
  u32(bytes);
  std::vector<int16_t> block(static_cast<size_t>(channels));
  std::vector<double> v(static_cast<size_t>(channels));
  for (int64_t i = 0; i < frames; ++i) {
    at(i, v.data());
    for (int c = 0; c < channels; ++c) block[c] = static_cast<int16_t>(std::lround(v[c] * 32767));
    out.write(reinterpret_cast<const char*>(block.data()), channels * 2);
  }
}

inline double Sine(double amplitude, double hz, int64_t i, int rate) {
  return amplitude * std::sin(2 * M_PI * hz * static_cast<double>(i) / rate);
}

// The audio frames of tagged.mp3 (128 kbit/s CBR, 12 s) repeated: a header-less file
// of about times x 12 seconds.
inline void WriteRepeatedMp3(const std::string& from, const std::string& path, int times) {
  std::ifstream in(from, std::ios::binary);
  const std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const std::string frames = all.substr(230 + 417, all.size() - 230 - 417 - 128);  // no tags, no Info frame
  std::ofstream out(path, std::ios::binary);
  for (int i = 0; i < times; ++i) out << frames;
}
