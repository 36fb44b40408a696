// The pictures the video path hands out: the input and output hooks, which may change
// them, and the preview pictures for the previewer window and OnPreviewBitmap.
#include "Previewer.h"
#include "RunTables.h"
#include "VideoState.h"

namespace sw {

void TCustomFFmpeg::TRun::StartVideoHooks() {
  InputHook = E.OnVideoInputHook;
  OutputHook = E.OnVideoOutputHook;
  InputBridge.ResetBridge(E.VideoHookBitsPixel);
  OutputBridge.ResetBridge(E.VideoHookBitsPixel);
  PreviewBridge.ResetBridge(E.VideoHookBitsPixel);
  PreviewModes = E.PreviewFlags();
  if (!E.OnPreviewBitmap) PreviewModes &= ~PreviewBitmapFlag;
  LastPreview = WallClock() - S.PreviewInterval;
}

bool TCustomFFmpeg::TRun::CallVideoHook(bool input, AVFrame* picture, int frameNumber, int64_t time) {
  TEngineVideoHookEvent& hook = input ? InputHook : OutputHook;
  TPictureBridge& bridge = input ? InputBridge : OutputBridge;
  const auto format = static_cast<AVPixelFormat>(picture->format);
  if (!bridge.PictureToBitmap(picture->data, picture->linesize, format, false, picture->height, picture->width)) {
    E.Log(llError, "Cannot initialize the toRGB conversion context");
    hook = nullptr;
    return false;
  }
  bool update = true, disable = false;
  try {
    hook(&E, &bridge.Bitmap(), frameNumber, time, update, disable);
  } catch (const std::exception& e) {
    E.Log(llError, "Error occurs VideoHook event: %s", e.what());
    update = false;
  }
  if (update) {
    bridge.BitmapRowsToPicture();
    if (!bridge.BitmapToPicture(picture->data, picture->linesize, format, picture->height, picture->width)) {
      E.Log(llError, "Cannot initialize the fromRGB conversion context");
      disable = true;
    }
  }
  if (disable) hook = nullptr;
  return !disable;
}

void TCustomFFmpeg::TRun::PreviewPicture(const AVFrame* picture, int frameNumber, int64_t time) {
  if (!PreviewBridge.PictureToBitmap(picture->data, picture->linesize, static_cast<AVPixelFormat>(picture->format),
                                     false, picture->height, picture->width)) {
    E.Log(llError, "Cannot initialize the toRGB conversion context");
    PreviewModes = 0;
    return;
  }
  const TPixelBuffer& bitmap = PreviewBridge.Bitmap();
  if ((PreviewModes & PreviewBitmapFlag) && E.OnPreviewBitmap) E.OnPreviewBitmap(&E, &bitmap, frameNumber, time);
  if (PreviewModes & PreviewWindowFlag) {
    std::shared_ptr<TPreviewer> previewer;
    {
      std::lock_guard<std::mutex> g(PreviewLock());
      if (!(E.PreviewFlags() & PreviewWindowFlag)) {
        PreviewModes &= ~PreviewWindowFlag;
        return;
      }
      if (!E.FPreviewer) E.FPreviewer = std::make_shared<TPreviewer>();
      previewer = E.FPreviewer;
    }
    // The window is painted on the main thread; the lock is not held while waiting for it.
    if (!previewer->ShowPreview(bitmap, frameNumber, time)) PreviewModes &= ~PreviewWindowFlag;
  }
}

void TCustomFFmpeg::SetPreviewFlag(int flag, bool on) {
  std::shared_ptr<TPreviewer> dropped;
  {
    std::lock_guard<std::mutex> g(PreviewLock());
    if (on)
      FPreviewFlags |= flag;
    else
      FPreviewFlags &= ~flag;
    if (!on && (flag & PreviewWindowFlag)) dropped = std::move(FPreviewer);
  }
  // A previewer still showing a picture is freed by its last holder.
}

}  // namespace sw
