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

// Bytes at the end of the main-data areas of frames [0, end) that none of them uses; when
// the frames are the last ones of a longer stream, no more than that stream has free.
int FreeReservoirBytes(const std::vector<TFrameBytes>& frames, size_t end);
// How many reservoir bytes before frame `from` the frames from `from` on take.
int ReservoirNeed(const std::vector<TFrameBytes>& frames, size_t from);

// Moves the main data of the frames from `from` on `shift` bytes later in the main-data
// stream, as far as the first unused bytes that take it, and lowers their
// main_data_begin to match: the sound is unchanged and `shift` fewer reservoir bytes
// before `from` are drawn on. False, with the reason and the frames unchanged, when a
// frame on the way cannot begin that much later or no unused bytes take the shift.
bool ShiftMainData(std::vector<TFrameBytes>& frames, size_t from, int shift, std::string& reason);

// Gives the frame the lowest higher bit rate whose frame is at least `extra` bytes longer;
// the new bytes end its main-data area unused. False when no bit rate is high enough.
bool GrowFrame(TFrameBytes& frame, int extra);

// Appends frames [from, end) of `part` to `joined`, writing the reservoir bytes they draw
// on into the free tail of `joined`'s last frames. When that tail is too small, the
// part's main data is moved later (ShiftMainData) to draw on no more than it, or else
// the last frame of `joined` grows (GrowFrame) to make the room: the stream then has one
// frame at a higher bit rate. False, with nothing changed and the reason, when none of
// these fits or a frame is not layer III. Without `makeRoom` only the free tail is used.
bool AppendJoined(std::vector<TFrameBytes>& joined, const std::vector<TFrameBytes>& part, size_t from,
                  std::string& reason, bool makeRoom = true);

}  // namespace sw::mp3
