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

  // Places the next sample as the one at the given count of samples at the rate: the
  // builder of a later part of the file starts there. Same count, same column as a
  // builder that counted its way there.
  void StartAt(int64_t samples, int sampleRate);
  void Add(const float* samples, int count, int sampleRate);
  // Takes the columns right of the given one from a builder of the later part, and both
  // builders' extremes in that column.
  void Join(int column, const TEnvelope& later);
  // Every column counts as final, also those the audio never reached.
  void Finish();
  const TEnvelope& Envelope() const { return FEnvelope; }

 private:
  int ColumnAt(double time) const;
  double Time() const { return FBaseTime + static_cast<double>(FCount) * 1e6 / FRate; }

  TEnvelope FEnvelope;
  // The next sample's time: FCount samples at FRate after FBaseTime (µs), counted rather
  // than summed so that a builder started midway agrees with one that ran from the start.
  double FBaseTime = 0;
  int64_t FCount = 0;
  int FRate = 1;
  bool FTouched = false;  // the current column has a sample
};

}  // namespace sw
