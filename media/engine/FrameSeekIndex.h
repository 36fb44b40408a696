#pragma once
// Seeking an MP3 input without reading up to the target. The demuxer seeks through its
// generic index, which it builds by reading every packet from the beginning; a scan of
// the frame headers finds the target frame's byte offset several times faster, and given
// to the demuxer as an index entry, the seek goes straight there with the timestamps a
// read from the beginning gives.
#include <cstdint>
#include <memory>
#include <vector>

#include "media/binding/AVFormatStubs.h"

namespace sw {

struct TFrameOffsets {
  std::vector<int64_t> Offsets;  // of each audio frame, in order: frame n starts n frames in
  int SamplesPerFrame = 0, SampleRate = 0;
  bool WholeFile = false;  // the scan met the end of the file: the input holds these frames only
};

// Byte offsets of the audio frames of an MP3 file input up to `until` (µs on the input's
// own time line; all when negative); null for other inputs and for files that are not a
// clean MP3 stream.
std::shared_ptr<const TFrameOffsets> ScanFrameOffsets(const AVFormatContext* in, int64_t until);

// Adds the index entry of the frame holding `target` (µs on the input's own time line)
// to the audio stream. False, adding nothing, when the demuxer's own entries (of the
// packets it has read) do not agree with the offsets, or the target lies past them.
bool AddSeekPoint(AVFormatContext* in, const TFrameOffsets& offsets, int64_t target);

}  // namespace sw
