#include <cstdio>

#include "Commands.h"
#include "media/binding/AVUtilStubs.h"
#include "media/binding/FFLoad.h"

namespace sw::cli {

namespace {

struct TSetName {
  TFFLibraries Set;
  const char* Name;
};
constexpr TSetName Sets[] = {{AllLibraries, "all libraries"},
                             {DecoderLibraries, "information reader"},
                             {EncoderLibraries, "encoder"},
                             {PlayerLibraries, "player"}};

}  // namespace

int LibsCommand(const TArgs& args) {
  TFFLoader& loader = FFLoader();
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--folder" && i + 1 < args.size()) {
      loader.SetLibraryFolder(args[++i]);
    } else {
      return UsageError("libs");
    }
  }
  bool allLoaded = true;
  for (const TSetName& set : Sets) {
    std::printf("%s (0x%X):\n", set.Name, set.Set);
    const bool setLoaded = loader.LoadLibrarySet(set.Set);
    allLoaded = allLoaded && setLoaded;
    TFFLibraries taken = 0;
    for (TFFLibrary lib : DependencyOrder) {
      if (!(set.Set & LibraryBit(lib))) continue;
      // A failing set gives back what it loaded: report each member on its own.
      const bool loaded = setLoaded || loader.LoadOneLibrary(lib);
      if (loaded && !setLoaded) taken |= LibraryBit(lib);
      std::printf("  %-20s %s\n", TFFLoader::LibraryFileName(lib).c_str(),
                  loaded ? ("loaded from " + loader.LibraryPath(lib)).c_str() : loader.GetLastErrorText().c_str());
    }
    loader.UnloadLibrarySet(taken);
  }
  if (ff::av_util_ffversion) std::printf("%s\n", ff::av_util_ffversion);
  return allLoaded ? 0 : 1;
}

}  // namespace sw::cli
