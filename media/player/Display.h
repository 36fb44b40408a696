#pragma once
// The display of the play thread. It draws off-screen into a pixel buffer: for a file
// without video the waveform of the latest samples. Each drawn frame is offered to
// OnVideoHook; without a host window it is also shown in an SDL window of the player's
// own. It never draws into a window it does not own.
#include <cstdint>
#include <vector>

#include "media/common/PictureBridge.h"

struct SDL_Window;
struct SDL_Renderer;
struct SDL_Texture;

namespace sw {

class TCustomPlayer;
struct PlayContext;

class TPlayerDisplay {
 public:
  static constexpr int DefaultWidth = 640, DefaultHeight = 480;

  explicit TPlayerDisplay(TCustomPlayer& player) : FPlayer(player) {}
  ~TPlayerDisplay();  // Close()
  TPlayerDisplay(const TPlayerDisplay&) = delete;
  TPlayerDisplay& operator=(const TPlayerDisplay&) = delete;

  // Draws and shows the current picture; APTS microseconds from the start of the file.
  void Show(PlayContext& context, int64_t pts);
  void Close();  // releases the own window
  const TPixelBuffer& Frame() const { return FFrame; }

  // Paints the waveform of interleaved samples into the frame: one band per channel, a
  // column per pixel spanning the smallest to the largest sample it covers.
  static void DrawWaveform(const std::vector<int16_t>& samples, int channels, TPixelBuffer& frame);

 private:
  bool OpenOwnWindow(int width, int height);
  void PresentOwnWindow();

  TCustomPlayer& FPlayer;
  TPixelBuffer FFrame;
  std::vector<int16_t> FSamples;
  bool FOwnWindowFailed = false;
  bool FVideoStarted = false;
  SDL_Window* FWindow = nullptr;
  SDL_Renderer* FRenderer = nullptr;
  SDL_Texture* FTexture = nullptr;
};

}  // namespace sw
