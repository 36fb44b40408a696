#include "Mp3Source.h"

#include <algorithm>
#include <cstring>

#include "ByteReader.h"
#include "Id3Tags.h"
#include "SideInfo.h"

namespace sw::mp3 {

namespace {

std::string At(int64_t offset) { return " at byte " + std::to_string(offset); }

// The kind of audio file whose first bytes these are, when it is a common one other than
// MP3; empty otherwise.
std::string OtherAudioKind(const uint8_t* p, int64_t available) {
  const auto is = [&](int64_t at, const char* magic) {
    const auto n = static_cast<int64_t>(std::strlen(magic));
    return available >= at + n && std::memcmp(p + at, magic, static_cast<std::size_t>(n)) == 0;
  };
  if (is(0, "fLaC")) return "FLAC";
  if (is(0, "RIFF") && is(8, "WAVE")) return "WAV";
  if (is(0, "OggS")) return "Ogg (Vorbis, Opus or FLAC)";
  if (is(4, "ftyp")) return "MP4 (M4A, AAC or ALAC)";
  if (is(0, "FORM") && (is(8, "AIFF") || is(8, "AIFC"))) return "AIFF";
  if (is(0, "\x30\x26\xB2\x75")) return "ASF (WMA)";
  if (is(0, "\x1A\x45\xDF\xA3")) return "Matroska or WebM";
  return "";
}

// The size of a free-format frame without padding: the distance to the next header of
// the same stream. 0 when none follows within the largest possible frame.
int32_t FindFreeFormatSize(TByteReader& in, const TMp3Header& h, int64_t offset, int64_t end) {
  constexpr int MaxFreeFrame = 4096;
  const uint32_t mask = 0xFFFEFC00;  // sync, version, layer, protection, bit rate, sample rate
  for (int64_t at = offset + h.HeaderSize() + h.SideInfoSize(); at + 4 <= end && at - offset <= MaxFreeFrame; ++at) {
    const uint8_t* p = in.Peek(at, 4);
    TMp3Header next;
    if (p && ParseHeader(p, next) && (next.Raw & mask) == (h.Raw & mask) && SameStream(next, h))
      return static_cast<int32_t>(at - offset - h.Padding);
  }
  return 0;
}

}  // namespace

bool TMp3Source::Fail(const std::string& reason) {
  FErrorText = reason;
  FFrames.clear();
  return false;
}

bool TMp3Source::Open(const std::string& path, int64_t frameLimit) {
  *this = TMp3Source{};
  FPath = path;
  TByteReader in;
  if (!in.Open(path)) return Fail("cannot read the file");
  FFileSize = in.Size();
  int64_t end = FFileSize;
  if (end >= Id3v1Size) {
    const uint8_t* p = in.Peek(end - Id3v1Size, Id3v1Size);
    if (p && IsId3v1(p)) FId3v1Offset = end -= Id3v1Size;
  }
  int64_t at = 0;
  if (const uint8_t* p = in.Peek(0, 10)) FId3v2Size = Id3v2TagSize(p, 10);
  if (FId3v2Size > end) return Fail("the ID3v2 tag is longer than the file");
  at = FId3v2Size;
  // Some writers pad behind the tag's declared size.
  while (at < end) {
    const uint8_t* p = in.Peek(at, 1);
    if (!p || *p != 0) break;
    ++at;
  }
  bool first = true;
  while (at < end && (frameLimit < 0 || static_cast<int64_t>(FFrames.size()) < frameLimit)) {
    const uint8_t* p = in.Peek(at, std::min<int64_t>(end - at, 4));
    TMp3Header h;
    if (!p || end - at < 4 || !ParseHeader(p, h)) {
      if (in.ReadError()) return Fail("cannot read the file");
      if (first)
        // (Before the zeros skipped above: an MP4 file begins with a box size.)
        if (const uint8_t* head = in.Peek(FId3v2Size, std::min<int64_t>(end - FId3v2Size, 12)))
          if (const std::string kind = OtherAudioKind(head, std::min<int64_t>(end - FId3v2Size, 12)); !kind.empty())
            return Fail("it is " + kind + " audio, not MP3, and only MP3 frames can be copied");
      return Fail(first ? "no MP3 frame sync" + At(at) : "the frame sync is lost" + At(at));
    }
    if (first) {
      if (h.Layer != 3) return Fail("the frames are MPEG layer " + std::to_string(h.Layer) + ", not layer III");
      FHeader = h;
    } else if (h.Layer != FHeader.Layer) {
      return Fail("the frames mix MPEG layers" + At(at));
    } else if (h.SampleRate != FHeader.SampleRate || h.Version != FHeader.Version) {
      return Fail("the sample rate changes" + At(at));
    } else if (h.Channels() != FHeader.Channels()) {
      return Fail("the channel count changes" + At(at));
    }
    int size = h.FrameSize();
    if (h.BitrateIndex == 0) {
      if (!FFreeSize) FFreeSize = FindFreeFormatSize(in, h, at, end);
      if (!FFreeSize) {
        // A single last free-format frame runs to the end of the stream.
        if (first) return Fail("the free-format frame size cannot be found" + At(at));
        FFreeSize = static_cast<int32_t>(end - at - h.Padding);
      }
      size = FFreeSize + h.Padding;
    } else if (FFreeSize) {
      return Fail("free-format and fixed bit-rate frames are mixed" + At(at));
    }
    const int headerAndSide = h.HeaderSize() + h.SideInfoSize();
    if (size < headerAndSide) return Fail("a frame is too short" + At(at));
    if (at + size > end) {
      FNotes.push_back("The last frame is cut off by the end of the file and is left out.");
      break;
    }
    const uint8_t* frame = in.Peek(at, static_cast<std::size_t>(size));
    if (!frame) return Fail("cannot read the file");
    if (first) {
      first = false;
      if (ParseEncoderTag(h, frame, size, FTag)) {
        FTagOffset = at;
        at += size;
        continue;
      }
    }
    TMp3Frame f;
    f.Offset = at;
    f.Size = size;
    f.MainDataBegin = static_cast<uint16_t>(MainDataBegin(h, frame + h.HeaderSize()));
    f.MainDataSize = static_cast<uint16_t>(size - headerAndSide);
    f.BitrateIndex = static_cast<uint8_t>(h.BitrateIndex);
    FFrames.push_back(f);
    at += size;
  }
  if (FFrames.empty()) return Fail(first ? "no MP3 frame sync" + At(at) : "there are no audio frames");
  return true;
}

int64_t TMp3Source::Length() const {
  const int64_t all = static_cast<int64_t>(FFrames.size()) * SamplesPerFrame();
  if (!FTag.HasGapless) return all;
  return std::max<int64_t>(0, all - FTag.Delay - FTag.Padding);
}

int64_t TMp3Source::ReservoirFrame(int64_t i) const {
  int64_t back = FFrames[static_cast<std::size_t>(i)].MainDataBegin;
  while (back > 0) {
    if (--i < 0) return -1;
    back -= FFrames[static_cast<std::size_t>(i)].MainDataSize;
  }
  return i;
}

}  // namespace sw::mp3
