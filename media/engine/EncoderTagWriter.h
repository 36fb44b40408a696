#pragma once
// The encoder tag frame of an MP3 file whose stream LAME encoded. The muxer's own tag
// leaves the encoder's settings at zero and takes the padding from the encoder's last
// packet, which is one frame short when LAME flushes an extra frame; this one is written
// in front of the first audio frame and again at the end, with the counts, the seek
// table, the delay and the padding that give back exactly the samples encoded, and the
// settings read back from the encoder.
#include <cstdint>
#include <vector>

#include "media/mp3/EncoderTag.h"
#include "media/mp3/Mp3Header.h"

struct AVCodecContext;
struct AVFormatContext;
struct AVIOContext;
struct AVPacket;

namespace sw {

class TCustomFFmpeg;

class TEncoderTagWriter {
 public:
  // Whether a muxed output gets its tag from here: an MP3 file of one stream encoded by
  // LAME, written where it can go back to its start.
  static bool Applies(const AVFormatContext* output, const AVCodecContext* encoder);

  // Every audio packet, before the muxer writes it; the first is preceded by the tag
  // frame, with nothing filled in yet.
  void Packet(AVIOContext* pb, const AVPacket& packet);
  // The tag frame again in its place: `samples` is what the encoder was given.
  void Finish(AVIOContext* pb, const AVCodecContext* encoder, int64_t samples, TCustomFFmpeg& engine);

 private:
  bool FStarted = false;
  mp3::TMp3Header FHeader;   // the tag frame's
  int FSize = 0;             // the tag frame's bytes
  int64_t FOffset = -1;      // where it starts in the file
  int FBitrateIndex = 0;     // of the first audio frame
  bool FVariable = false;    // frames of other bit rates follow
  std::vector<int> FFrameSizes;
  int64_t FBytes = 0;
  uint16_t FMusicCrc = 0;
};

}  // namespace sw
