#pragma once
// The display of the play thread. For a file with video it shows the current picture
// with the subtitles due blended in; otherwise it draws off-screen into a pixel buffer
// the waveform of the latest samples, or their scrolling spectrum when the file's video
// could not be opened. Each drawn frame is offered to OnVideoHook (as 24-bit pixels):
// with a host window at the window's size, the picture fitted in by its aspect; without
// one it is also shown in an SDL window of the player's own. It never draws into a window
// it does not own.
#include <cstdint>
#include <memory>
#include <vector>

#include "media/common/FFHandles.h"
#include "media/common/PictureBridge.h"

struct SDL_Window;
struct SDL_Renderer;
struct SDL_Texture;

namespace sw {

class TCustomPlayer;
struct PlayContext;
class TSpectrum;

class TPlayerDisplay {
 public:
  static constexpr int DefaultWidth = 640, DefaultHeight = 480;

  explicit TPlayerDisplay(TCustomPlayer& player);
  ~TPlayerDisplay();  // Close()
  TPlayerDisplay(const TPlayerDisplay&) = delete;
  TPlayerDisplay& operator=(const TPlayerDisplay&) = delete;

  // Draws and shows the current picture; APTS microseconds from the start of the file.
  void Show(PlayContext& context, int64_t pts);
  // Shows the context's current picture.
  void ShowPicture(PlayContext& context, int64_t pts);
  // Shows the current picture again (after a change of the aspect ratio).
  void Redraw(PlayContext& context);
  void Close();  // releases the own window
  const TPixelBuffer& Frame() const { return FFrame; }

  // Where a picture of that size and aspect (width/height of a pixel) goes in the
  // window: as large as fits, centred, with even sizes. A negative aspect fills it.
  struct TRect {
    int X, Y, W, H;
  };
  static TRect FitPicture(int width, int height, double pixelAspect, float aspectRatio, int windowWidth,
                          int windowHeight);

  // Paints the waveform of interleaved samples into the frame, white on black: one band
  // per channel, the samples spread over the width, each column a bar from the band's
  // middle line to the farthest of the samples it covers on either side.
  static void DrawWaveform(const std::vector<int16_t>& samples, int channels, TPixelBuffer& frame);

 private:
  bool HookWanted() const;
  // Calls OnVideoHook; true when the handler left AUpdate set and did not fail.
  bool Offer(TPixelBuffer& frame, int64_t pts);
  void SizeFrame(int width, int height);
  // The frame with the subtitles due at that time (seconds of the stream) drawn over it:
  // a copy when any is due, else the frame itself.
  TPixelBuffer& WithSubtitles(PlayContext& context, double at);
  // The host window's frame: black, with the picture scaled into its place.
  bool FitIntoFrame(const AVFrame& picture, double pixelAspect);
  bool OwnWindowWanted() const;
  bool OpenOwnWindow(int width, int height, uint32_t format);
  void PresentOwnWindow(const TRect* target);

  TCustomPlayer& FPlayer;
  TPixelBuffer FFrame;  // the waveform or spectrum picture
  std::vector<int16_t> FSamples;
  int FWaveStart = -1;  // where the waveform's window began, kept while paused
  std::unique_ptr<TSpectrum> FSpectrum;
  bool FOwnWindowFailed = false;
  bool FVideoStarted = false;
  SDL_Window* FWindow = nullptr;
  SDL_Renderer* FRenderer = nullptr;
  SDL_Texture* FTexture = nullptr;
  uint32_t FTextureFormat = 0;
  int FTextureWidth = 0, FTextureHeight = 0;
  int FWindowWidth = 0, FWindowHeight = 0;
  TPictureBridge FBridge;  // pictures to 24-bit pixels for the hook and back
  TFramePtr FShown;        // the current picture with subtitles blended in
  TScalerPtr FFitScaler;   // the picture into the host window's frame
  std::vector<uint8_t> FFitted;
  TFramePtr FOverlay;  // the frame as a picture, for subtitles over the sound's display
  TPixelBuffer FSubtitled;
  TScalerPtr FToPicture, FFromPicture;
};

}  // namespace sw
