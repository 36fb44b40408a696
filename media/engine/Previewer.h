#pragma once
// The previewer: shows conversion pictures in a small window with the picture's time as
// its caption. The window itself belongs to the user interface, which registers a
// factory; every window operation runs on the main thread.
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "media/common/PictureBridge.h"

namespace sw {

class TPreviewWindow {
 public:
  virtual ~TPreviewWindow() = default;
  // Main thread. Draws the picture at (0, 0) and sets the caption; the first picture
  // decides the window's size.
  virtual void ShowPicture(const TPixelBuffer& picture, const std::string& caption) = 0;
  // Set by the previewer; the window calls it (main thread) when the user closed it.
  std::function<void()> OnClose;
};

// Makes the window on the main thread; nullptr when there is no display.
using TPreviewWindowFactory = std::function<std::unique_ptr<TPreviewWindow>()>;
void SetPreviewWindowFactory(TPreviewWindowFactory factory);
bool PreviewWindowsAvailable();

// Held while a task's preview flags or previewer change, and while a picture is shown.
std::mutex& PreviewLock();

class TPreviewer {
 public:
  TPreviewer() = default;
  ~TPreviewer();  // the window is freed on the main thread
  TPreviewer(const TPreviewer&) = delete;
  TPreviewer& operator=(const TPreviewer&) = delete;

  // From any thread: shows the picture (waiting for the main thread) and answers true
  // while the window is open; false once the user closed it (or none can be made), and
  // then nothing is shown and no window is made again.
  bool ShowPreview(const TPixelBuffer& picture, int value, int64_t time);
  bool Closed() const { return FClosed; }

 private:
  void PaintPreview();

  std::atomic<bool> FClosed{false};           // written on the main thread
  std::unique_ptr<TPreviewWindow> FWindow;    // main thread only
  const TPixelBuffer* FPicture = nullptr;     // not owned; valid during ShowPreview
  int FValue = 0;
  int64_t FTime = 0;
};

}  // namespace sw
