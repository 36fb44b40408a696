#pragma once
// One decode of a stretch of a file's first audio stream, mixed down to one channel and
// placed on the time line of the whole file's decoded sound (sample 0 is the first sample
// a decoder of the whole file gives). The overview decodes a long file in two such parts;
// the zoom view reads the span it shows.
#include <atomic>
#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "media/common/FFHandles.h"
#include "media/mp3/Mp3Source.h"

namespace sw {

// Enough MP3 frames before a later part's first sample to fill the bit reservoir (at most
// 511 bytes back, a few frames even at the lowest rates) and the transform's overlap.
constexpr int64_t PreRollSamples = 16 * 1152;

struct TInput {
  AVFormatContext* Context = nullptr;
  TCodecContextPtr Decoder;
  int Stream = -1;
  TInput() = default;
  TInput(const TInput&) = delete;
  TInput& operator=(const TInput&) = delete;
  ~TInput();
};

// Opens the file and its first audio stream's decoder; every other stream is dropped.
// Opening, and reading later, give up when stop is set.
bool OpenInput(TInput& in, const std::string& url, const std::atomic<bool>& stop);

// Which samples of the file's decoded sound (counted from its first) one decode takes.
struct TPart {
  int64_t From = 0;
  int64_t To = std::numeric_limits<int64_t>::max();
  // A later part reads the packets before this sample without decoding them; the ones
  // from here to From refill the decoder's overlap and bit reservoir.
  int64_t DecodeFrom = 0;
  // With the file's frame index, a later part starts reading at a frame a little before
  // From instead, and places its sound by the byte position of the frames it decodes.
  const mp3::TMp3Source* Index = nullptr;
};

// Moves a later part's input to the frame that starts its pre-roll; false when the file's
// index does not fit the decoder's stream or the input cannot seek.
bool SeekToPreRoll(TInput& in, const mp3::TMp3Source& index, int64_t decodeFrom);

// Takes the mixed-down samples from that sample of the file's sound on, at that rate.
using TSampleSink = std::function<void(int64_t sample, const float* samples, int count, int sampleRate)>;

// Decodes the packets in file order into the sink, keeping the samples of the part.
class TPartDecode {
 public:
  TPartDecode(TInput& in, const TPart& part, TSampleSink sink, const std::atomic<bool>& stop)
      : FIn(in), FPart(part), FSink(std::move(sink)), FStop(stop) {}

  // publish is called between packets; false when nothing could be decoded.
  bool Run(const std::function<void()>& publish);
  // The sound of a later part could not be placed on the file's time line.
  bool Lost() const { return FLost; }

 private:
  bool Done() const { return FNext >= FPart.To || FLost; }
  void Drain();
  void PlaceByIndex(const AVFrame& f);

  TInput& FIn;
  const TPart FPart;
  TSampleSink FSink;
  const std::atomic<bool>& FStop;
  TFramePtr FFrame;
  std::vector<float> FMixed;
  int64_t FOrigin = AV_NOPTS_VALUE;  // the time of the file's first decoded sample
  int64_t FNext = 0;                 // the count of the next decoded sample
  bool FPlaced = false, FLost = false, FDecodedAny = false;
};

}  // namespace sw
