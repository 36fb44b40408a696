#pragma once
// The run-time loader of the media libraries: finds each library, loads it, binds its
// entry points into the slots and reports failures as text. One loader per process.
// Each library counts its users, so that one component's failing load never pulls a
// library from under the objects of another.
#include <array>
#include <cfenv>
#include <cstdint>
#include <mutex>
#include <string>

namespace sw {

// The value is the library's bit in a TFFLibraries set; sets load in DependencyOrder.
enum TFFLibrary : int {
  flAVCodec = 0,
  flAVCore = 1,  // sample-format conversion and resampling (libswresample)
  flAVDevice = 2,
  flAVFilter = 3,
  flAVFormat = 4,
  flAVUtil = 5,
  flSwScale = 6,
  flMSVCRT = 7,  // the C runtime the libraries are built against
  flSDL = 8,
};
inline constexpr int LibraryCount = 9;

using TFFLibraries = uint16_t;
constexpr TFFLibraries LibraryBit(TFFLibrary lib) { return static_cast<TFFLibraries>(1u << lib); }

inline constexpr TFFLibraries AllLibraries = 0x1FF;
inline constexpr TFFLibraries DecoderLibraries = 0xF3;  // information reader
inline constexpr TFFLibraries EncoderLibraries = 0xFB;
// What every conversion needs. The filter library, whose own dependencies (speech voices,
// SVG, GPU filters) weigh some 11 MB resident, serves only video filter graphs.
inline constexpr TFFLibraries ConversionLibraries = EncoderLibraries & ~LibraryBit(flAVFilter);
inline constexpr TFFLibraries PlayerLibraries = 0x1FB;

// Every library after the ones it links against, so that a folder's libraries resolve
// their dependencies to the folder's copies, which are loaded already by then.
inline constexpr TFFLibrary DependencyOrder[LibraryCount] = {flMSVCRT,  flAVUtil,  flAVCore,   flSwScale, flAVCodec,
                                                              flAVFormat, flAVFilter, flAVDevice, flSDL};

using TLibraryBinder = void (*)(const std::string& file, void* handle);
using TLibraryUnbinder = void (*)();

struct TLibraryItem {
  TFFLibrary Library;
  const char* BaseName;
  int Version;  // negative: the file name carries no version
  TLibraryBinder Binder;
  TLibraryUnbinder Unbinder;
};

class TFFLoader {
 public:
  TFFLoader();
  ~TFFLoader();  // unloads every library, whoever still uses it
  TFFLoader(const TFFLoader&) = delete;
  TFFLoader& operator=(const TFFLoader&) = delete;

  void SetLibraryFolder(const std::string& folder) { FLibraryFolder = folder; }
  const std::string& LibraryFolder() const { return FLibraryFolder; }
  // The most recent failure; a success never clears it.
  const std::string& GetLastErrorText() const { return FLastErrorText; }
  // When set, every successful load of avutil routes its log output to the log bridge.
  bool InstallLogBridge() const { return FInstallLogBridge; }
  void SetInstallLogBridge(bool v) { FInstallLogBridge = v; }
  // Unloading then unbinds the slots but leaves the modules mapped.
  void SetKeepModulesMapped(bool v) { FKeepModulesMapped = v; }

  static std::string LibraryFileName(TFFLibrary lib);
  // Loads and binds the library on its first use; every success adds one use.
  bool LoadOneLibrary(TFFLibrary lib);
  // Loads the members in DependencyOrder, one use each. At the first failure the uses
  // this call added are given back, so members that others use stay loaded.
  bool LoadLibrarySet(TFFLibraries set);
  // Gives back one use; the last one unbinds the slots and releases the module.
  void UnloadOneLibrary(TFFLibrary lib);
  // The same for each member, dependents first.
  void UnloadLibrarySet(TFFLibraries set);
  bool LibraryLoaded(TFFLibrary lib) const;
  bool LibrarySetLoaded(TFFLibraries set) const;
  void* Handle(TFFLibrary lib) const { return FState[lib].Handle; }
  int UseCount(TFFLibrary lib) const { return FState[lib].Uses; }
  // The file the loaded library was mapped from, as the dynamic linker knows it; empty
  // when it is not loaded.
  std::string LibraryPath(TFFLibrary lib) const;

 private:
  struct TLibraryState {
    void* Handle = nullptr;
    bool Bound = false;
    int Uses = 0;
  };
  void ReleaseLibrary(TFFLibrary lib);
  std::string FLastErrorText;
  std::string FLibraryFolder;
  bool FInstallLogBridge = true;
  bool FKeepModulesMapped = false;
  std::array<TLibraryState, LibraryCount> FState{};
};

const TLibraryItem& LibraryItem(TFFLibrary lib);

// The process-wide loader, created on first use. Creating it saves the floating-point
// environment and masks every floating-point exception; destroying it (at exit) restores
// that environment and unloads the libraries.
TFFLoader& FFLoader();

// Held around every codec open and close: those calls are not safe to run concurrently.
std::recursive_mutex& CodecLock();

}  // namespace sw
