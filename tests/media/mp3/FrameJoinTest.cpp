// Joining frames of two encoders: where main data lies, how much reservoir a run of frames
// draws on and leaves free, and the bytes a join moves.
#include <gtest/gtest.h>

#include "media/mp3/FrameJoin.h"
#include "media/mp3/SideInfo.h"

using namespace sw::mp3;

namespace {

void PutBits(uint8_t* p, int bit, int count, int value) {
  for (int i = count - 1; i >= 0; --i, ++bit) {
    const uint8_t mask = static_cast<uint8_t>(0x80 >> (bit & 7));
    p[bit >> 3] = static_cast<uint8_t>((value >> i) & 1 ? p[bit >> 3] | mask : p[bit >> 3] & ~mask);
  }
}

// A 128 kbit/s 44.1 kHz stereo frame (417 bytes, 381 of main-data area) whose data
// begins `begin` bytes back and is `data` bytes long, its area filled with `fill`.
TFrameBytes Frame(int begin, int data, uint8_t fill, bool top = false) {
  // At the top rate (320 kbit/s) the frame is 1044 bytes.
  TFrameBytes f(top ? 1044 : 417, fill);
  const uint8_t header[4] = {0xFF, 0xFB, static_cast<uint8_t>(top ? 0xE0 : 0x90), 0x00};
  std::copy(header, header + 4, f.begin());
  std::fill(f.begin() + 4, f.begin() + 36, 0);
  TMp3Header h;
  ParseHeader(f.data(), h);
  PutBits(f.data() + 4, 0, 9, begin);
  // The data's bits spread over the four granule/channel blocks.
  const int bits = data * 8;
  for (int g = 0; g < 2; ++g)
    for (int c = 0; c < 2; ++c) PutBits(f.data() + 4, GlobalGainBit(h, g, c) - 21, 12, bits / 4 + (g + c == 0 ? bits % 4 : 0));
  return f;
}

constexpr int Area = 381;

// The bytes of frame i's main data, gathered over the areas as a decoder reads them.
std::vector<uint8_t> DataOf(const std::vector<TFrameBytes>& frames, size_t i) {
  std::vector<uint8_t> stream;
  size_t start = 0;
  for (size_t k = 0; k <= i; ++k) {
    TMainDataLayout l;
    EXPECT_TRUE(MainDataOf(frames[k], l));
    if (k == i) start = stream.size() - static_cast<size_t>(l.Begin);
    stream.insert(stream.end(), frames[k].end() - l.AreaSize, frames[k].end());
    if (k == i) return std::vector<uint8_t>(stream.begin() + static_cast<std::ptrdiff_t>(start),
                                            stream.begin() + static_cast<std::ptrdiff_t>(start) + l.DataBytes);
  }
  return {};
}

}  // namespace

TEST(FrameJoin, MainDataLayoutAndTheReservoirFreeAndDrawnOn) {
  TMainDataLayout l;
  ASSERT_TRUE(MainDataOf(Frame(120, 300, 0), l));
  EXPECT_EQ(l.AreaSize, Area);
  EXPECT_EQ(l.Begin, 120);
  EXPECT_EQ(l.DataBytes, 300);
  EXPECT_FALSE(MainDataOf(TFrameBytes{0x12, 0x34, 0x56, 0x78, 0}, l));

  // Data ends 50 bytes before the last area's end; an earlier frame ending later rules.
  std::vector<TFrameBytes> frames{Frame(0, 381, 1), Frame(0, 331, 2)};
  EXPECT_EQ(FreeReservoirBytes(frames, 2), 50);
  EXPECT_EQ(FreeReservoirBytes(frames, 1), 0);
  frames.push_back(Frame(50, 40, 3));  // uses the 50 and none of its own area
  EXPECT_EQ(FreeReservoirBytes(frames, 3), Area - 40 + 50);
  frames.push_back(Frame(200, 0, 4));  // empty granules change nothing
  EXPECT_EQ(FreeReservoirBytes(frames, 4), Area - 40 + 50 + Area);

  // The frames from 1 on reach 120 bytes back; one further on reaches past its own start.
  const std::vector<TFrameBytes> part{Frame(0, 200, 5), Frame(120, 300, 6), Frame(300 - Area + 200, 250, 7)};
  EXPECT_EQ(ReservoirNeed(part, 1), 120);
  EXPECT_EQ(ReservoirNeed(part, 2), 300 - Area + 200);
  EXPECT_EQ(ReservoirNeed(part, 3), 0);
}

TEST(FrameJoin, AppendingMovesTheDrawnOnBytesIntoTheFreeTailOrRefuses) {
  std::vector<TFrameBytes> joined{Frame(0, 381, 1), Frame(0, 200, 2)};  // 181 free
  std::vector<TFrameBytes> part{Frame(0, 381, 8), Frame(0, 381, 9), Frame(150, 300, 10), Frame(69, 200, 11)};
  // The reservoir bytes of part frame 2: the last 150 bytes of frame 1's area, told apart.
  for (int i = 0; i < 150; ++i) part[1][417 - 150 + i] = static_cast<uint8_t>(100 + i);
  std::string reason;
  ASSERT_TRUE(AppendJoined(joined, part, 2, reason)) << reason;
  ASSERT_EQ(joined.size(), 4u);
  for (int i = 0; i < 150; ++i) EXPECT_EQ(joined[1][417 - 150 + i], 100 + i) << i;
  // The joined frame's own data before those bytes is untouched, and the part's frames follow unchanged.
  EXPECT_EQ(joined[1][36 + 200 + 30], 2);
  EXPECT_TRUE(joined[0] == Frame(0, 381, 1));
  EXPECT_TRUE(joined[2] == part[2] && joined[3] == part[3]);

  // Too little room (81 free) at the top rate, and the part's data cannot move later (its
  // next frame's data follows too closely, and after that the frames end): nothing changes.
  std::vector<TFrameBytes> crowded = part;
  crowded[3] = Frame(200, 200, 11);
  std::vector<TFrameBytes> full{Frame(0, 1008, 1, true), Frame(0, 927, 2, true)};
  const std::vector<TFrameBytes> before = full;
  EXPECT_FALSE(AppendJoined(full, crowded, 2, reason));
  EXPECT_NE(reason.find("150 reservoir bytes"), std::string::npos) << reason;
  EXPECT_TRUE(full == before);

  // Below the top rate the last frame grows to the next rate that makes the room: 81 free
  // plus 105 of a 160 kbit/s frame take the 150. Every frame's data is what it was.
  const std::vector<TFrameBytes> small{Frame(0, 381, 1), Frame(0, 300, 2)};
  std::vector<TFrameBytes> grows = small;
  ASSERT_TRUE(AppendJoined(grows, crowded, 2, reason)) << reason;
  ASSERT_EQ(grows.size(), 4u);
  EXPECT_EQ(grows[1].size(), 522u);
  TMp3Header grown;
  ASSERT_TRUE(ParseHeader(grows[1].data(), grown));
  EXPECT_EQ(grown.Bitrate, 160000);
  EXPECT_TRUE(DataOf(grows, 1) == DataOf(small, 1));
  EXPECT_TRUE(DataOf(grows, 2) == DataOf(crowded, 2) && DataOf(grows, 3) == DataOf(crowded, 3));

  // Room is also made by moving the part's data later into unused bytes after it: frame 2
  // (150 back, 300 long) begins 69 bytes later, and frame 3's data (69 back) still begins
  // after it ends; the frames keep their rate and their data.
  std::vector<TFrameBytes> shifts = before;
  ASSERT_TRUE(AppendJoined(shifts, part, 2, reason)) << reason;
  ASSERT_EQ(shifts.size(), 4u);
  EXPECT_EQ(shifts[1].size(), 1044u);
  TMainDataLayout l;
  ASSERT_TRUE(MainDataOf(shifts[2], l));
  EXPECT_EQ(l.Begin, 81);
  EXPECT_TRUE(DataOf(shifts, 1) == DataOf(before, 1));
  EXPECT_TRUE(DataOf(shifts, 2) == DataOf(part, 2) && DataOf(shifts, 3) == DataOf(part, 3));
  // A frame cannot begin later than its own area, nor move into the next frame's data
  // when nothing after that takes the shift.
  std::vector<TFrameBytes> tight = part;
  EXPECT_FALSE(ShiftMainData(tight, 2, 151, reason));
  EXPECT_FALSE(ShiftMainData(tight = crowded, 2, 69, reason));
  EXPECT_NE(reason.find("no unused bytes"), std::string::npos) << reason;
  EXPECT_TRUE(tight == crowded);

  // The bytes drawn on may span two areas of the frames before.
  std::vector<TFrameBytes> spread{Frame(0, 100, 1), Frame(0, 0, 2)};  // 281 + 381 free
  std::vector<TFrameBytes> far{Frame(0, 381, 3), Frame(0, 381, 4), Frame(500, 200, 5)};
  ASSERT_TRUE(AppendJoined(spread, far, 2, reason)) << reason;
  EXPECT_EQ(spread[0][417 - 119], 3);  // the 500 reach 119 bytes into the first area
  EXPECT_EQ(spread[0][417 - 120], 1);
  EXPECT_EQ(spread[1][36], 4);
}
