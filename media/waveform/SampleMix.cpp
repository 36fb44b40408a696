#include "SampleMix.h"

#include <algorithm>
#include <cstdint>

namespace sw {

namespace {

inline float Sample(uint8_t v) { return (static_cast<int>(v) - 128) / 128.0f; }
inline float Sample(int16_t v) { return v / 32768.0f; }
inline float Sample(int32_t v) { return static_cast<float>(v / 2147483648.0); }
inline float Sample(int64_t v) { return static_cast<float>(static_cast<double>(v) / 9223372036854775808.0); }
inline float Sample(float v) { return v; }
inline float Sample(double v) { return static_cast<float>(v); }

template <class T>
void Mix(const AVFrame& f, bool planar, std::vector<float>& out) {
  const int channels = f.ch_layout.nb_channels, n = f.nb_samples;
  out.resize(static_cast<std::size_t>(n));
  float* __restrict dst = out.data();
  if (planar && channels == 2) {  // the common case in one pass: same sums, same rounding
    const T* __restrict left = reinterpret_cast<const T*>(f.extended_data[0]);
    const T* __restrict right = reinterpret_cast<const T*>(f.extended_data[1]);
    for (int i = 0; i < n; ++i) dst[i] = (Sample(left[i]) + Sample(right[i])) * 0.5f;
    return;
  }
  if (planar) {
    const T* first = reinterpret_cast<const T*>(f.extended_data[0]);
    for (int i = 0; i < n; ++i) dst[i] = Sample(first[i]);
    for (int c = 1; c < channels; ++c) {
      const T* src = reinterpret_cast<const T*>(f.extended_data[c]);
      for (int i = 0; i < n; ++i) dst[i] += Sample(src[i]);
    }
  } else {
    std::fill(dst, dst + n, 0.0f);
    const T* src = reinterpret_cast<const T*>(f.extended_data[0]);
    for (int i = 0; i < n; ++i)
      for (int c = 0; c < channels; ++c) dst[i] += Sample(src[i * channels + c]);
  }
  if (channels > 1) {
    const float scale = 1.0f / channels;
    for (int i = 0; i < n; ++i) dst[i] *= scale;
  }
}

}  // namespace

bool MixDown(const AVFrame& frame, std::vector<float>& out) {
  if (frame.ch_layout.nb_channels <= 0) return false;
  switch (static_cast<AVSampleFormat>(frame.format)) {
    case AV_SAMPLE_FMT_U8: Mix<uint8_t>(frame, false, out); return true;
    case AV_SAMPLE_FMT_U8P: Mix<uint8_t>(frame, true, out); return true;
    case AV_SAMPLE_FMT_S16: Mix<int16_t>(frame, false, out); return true;
    case AV_SAMPLE_FMT_S16P: Mix<int16_t>(frame, true, out); return true;
    case AV_SAMPLE_FMT_S32: Mix<int32_t>(frame, false, out); return true;
    case AV_SAMPLE_FMT_S32P: Mix<int32_t>(frame, true, out); return true;
    case AV_SAMPLE_FMT_S64: Mix<int64_t>(frame, false, out); return true;
    case AV_SAMPLE_FMT_S64P: Mix<int64_t>(frame, true, out); return true;
    case AV_SAMPLE_FMT_FLT: Mix<float>(frame, false, out); return true;
    case AV_SAMPLE_FMT_FLTP: Mix<float>(frame, true, out); return true;
    case AV_SAMPLE_FMT_DBL: Mix<double>(frame, false, out); return true;
    case AV_SAMPLE_FMT_DBLP: Mix<double>(frame, true, out); return true;
    default: return false;
  }
}

}  // namespace sw
