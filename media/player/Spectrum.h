#pragma once
// The spectrum display: a spectrogram that scrolls to the left by one column per refresh.
// Each new column, at the right edge, is the spectrum of the latest samples handed to the
// device: one horizontal band per channel (the first at the top), frequency rising
// linearly from 0 at the bottom of a band to half the sample rate at its top, and the
// level of each frequency as a colour from black (-90 dB of full scale and below)
// through red and yellow to white (full scale).
#include <cstdint>
#include <memory>
#include <vector>

#include "media/common/FFHandles.h"
#include "media/common/PictureBridge.h"

extern "C" {
struct AVTXContext;
}

namespace sw {

class TSpectrum {
 public:
  static constexpr double FloorDb = -90;

  TSpectrum();
  ~TSpectrum();
  TSpectrum(const TSpectrum&) = delete;
  TSpectrum& operator=(const TSpectrum&) = delete;

  // Sample frames one column is computed from for bands of that height (a power of two,
  // at least twice the height so that every row has a frequency of its own).
  static int WindowFrames(int bandHeight);
  // The colour of a level, 0 (floor) .. 1 (full scale), as BGR; each component rises with it.
  static void LevelColour(double level, uint8_t* bgr);

  // Moves the picture one column to the left and draws the new column from the last
  // WindowFrames(band) frames of samples (interleaved, channels per frame, oldest first;
  // fewer are taken as silence before them). The frame is 24-bit BGR.
  void AddColumn(const std::vector<int16_t>& samples, int channels, TPixelBuffer& frame);

 private:
  bool Prepare(int frames);

  struct TTransformFree {
    void operator()(AVTXContext* c) const;
  };
  std::unique_ptr<AVTXContext, TTransformFree> FTransform;
  void (*FRun)(AVTXContext*, void*, void*, ptrdiff_t) = nullptr;
  int FFrames = 0;             // the transform's length
  std::vector<float> FWindow;  // Hann, scaled so that a full-scale sine peaks at 1
  TLibraryBuffer<float> FIn;   // aligned as the transform wants
  TLibraryBuffer<float> FOut;  // FFrames / 2 + 1 complex values
  std::vector<float> FLevels;  // per row of a band
};

}  // namespace sw
