#include "EncoderTag.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "Crc16.h"

namespace sw::mp3 {

namespace {

constexpr uint32_t XingFrames = 1, XingBytes = 2, XingToc = 4, XingQuality = 8;

uint32_t Be32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 | static_cast<uint32_t>(p[2]) << 8 | p[3];
}

void PutBe32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v >> 24);
  p[1] = static_cast<uint8_t>(v >> 16);
  p[2] = static_cast<uint8_t>(v >> 8);
  p[3] = static_cast<uint8_t>(v);
}

// Decoders take the delay and padding only from tags of these encoders.
bool GaplessEncoder(const uint8_t* version) {
  return !std::memcmp(version, "LAME", 4) || !std::memcmp(version, "Lavf", 4) || !std::memcmp(version, "Lavc", 4);
}

}  // namespace

bool ParseEncoderTag(const TMp3Header& h, const uint8_t* frame, int size, TEncoderTag& tag) {
  tag = TEncoderTag{};
  // The tag sits right after the side information (decoders do not expect a CRC before it).
  int at = 4 + h.SideInfoSize();
  if (size >= 36 + 26 && !std::memcmp(frame + 36, "VBRI", 4)) {
    tag.Present = tag.Vbri = true;
    return true;
  }
  if (at + 8 > size) return false;
  const bool xing = !std::memcmp(frame + at, "Xing", 4);
  if (!xing && std::memcmp(frame + at, "Info", 4)) return false;
  tag.Present = true;
  tag.Xing = xing;
  const uint32_t flags = Be32(frame + at + 4);
  at += 8;
  const auto field = [&](uint32_t flag, int bytes, uint32_t* value) {
    if (!(flags & flag)) return;
    if (value && at + 4 <= size) *value = Be32(frame + at);
    at += bytes;
  };
  field(XingFrames, 4, &tag.Frames);
  field(XingBytes, 4, &tag.Bytes);
  field(XingToc, 100, nullptr);
  field(XingQuality, 4, &tag.Quality);
  if (at + LameTagSize > size) return true;
  std::memcpy(tag.Lame.data(), frame + at, LameTagSize);
  if (GaplessEncoder(tag.Lame.data())) {
    tag.HasGapless = true;
    tag.Delay = (tag.Lame[21] << 4) | (tag.Lame[22] >> 4);
    tag.Padding = ((tag.Lame[22] & 0x0F) << 8) | tag.Lame[23];
  }
  return true;
}

int InfoFrameNeeds(const TMp3Header& h, bool withToc) {
  return 4 + h.SideInfoSize() + 8 + 4 + 4 + (withToc ? 100 : 0) + 4 + LameTagSize;
}

std::vector<uint8_t> BuildInfoFrame(const TMp3Header& h, int size, const TInfoFrameFields& f) {
  if (size < InfoFrameNeeds(h, false)) return {};
  std::vector<uint8_t> frame(static_cast<std::size_t>(size), 0);
  const uint32_t raw = h.With(h.BitrateIndex, 0, false);
  PutBe32(frame.data(), raw);
  // Side information stays zero: no main data, a silent frame for decoders that play it.
  int at = 4 + h.SideInfoSize();
  std::memcpy(&frame[at], f.Xing ? "Xing" : "Info", 4);
  const bool withToc = size >= InfoFrameNeeds(h, true);
  PutBe32(&frame[at + 4], XingFrames | XingBytes | (withToc ? XingToc : 0) | XingQuality);
  at += 8;
  PutBe32(&frame[at], f.Frames);
  PutBe32(&frame[at + 4], f.Bytes);
  at += 8;
  if (withToc) {
    std::memcpy(&frame[at], f.Toc.data(), f.Toc.size());
    at += 100;
  }
  PutBe32(&frame[at], f.Quality);
  at += 4;
  uint8_t* lame = &frame[at];
  std::memcpy(lame, f.Lame.data(), LameTagSize);
  // The source's loudness figures do not describe the segment.
  std::memset(lame + 11, 0, 8);
  lame[21] = static_cast<uint8_t>(f.Delay >> 4);
  lame[22] = static_cast<uint8_t>((f.Delay & 0x0F) << 4 | (f.Padding >> 8));
  lame[23] = static_cast<uint8_t>(f.Padding);
  PutBe32(lame + 28, f.Bytes);
  lame[32] = static_cast<uint8_t>(f.MusicCrc >> 8);
  lame[33] = static_cast<uint8_t>(f.MusicCrc);
  const uint16_t crc = TagCrc(frame.data(), static_cast<std::size_t>(at + 34));
  lame[34] = static_cast<uint8_t>(crc >> 8);
  lame[35] = static_cast<uint8_t>(crc);
  return frame;
}

void PutEncoderSettings(const TEncoderSettings& e, TInfoFrameFields& f) {
  uint8_t* lame = f.Lame.data();
  std::memset(lame, 0, LameTagSize);
  const std::string name = "LAME" + e.Version;
  std::memcpy(lame, name.data(), std::min<std::size_t>(name.size(), 9));
  lame[9] = static_cast<uint8_t>(e.VbrMethod & 0x0F);  // tag revision 0
  lame[10] = static_cast<uint8_t>(std::clamp<long>(std::lround(e.Lowpass / 100.0), 0, 255));
  lame[19] = static_cast<uint8_t>((e.AthType & 0x0F) | (e.NsPsyTune ? 0x10 : 0));
  lame[20] = static_cast<uint8_t>(std::clamp(e.Bitrate, 0, 255));
  const int sourceRate = e.SourceRate <= 32000 ? 0 : e.SourceRate == 44100 ? 1 : e.SourceRate == 48000 ? 2 : 3;
  lame[24] = static_cast<uint8_t>((e.StereoMode & 7) << 2 | sourceRate << 6);
  f.Quality = static_cast<uint32_t>(std::max(0, 100 - 10 * e.VbrQuality - e.Quality));
}

TMp3Header InfoFrameHeader(TMp3Header h, int bitrateIndex, int& size) {
  h.Protected = false;
  h.Padding = 0;
  const int need = InfoFrameNeeds(h, true);
  int index = bitrateIndex;
  if (index <= 0 || h.FrameSizeAt(index) < need)
    for (index = 1; index < 15 && h.FrameSizeAt(index) < need; ++index) {
    }
  h.BitrateIndex = std::min(index, 14);
  h.Bitrate = BitrateOf(h.Version, h.Layer, h.BitrateIndex);
  size = h.FrameSizeAt(h.BitrateIndex);
  return h;
}

std::array<uint8_t, 100> InfoSeekTable(int64_t frames, int64_t infoSize, int64_t bytes,
                                       const std::function<int64_t(int64_t)>& frameSize) {
  std::array<uint8_t, 100> toc{};
  int64_t offset = infoSize, frame = 0;
  for (int k = 0; k < 100 && bytes > 0; ++k) {
    for (const int64_t target = k * frames / 100; frame < target; ++frame) offset += frameSize(frame);
    toc[static_cast<std::size_t>(k)] = static_cast<uint8_t>(std::min<int64_t>(255, offset * 256 / bytes));
  }
  return toc;
}

}  // namespace sw::mp3
