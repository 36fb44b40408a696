#include "Id3Tags.h"

#include <algorithm>
#include <cstring>

namespace sw::mp3 {

namespace {

uint32_t SyncSafe(const uint8_t* p) {
  return static_cast<uint32_t>(p[0] & 0x7F) << 21 | static_cast<uint32_t>(p[1] & 0x7F) << 14 |
         static_cast<uint32_t>(p[2] & 0x7F) << 7 | (p[3] & 0x7F);
}

}  // namespace

int64_t Id3v2TagSize(const uint8_t* p, std::size_t available) {
  if (available < 10 || std::memcmp(p, "ID3", 3) || p[3] == 0xFF || p[4] == 0xFF) return 0;
  if ((p[6] | p[7] | p[8] | p[9]) & 0x80) return 0;
  const bool footer = p[3] == 4 && (p[5] & 0x10);
  return 10 + static_cast<int64_t>(SyncSafe(p + 6)) + (footer ? 10 : 0);
}

bool IsId3v1(const uint8_t* p) { return !std::memcmp(p, "TAG", 3); }

bool DropId3v2Frame(std::vector<uint8_t>& tag, const std::string& id) {
  if (tag.size() < 10) return false;
  const int version = tag[3];
  const uint8_t flags = tag[5];
  if (version < 2 || version > 4 || (flags & 0x80)) return false;  // unsynchronised
  if (version == 2 && (flags & 0x40)) return false;                 // compressed
  if (version == 4 && (flags & 0x10)) return false;  // a tag with a footer may not be padded
  const std::size_t end = std::min<std::size_t>(tag.size(), 10 + SyncSafe(&tag[6]));
  std::size_t at = 10;
  if (version > 2 && (flags & 0x40) && at + 4 <= end) {
    const uint32_t ext = version == 4 ? SyncSafe(&tag[at])
                                      : static_cast<uint32_t>(tag[at]) << 24 | tag[at + 1] << 16 | tag[at + 2] << 8 | tag[at + 3];
    at += version == 4 ? ext : ext + 4;
  }
  const std::size_t idLength = version == 2 ? 3 : 4, headerLength = version == 2 ? 6 : 10;
  const std::string wanted = version == 2 && id == "TLEN" ? "TLE" : id;
  while (at + headerLength <= end && tag[at] != 0) {
    const uint8_t* h = &tag[at];
    std::size_t size;
    if (version == 2)
      size = static_cast<std::size_t>(h[3]) << 16 | h[4] << 8 | h[5];
    else if (version == 3)
      size = static_cast<std::size_t>(h[4]) << 24 | h[5] << 16 | h[6] << 8 | h[7];
    else
      size = SyncSafe(h + 4);
    const std::size_t next = at + headerLength + size;
    if (next > end) return false;
    if (std::string(reinterpret_cast<const char*>(h), idLength) == wanted) {
      tag.erase(tag.begin() + static_cast<std::ptrdiff_t>(at), tag.begin() + static_cast<std::ptrdiff_t>(next));
      tag.insert(tag.begin() + static_cast<std::ptrdiff_t>(end - (next - at)), next - at, 0);
      return true;
    }
    at = next;
  }
  return false;
}

}  // namespace sw::mp3
