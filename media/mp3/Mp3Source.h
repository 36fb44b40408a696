#pragma once
// A scanned MP3 file: its tags, its encoder tag and an index of its audio frames, or the
// reason it is not a clean MP3 stream (every frame layer III of one version, sample rate
// and channel count, back to back).
#include <cstdint>
#include <string>
#include <vector>

#include "EncoderTag.h"
#include "Mp3Header.h"

namespace sw::mp3 {

// Samples a decoder outputs before the first encoded one (its synthesis delay, 528 + 1),
// which the encoder delay of gapless decoding is counted on top of.
constexpr int DecoderDelay = 529;

struct TMp3Frame {
  int64_t Offset = 0;
  int32_t Size = 0;
  uint16_t MainDataBegin = 0;  // bytes back into the reservoir
  uint16_t MainDataSize = 0;   // bytes of main data this frame carries
  uint8_t BitrateIndex = 0;
};

class TMp3Source {
 public:
  // Scans the file, or its first `frameLimit` audio frames when that is not negative.
  // False with ErrorText when it cannot be read or is not a clean stream (as far as scanned).
  bool Open(const std::string& path, int64_t frameLimit = -1);
  const std::string& ErrorText() const { return FErrorText; }
  // Things worth a log line that do not stop a cut (a last frame cut off by the file end).
  const std::vector<std::string>& Notes() const { return FNotes; }

  const std::string& Path() const { return FPath; }
  int64_t FileSize() const { return FFileSize; }
  int64_t Id3v2Size() const { return FId3v2Size; }  // at offset 0
  int64_t Id3v1Offset() const { return FId3v1Offset; }  // -1 without one
  const TMp3Header& Header() const { return FHeader; }  // of the first audio frame
  const TEncoderTag& Tag() const { return FTag; }
  int64_t TagFrameOffset() const { return FTagOffset; }  // -1 without a tag frame
  int32_t FreeFormatSize() const { return FFreeSize; }   // 0 unless free format
  const std::vector<TMp3Frame>& Frames() const { return FFrames; }

  int SamplesPerFrame() const { return FHeader.SamplesPerFrame(); }
  // Index in the decoder's output (all frames decoded) of the first sample a gapless
  // decoder gives: the encoder delay plus the decoder's own, or 0 without gapless fields.
  int64_t RawStart() const { return FTag.HasGapless ? FTag.Delay + DecoderDelay : 0; }
  // Samples per channel a gapless decoder gives for the whole file.
  int64_t Length() const;
  // The first frame whose main data holds the start of frame i's main data; -1 when it
  // lies before the first frame.
  int64_t ReservoirFrame(int64_t i) const;

 private:
  bool Fail(const std::string& reason);

  std::string FPath, FErrorText;
  std::vector<std::string> FNotes;
  int64_t FFileSize = 0, FId3v2Size = 0, FId3v1Offset = -1, FTagOffset = -1;
  int32_t FFreeSize = 0;
  TMp3Header FHeader;
  TEncoderTag FTag;
  std::vector<TMp3Frame> FFrames;
};

}  // namespace sw::mp3
