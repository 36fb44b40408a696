#pragma once
// The previewer window as a module loaded at run time: the command-line tool links no
// window library, and opens this one (beside the program) only when convert --preview
// asks for pictures. The header names no Qt type.
#include <memory>
#include <string>

#include "media/engine/Previewer.h"

namespace sw {

// What the module hands out. It owns the window system's application object, made on
// the thread that opened it, and every call comes from that thread (the main thread).
class TPreviewModule {
 public:
  virtual ~TPreviewModule() = default;  // closes the application; its windows must be gone
  virtual std::unique_ptr<TPreviewWindow> MakeWindow() = 0;
  // Runs the window system's pending events, waiting for them up to the time.
  virtual void ProcessEvents(int milliseconds) = 0;
};

// The module's entry point, looked up by PreviewModuleEntry: a module when a window can
// be opened, else null with the reason ("No display could be opened") in why.
using TOpenPreviewModule = TPreviewModule* (*)(int version, std::string* why);
inline constexpr const char* PreviewModuleEntry = "snipwave_open_preview";
// Its place, from the program's folder. A folder of its own: a shared object straight under
// /usr/lib/snipwave would make the package run ldconfig, which a private module does not need.
inline constexpr const char* PreviewModuleFile = "modules/snipwave-preview.so";
// Raised when the interface above changes: a module of another build is refused.
inline constexpr int PreviewModuleVersion = 1;

}  // namespace sw
