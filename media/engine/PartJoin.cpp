#include "PartJoin.h"

#include <cstring>

#include "FFmpeg.h"
#include "media/binding/FFLoad.h"
#include "media/mp3/FrameJoin.h"

namespace sw {

namespace {

// Main-data bytes looked at on each side of a join: more than twice the widest reservoir
// reach, so the free tail and the drawn-on bytes are wholly inside the window.
constexpr int WindowArea = 2048;

mp3::TFrameBytes BytesOf(const AVPacket& p) { return mp3::TFrameBytes(p.data, p.data + p.size); }

int AreaOf(const AVPacket& p) {
  mp3::TMainDataLayout l;
  return mp3::MainDataOf(BytesOf(p), l) ? l.AreaSize : p.size;
}

struct TPlace {
  size_t Span, Index;  // span and packet index in its part
};

// The output frames before output frame `end`, last first, as far back as the window needs.
std::vector<TPlace> FramesBefore(const std::vector<TEncodedPart>& parts, const std::vector<TJoinSpan>& spans,
                                 int64_t end) {
  std::vector<TPlace> places;
  int64_t at = 0;
  for (const TJoinSpan& s : spans) at += static_cast<int64_t>(s.End - s.Begin);
  int area = 0;
  for (size_t s = spans.size(); s-- > 0 && area < WindowArea;) {
    const TJoinSpan& span = spans[s];
    at -= static_cast<int64_t>(span.End - span.Begin);
    for (size_t i = span.End; i-- > span.Begin && area < WindowArea;) {
      if (at + static_cast<int64_t>(i - span.Begin) >= end) continue;
      places.push_back({s, i});
      area += AreaOf(*parts[span.Part].Packets[i]);
    }
  }
  return places;
}

bool JoinAt(std::vector<TEncodedPart>& parts, std::vector<TJoinSpan>& spans, size_t k, int64_t at, bool makeRoom,
            std::string& reason) {
  TEncodedPart& part = parts[k];
  const int64_t from = at - part.First;
  int64_t length = 0;
  for (const TJoinSpan& s : spans) length += static_cast<int64_t>(s.End - s.Begin);
  const int64_t lastStart = length - static_cast<int64_t>(spans.back().End - spans.back().Begin);
  if (at > length) {
    reason = "the part before it ends early";
    return false;
  }
  if (at <= lastStart || from < 0 || from >= static_cast<int64_t>(part.Packets.size())) return false;

  // The window: the frames before the join, and the part's frames around its first kept one.
  std::vector<TPlace> before = FramesBefore(parts, spans, at);
  std::vector<mp3::TFrameBytes> joined;
  for (size_t i = before.size(); i-- > 0;)
    joined.push_back(BytesOf(*parts[spans[before[i].Span].Part].Packets[before[i].Index]));
  size_t first = static_cast<size_t>(from), last = static_cast<size_t>(from);
  for (int area = 0; first > 0 && area < WindowArea;) area += AreaOf(*part.Packets[--first]);
  for (int area = 0; last < part.Packets.size() && area < WindowArea;) area += AreaOf(*part.Packets[last++]);
  std::vector<mp3::TFrameBytes> window;
  for (size_t i = first; i < last; ++i) window.push_back(BytesOf(*part.Packets[i]));
  const size_t kept = joined.size();
  if (!mp3::AppendJoined(joined, window, static_cast<size_t>(from) - first, reason, makeRoom)) return false;

  // The moved bytes go back into the packets they now belong to: the tails of the frames
  // before the join, and the part's frames whose main data moved.
  const auto store = [](AVPacket* p, const mp3::TFrameBytes& bytes) {
    const int grow = static_cast<int>(bytes.size()) - p->size;
    if (grow == 0 && std::memcmp(p->data, bytes.data(), bytes.size()) == 0) return;
    if ((grow > 0 && ff::av_grow_packet(p, grow) < 0) || ff::av_packet_make_writable(p) < 0)
      RaiseFFmpeg("av_mallocz fail");
    std::memcpy(p->data, bytes.data(), bytes.size());
  };
  for (size_t j = 0; j < kept; ++j) {
    const TPlace& place = before[kept - 1 - j];
    store(parts[spans[place.Span].Part].Packets[place.Index].get(), joined[j]);
  }
  for (size_t j = kept; j < joined.size(); ++j) store(part.Packets[static_cast<size_t>(from) + j - kept].get(), joined[j]);
  spans.back().End -= static_cast<size_t>(length - at);
  spans.push_back({k, static_cast<size_t>(from), part.Packets.size()});
  return true;
}

}  // namespace

bool JoinParts(std::vector<TEncodedPart>& parts, const std::vector<int64_t>& planned, int reach,
               std::vector<TJoinSpan>& spans, TJoinFailure& failure) {
  spans.assign(1, TJoinSpan{0, 0, parts.empty() ? 0 : parts[0].Packets.size()});
  for (size_t k = 1; k < parts.size(); ++k) {
    std::string reason = "the part before it ends early";
    bool joined = false;
    // A frame whose reservoir bytes fit the free tail is looked for first; else room is made.
    for (int pass = 0; pass < 2 && !joined; ++pass)
      for (int step = 0; step <= 2 * reach && !joined; ++step) {
        const int64_t at = planned[k] + (step % 2 ? -(step + 1) / 2 : step / 2);  // 0, -1, +1, -2, ...
        joined = JoinAt(parts, spans, k, at, pass == 1, reason);
      }
    if (!joined) {
      failure = {k, reason};
      return false;
    }
  }
  return true;
}

}  // namespace sw
