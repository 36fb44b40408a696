#pragma once
// Finding what the sound device received in an independent decode of the file.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace sw::test {

// Index of the first non-zero sample (the size when there is none).
inline size_t FirstSound(const std::vector<int16_t>& s) {
  return static_cast<size_t>(std::find_if(s.begin(), s.end(), [](int16_t v) { return v != 0; }) - s.begin());
}

// Where in whole the run part[from, from + length) appears exactly (frame-aligned), or -1.
inline int64_t FindRun(const std::vector<int16_t>& whole, const std::vector<int16_t>& part, size_t from, size_t length,
                       int channels) {
  if (from + length > part.size()) return -1;
  for (size_t at = 0; at + length <= whole.size(); at += channels)
    if (std::equal(part.begin() + from, part.begin() + from + length, whole.begin() + at)) return static_cast<int64_t>(at);
  return -1;
}

// The output without the silence a pause or a starved device leaves in it (runs of at
// least 256 zero samples; the fixtures' sound has none).
inline std::vector<int16_t> WithoutPauses(const std::vector<int16_t>& s) {
  std::vector<int16_t> out;
  for (size_t i = 0; i < s.size();) {
    size_t j = i;
    while (j < s.size() && s[j] == 0) ++j;
    if (j - i < 256) out.insert(out.end(), s.begin() + i, s.begin() + j);
    if (j < s.size()) out.push_back(s[j]);
    i = j + 1;
  }
  return out;
}

// After a seek the decoder starts without the frames before; a few frames later its output
// is the same as a decode from the start.
constexpr size_t WarmUpFrames = 8 * 1152;

}  // namespace sw::test
