#include "Previewer.h"

#include "media/base/MainThread.h"
#include "media/common/FFUtils.h"

namespace sw {

namespace {

std::mutex FactoryLock;
TPreviewWindowFactory& Factory() {
  static TPreviewWindowFactory factory;
  return factory;
}

}  // namespace

void SetPreviewWindowFactory(TPreviewWindowFactory factory) {
  std::lock_guard<std::mutex> g(FactoryLock);
  Factory() = std::move(factory);
}

bool PreviewWindowsAvailable() {
  std::lock_guard<std::mutex> g(FactoryLock);
  return static_cast<bool>(Factory());
}

std::mutex& PreviewLock() {
  static std::mutex lock;
  return lock;
}

TPreviewer::~TPreviewer() {
  if (!FWindow) return;  // nothing was ever shown: nothing to undo
  CallInMainThread([this] { FWindow.reset(); });
}

bool TPreviewer::ShowPreview(const TPixelBuffer& picture, int value, int64_t time) {
  if (FClosed) return false;
  FPicture = &picture;
  FValue = value;
  FTime = time;
  CallInMainThread([this] { PaintPreview(); });
  FPicture = nullptr;
  return !FClosed;
}

void TPreviewer::PaintPreview() {
  if (FClosed || !FPicture) return;
  if (!FWindow) {
    TPreviewWindowFactory factory;
    {
      std::lock_guard<std::mutex> g(FactoryLock);
      factory = Factory();
    }
    if (factory) FWindow = factory();
    if (!FWindow) {
      FClosed = true;  // no display: the engine stops asking
      return;
    }
    FWindow->OnClose = [this] { FClosed = true; };
  }
  FWindow->ShowPicture(*FPicture, FormatTimestamp(FTime));
}

}  // namespace sw
