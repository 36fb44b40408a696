#include "FFLoad.h"

#include <dlfcn.h>
#include <link.h>

#include "AVCodecStubs.h"
#include "AVCoreStubs.h"
#include "AVDeviceStubs.h"
#include "AVFilterStubs.h"
#include "AVFormatStubs.h"
#include "AVUtilStubs.h"
#include "CRTStubs.h"
#include "FFLog.h"
#include "SDLStubs.h"
#include "SwScaleStubs.h"
#include "media/base/MyUtils.h"

namespace sw {

namespace {

const std::array<TLibraryItem, LibraryCount> Libraries{{
    {flAVCodec, "avcodec", LIBAVCODEC_VERSION_MAJOR, BindAVCodec, UnbindAVCodec},
    {flAVCore, "swresample", LIBSWRESAMPLE_VERSION_MAJOR, BindAVCore, UnbindAVCore},
    {flAVDevice, "avdevice", LIBAVDEVICE_VERSION_MAJOR, BindAVDevice, UnbindAVDevice},
    {flAVFilter, "avfilter", LIBAVFILTER_VERSION_MAJOR, BindAVFilter, UnbindAVFilter},
    {flAVFormat, "avformat", LIBAVFORMAT_VERSION_MAJOR, BindAVFormat, UnbindAVFormat},
    {flAVUtil, "avutil", LIBAVUTIL_VERSION_MAJOR, BindAVUtil, UnbindAVUtil},
    {flSwScale, "swscale", LIBSWSCALE_VERSION_MAJOR, BindSwScale, UnbindSwScale},
    {flMSVCRT, "c", 6, BindCRT, UnbindCRT},
    {flSDL, "SDL2-2.0", 0, BindSDL, UnbindSDL},
}};

// The floating-point environment while the libraries run: every exception masked,
// rounding to nearest. The host's own environment comes back at shutdown.
class TFloatingPointGuard {
 public:
  TFloatingPointGuard() {
    std::fegetenv(&FSaved);
    std::feholdexcept(&FHeld);  // clears the flags and masks every exception
    std::fesetround(FE_TONEAREST);
  }
  ~TFloatingPointGuard() { std::fesetenv(&FSaved); }

 private:
  std::fenv_t FSaved{}, FHeld{};
};

}  // namespace

const TLibraryItem& LibraryItem(TFFLibrary lib) { return Libraries[lib]; }

TFFLoader::TFFLoader() = default;

TFFLoader::~TFFLoader() {
  for (int i = LibraryCount - 1; i >= 0; --i) ReleaseLibrary(DependencyOrder[i]);
}

std::string TFFLoader::LibraryFileName(TFFLibrary lib) {
  const TLibraryItem& item = Libraries[lib];
  // Appended piece by piece: GCC 12 at -O3 sees a false overlap in "lib" + name + ...
  std::string name = "lib";
  name.append(item.BaseName).append(".so");
  if (item.Version >= 0) name.append(".").append(std::to_string(item.Version));
  return name;
}

std::string TFFLoader::LibraryPath(TFFLibrary lib) const {
  const link_map* map = nullptr;
  if (!FState[lib].Handle || ::dlinfo(FState[lib].Handle, RTLD_DI_LINKMAP, &map) != 0 || !map) return {};
  return map->l_name ? map->l_name : "";
}

bool TFFLoader::LoadOneLibrary(TFFLibrary lib) {
  TLibraryState& state = FState[lib];
  const std::string fileName = LibraryFileName(lib);
  if (!state.Handle) {
    std::string folder = WideExtractFilePath(fileName);
    const std::string name = WideExtractFileName(fileName);
    if (folder.empty() && !FLibraryFolder.empty()) folder = WideIncludeTrailingBackslash(FLibraryFolder);
    std::string why;
    void* handle = LoadLibraryFromFolder(folder, name, why);
    if (!handle) {
      // The path tried: the folder only counts when it holds the file.
      const std::string tried = WideFileExists(folder + name) ? folder + name : name;
      FLastErrorText = "Load library " + tried + " error: " + why;
      return false;
    }
    state.Handle = handle;
  }
  if (!state.Bound) {
    try {
      Libraries[lib].Binder(fileName, state.Handle);
      state.Bound = true;
    } catch (const std::exception& e) {
      FLastErrorText = e.what();
      Libraries[lib].Unbinder();  // no slot may point into a module about to be released
    }
  }
  if (!state.Bound) {
    ReleaseLibrary(lib);  // mapped by this call: nobody uses it yet
    return false;
  }
  ++state.Uses;
  if (lib == flAVUtil && FInstallLogBridge) InstallLogBridgeCallback();
  return true;
}

bool TFFLoader::LoadLibrarySet(TFFLibraries set) {
  TFFLibraries loaded = 0;
  for (TFFLibrary lib : DependencyOrder) {
    if (!(set & LibraryBit(lib))) continue;
    if (!LoadOneLibrary(lib)) {
      UnloadLibrarySet(loaded);
      return false;
    }
    loaded |= LibraryBit(lib);
  }
  return true;
}

void TFFLoader::UnloadOneLibrary(TFFLibrary lib) {
  TLibraryState& state = FState[lib];
  if (state.Uses > 1) {
    --state.Uses;
    return;
  }
  ReleaseLibrary(lib);
}

void TFFLoader::ReleaseLibrary(TFFLibrary lib) {
  TLibraryState& state = FState[lib];
  state.Uses = 0;
  if (state.Bound) {
    Libraries[lib].Unbinder();
    state.Bound = false;
  }
  if (state.Handle) {
    if (!FKeepModulesMapped) ::dlclose(state.Handle);
    state.Handle = nullptr;
  }
}

void TFFLoader::UnloadLibrarySet(TFFLibraries set) {
  for (int i = LibraryCount - 1; i >= 0; --i)
    if (set & LibraryBit(DependencyOrder[i])) UnloadOneLibrary(DependencyOrder[i]);
}

bool TFFLoader::LibraryLoaded(TFFLibrary lib) const { return FState[lib].Handle && FState[lib].Bound; }

bool TFFLoader::LibrarySetLoaded(TFFLibraries set) const {
  for (int i = 0; i < LibraryCount; ++i)
    if ((set & LibraryBit(static_cast<TFFLibrary>(i))) && !LibraryLoaded(static_cast<TFFLibrary>(i))) return false;
  return true;
}

std::recursive_mutex& CodecLock() {
  static std::recursive_mutex lock;
  return lock;
}

namespace {

// A build under AddressSanitizer, whose leak check runs at the process's exit.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool LeakChecked = true;
#elif defined(__has_feature)
constexpr bool LeakChecked = __has_feature(address_sanitizer) || __has_feature(leak_sanitizer);
#else
constexpr bool LeakChecked = false;
#endif

}  // namespace

TFFLoader& FFLoader() {
  // Members go in reverse: at exit a thread still holding CodecLock finishes first, the
  // floating-point environment comes back, then the libraries are unloaded. CodecLock,
  // created before, outlives them.
  struct TRuntime {
    TRuntime() { CodecLock(); }
    ~TRuntime() {
      std::lock_guard<std::recursive_mutex> wait(CodecLock());
      // The leak check runs after this: what the libraries hold is still theirs (their
      // globals point at it) and its stacks read only while they are mapped.
      if (LeakChecked) Loader.SetKeepModulesMapped(true);
    }
    TFFLoader Loader;
    TFloatingPointGuard FloatingPoint;
  };
  static TRuntime runtime;
  return runtime.Loader;
}

}  // namespace sw
