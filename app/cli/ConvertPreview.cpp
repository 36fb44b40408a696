#include "ConvertPreview.h"

#include <dlfcn.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>
#include <thread>

#include "media/base/LeakCheckPause.h"
#include "media/base/MainThread.h"
#include "media/base/MyUtils.h"
#include "media/engine/Previewer.h"
#include "widgets/previewer/PreviewModule.h"

namespace sw::cli {

namespace {

bool DisplayExists() {
  const char* x = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  return (x && *x) || (wayland && *wayland);
}

// The window's module from the program's folder, or null with the reason. The module
// stays loaded until the process ends: the window system's libraries it brings keep
// handlers of their own until then.
std::unique_ptr<TPreviewModule> OpenPreviewModule(std::string& why) {
  if (!DisplayExists()) {
    why = "No display";
    return nullptr;
  }
  const std::string file = ExecutableFolder() + PreviewModuleFile;
  void* library = [&] {
    const TLeakCheckPause pause;
    return ::dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
  }();
  if (!library) {
    const char* error = ::dlerror();
    why = "The preview window's module cannot be loaded (" + std::string(error ? error : file) + ")";
    return nullptr;
  }
  const auto open = reinterpret_cast<TOpenPreviewModule>(::dlsym(library, PreviewModuleEntry));
  if (!open) {
    why = "The preview window's module has no " + std::string(PreviewModuleEntry) + " (" + file + ")";
    return nullptr;
  }
  return std::unique_ptr<TPreviewModule>(open(PreviewModuleVersion, &why));
}

// Runs the conversion on a worker while this thread paints the previewer's pictures.
void TranscodeWithPreview(TFFmpeg& task, TPreviewModule& module) {
  SetMainThread();
  SetPreviewWindowFactory([&module] { return module.MakeWindow(); });
  task.SetPreviewFlag(PreviewWindowFlag, true);
  std::atomic<bool> done{false};
  std::exception_ptr failure;
  std::thread worker([&] {
    try {
      task.Transcode();
    } catch (...) {
      failure = std::current_exception();
    }
    done = true;
  });
  while (!done) {
    module.ProcessEvents(10);
    WaitForPendingMessages(std::chrono::milliseconds(10));
  }
  worker.join();
  task.SetPreviewFlag(PreviewWindowFlag, false);  // the window goes while its module's application is there
  SetPreviewWindowFactory(nullptr);
  if (failure) std::rethrow_exception(failure);
}

}  // namespace

void RunConversion(TFFmpeg& task, bool preview) {
  if (!preview) return task.Transcode();
  std::string why;
  const std::unique_ptr<TPreviewModule> module = OpenPreviewModule(why);
  if (!module) {
    std::fprintf(stderr, "%s: the preview window is not shown.\n", why.c_str());
    return task.Transcode();
  }
  TranscodeWithPreview(task, *module);
}

}  // namespace sw::cli
