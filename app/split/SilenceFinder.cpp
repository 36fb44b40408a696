#include "SilenceFinder.h"

#include <algorithm>
#include <cmath>

#include "media/waveform/EnvelopeDecode.h"

namespace sw {

std::vector<TSilence> SilencesInPeaks(const std::vector<float>& peaks, double step, const TSilenceOptions& options) {
  std::vector<TSilence> silences;
  const float level = static_cast<float>(std::pow(10.0, options.ThresholdDb / 20));
  const std::size_t count = peaks.size();
  std::size_t i = 0;
  while (i < count) {
    if (peaks[i] >= level) {
      ++i;
      continue;
    }
    std::size_t end = i;
    while (end < count && peaks[end] < level) ++end;
    // A column with any louder sample is not silent, so the stretch lies inside the silence.
    const TSilence s{std::llround(static_cast<double>(i) * step), std::llround(static_cast<double>(end) * step)};
    if (i > 0 && end < count && s.End - s.Start >= options.MinGap) silences.push_back(s);
    i = end;
  }
  return silences;
}

bool FindSilences(const std::string& path, int64_t length, const TSilenceOptions& options,
                  const std::atomic<bool>& stop, std::vector<TSilence>& silences) {
  silences.clear();
  if (length <= 0) return false;
  TEnvelopeDecodeOptions decode;
  decode.Columns = static_cast<int>(std::max<int64_t>(1, (length + SilenceStep - 1) / SilenceStep));
  TEnvelope envelope;
  if (DecodeEnvelope(path, decode, stop, [](const TEnvelope&) {}, envelope) != erDone) return false;
  std::vector<float> peaks(envelope.Columns.size());
  std::transform(envelope.Columns.begin(), envelope.Columns.end(), peaks.begin(),
                 [](const TPeak& p) { return std::max(std::fabs(p.Min), std::fabs(p.Max)); });
  // The envelope spreads the reader's length over the columns.
  silences = SilencesInPeaks(peaks, static_cast<double>(envelope.Duration) / static_cast<double>(peaks.size()), options);
  return true;
}

}  // namespace sw
