#pragma once
// Joining runs of layer III frames from separate encoders into one stream. A frame may
// take its main data from the bit reservoir, the tails of the frames before it; after a
// join those frames are another encoder's, so the bytes it draws on are moved into the
// free space at the end of the frames it now follows.
#include <cstdint>
#include <string>
#include <vector>

#include "Mp3Header.h"

namespace sw::mp3 {

using TFrameBytes = std::vector<uint8_t>;

// Where a frame's main data lies, counted on the stream of main-data areas (the frame
// bytes after the header and side information).
struct TMainDataLayout {
  int AreaSize = 0;   // bytes this frame adds to the main-data stream
  int Begin = 0;      // main_data_begin: bytes back from this frame's area
  int DataBytes = 0;  // bytes of its granules' data (part2_3_length, rounded up)
};
// False when the bytes are not a whole layer III frame.
bool MainDataOf(const TFrameBytes& frame, TMainDataLayout& layout);

// Bytes at the end of the main-data areas of frames [0, end) that none of them uses.
int FreeReservoirBytes(const std::vector<TFrameBytes>& frames, size_t end);
// How many reservoir bytes before frame `from` the frames from `from` on take.
int ReservoirNeed(const std::vector<TFrameBytes>& frames, size_t from);

// Appends frames [from, end) of `part` to `joined`, writing the reservoir bytes they draw
// on into the free tail of `joined`'s last frames. False, with nothing changed and the
// reason, when that free space is too small or a frame is not layer III.
bool AppendJoined(std::vector<TFrameBytes>& joined, const std::vector<TFrameBytes>& part, size_t from,
                  std::string& reason);

}  // namespace sw::mp3
