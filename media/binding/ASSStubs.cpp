#include "ASSStubs.h"

#include <dlfcn.h>

#include <mutex>

#include "FFLoad.h"
#include "media/base/MyUtils.h"

namespace sw {

namespace {

// The module stays mapped until the process ends: renderers on other players' threads may
// still use it, and fontconfig's state inside it is costly to build again.
struct TASSModule {
  bool Loaded = false;
  std::string Why;
};

TASSModule LoadModule() {
  TASSModule m;
  std::string folder = FFLoader().LibraryFolder();
  if (!folder.empty()) folder = WideIncludeTrailingBackslash(folder);
  void* handle = LoadLibraryFromFolder(folder, ASSLibraryFile, m.Why);
  if (!handle) {
    m.Why = std::string("Load library ") + ASSLibraryFile + " error: " + m.Why;
    return m;
  }
  try {
    const std::string file = ASSLibraryFile;
    SW_ASS_ENTRY_POINTS(SW_BIND_SLOT)
    m.Loaded = true;
  } catch (const ELoadError& e) {
    SW_ASS_ENTRY_POINTS(SW_CLEAR_SLOT)
    ::dlclose(handle);
    m.Why = e.what();
  }
  return m;
}

}  // namespace

bool LoadASSLibrary(std::string& why) {
  static std::once_flag once;
  static TASSModule module;
  std::call_once(once, [] { module = LoadModule(); });
  why = module.Why;
  return module.Loaded;
}

}  // namespace sw
