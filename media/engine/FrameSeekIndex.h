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

using TFrameOffsets = std::vector<int64_t>;

// Byte offsets of the audio frames of an MP3 file input up to `until` (µs on the input's
// own time line; all when negative); null for other inputs and for files that are not a
// clean MP3 stream.
std::shared_ptr<const TFrameOffsets> ScanFrameOffsets(const AVFormatContext* in, int64_t until);

// Adds the index entry of the frame holding `target` (µs on the input's own time line)
// to the audio stream. False, adding nothing, when the demuxer's own entries (of the
// packets it has read) do not agree with the offsets, or the target lies past them.
bool AddSeekPoint(AVFormatContext* in, const TFrameOffsets& offsets, int64_t target);

}  // namespace sw
