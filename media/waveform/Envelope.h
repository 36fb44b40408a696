#pragma once
// The overview of a whole file's sound: for each column the lowest and highest sample of
// the decoded audio mixed down to one channel, in the range -1..1.
#include <cstdint>
#include <vector>

namespace sw {

struct TPeak {
  float Min = 0, Max = 0;
};

struct TEnvelope {
  int64_t Duration = 0;         // µs the columns span: the length the reader reports
  int64_t DecodedDuration = 0;  // µs of audio the decode gave
  int Filled = 0;               // columns that are final, counted from the left
  std::vector<TPeak> Columns;

  bool Complete() const { return !Columns.empty() && Filled == static_cast<int>(Columns.size()); }
};

// Spreads consecutive mixed-down samples over the columns by their time, so the picture
// lines up with the track's seconds whatever the sample rate (which may change midway).
class TEnvelopeBuilder {
 public:
  TEnvelopeBuilder(int columns, int64_t duration);

  void Add(const float* samples, int count, int sampleRate);
  // Every column counts as final, also those the audio never reached.
  void Finish();
  const TEnvelope& Envelope() const { return FEnvelope; }

 private:
  int ColumnAt(double time) const;

  TEnvelope FEnvelope;
  double FTime = 0;  // µs of the next sample
  bool FTouched = false;  // the current column has a sample
};

}  // namespace sw
