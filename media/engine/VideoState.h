#pragma once
// What the video path keeps per stream during a run: the scaler and crop of an encoded
// output, its two-pass log and statistics, and the filter graph of a decoded input.
#include <cstdio>
#include <memory>
#include <string>

#include "FFmpeg.h"
#include "media/binding/AVFilterStubs.h"

namespace sw {

struct TFilterGraphFree {
  void operator()(AVFilterGraph* g) const { ff::avfilter_graph_free(&g); }
};
using TFilterGraphPtr = std::unique_ptr<AVFilterGraph, TFilterGraphFree>;

struct TFileClose {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using TFilePtr = std::unique_ptr<std::FILE, TFileClose>;

// A picture geometry: size and pixel format.
struct TPictureShape {
  int Width = 0, Height = 0, Format = -1;
  bool operator==(const TPictureShape&) const = default;
};

struct TVideoOutput {
  ~TVideoOutput();
  bool ResamplingNeeded = false;
  TFramePtr Temp;              // the scaled picture, output size and format
  TScalerPtr Scaler;
  TPictureShape ScalerInput;   // cropped input the scaler was made for
  TPictureShape Source;        // decoded picture the set-up was made for
  bool Crop = false;
  int Bands[4] = {};           // top, bottom, left, right in use
  int ConfiguredBands[4] = {}; // as set for the source size
  TFramePtr HookPicture;       // writable copy for the output hook
  TFramePtr Sent;              // reference handed to the encoder
  TPacketPtr Packet;
  TFilePtr TwoPassLog;         // pass 1
  char* StatsIn = nullptr;     // pass 2: the log read whole (library memory)
  AVCodecContext* StatsOwner = nullptr;
  // The encoder's last picture: quality (lambda), type, PSNR errors per plane.
  int LastQuality = 0;
  char LastPictType = '?';
  uint64_t LastErrors[4] = {};
  bool HasErrors = false;
  int64_t LastFrameSize = 0;
  int Histogram[52] = {};      // quantiser histogram of the progress text
};

struct TVideoInput {
  TFilterGraphPtr Graph;
  AVFilterContext* FilterInput = nullptr;   // "src"
  AVFilterContext* FilterOutput = nullptr;  // "out"
  TFramePtr Filtered;                       // picture reference taken from the graph
  TFramePtr HookPicture;                    // writable copy for the input hook
  bool GraphIsDeinterlaceOnly = false;
};

}  // namespace sw
