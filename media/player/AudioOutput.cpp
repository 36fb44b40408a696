// The audio path: the SDL device, decoding inside its callback, conversion to interleaved
// signed 16-bit, the audio clock, volume and mute.
#include <algorithm>
#include <array>
#include <cstring>

#include "FFPlay.h"
#include "PlayContext.h"
#include "media/binding/FFLog.h"

namespace sw {

namespace {

// When no output device can be opened through the drivers SDL tries by itself (a machine
// without a sound card) and nobody chose a driver, playback goes on silently through
// SDL's "dummy" driver, which keeps real time, so the clock and the events still run.
bool NoDriverChosen(const TCustomPlayer& player) {
  const char* env = std::getenv("SDL_AUDIODRIVER");
  return player.AudioDriver() == adDefault && (!env || !*env);
}

// The input of a conversion that only takes what the converter holds: no samples, and a
// pointer for every channel it may read (it takes at most 64).
const uint8_t NoSample = 0;
const std::array<const uint8_t*, 64> NoInput = [] {
  std::array<const uint8_t*, 64> a;
  a.fill(&NoSample);
  return a;
}();

// Louder than unity: SDL's mixing would wrap loud samples around, so the scaling saturates
// here (the same truncation toward zero as SDL's below unity).
void MixLouder(Uint8* stream, const uint8_t* sound, int bytes, int volume) {
  for (int i = 0; i + 1 < bytes; i += 2) {
    int16_t s;
    std::memcpy(&s, sound + i, 2);
    const int16_t v = static_cast<int16_t>(std::clamp(s * volume / 128, -32768, 32767));
    std::memcpy(stream + i, &v, 2);
  }
}

}  // namespace

void AudioCallback(void* userData, Uint8* stream, int length) {
  static_cast<PlayContext*>(userData)->FillAudio(stream, length);
}

bool PlayContext::OpenAudioDevice(const AVCodecContext& codec) {
  SDL_AudioSpec wanted{}, obtained{};
  wanted.freq = codec.sample_rate;
  wanted.format = AUDIO_S16SYS;
  // More than two channels are mixed down to two.
  const int channels = codec.ch_layout.nb_channels;
  wanted.channels = static_cast<Uint8>(channels == 1 ? 1 : 2);
  wanted.silence = 0;
  wanted.samples = 1024;
  wanted.callback = AudioCallback;
  wanted.userdata = this;
  // No changes allowed: SDL converts to the device itself, so what the callback writes is
  // exactly what was asked for.
  FDevice = ff::SDL_OpenAudioDevice(nullptr, 0, &wanted, &obtained, 0);
  if (FDevice == 0 && NoDriverChosen(Owner)) {
    GetLogger().Log(&Owner, llError, std::string("SDL_OpenAudio() failed: ") + ff::SDL_GetError());
    GetLogger().Log(&Owner, llWarning, "no sound device: playing through the silent \"dummy\" driver");
    ff::SDL_AudioQuit();
    if (ff::SDL_AudioInit("dummy") == 0) FDevice = ff::SDL_OpenAudioDevice(nullptr, 0, &wanted, &obtained, 0);
  }
  if (FDevice == 0) {
    GetLogger().Log(&Owner, llError, std::string("SDL_OpenAudio() failed: ") + ff::SDL_GetError());
    return false;
  }
  DeviceRate = obtained.freq;
  DeviceChannels = obtained.channels;
  HardwareBufferSize = static_cast<int>(obtained.size);
  FAudioBuffer.resize(288000);
  return true;
}

void PlayContext::CloseAudioDevice() {
  if (!FDevice) return;
  // Returns only after a running callback has left.
  ff::SDL_CloseAudioDevice(FDevice);
  FDevice = 0;
}

void PlayContext::FillAudio(Uint8* stream, int length) {
  Owner.FAudioCallbackTime.store(ff::av_gettime(), std::memory_order_relaxed);
  // SDL2 hands over an uninitialised buffer.
  std::memset(stream, 0, static_cast<size_t>(length));
  // While paused nothing is taken from the buffer, so the sound stops at once and goes on
  // from the same sample.
  if (FPaused.load(std::memory_order_relaxed)) return;
  // Read before taking packets: once the input has ended, a callback that finds nothing
  // to play means the device has taken the last sound.
  const bool inputEnded = FInputEnded.load();
  bool sound = false;
  const bool mute = Owner.FMute.load(std::memory_order_relaxed);
  const int volume = Owner.FAudioVolume.load(std::memory_order_relaxed);
  const int bytesPerSecond = DeviceRate * 2 * DeviceChannels;
  while (length > 0) {
    if (FBufferIndex >= FBufferSize) {
      const int n = DecodeAudioFrame();
      if (AudioQueue.Aborted()) break;
      // Nothing decoded (queue empty, paused meanwhile): the rest stays silent.
      if (n < 0) break;
      if (DisplayMode != 0) FWave.Add(reinterpret_cast<const int16_t*>(FAudioBuffer.data()), n / 2);
      FBufferSize = n;
      FBufferIndex = 0;
    }
    const int chunk = std::min(FBufferSize - FBufferIndex, length);
    if (mute) {
    } else if (volume > 128) {
      MixLouder(stream, FAudioBuffer.data() + FBufferIndex, chunk, volume);
    } else {
      ff::SDL_MixAudioFormat(stream, FAudioBuffer.data() + FBufferIndex, AUDIO_S16SYS, static_cast<Uint32>(chunk), volume);
    }
    FBufferIndex += chunk;
    stream += chunk;
    length -= chunk;
    sound = sound || chunk > 0;
  }
  if (DisplayMode != 0) FWave.SetWaiting((FBufferSize - FBufferIndex) / 2);
  if (sound) FSoundPlayedOut = false;
  else if (inputEnded) FSoundPlayedOut = true;
  if (bytesPerSecond > 0)
    FAudioClockNow.store(FAudioClock - static_cast<double>(FBufferSize - FBufferIndex) / bytesPerSecond,
                         std::memory_order_relaxed);
}

int PlayContext::DecodeAudioFrame() {
  AVCodecContext* c = FAudioCodec.get();
  for (;;) {
    // What the converter kept because the buffer was full goes first.
    if (FConverterBacklog) {
      const int bytes = TakeSound(ConvertPiece(nullptr));
      if (bytes > 0) return bytes;
      continue;
    }
    const int received = ff::avcodec_receive_frame(c, FAudioFrame.get());
    if (received >= 0) {
      const AVFrame& f = *FAudioFrame;
      if (f.pts != AV_NOPTS_VALUE) FAudioClock = static_cast<double>(f.pts) * av_q2d(AudioStream->time_base);
      // After a seek, the samples before the place asked for are not played.
      if (FSoundFrom != AV_NOPTS_VALUE && f.pts != AV_NOPTS_VALUE && DeviceRate > 0) {
        FSkipLeft = ff::av_rescale_q(ff::av_rescale_q(FSoundFrom, AVRational{1, 1000000}, AudioStream->time_base) - f.pts,
                                     AudioStream->time_base, AVRational{1, DeviceRate});
        if (FSkipLeft <= 0) FSoundFrom = AV_NOPTS_VALUE, FSkipLeft = 0;
      }
      const int bytes = TakeSound(ConvertPiece(&f));
      ff::av_frame_unref(FAudioFrame.get());
      if (bytes > 0) return bytes;
      continue;
    }
    if (received != AVERROR(EAGAIN)) {
      if (received != AVERROR_EOF) FAudioNews.fetch_or(anDecodeFailed);
    }
    // The decoder wants input: the packet it refused last, else the next from the queue.
    AVPacket* packet = FPendingPacket;
    FPendingPacket = nullptr;
    if (!packet) {
      if (FPaused.load(std::memory_order_relaxed) || AudioQueue.Aborted()) return -1;
      if (AudioQueue.Get(packet, false) <= 0) return -1;
    }
    if (IsFlushPacket(packet)) {
      ff::avcodec_flush_buffers(c);
      // Sound the converter still holds is from before the seek.
      ForgetConverter();
      FSoundFrom = FAudioSeekTarget.load();
      FSkipLeft = 0;
      FBufferSize = FBufferIndex = 0;
      FFlushSeen = true;
      continue;
    }
    const int sent = ff::avcodec_send_packet(c, packet);
    if (sent == AVERROR(EAGAIN)) {
      FPendingPacket = packet;
      continue;
    }
    if (sent < 0) FAudioNews.fetch_or(anDecodeFailed);  // the packet is dropped
    ff::av_packet_free(&packet);
  }
}

int PlayContext::TakeSound(int bytes) {
  if (bytes <= 0) return 0;
  const int frameBytes = 2 * DeviceChannels;
  const double bytesPerSecond = static_cast<double>(frameBytes) * DeviceRate;
  if (FSkipLeft > 0) {
    const int drop = static_cast<int>(std::min<int64_t>(FSkipLeft * frameBytes, bytes));
    std::memmove(FAudioBuffer.data(), FAudioBuffer.data() + drop, static_cast<size_t>(bytes - drop));
    bytes -= drop;
    FSkipLeft -= drop / frameBytes;
    FAudioClock += drop / bytesPerSecond;
    // What is left is the sound asked for.
    if (FSkipLeft == 0) FSoundFrom = AV_NOPTS_VALUE;
    if (bytes <= 0) return 0;
  }
  FAudioClock += bytes / bytesPerSecond;
  if (FFlushSeen) {
    FFlushSeen = false;
    FClockStale = false;
  }
  return bytes;
}

void PlayContext::ForgetConverter() {
  FConverter.reset();
  FConverterBacklog = false;
  ff::av_channel_layout_uninit(&FConverterLayout);
  FConverterFormat = -1;
  FConverterRate = 0;
}

bool PlayContext::ConverterFits(const AVFrame& f) {
  // The converter follows the frames: a stream may change its format, rate or channels.
  // For frames it could not be made for, it is not tried again.
  if (f.format == FConverterFormat && f.sample_rate == FConverterRate &&
      ff::av_channel_layout_compare(&f.ch_layout, &FConverterLayout) == 0)
    return FConverter != nullptr;
  ForgetConverter();
  FConverterFormat = f.format;
  FConverterRate = f.sample_rate;
  ff::av_channel_layout_copy(&FConverterLayout, &f.ch_layout);
  AVChannelLayout out{};
  ff::av_channel_layout_default(&out, DeviceChannels);
  SwrContext* s = nullptr;
  const int made = ff::swr_alloc_set_opts2(&s, &out, AV_SAMPLE_FMT_S16, DeviceRate, const_cast<AVChannelLayout*>(&f.ch_layout),
                                           static_cast<AVSampleFormat>(f.format), f.sample_rate, 0, nullptr);
  ff::av_channel_layout_uninit(&out);
  if (made < 0 || ff::swr_init(s) < 0) {
    ff::swr_free(&s);
    FRefusedFormat = f.format;
    FAudioNews.fetch_or(anNoConverter);
    return false;
  }
  FConverter.reset(s);
  return true;
}

int PlayContext::ConvertPiece(const AVFrame* f) {
  if (f && !ConverterFits(*f)) return -1;
  if (!FConverter) return -1;
  // A frame larger than the buffer (sized when the device was opened: nothing is
  // allocated here) is converted in pieces: the converter keeps the rest.
  const int frameBytes = 2 * DeviceChannels;
  const int room = static_cast<int>(FAudioBuffer.size()) / frameBytes;
  uint8_t* out = FAudioBuffer.data();
  const int converted =
      ff::swr_convert(FConverter.get(), &out, room,
                      f ? const_cast<const uint8_t**>(f->extended_data) : const_cast<const uint8_t**>(NoInput.data()),
                      f ? f->nb_samples : 0);
  if (converted < 0) {
    FConverterBacklog = false;
    FAudioNews.fetch_or(anConvertFailed);
    return -1;
  }
  FConverterBacklog = converted == room;
  return converted * frameBytes;
}

}  // namespace sw
