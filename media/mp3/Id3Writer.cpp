#include "Id3Writer.h"

namespace sw::mp3 {

namespace {

// Sizes in an ID3v2.4 tag are 28-bit numbers of seven bits a byte.
void PutSynchsafe(std::vector<uint8_t>& out, std::size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) out[at + static_cast<std::size_t>(i)] = static_cast<uint8_t>((v >> (21 - 7 * i)) & 0x7F);
}

}  // namespace

std::vector<uint8_t> BuildId3v2Tag(const std::vector<std::pair<std::string, std::string>>& textFrames) {
  std::vector<uint8_t> tag{'I', 'D', '3', 4, 0, 0, 0, 0, 0, 0};
  for (const auto& [id, text] : textFrames) {
    if (id.size() != 4 || text.empty()) continue;
    const std::size_t at = tag.size();
    tag.insert(tag.end(), id.begin(), id.end());
    tag.resize(at + 10);  // size and flags after the identifier
    tag.push_back(3);     // UTF-8
    // A text frame ends at its size; a NUL would end the text early in readers.
    for (const char c : text)
      if (c != '\0') tag.push_back(static_cast<uint8_t>(c));
    PutSynchsafe(tag, at + 4, static_cast<uint32_t>(tag.size() - at - 10));
  }
  if (tag.size() == 10) return {};
  PutSynchsafe(tag, 6, static_cast<uint32_t>(tag.size() - 10));
  return tag;
}

}  // namespace sw::mp3
