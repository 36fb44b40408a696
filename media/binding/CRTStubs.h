#pragma once
// Slots of the C runtime the media libraries are built against: files and text formatting.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cstdarg>
#include <string>

#include "EntryPoints.h"

#define SW_CRT_ENTRY_POINTS(X) \
  X(fopen) X(fclose) X(fread) X(fwrite) X(fseek) X(ftell) X(fprintf) X(snprintf) X(vsnprintf) \
  X(strtol) X(strtod) X(strtok)

namespace ff {
SW_CRT_ENTRY_POINTS(SW_DECLARE_SLOT)
}  // namespace ff

namespace sw {
void BindCRT(const std::string& file, void* handle);
void UnbindCRT();
}  // namespace sw
