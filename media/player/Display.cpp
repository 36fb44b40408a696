#include "Display.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "FFPlay.h"
#include "PlayContext.h"
#include "Spectrum.h"
#include "media/binding/FFLog.h"
#include "media/binding/SDLStubs.h"
#include "media/binding/SwScaleStubs.h"

namespace sw {

TPlayerDisplay::TPlayerDisplay(TCustomPlayer& player) : FPlayer(player) {}

TPlayerDisplay::~TPlayerDisplay() { Close(); }

void TPlayerDisplay::DrawWaveform(const std::vector<int16_t>& samples, int channels, TPixelBuffer& frame) {
  const int w = frame.Width, h = frame.Height;
  std::fill(frame.Pixels.begin(), frame.Pixels.end(), 0);
  if (w <= 0 || h <= 0 || channels <= 0) return;
  const int frames = static_cast<int>(samples.size()) / channels;
  const int band = h / channels;
  if (frames <= 0 || band <= 0) return;
  for (int ch = 0; ch < channels; ++ch) {
    const int top = ch * band, middle = top + band / 2;
    for (int x = 0; x < w; ++x) {
      const int from = static_cast<int>(static_cast<int64_t>(x) * frames / w);
      const int to = std::max(from + 1, static_cast<int>(static_cast<int64_t>(x + 1) * frames / w));
      // A bar from the middle line to the farthest sample of the column on either side.
      int lo = 0, hi = 0;
      for (int i = from; i < to && i < frames; ++i) {
        const int v = samples[static_cast<size_t>(i) * channels + ch];
        lo = std::min(lo, v), hi = std::max(hi, v);
      }
      // Sample values grow upwards; the band keeps a pixel of margin at each edge.
      const int half = std::max(1, band / 2 - 1);
      const int y0 = std::clamp(middle - hi * half / 32768, top, top + band - 1);
      const int y1 = std::clamp(middle - lo * half / 32768, top, top + band - 1);
      for (int y = y0; y <= y1; ++y)
        std::fill_n(&frame.Pixels[static_cast<size_t>(y) * frame.BytesPerRow + 3 * static_cast<size_t>(x)], 3, 0xFF);
    }
  }
}

bool TPlayerDisplay::HookWanted() const {
  return FPlayer.OnVideoHook && (FPlayer.VideoHook() || FPlayer.ScreenHandle() != 0);
}

bool TPlayerDisplay::Offer(TPixelBuffer& frame, int64_t pts) {
  bool update = true;
  try {
    FPlayer.OnVideoHook(&FPlayer, frame, pts, update);
  } catch (const std::exception& e) {
    GetLogger().Log(&FPlayer, llError, std::string("Error occurs OnVideoHook: ") + e.what());
    return false;
  }
  return update;
}

bool TPlayerDisplay::OwnWindowWanted() const { return FPlayer.ScreenHandle() == 0 && !FOwnWindowFailed; }

void TPlayerDisplay::Show(PlayContext& context, int64_t pts) {
  const bool hook = HookWanted(), own = OwnWindowWanted();
  // Nobody looks: nothing is drawn.
  const int mode = context.DisplayMode.load();
  if ((!hook && !own) || (mode != 1 && mode != 2)) return;
  const int w = FPlayer.ScreenWidth() > 0 ? FPlayer.ScreenWidth() : DefaultWidth;
  const int h = FPlayer.ScreenHeight() > 0 ? FPlayer.ScreenHeight() : DefaultHeight;
  SizeFrame(w, h);
  const int channels = std::max(1, context.DeviceChannels);
  if (mode == 1) {
    // The power of two at or above twice the display's height in sample frames; paused,
    // the picture keeps its start.
    int frames = 1;
    while (frames < 2 * h) frames *= 2;
    FWaveStart = context.WaveformWindow(FSamples, frames, context.Paused() ? FWaveStart : -1);
    DrawWaveform(FSamples, channels, FFrame);
  } else if (!context.Paused()) {
    // The spectrogram stands still while paused: its columns are time.
    if (!FSpectrum) FSpectrum = std::make_unique<TSpectrum>();
    context.CopyWaveform(FSamples, TSpectrum::WindowFrames(h / channels));
    FSpectrum->AddColumn(FSamples, channels, FFrame);
  }
  TPixelBuffer& shown = WithSubtitles(context, context.AudioClock());
  if (hook) {
    Offer(shown, pts);
  }
  if (own && (FTextureFormat == SDL_PIXELFORMAT_BGR24 || OpenOwnWindow(w, h, SDL_PIXELFORMAT_BGR24))) {
    ff::SDL_UpdateTexture(FTexture, nullptr, shown.Pixels.data(), shown.BytesPerRow);
    PresentOwnWindow(nullptr);
  }
}

TPixelBuffer& TPlayerDisplay::WithSubtitles(PlayContext& context, double at) {
  if (!context.HasSubtitles()) return FFrame;
  // The subtitles are blended into pictures: the frame becomes one, and a copy of the
  // frame gets it back when any subtitle was drawn (the spectrum scrolls on under them).
  const int w = FFrame.Width, h = FFrame.Height;
  if (!FOverlay || FOverlay->width != w || FOverlay->height != h) {
    FOverlay.reset(ff::av_frame_alloc());
    if (!FOverlay) throw std::bad_alloc();
    FOverlay->width = w, FOverlay->height = h, FOverlay->format = AV_PIX_FMT_YUV420P;
    if (ff::av_frame_get_buffer(FOverlay.get(), 0) < 0) throw std::bad_alloc();
  }
  FToPicture.reset(ff::sws_getCachedContext(FToPicture.release(), w, h, AV_PIX_FMT_BGR24, w, h, AV_PIX_FMT_YUV420P,
                                            SWS_POINT, nullptr, nullptr, nullptr));
  FFromPicture.reset(ff::sws_getCachedContext(FFromPicture.release(), w, h, AV_PIX_FMT_YUV420P, w, h, AV_PIX_FMT_BGR24,
                                              SWS_POINT, nullptr, nullptr, nullptr));
  if (!FToPicture || !FFromPicture) {
    context.ExpireSubtitles(at);
    return FFrame;
  }
  const uint8_t* const from[4] = {FFrame.Pixels.data()};
  const int fromLines[4] = {FFrame.BytesPerRow};
  ff::sws_scale(FToPicture.get(), from, fromLines, 0, h, FOverlay->data, FOverlay->linesize);
  if (!context.BlendSubtitles(at, *FOverlay)) return FFrame;
  // Scaled apart and copied in: the scaler may write past the end of a row.
  const int stride = (w * 3 + 63) / 64 * 64;
  FFitted.resize(static_cast<size_t>(stride) * (h + 1));
  uint8_t* const to[4] = {FFitted.data()};
  const int toLines[4] = {stride};
  ff::sws_scale(FFromPicture.get(), FOverlay->data, FOverlay->linesize, 0, h, to, toLines);
  FSubtitled.Width = w, FSubtitled.Height = h, FSubtitled.Bits = 24, FSubtitled.BytesPerRow = FFrame.BytesPerRow;
  FSubtitled.Pixels.resize(FFrame.Pixels.size());
  for (int y = 0; y < h; ++y)
    std::memcpy(&FSubtitled.Pixels[static_cast<size_t>(y) * FSubtitled.BytesPerRow],
                &FFitted[static_cast<size_t>(y) * stride], 3 * static_cast<size_t>(w));
  return FSubtitled;
}

void TPlayerDisplay::SizeFrame(int width, int height) {
  if (FFrame.Width == width && FFrame.Height == height) return;
  FFrame.Width = width, FFrame.Height = height, FFrame.Bits = 24;
  FFrame.BytesPerRow = (width * 3 + 3) / 4 * 4;
  FFrame.Pixels.assign(static_cast<size_t>(FFrame.BytesPerRow) * height, 0);
}

bool TPlayerDisplay::FitIntoFrame(const AVFrame& picture, double pixelAspect) {
  // Without a size asked for, the frame is the picture's.
  const int w = FPlayer.ScreenWidth() > 0 ? FPlayer.ScreenWidth() : picture.width & ~1;
  const int h = FPlayer.ScreenHeight() > 0 ? FPlayer.ScreenHeight() : picture.height & ~1;
  if (w <= 0 || h <= 0) return false;
  SizeFrame(w, h);
  std::fill(FFrame.Pixels.begin(), FFrame.Pixels.end(), 0);
  const TRect r = FitPicture(picture.width, picture.height, pixelAspect, FPlayer.AspectRatio(), w, h);
  if (r.W <= 0 || r.H <= 0) return true;
  SwsContext* s = ff::sws_getCachedContext(FFitScaler.release(), picture.width, picture.height,
                                           static_cast<AVPixelFormat>(picture.format), r.W, r.H, AV_PIX_FMT_BGR24,
                                           SWS_BILINEAR, nullptr, nullptr, nullptr);
  FFitScaler.reset(s);
  if (!s) return false;
  // Scaled apart and copied in: the scaler may write past the end of a row.
  const int stride = (r.W * 3 + 63) / 64 * 64;
  FFitted.resize(static_cast<size_t>(stride) * (r.H + 1));
  uint8_t* const to[4] = {FFitted.data()};
  const int lines[4] = {stride};
  ff::sws_scale(s, picture.data, picture.linesize, 0, picture.height, to, lines);
  for (int y = 0; y < r.H; ++y)
    std::memcpy(&FFrame.Pixels[static_cast<size_t>(r.Y + y) * FFrame.BytesPerRow + 3 * static_cast<size_t>(r.X)],
                &FFitted[static_cast<size_t>(y) * stride], 3 * static_cast<size_t>(r.W));
  return true;
}

void TPlayerDisplay::Redraw(PlayContext& context) {
  if (context.HasVideo() && context.CurrentPicture())
    ShowPicture(context, std::llround(context.CurrentPicturePts() * 1e6) - context.StartTime);
}

TPlayerDisplay::TRect TPlayerDisplay::FitPicture(int width, int height, double pixelAspect, float aspectRatio,
                                                 int windowWidth, int windowHeight) {
  if (aspectRatio < 0 || width <= 0 || height <= 0) return {0, 0, windowWidth, windowHeight};
  const double aspect = aspectRatio > 0 ? aspectRatio : (pixelAspect > 0 ? pixelAspect : 1.0) * width / height;
  int h = windowHeight & ~1;
  int w = static_cast<int>(std::lround(h * aspect)) & ~1;
  if (w > windowWidth) {
    w = windowWidth & ~1;
    h = static_cast<int>(std::lround(w / aspect)) & ~1;
  }
  return {(windowWidth - w) / 2, (windowHeight - h) / 2, w, h};
}

void TPlayerDisplay::ShowPicture(PlayContext& context, int64_t pts) {
  const bool hook = HookWanted(), own = OwnWindowWanted();
  AVFrame* current = context.CurrentPicture();
  if ((!hook && !own) || !current) return;
  // Blended into a copy: the current picture stays as decoded for the next subtitle.
  if (!FShown) FShown.reset(ff::av_frame_alloc());
  if (!FShown) throw std::bad_alloc();
  ff::av_frame_unref(FShown.get());
  if (ff::av_frame_ref(FShown.get(), current) < 0) throw std::bad_alloc();
  context.BlendSubtitles(context.CurrentPicturePts(), *FShown);
  AVFrame& shown = *FShown;
  const double pixelAspect = context.VideoSampleAspect.num > 0 ? av_q2d(context.VideoSampleAspect) : 1.0;
  if (hook && FPlayer.ScreenHandle() != 0) {
    // What the host window is to show (no own window then).
    if (!FitIntoFrame(shown, pixelAspect)) {
      GetLogger().Log(&FPlayer, llError, "Cannot initialize the toRGB conversion context");
      return;
    }
    Offer(FFrame, pts);
    return;
  }
  if (hook) {
    if (!FBridge.PictureToBitmap(shown.data, shown.linesize, AV_PIX_FMT_YUV420P, false, shown.height, shown.width)) {
      GetLogger().Log(&FPlayer, llError, "Cannot initialize the toRGB conversion context");
    } else {
      // What the handler drew is what the own window shows.
      if (Offer(FBridge.Bitmap(), pts) && own) {
        FBridge.BitmapRowsToPicture();
        if (ff::av_frame_make_writable(&shown) < 0 ||
            !FBridge.BitmapToPicture(shown.data, shown.linesize, AV_PIX_FMT_YUV420P, shown.height, shown.width))
          GetLogger().Log(&FPlayer, llError, "Cannot initialize the fromRGB conversion context");
      }
    }
  }
  if (!own) return;
  if ((FTextureFormat != SDL_PIXELFORMAT_IYUV || FTextureWidth != shown.width || FTextureHeight != shown.height) &&
      !OpenOwnWindow(shown.width, shown.height, SDL_PIXELFORMAT_IYUV))
    return;
  ff::SDL_UpdateYUVTexture(FTexture, nullptr, shown.data[0], shown.linesize[0], shown.data[1], shown.linesize[1],
                           shown.data[2], shown.linesize[2]);
  const TRect r = FitPicture(shown.width, shown.height, pixelAspect, FPlayer.AspectRatio(), FWindowWidth, FWindowHeight);
  PresentOwnWindow(&r);
}

bool TPlayerDisplay::OpenOwnWindow(int width, int height, uint32_t format) {
  if (FTexture) ff::SDL_DestroyTexture(FTexture);
  FTexture = nullptr;
  FTextureFormat = 0;
  if (!FWindow) {
    if (ff::SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
      FOwnWindowFailed = true;
      GetLogger().Log(&FPlayer, llError, "SDL: could not set video mode.");
      return false;
    }
    FVideoStarted = true;
    // The window's size: the one asked for, else the first picture's.
    FWindowWidth = FPlayer.ScreenWidth() > 0 ? FPlayer.ScreenWidth() : width & ~1;
    FWindowHeight = FPlayer.ScreenHeight() > 0 ? FPlayer.ScreenHeight() : height & ~1;
    if (FWindowWidth <= 0 || FWindowHeight <= 0) FWindowWidth = DefaultWidth, FWindowHeight = DefaultHeight;
    FWindow = ff::SDL_CreateWindow("FFPlayer", SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, FWindowWidth,
                                   FWindowHeight, 0);
    if (FWindow) FRenderer = ff::SDL_CreateRenderer(FWindow, -1, SDL_RENDERER_SOFTWARE);
  }
  if (FRenderer) FTexture = ff::SDL_CreateTexture(FRenderer, format, SDL_TEXTUREACCESS_STREAMING, width, height);
  if (!FTexture && format != SDL_PIXELFORMAT_IYUV) {
    GetLogger().Log(&FPlayer, llError, "SDL: could not set video mode.");
  } else if (!FTexture) {
    GetLogger().LogFmt(&FPlayer, llFatal,
                       "Error: the video system does not support an image size of %dx%d pixels. Try using -lowres "
                       "or -vf \"scale=w:h\" to reduce the image size.",
                       width, height);
    // Pictures that cannot be shown end the file's playing.
    FPlayer.PostPlayerNews(pnQuit);
  }
  if (!FTexture) {
    Close();
    FOwnWindowFailed = true;
    return false;
  }
  FTextureFormat = format;
  FTextureWidth = width;
  FTextureHeight = height;
  return true;
}

void TPlayerDisplay::PresentOwnWindow(const TRect* target) {
  // The window's own events (moves, exposure, a close request) need no answer: a close
  // request is ignored, as the host's Stop ends playback.
  SDL_Event event;
  while (ff::SDL_PollEvent(&event)) {
  }
  ff::SDL_RenderClear(FRenderer);
  SDL_Rect r{};
  if (target) r = SDL_Rect{target->X, target->Y, target->W, target->H};
  ff::SDL_RenderCopy(FRenderer, FTexture, nullptr, target ? &r : nullptr);
  ff::SDL_RenderPresent(FRenderer);
}

void TPlayerDisplay::Close() {
  if (FTexture) ff::SDL_DestroyTexture(FTexture);
  if (FRenderer) ff::SDL_DestroyRenderer(FRenderer);
  if (FWindow) ff::SDL_DestroyWindow(FWindow);
  FTexture = nullptr, FRenderer = nullptr, FWindow = nullptr;
  FTextureFormat = 0;
  FShown.reset();
  FFitScaler.reset();
  FOverlay.reset();
  FSubtitled = TPixelBuffer{};
  FWaveStart = -1;
  FToPicture.reset();
  FFromPicture.reset();
  // The next file's display starts black (its spectrogram has no columns yet).
  FFrame = TPixelBuffer{};
  FSpectrum.reset();
  if (FVideoStarted) ff::SDL_QuitSubSystem(SDL_INIT_VIDEO);
  FVideoStarted = false;
}

}  // namespace sw
