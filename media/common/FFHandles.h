#pragma once
// Owning handles for library objects: each frees through its bound entry point.
#include <memory>

#include "media/binding/AVCodecStubs.h"
#include "media/binding/AVCoreStubs.h"
#include "media/binding/AVFormatStubs.h"
#include "media/binding/AVUtilStubs.h"
#include "media/binding/SwScaleStubs.h"

namespace sw {

struct TCodecContextFree {
  void operator()(AVCodecContext* c) const { ff::avcodec_free_context(&c); }
};
struct TFrameFree {
  void operator()(AVFrame* f) const { ff::av_frame_free(&f); }
};
struct TPacketFree {
  void operator()(AVPacket* p) const { ff::av_packet_free(&p); }
};
struct TResamplerFree {
  void operator()(SwrContext* s) const { ff::swr_free(&s); }
};
struct TScalerFree {
  void operator()(SwsContext* s) const { ff::sws_freeContext(s); }
};
struct TAudioFifoFree {
  void operator()(AVAudioFifo* f) const { ff::av_audio_fifo_free(f); }
};
struct TFormatContextFree {  // a context that was never opened as input
  void operator()(AVFormatContext* c) const { ff::avformat_free_context(c); }
};
struct TBitstreamFilterFree {
  void operator()(AVBSFContext* b) const { ff::av_bsf_free(&b); }
};
struct TLibraryMemoryFree {
  void operator()(void* p) const { ff::av_free(p); }
};

using TCodecContextPtr = std::unique_ptr<AVCodecContext, TCodecContextFree>;
using TFramePtr = std::unique_ptr<AVFrame, TFrameFree>;
using TPacketPtr = std::unique_ptr<AVPacket, TPacketFree>;
using TResamplerPtr = std::unique_ptr<SwrContext, TResamplerFree>;
using TScalerPtr = std::unique_ptr<SwsContext, TScalerFree>;
using TAudioFifoPtr = std::unique_ptr<AVAudioFifo, TAudioFifoFree>;
using TFormatContextPtr = std::unique_ptr<AVFormatContext, TFormatContextFree>;
using TBitstreamFilterPtr = std::unique_ptr<AVBSFContext, TBitstreamFilterFree>;
template <class T>
using TLibraryBuffer = std::unique_ptr<T, TLibraryMemoryFree>;

// A dictionary owned by its holder.
class TDictionary {
 public:
  TDictionary() = default;
  ~TDictionary() { ff::av_dict_free(&FDict); }
  TDictionary(const TDictionary&) = delete;
  TDictionary& operator=(const TDictionary&) = delete;
  AVDictionary** Addr() { return &FDict; }
  AVDictionary* Get() const { return FDict; }

 private:
  AVDictionary* FDict = nullptr;
};

}  // namespace sw
