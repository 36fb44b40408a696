// The error of a coded stretch of sound against its source, as the ear would get both:
//   audio_snr SOURCE OFFSET CODED FROM TO
// decodes both files (each decoder trims what its file's encoder tag announces) to
// floats, finds the lag within 4096 samples at which CODED[t] best matches
// SOURCE[OFFSET + t] over the seconds [FROM, TO) of CODED, and prints the signal-to-noise
// ratio there in dB after the gain that fits best (a cut at 255/256 is not noise), with
// the lag and that gain ("snr 80.52 dB lag 0 gain 0.99609").
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "media/binding/FFLoad.h"
#include "tests/media/engine/DecodeFile.h"

int main(int argc, char** argv) {
  if (argc != 6) {
    std::fprintf(stderr, "usage: audio_snr SOURCE OFFSET CODED FROM TO (seconds)\n");
    return 2;
  }
  if (!sw::FFLoader().LoadLibrarySet(sw::EncoderLibraries)) {
    std::fprintf(stderr, "%s\n", sw::FFLoader().GetLastErrorText().c_str());
    return 1;
  }
  TDecodedAudio source, coded;
  if (!DecodeFile(argv[1], source, true) || !DecodeFile(argv[3], coded, true) || source.Channels != coded.Channels ||
      source.SampleRate != coded.SampleRate) {
    std::fprintf(stderr, "cannot decode both files alike\n");
    return 1;
  }
  const int rate = source.SampleRate, ch = source.Channels;
  const int64_t offset = std::llround(std::atof(argv[2]) * rate);
  const int64_t from = std::llround(std::atof(argv[4]) * rate);
  int64_t to = std::llround(std::atof(argv[5]) * rate);
  // Sums over the stretch at a lag: source², coded², source x coded; false when the
  // stretch leaves either file.
  const auto sums = [&](int64_t lag, int64_t until, double& ss, double& cc, double& sc) {
    ss = cc = sc = 0;
    for (int64_t t = from; t < until; ++t) {
      const int64_t s = offset + t + lag;
      if (s < 0 || s >= source.Frames() || t >= coded.Frames()) return false;
      for (int c = 0; c < ch; ++c) {
        const double x = source.Floats[static_cast<size_t>(s * ch + c)];
        const double y = coded.Floats[static_cast<size_t>(t * ch + c)];
        ss += x * x, cc += y * y, sc += x * y;
      }
    }
    return true;
  };
  // The residual after the best gain: cc - sc² / ss.
  const auto residual = [](double ss, double cc, double sc) { return ss > 0 ? cc - sc * sc / ss : cc; };
  int64_t best = 0;
  double bestResidual = -1;
  for (int64_t lag = -4096; lag <= 4096; ++lag) {  // on half a second first
    double ss, cc, sc;
    if (!sums(lag, std::min(to, from + rate / 2), ss, cc, sc)) continue;
    const double r = residual(ss, cc, sc);
    if (bestResidual < 0 || r < bestResidual) bestResidual = r, best = lag;
  }
  double ss, cc, sc;
  if (bestResidual < 0 || !sums(best, to, ss, cc, sc) || ss <= 0) {
    std::fprintf(stderr, "the stretch is not inside both files\n");
    return 1;
  }
  const double gain = sc / ss;
  std::printf("snr %.2f dB lag %lld gain %.5f\n", 10 * std::log10(gain * gain * ss / std::max(residual(ss, cc, sc), 1e-30)),
              static_cast<long long>(best), gain);
  return 0;
}
