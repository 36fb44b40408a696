#pragma once
// What a library's initialisers allocate while it loads, it keeps until the process ends:
// no leak of ours. Under the leak checker, what this thread allocates while a
// TLeakCheckPause lives is not reported; so the checker needs no slow full unwinding of
// every allocation to tell those apart. Elsewhere it does nothing.
#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

namespace sw {

class TLeakCheckPause {
 public:
#if defined(__SANITIZE_ADDRESS__)
  TLeakCheckPause() { __lsan_disable(); }
  ~TLeakCheckPause() { __lsan_enable(); }
#else
  TLeakCheckPause() {}  // user-provided, so that a pause object is never "unused"
  ~TLeakCheckPause() {}
#endif
  TLeakCheckPause(const TLeakCheckPause&) = delete;
  TLeakCheckPause& operator=(const TLeakCheckPause&) = delete;
};

}  // namespace sw
