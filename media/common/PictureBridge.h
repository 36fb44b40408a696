#pragma once
// Turns library pictures into plain pixel buffers (which a UI wraps without copying, rows
// top-down and 32-bit aligned) and back, for picture hooks.
#include <cstdint>
#include <vector>

#include "FFHandles.h"

namespace sw {

struct TPixelBuffer {
  int Width = 0;
  int Height = 0;
  int BytesPerRow = 0;  // a multiple of 4
  int Bits = 24;        // 8 (BGR 3-3-2), 16 (RGB 5-6-5), 24 (BGR), 32 (BGRA); 15 is kept as 16 (RGB 5-5-5)
  std::vector<uint8_t> Pixels;
};

class TPictureBridge {
 public:
  explicit TPictureBridge(int bits = 24) { ResetBridge(bits); }

  void ResetBridge(int bits);
  int Bits() const { return FBits; }
  AVPixelFormat Format() const { return FFormat; }
  const TPixelBuffer& Bitmap() const { return FBitmap; }
  TPixelBuffer& Bitmap() { return FBitmap; }

  // Converts the picture into the bridge's format (unless it already is, with even size
  // and matching rows) and, unless skipBitmap, copies it into the pixel buffer.
  bool PictureToBitmap(const uint8_t* const data[4], const int linesize[4], AVPixelFormat source,
                       bool skipBitmap, int height, int width);
  // Copies the pixel buffer's rows back into the picture last converted.
  void BitmapRowsToPicture();
  // Converts the picture last converted into the destination picture's format.
  bool BitmapToPicture(uint8_t* const data[4], const int linesize[4], AVPixelFormat destination, int height,
                       int width);

 private:
  int FBits = 24;
  AVPixelFormat FFormat = AV_PIX_FMT_BGR24;
  TPixelBuffer FBitmap;
  TLibraryBuffer<uint8_t> FBuffer;
  int FBufferSize = 0;
  uint8_t* FPicture[4] = {};       // planes of the picture last converted
  int FPictureLines[4] = {};
  int FWidth = 0, FHeight = 0;
  SwsContext* FToBitmap = nullptr;  // cached scaler contexts, owned
  SwsContext* FFromBitmap = nullptr;
  TScalerPtr FToOwner, FFromOwner;
};

}  // namespace sw
