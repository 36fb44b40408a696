// The video path: the video thread decodes into a ring of two pictures, each stamped with
// the wall-clock time it is due; the play thread takes them when their time has come.
// Audio is the master clock: a picture's delay shrinks to nothing while the pictures
// are behind the sound and doubles while they are ahead.
#include <algorithm>
#include <cmath>

#include "FFPlay.h"
#include "PictureFilter.h"
#include "PlayContext.h"
#include "media/binding/FFLog.h"
#include "media/binding/SwScaleStubs.h"

namespace sw {

namespace {

double WallClock() { return static_cast<double>(ff::av_gettime()) / 1e6; }

// A time difference beyond this is a jump (a seek, a broken timestamp), not drift.
constexpr double NoSyncBeyond = 10.0;
constexpr double SyncThresholdMin = 0.01;

}  // namespace

void PlayContext::RestartPictureTiming(double now) {
  FFrameTimer = now;
  FLastFrameDelay = FrameDuration;
  // The next picture's delay is then the frame duration.
  FLastFramePts = -2 * NoSyncBeyond;
}

TFramePtr PlayContext::ToPicture(const AVFrame& frame) {
  TFramePtr picture(ff::av_frame_alloc());
  if (!picture) throw std::bad_alloc();
  if (frame.format == AV_PIX_FMT_YUV420P) {
    if (ff::av_frame_ref(picture.get(), &frame) < 0) throw std::bad_alloc();
    return picture;
  }
  // Pictures are shown and hooked as planar 4:2:0, the format of the display's texture.
  picture->format = AV_PIX_FMT_YUV420P;
  picture->width = frame.width;
  picture->height = frame.height;
  if (ff::av_frame_get_buffer(picture.get(), 0) < 0) throw std::bad_alloc();
  SwsContext* s = ff::sws_getCachedContext(FScaler.release(), frame.width, frame.height,
                                           static_cast<AVPixelFormat>(frame.format), frame.width, frame.height,
                                           AV_PIX_FMT_YUV420P, SWS_BICUBIC, nullptr, nullptr, nullptr);
  FScaler.reset(s);
  if (!s) return nullptr;
  ff::sws_scale(s, frame.data, frame.linesize, 0, frame.height, picture->data, picture->linesize);
  picture->pts = frame.pts;
  return picture;
}

bool PlayContext::QueuePicture(const AVFrame& frame, AVRational timeBase, unsigned serial, bool keep) {
  {
    // Passed over while the display does not keep up.
    std::lock_guard<std::mutex> g(FPictureLock);
    if (!keep && serial == FPictureSerial && !FNeedFirstPicture && !FSkip.Keep()) {
      ++FSkippedPictures;
      if (!FPassedOver) FPassedOver.reset(ff::av_frame_alloc());
      if (FPassedOver) {
        ff::av_frame_unref(FPassedOver.get());
        if (ff::av_frame_ref(FPassedOver.get(), &frame) < 0) FPassedOver.reset();
      }
      FPassedOverTimeBase = timeBase;
      return true;
    }
  }
  FPassedOver.reset();
  TFramePtr picture = ToPicture(frame);
  if (!picture) {
    GetLogger().Log(&Owner, llError, "Cannot initialize the conversion context");
    return true;
  }
  const int64_t ts = frame.best_effort_timestamp != AV_NOPTS_VALUE ? frame.best_effort_timestamp : frame.pts;
  std::unique_lock<std::mutex> g(FPictureLock);
  FPictureChanged.wait(g, [&] { return FPictures.size() < PictureRingSize || FPictureAbort || serial != FPictureSerial; });
  if (FPictureAbort) return false;
  if (serial != FPictureSerial) return true;  // decoded before a seek
  const double pts = ts != AV_NOPTS_VALUE ? static_cast<double>(ts) * av_q2d(timeBase)
                                          : FLastFramePts + FLastFrameDelay;
  double delay = pts - FLastFramePts;
  if (delay <= 0 || delay >= NoSyncBeyond) delay = FLastFrameDelay;
  else FLastFrameDelay = delay;
  FLastFramePts = pts;
  // Following the sound: the shown picture's clock against the audio clock.
  if (HasAudio() && FHaveCurrent && !FNeedFirstPicture && !ClockStale()) {
    const double video = FPaused.load() ? FCurrentPts : WallClock() + FDrift;
    const double diff = video - AudioClock();
    if (std::fabs(diff) < NoSyncBeyond) {
      const double threshold = std::max(delay, SyncThresholdMin);
      if (diff <= -threshold) delay = 0;
      else if (diff >= threshold) delay = 2 * delay;
    }
  }
  FFrameTimer += delay;
  FPictures.push_back({std::move(picture), pts, FFrameTimer});
  FVideoEnded = false;
  g.unlock();
  FPictureChanged.notify_all();
  Owner.FVideoSeekDoneEvent.Set();
  return true;
}

void PlayContext::VideoThread() {
  TFramePtr frame(ff::av_frame_alloc());
  if (!frame) return;
  AVCodecContext* c = FVideoCodec.get();
  unsigned serial;
  {
    std::lock_guard<std::mutex> g(FPictureLock);
    serial = FPictureSerial;
    RestartPictureTiming(WallClock());
  }
  // Pictures held inside the graph belong to the place before a seek: it is made anew.
  std::unique_ptr<TPictureFilter> filter;
  const auto newFilter = [&] {
    if (!VideoFilterText.empty()) filter = std::make_unique<TPictureFilter>(VideoFilterText);
  };
  newFilter();
  bool aborted = false;
  const auto queue = [&](const AVFrame& f, AVRational timeBase) { return !(aborted = !QueuePicture(f, timeBase, serial)); };
  try {
    for (;;) {
      AVPacket* packet = nullptr;
      if (VideoQueue.Get(packet, true) < 0) break;
      if (IsFlushPacket(packet)) {
        ff::avcodec_flush_buffers(c);
        newFilter();
        FPassedOver.reset();
        std::lock_guard<std::mutex> g(FPictureLock);
        serial = FPictureSerial;
        RestartPictureTiming(WallClock());
        continue;
      }
      // An empty packet marks the end of the input: the decoder gives what it holds.
      const bool end = packet->data == nullptr && packet->size == 0;
      if (ff::avcodec_send_packet(c, end ? nullptr : packet) < 0 && !end)
        GetLogger().Log(&Owner, llInfo, "error while decoding a picture");
      ff::av_packet_free(&packet);
      while (!aborted && ff::avcodec_receive_frame(c, frame.get()) >= 0) {
        std::string error;
        if (filter && !filter->Filter(*frame, VideoStream->time_base, VideoSampleAspect, queue, error)) {
          // The pictures are shown as decoded rather than not at all.
          GetLogger().Log(&Owner, llError, error);
          filter.reset();
        }
        if (!filter) queue(*frame, VideoStream->time_base);
        ff::av_frame_unref(frame.get());
      }
      if (aborted) break;
      if (end) {
        // The end is shown as its last picture, even one the skip passed over.
        if (FPassedOver) {
          const TFramePtr last = std::move(FPassedOver);
          if (!QueuePicture(*last, FPassedOverTimeBase, serial, true)) break;
        }
        ff::avcodec_flush_buffers(c);
        {
          std::lock_guard<std::mutex> g(FPictureLock);
          FVideoEnded = true;
        }
        Owner.FVideoSeekDoneEvent.Set();
      }
    }
  } catch (const std::exception& e) {
    GetLogger().Log(&Owner, llFatal, std::string("VideoThread Exception: ") + e.what());
  }
  Owner.FVideoSeekDoneEvent.Set();
}

void PlayContext::ClearPictures() {
  {
    std::lock_guard<std::mutex> g(FPictureLock);
    FPictures.clear();
    ++FPictureSerial;
    FSkip.Reset();
    FNeedFirstPicture = true;
    FSeekedPictures = true;
    FVideoEnded = false;
  }
  FPictureChanged.notify_all();
}

void PlayContext::PauseChanged(bool paused) {
  std::lock_guard<std::mutex> g(FPictureLock);
  const double now = WallClock();
  FPaused = paused ? 1 : 0;
  if (paused) {
    FPausedAt = now;
    return;
  }
  // The pictures waiting are due that much later; the clock goes on from the picture shown.
  const double pausedFor = now - FPausedAt;
  FFrameTimer += pausedFor;
  for (TPicture& p : FPictures) p.Time += pausedFor;
  FDrift = FCurrentPts - now;
}

bool PlayContext::AdvancePicture(double now, bool& dropped) {
  dropped = false;
  std::unique_lock<std::mutex> g(FPictureLock);
  const bool paused = FPaused.load() != 0;
  // While paused only the first picture from a new place is taken.
  if (paused && !FNeedFirstPicture) return false;
  while (!FPictures.empty()) {
    if (!FNeedFirstPicture) {
      if (now < FPictures.front().Time) return false;
      if (FPictures.size() > 1 && now >= FPictures[1].Time) {
        FPictures.pop_front();
        ++FDroppedPictures;
        FSkip.Dropped();
        dropped = true;
        FPictureChanged.notify_all();
        continue;
      }
    }
    TPicture& p = FPictures.front();
    // The first picture from a new place sets the pace: the ones after it keep their
    // distance to it.
    if (FNeedFirstPicture) {
      const double shift = now - p.Time;
      FFrameTimer += shift;
      for (TPicture& later : FPictures) later.Time += shift;
    }
    if (!dropped) FSkip.InTime();
    FCurrent = std::move(p.Frame);
    FCurrentPts = p.Pts;
    FDrift = p.Pts - now;
    if (paused) FPausedAt = now;
    FHaveCurrent = true;
    FNeedFirstPicture = false;
    if (FSeekedPictures) {
      FSeekedPictures = false;
      FPictureStale = false;
    }
    FPictures.pop_front();
    g.unlock();
    FPictureChanged.notify_all();
    return true;
  }
  return false;
}

double PlayContext::VideoClock(double now) {
  std::lock_guard<std::mutex> g(FPictureLock);
  if (!FHaveCurrent) return static_cast<double>(StartTime) / 1e6;
  if (FPaused.load()) return FCurrentPts;
  // A picture shown late must not find the clock already past it.
  return std::min(now + FDrift, FCurrentPts + FLastFrameDelay);
}

bool PlayContext::PlayedOut() {
  if (!Drained()) return false;
  if (HasAudio() && !FSoundPlayedOut.load()) return false;
  if (!HasVideo()) return true;
  std::lock_guard<std::mutex> g(FPictureLock);
  return FVideoEnded && FPictures.empty();
}

}  // namespace sw
