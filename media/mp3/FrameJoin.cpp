#include "FrameJoin.h"

#include <algorithm>

#include "SideInfo.h"

namespace sw::mp3 {

namespace {

constexpr int MaxReservoir = 511;  // the widest main_data_begin (9 bits, MPEG-1)

int ReadBits(const uint8_t* p, int bit, int count) {
  int v = 0;
  for (int i = 0; i < count; ++i, ++bit) v = (v << 1) | ((p[bit >> 3] >> (7 - (bit & 7))) & 1);
  return v;
}

}  // namespace

bool MainDataOf(const TFrameBytes& frame, TMainDataLayout& layout) {
  TMp3Header h;
  if (frame.size() < 4 || !ParseHeader(frame.data(), h) || h.Layer != 3) return false;
  const int side = h.HeaderSize() + h.SideInfoSize();
  if (static_cast<int>(frame.size()) < side) return false;
  const uint8_t* info = frame.data() + h.HeaderSize();
  int bits = 0;
  for (int g = 0; g < h.Granules(); ++g)
    for (int c = 0; c < h.Channels(); ++c) bits += ReadBits(info, GlobalGainBit(h, g, c) - 21, 12);  // part2_3_length
  layout.AreaSize = static_cast<int>(frame.size()) - side;
  layout.Begin = MainDataBegin(h, info);
  layout.DataBytes = (bits + 7) / 8;
  return true;
}

int FreeReservoirBytes(const std::vector<TFrameBytes>& frames, size_t end) {
  // A frame's data ends inside its own area at the latest: going back from the last
  // frame, the search ends once the areas passed are as long as the free tail found.
  int after = 0, free = -1;
  for (size_t i = std::min(end, frames.size()); i-- > 0;) {
    TMainDataLayout l;
    if (!MainDataOf(frames[i], l)) return 0;
    after += l.AreaSize;
    if (l.DataBytes == 0) continue;  // silent granules use no bytes, wherever they point
    const int unused = after - (l.DataBytes - l.Begin);  // from its data's end to the end of the stream
    free = free < 0 ? unused : std::min(free, unused);
    if (after >= free) break;  // earlier frames' data ends before this frame's area
  }
  return free < 0 ? after : free;
}

int ReservoirNeed(const std::vector<TFrameBytes>& frames, size_t from) {
  int need = 0, passed = 0;
  for (size_t i = from; i < frames.size() && passed <= MaxReservoir; ++i) {
    TMainDataLayout l;
    if (!MainDataOf(frames[i], l)) return -1;
    need = std::max(need, l.Begin - passed);
    passed += l.AreaSize;
  }
  return need;
}

namespace {

// Calls visit(frame, byte index) for the last `count` bytes of the main-data areas of
// frames [0, end), last byte first.
template <class Frames, class F>
bool ForTailBytes(Frames& frames, size_t end, int count, F visit) {
  for (size_t i = end; i-- > 0 && count > 0;) {
    TMp3Header h;
    ParseHeader(frames[i].data(), h);
    const int areaStart = h.HeaderSize() + h.SideInfoSize();
    for (int at = static_cast<int>(frames[i].size()) - 1; at >= areaStart && count > 0; --at, --count)
      visit(frames[i], at);
  }
  return count == 0;
}

}  // namespace

bool AppendJoined(std::vector<TFrameBytes>& joined, const std::vector<TFrameBytes>& part, size_t from,
                  std::string& reason) {
  const int need = ReservoirNeed(part, from);
  if (need < 0) {
    reason = "a frame is not layer III";
    return false;
  }
  const int free = FreeReservoirBytes(joined, joined.size());
  if (need > free) {
    reason = "the frame draws on " + std::to_string(need) + " reservoir bytes and the frames before it have " +
             std::to_string(free) + " free";
    return false;
  }
  if (need > 0) {
    std::vector<uint8_t> carried;  // the part's own reservoir bytes, last first
    if (!ForTailBytes(part, from, need, [&](const TFrameBytes& f, int at) { carried.push_back(f[at]); })) {
      reason = "the part's frames do not hold the reservoir bytes its frame draws on";
      return false;
    }
    size_t next = 0;
    ForTailBytes(joined, joined.size(), need, [&](TFrameBytes& f, int at) { f[at] = carried[next++]; });
  }
  joined.insert(joined.end(), part.begin() + static_cast<std::ptrdiff_t>(from), part.end());
  return true;
}

}  // namespace sw::mp3
