#pragma once
// The join of MP3 parts encoded apart: which packets of which part make the output, and
// the reservoir bytes moved at each join. Works on the parts' own packets; only the few
// frames on either side of a join are looked at and changed.
#include <cstdint>
#include <string>
#include <vector>

#include "media/common/FFHandles.h"

namespace sw {

struct TEncodedPart {
  int64_t First = 0;  // output frame index of its first packet
  std::vector<TPacketPtr> Packets;
};

struct TJoinSpan {
  size_t Part = 0;
  size_t Begin = 0, End = 0;  // its packets [Begin, End)
};

struct TJoinFailure {
  size_t Part = 0;  // the part that could not take over
  std::string Reason;
};

// Joins each part k > 0 to the frames before it at an output frame near planned[k]
// (tried at planned[k], then one before, one after, ... up to `reach` away): at the first
// such frame whose reservoir bytes fit the free tail before it, else at the first where
// room can be made for them. The spans in order make the output. False, with the
// failure, when a part cannot be joined anywhere in reach.
bool JoinParts(std::vector<TEncodedPart>& parts, const std::vector<int64_t>& planned, int reach,
               std::vector<TJoinSpan>& spans, TJoinFailure& failure);

}  // namespace sw
