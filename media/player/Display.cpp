#include "Display.h"

#include <algorithm>
#include <cstring>

#include "FFPlay.h"
#include "PlayContext.h"
#include "media/binding/FFLog.h"
#include "media/binding/SDLStubs.h"

namespace sw {

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
      int lo = 32767, hi = -32768;
      for (int i = from; i < to && i < frames; ++i) {
        const int v = samples[static_cast<size_t>(i) * channels + ch];
        lo = std::min(lo, v), hi = std::max(hi, v);
      }
      // Sample values grow upwards; the band keeps a pixel of margin at each edge.
      const int half = std::max(1, band / 2 - 1);
      const int y0 = std::clamp(middle - hi * half / 32768, top, top + band - 1);
      const int y1 = std::clamp(middle - lo * half / 32768, top, top + band - 1);
      for (int y = y0; y <= y1; ++y) {
        uint8_t* p = &frame.Pixels[static_cast<size_t>(y) * frame.BytesPerRow + 3 * static_cast<size_t>(x)];
        p[0] = 0x40, p[1] = 0xE0, p[2] = 0x40;  // BGR
      }
    }
  }
}

void TPlayerDisplay::Show(PlayContext& context, int64_t pts) {
  const bool hook = FPlayer.OnVideoHook && (FPlayer.VideoHook() || FPlayer.ScreenHandle() != 0);
  const bool own = FPlayer.ScreenHandle() == 0 && !FOwnWindowFailed;
  // Nobody looks: nothing is drawn.
  if ((!hook && !own) || context.DisplayMode != 1) return;
  const int w = FPlayer.ScreenWidth() > 0 ? FPlayer.ScreenWidth() : DefaultWidth;
  const int h = FPlayer.ScreenHeight() > 0 ? FPlayer.ScreenHeight() : DefaultHeight;
  if (FFrame.Width != w || FFrame.Height != h) {
    FFrame.Width = w, FFrame.Height = h, FFrame.Bits = 24;
    FFrame.BytesPerRow = (w * 3 + 3) / 4 * 4;
    FFrame.Pixels.assign(static_cast<size_t>(FFrame.BytesPerRow) * h, 0);
  }
  context.CopyWaveform(FSamples, w * 2);
  DrawWaveform(FSamples, std::max(1, context.DeviceChannels), FFrame);
  if (hook) {
    bool update = true;
    try {
      FPlayer.OnVideoHook(&FPlayer, FFrame, pts, update);
    } catch (const std::exception& e) {
      GetLogger().Log(&FPlayer, llError, std::string("Error occurs OnVideoHook: ") + e.what());
    }
  }
  if (own && (FWindow || OpenOwnWindow(w, h))) PresentOwnWindow();
}

bool TPlayerDisplay::OpenOwnWindow(int width, int height) {
  if (ff::SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
    FOwnWindowFailed = true;
    GetLogger().Log(&FPlayer, llError, "SDL: could not set video mode.");
    return false;
  }
  FVideoStarted = true;
  FWindow = ff::SDL_CreateWindow("FFPlayer", SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, width, height, 0);
  if (FWindow) FRenderer = ff::SDL_CreateRenderer(FWindow, -1, SDL_RENDERER_SOFTWARE);
  if (FRenderer)
    FTexture = ff::SDL_CreateTexture(FRenderer, SDL_PIXELFORMAT_BGR24, SDL_TEXTUREACCESS_STREAMING, width, height);
  if (!FTexture) {
    GetLogger().Log(&FPlayer, llError, "SDL: could not set video mode.");
    Close();
    FOwnWindowFailed = true;
    return false;
  }
  return true;
}

void TPlayerDisplay::PresentOwnWindow() {
  // The window's own events (moves, exposure, a close request) need no answer: a close
  // request is ignored, as the host's Stop ends playback.
  SDL_Event event;
  while (ff::SDL_PollEvent(&event)) {
  }
  ff::SDL_UpdateTexture(FTexture, nullptr, FFrame.Pixels.data(), FFrame.BytesPerRow);
  ff::SDL_RenderClear(FRenderer);
  ff::SDL_RenderCopy(FRenderer, FTexture, nullptr, nullptr);
  ff::SDL_RenderPresent(FRenderer);
}

void TPlayerDisplay::Close() {
  if (FTexture) ff::SDL_DestroyTexture(FTexture);
  if (FRenderer) ff::SDL_DestroyRenderer(FRenderer);
  if (FWindow) ff::SDL_DestroyWindow(FWindow);
  FTexture = nullptr, FRenderer = nullptr, FWindow = nullptr;
  if (FVideoStarted) ff::SDL_QuitSubSystem(SDL_INIT_VIDEO);
  FVideoStarted = false;
}

}  // namespace sw
