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
  // Bytes before the frames looked at are not counted: a view of the last frames only
  // gives no more than the whole stream would.
  return free < 0 ? after : std::min(free, after);
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

bool ShiftMainData(std::vector<TFrameBytes>& frames, size_t from, int shift, std::string& reason) {
  if (shift <= 0) return true;
  // Positions on the main-data stream, 0 at the start of frame `from`'s area.
  struct TSpot {
    TMainDataLayout L;
    int64_t Area = 0;  // where its area starts
    int AreaStart = 0;  // its area's first byte in the frame
  };
  const auto spotOf = [&](size_t i, TSpot& s) {
    TMp3Header h;
    if (!MainDataOf(frames[i], s.L) || !ParseHeader(frames[i].data(), h)) return false;
    s.AreaStart = h.HeaderSize() + h.SideInfoSize();
    return true;
  };
  std::vector<TSpot> spots;
  int64_t at = 0;
  for (size_t i = from; i < frames.size(); ++i) {
    TSpot s;
    if (!spotOf(i, s)) {
      reason = "a frame is not layer III";
      return false;
    }
    s.Area = at;
    at += s.L.AreaSize;
    spots.push_back(s);
  }
  // The frames whose data moves: each must be able to begin `shift` bytes later and still
  // end in its own area, up to the first one followed by that many unused bytes.
  std::vector<size_t> moving;
  bool fits = false;
  for (size_t i = 0; i < spots.size() && !fits; ++i) {
    const TSpot& s = spots[i];
    if (s.L.DataBytes == 0) continue;  // silent granules point nowhere
    const int64_t end = s.Area - s.L.Begin + s.L.DataBytes + shift;
    if (s.L.Begin < shift || end > s.Area + s.L.AreaSize) {
      reason = "a frame's main data cannot begin " + std::to_string(shift) + " bytes later";
      return false;
    }
    moving.push_back(i);
    size_t j = i + 1;
    while (j < spots.size() && spots[j].L.DataBytes == 0) ++j;
    if (j == spots.size()) break;  // what follows the frames given is not known
    fits = end <= spots[j].Area - spots[j].L.Begin;
  }
  if (!fits) {
    reason = "no unused bytes take the shift";
    return false;
  }
  // Stream position -> frame byte, over the areas of the frames before `from` and its own.
  const TSpot& head = spots[moving.front()];
  const TSpot& tail = spots[moving.back()];
  const int64_t first = head.Area - head.L.Begin, stop = tail.Area - tail.L.Begin + tail.L.DataBytes + shift;
  const int64_t base = std::min<int64_t>(first, 0);
  std::vector<std::pair<size_t, int>> where;  // from position `base` on
  for (size_t i = from; i-- > 0 && static_cast<int64_t>(where.size()) < -base;) {
    TSpot s;
    if (!spotOf(i, s)) {
      reason = "a frame is not layer III";
      return false;
    }
    for (int b = static_cast<int>(frames[i].size()) - 1; b >= s.AreaStart && static_cast<int64_t>(where.size()) < -base; --b)
      where.emplace_back(i, b);
  }
  if (static_cast<int64_t>(where.size()) < -base) {
    reason = "the frames before do not hold the reservoir bytes";
    return false;
  }
  std::reverse(where.begin(), where.end());
  for (size_t i = 0; i < spots.size() && static_cast<int64_t>(where.size()) < stop - base; ++i)
    for (int b = spots[i].AreaStart; b < static_cast<int>(frames[from + i].size()); ++b) where.emplace_back(from + i, b);
  const auto byteAt = [&](int64_t pos) -> uint8_t& {
    const auto& [frame, index] = where[static_cast<size_t>(pos - base)];
    return frames[frame][static_cast<size_t>(index)];
  };
  for (int64_t pos = stop - 1; pos >= first + shift; --pos) byteAt(pos) = byteAt(pos - shift);
  for (const size_t i : moving) {
    TFrameBytes& f = frames[from + i];
    TMp3Header h;
    ParseHeader(f.data(), h);
    SetMainDataBegin(h, f.data() + h.HeaderSize(), spots[i].L.Begin - shift);
    UpdateFrameCrc(h, f.data());
  }
  return true;
}

bool GrowFrame(TFrameBytes& frame, int extra) {
  TMp3Header h;
  if (frame.size() < 4 || !ParseHeader(frame.data(), h) || h.BitrateIndex == 0) return false;
  for (int index = h.BitrateIndex + 1; index <= 14; ++index) {
    const int size = h.FrameSizeAt(index) + h.Padding;
    if (size - static_cast<int>(frame.size()) < extra) continue;
    const uint32_t raw = h.With(index, h.Padding, h.Protected);
    for (int b = 0; b < 4; ++b) frame[static_cast<size_t>(b)] = static_cast<uint8_t>(raw >> (24 - 8 * b));
    frame.resize(static_cast<size_t>(size), 0);
    TMp3Header grown;
    ParseHeader(frame.data(), grown);
    UpdateFrameCrc(grown, frame.data());
    return true;
  }
  return false;
}

bool AppendJoined(std::vector<TFrameBytes>& joined, const std::vector<TFrameBytes>& part, size_t from,
                  std::string& reason, bool makeRoom) {
  int need = ReservoirNeed(part, from);
  if (need < 0) {
    reason = "a frame is not layer III";
    return false;
  }
  const int free = FreeReservoirBytes(joined, joined.size());
  std::vector<TFrameBytes> moved;
  const std::vector<TFrameBytes>* source = &part;
  TFrameBytes grown;  // the last frame before the join at a higher bit rate, when that makes the room
  const std::string tight = "the frame draws on " + std::to_string(need) +
                            " reservoir bytes and the frames before it have " + std::to_string(free) + " free";
  if (need > free && !makeRoom) {
    reason = tight;
    return false;
  }
  if (need > free) {
    std::string why;
    moved = part;
    if (ShiftMainData(moved, from, need - free, why) && ReservoirNeed(moved, from) <= free) {
      source = &moved;
      need = ReservoirNeed(moved, from);
    } else if (joined.empty() || !GrowFrame(grown = joined.back(), need - free)) {
      reason = tight + "; " + why + ", and the last frame before it cannot grow by the rest";
      return false;
    }
  }
  std::vector<uint8_t> carried;  // the part's own reservoir bytes, last first
  if (need > 0 &&
      !ForTailBytes(*source, from, need, [&](const TFrameBytes& f, int at) { carried.push_back(f[at]); })) {
    reason = "the part's frames do not hold the reservoir bytes its frame draws on";
    return false;
  }
  if (!grown.empty()) joined.back() = std::move(grown);
  size_t next = 0;
  ForTailBytes(joined, joined.size(), need, [&](TFrameBytes& f, int at) { f[at] = carried[next++]; });
  joined.insert(joined.end(), source->begin() + static_cast<std::ptrdiff_t>(from), source->end());
  return true;
}

}  // namespace sw::mp3
