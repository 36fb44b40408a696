#pragma once
// A new ID3v2.4 tag of text frames (UTF-8), for outputs whose tags are their own rather
// than the source's (the tracks of a split).
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace sw::mp3 {

// Frames with an empty text are left out; a frame identifier must be four characters.
// Empty when no frame is left.
std::vector<uint8_t> BuildId3v2Tag(const std::vector<std::pair<std::string, std::string>>& textFrames);

}  // namespace sw::mp3
