#include "LameStubs.h"

#include <dlfcn.h>

#include <mutex>

namespace sw {

bool BindLoadedLame(std::string& why) {
  static std::mutex lock;
  static bool bound = false;
  std::lock_guard<std::mutex> g(lock);
  if (bound) return true;
  // The handle only counts a reference to a module the codec library keeps loaded.
  void* handle = ::dlopen(LameLibraryFile, RTLD_NOW | RTLD_NOLOAD);
  if (!handle) {
    why = std::string(LameLibraryFile) + " is not loaded";
    return false;
  }
  try {
    const std::string file = LameLibraryFile;
    SW_LAME_ENTRY_POINTS(SW_BIND_SLOT)
    bound = true;
  } catch (const ELoadError& e) {
    SW_LAME_ENTRY_POINTS(SW_CLEAR_SLOT)
    ::dlclose(handle);
    why = e.what();
  }
  return bound;
}

}  // namespace sw
