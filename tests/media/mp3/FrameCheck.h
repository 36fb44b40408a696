#pragma once
// The validity check of a written MP3: one clean stream of valid frames, a leading tag
// frame whose counts, seek table and CRCs are right, frame CRCs that hold, and no frame
// that draws on bytes before the first frame unless the encoder delay hides its sound.
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "media/mp3/Crc16.h"
#include "media/mp3/Mp3Source.h"
#include "media/mp3/SideInfo.h"

struct TFrameCheck {
  sw::mp3::TMp3Source Stream;
  std::vector<std::string> Problems;
};

inline TFrameCheck CheckFrames(const std::string& path) {
  using namespace sw::mp3;
  TFrameCheck c;
  const auto problem = [&](const std::string& p) { c.Problems.push_back(p); };
  if (!c.Stream.Open(path)) {
    problem("not a clean stream: " + c.Stream.ErrorText());
    return c;
  }
  std::ifstream f(path, std::ios::binary);
  const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(f), {}};
  const TMp3Source& s = c.Stream;
  const TEncoderTag& tag = s.Tag();
  if (!s.Notes().empty()) problem("note: " + s.Notes()[0]);
  if (!tag.Present || !tag.HasGapless) {
    problem("no tag frame with gapless fields");
    return c;
  }
  const auto& frames = s.Frames();
  const int64_t audioEnd = frames.back().Offset + frames.back().Size;
  if (tag.Frames != frames.size()) problem("tag counts " + std::to_string(tag.Frames) + " frames");
  if (tag.Bytes != audioEnd - s.TagFrameOffset()) problem("tag counts " + std::to_string(tag.Bytes) + " bytes");
  const uint8_t* lame = nullptr;
  for (int64_t at = s.TagFrameOffset(); at < frames[0].Offset - LameTagSize + 1; ++at)
    if (!std::memcmp(&bytes[static_cast<size_t>(at)], tag.Lame.data(), LameTagSize)) lame = &bytes[static_cast<size_t>(at)];
  if (!lame) {
    problem("encoder tag not found");
    return c;
  }
  const size_t crcAt = static_cast<size_t>(lame + 34 - &bytes[static_cast<size_t>(s.TagFrameOffset())]);
  if (TagCrc(&bytes[static_cast<size_t>(s.TagFrameOffset())], crcAt) != (lame[34] << 8 | lame[35])) problem("tag CRC");
  if (TagCrc(&bytes[static_cast<size_t>(frames[0].Offset)], static_cast<size_t>(audioEnd - frames[0].Offset)) !=
      (lame[32] << 8 | lame[33]))
    problem("music CRC");
  const uint32_t musicLength = static_cast<uint32_t>(lame[28] << 24 | lame[29] << 16 | lame[30] << 8 | lame[31]);
  if (musicLength != tag.Bytes) problem("music length");
  const int granules = s.Header().Granules();
  for (size_t i = 0; i < frames.size(); ++i) {
    const uint8_t* p = &bytes[static_cast<size_t>(frames[i].Offset)];
    TMp3Header h;
    ParseHeader(p, h);
    if (h.Protected && ComputeFrameCrc(h, p) != (p[4] << 8 | p[5])) problem("CRC of frame " + std::to_string(i));
    // A frame whose main data begins before the first frame decodes wrongly; its sound
    // reaches two granules on and must end inside the encoder delay.
    if (s.ReservoirFrame(static_cast<int64_t>(i)) < 0 &&
        (static_cast<int64_t>(i) * granules + granules + 2) * 576 > tag.Delay + DecoderDelay)
      problem("frame " + std::to_string(i) + " needs reservoir bytes the encoder delay does not cover");
  }
  return c;
}
