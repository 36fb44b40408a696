#pragma once
// Measures a file's real length by reading its packets once, without decoding, for files
// whose length the library could only estimate.
#include <cstdint>
#include <functional>
#include <string>

#include "media/binding/AVFormatStubs.h"

namespace sw {

struct TMeasuredLength {
  int64_t Duration = -1;  // microseconds
  int64_t BitRate = -1;   // bits per second over the measured packets
};

// True when the context's duration is only an estimate or cannot match the file:
// estimated from the bit rate, or, at the stream's bit rate, implying far more bytes
// than the file holds (a truncated file whose header announces the whole length).
bool DurationNeedsMeasuring(const AVFormatContext* context, int streamIndex, int64_t fileSize);

// Reads every packet of the stream through a second context on the same URL (or, for
// an MP3 file, scans its frame headers);
// Duration stays -1 when nothing could be read or when stop() turned true on the way.
TMeasuredLength MeasureStreamLength(const std::string& url, int streamIndex,
                                    const std::function<bool()>& stop = {});

}  // namespace sw
