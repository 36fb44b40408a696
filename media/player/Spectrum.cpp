#include "Spectrum.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "media/binding/AVUtilStubs.h"

namespace sw {

void TSpectrum::TTransformFree::operator()(AVTXContext* c) const { ff::av_tx_uninit(&c); }

TSpectrum::TSpectrum() = default;
TSpectrum::~TSpectrum() = default;

int TSpectrum::WindowFrames(int bandHeight) {
  int n = 1024;  // finer than a band of a small display needs, still under 25 ms of sound
  while (n < 2 * bandHeight) n *= 2;
  return n;
}

void TSpectrum::LevelColour(double level, uint8_t* bgr) {
  const auto part = [&](double from) {
    return static_cast<uint8_t>(std::lround(255 * std::clamp(3 * level - from, 0.0, 1.0)));
  };
  bgr[2] = part(0), bgr[1] = part(1), bgr[0] = part(2);
}

bool TSpectrum::Prepare(int frames) {
  if (frames == FFrames && FTransform) return true;
  FTransform.reset();
  FFrames = 0;
  AVTXContext* c = nullptr;
  av_tx_fn run = nullptr;
  const float scale = 1.0f;
  if (ff::av_tx_init(&c, &run, AV_TX_FLOAT_RDFT, 0, frames, &scale, 0) < 0 || !c) return false;
  FTransform.reset(c);
  FRun = run;
  FIn.reset(static_cast<float*>(ff::av_malloc(sizeof(float) * static_cast<size_t>(frames))));
  FOut.reset(static_cast<float*>(ff::av_malloc(sizeof(float) * static_cast<size_t>(frames + 2))));
  if (!FIn || !FOut) throw std::bad_alloc();
  // A sine of amplitude A gives A/2 times the window's sum at its frequency.
  FWindow.resize(static_cast<size_t>(frames));
  double sum = 0;
  for (int i = 0; i < frames; ++i) {
    FWindow[static_cast<size_t>(i)] = static_cast<float>(0.5 - 0.5 * std::cos(2 * M_PI * i / frames));
    sum += FWindow[static_cast<size_t>(i)];
  }
  for (float& w : FWindow) w = static_cast<float>(w * 2 / (sum * 32768.0));
  FFrames = frames;
  return true;
}

void TSpectrum::AddColumn(const std::vector<int16_t>& samples, int channels, TPixelBuffer& frame) {
  const int w = frame.Width, h = frame.Height;
  if (w <= 0 || h <= 0 || channels <= 0) return;
  for (int y = 0; y < h; ++y) {
    uint8_t* row = &frame.Pixels[static_cast<size_t>(y) * frame.BytesPerRow];
    std::memmove(row, row + 3, static_cast<size_t>(w - 1) * 3);
    row[3 * (w - 1)] = row[3 * (w - 1) + 1] = row[3 * (w - 1) + 2] = 0;
  }
  const int band = h / channels;
  if (band <= 0 || !Prepare(WindowFrames(band))) return;
  const int n = FFrames, bins = n / 2;
  const int have = static_cast<int>(samples.size()) / channels;
  const int skip = std::max(0, have - n), lead = std::max(0, n - have);  // silence before short input
  FLevels.resize(static_cast<size_t>(band));
  for (int ch = 0; ch < channels; ++ch) {
    float* in = FIn.get();
    for (int i = 0; i < n; ++i) {
      const int at = i - lead + skip;
      in[i] = i < lead ? 0.0f : samples[static_cast<size_t>(at) * channels + ch] * FWindow[static_cast<size_t>(i)];
    }
    FRun(FTransform.get(), FOut.get(), FIn.get(), sizeof(float));
    const float* out = FOut.get();  // re, im pairs, bin 0 .. n / 2
    // Row r from the bottom covers bins [r * bins / band, (r + 1) * bins / band): its
    // strongest one counts.
    for (int r = 0; r < band; ++r) {
      const int from = static_cast<int>(static_cast<int64_t>(r) * bins / band);
      const int to = std::max(from + 1, static_cast<int>(static_cast<int64_t>(r + 1) * bins / band));
      float peak = 0;
      for (int k = from; k < to; ++k) peak = std::max(peak, out[2 * k] * out[2 * k] + out[2 * k + 1] * out[2 * k + 1]);
      const double db = peak > 0 ? 10 * std::log10(peak) : FloorDb;
      FLevels[static_cast<size_t>(r)] = static_cast<float>(std::clamp((db - FloorDb) / -FloorDb, 0.0, 1.0));
    }
    const int bottom = (ch + 1) * band - 1;
    for (int r = 0; r < band; ++r)
      LevelColour(FLevels[static_cast<size_t>(r)],
                  &frame.Pixels[static_cast<size_t>(bottom - r) * frame.BytesPerRow + 3 * static_cast<size_t>(w - 1)]);
  }
}

}  // namespace sw
