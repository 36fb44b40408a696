#include "PictureBridge.h"

#include <algorithm>
#include <cstring>

namespace sw {

void TPictureBridge::ResetBridge(int bits) {
  FToOwner.reset();
  FFromOwner.reset();
  FToBitmap = FFromBitmap = nullptr;
  FBuffer.reset();
  FBufferSize = 0;
  std::fill(std::begin(FPicture), std::end(FPicture), nullptr);
  std::fill(std::begin(FPictureLines), std::end(FPictureLines), 0);
  FWidth = FHeight = 0;
  switch (bits) {
    case 8: FBits = 8; FFormat = AV_PIX_FMT_BGR8; break;
    case 15: FBits = 16; FFormat = AV_PIX_FMT_RGB555LE; break;
    case 16: FBits = 16; FFormat = AV_PIX_FMT_RGB565LE; break;
    case 32: FBits = 32; FFormat = AV_PIX_FMT_BGRA; break;
    default: FBits = 24; FFormat = AV_PIX_FMT_BGR24; break;
  }
  FBitmap = TPixelBuffer{};
  FBitmap.Bits = FBits;
}

bool TPictureBridge::PictureToBitmap(const uint8_t* const data[4], const int linesize[4], AVPixelFormat source,
                                     bool skipBitmap, int height, int width) {
  const int rowBytes = ((width * FBits + 31) / 32) * 4;
  if (!skipBitmap && (FBitmap.Width != width || FBitmap.Height != height)) {
    FBitmap.Width = width;
    FBitmap.Height = height;
    FBitmap.BytesPerRow = rowBytes;
    FBitmap.Pixels.assign(static_cast<size_t>(rowBytes) * height, 0);
  }
  if (source != FFormat || (width & 1) || (height & 1) || rowBytes != linesize[0]) {
    const int size = ff::av_image_get_buffer_size(FFormat, width, height, 4);
    if (size < 0) return false;
    if (size > FBufferSize) {
      FBuffer.reset(static_cast<uint8_t*>(ff::av_malloc(static_cast<size_t>(size))));
      FBufferSize = FBuffer ? size : 0;
      if (!FBuffer) return false;
    }
    ff::av_image_fill_arrays(FPicture, FPictureLines, FBuffer.get(), FFormat, width, height, 4);
    FToBitmap = ff::sws_getCachedContext(FToBitmap, width, height, source, width, height, FFormat, SWS_BICUBIC,
                                         nullptr, nullptr, nullptr);
    FToOwner.release();
    FToOwner.reset(FToBitmap);
    if (!FToBitmap) return false;
    ff::sws_scale(FToBitmap, data, linesize, 0, height, FPicture, FPictureLines);
  } else {
    for (int i = 0; i < 4; ++i) {
      FPicture[i] = const_cast<uint8_t*>(data[i]);
      FPictureLines[i] = linesize[i];
    }
  }
  FWidth = width;
  FHeight = height;
  if (!skipBitmap) {
    const int copy = std::min(FBitmap.BytesPerRow, FPictureLines[0]);
    for (int y = 0; y < height; ++y)
      std::memcpy(&FBitmap.Pixels[static_cast<size_t>(y) * FBitmap.BytesPerRow], FPicture[0] + y * FPictureLines[0],
                  static_cast<size_t>(copy));
  }
  return true;
}

void TPictureBridge::BitmapRowsToPicture() {
  if (!FPicture[0] || FBitmap.Pixels.empty()) return;
  const int copy = std::min(FBitmap.BytesPerRow, FPictureLines[0]);
  for (int y = 0; y < std::min(FHeight, FBitmap.Height); ++y)
    std::memcpy(FPicture[0] + y * FPictureLines[0], &FBitmap.Pixels[static_cast<size_t>(y) * FBitmap.BytesPerRow],
                static_cast<size_t>(copy));
}

bool TPictureBridge::BitmapToPicture(uint8_t* const data[4], const int linesize[4], AVPixelFormat destination,
                                     int height, int width) {
  if (!FPicture[0]) return false;
  FFromBitmap = ff::sws_getCachedContext(FFromBitmap, width, height, FFormat, width, height, destination,
                                         SWS_BICUBIC, nullptr, nullptr, nullptr);
  FFromOwner.release();
  FFromOwner.reset(FFromBitmap);
  if (!FFromBitmap) return false;
  ff::sws_scale(FFromBitmap, FPicture, FPictureLines, 0, height, data, linesize);
  return true;
}

}  // namespace sw
