#include "EntryPoints.h"

#include <dlfcn.h>

#include <cstdio>

namespace sw {

void* LookupSymbol(const std::string& libraryFile, void* handle, const char* name,
                   bool optional, bool data) {
  ::dlerror();
  void* address = ::dlsym(handle, name);
  if (!address && !optional) {
    const char* why = ::dlerror();
    char text[1024];
    std::snprintf(text, sizeof text, data ? "Load variable %s@%s error: %s" : "Load function %s@%s error: %s",
                  name, libraryFile.c_str(), why ? why : "symbol not found");
    throw ELoadError(text);
  }
  return address;
}

}  // namespace sw
