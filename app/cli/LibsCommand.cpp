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
    for (int i = 0; i < LibraryCount; ++i) {
      const auto lib = static_cast<TFFLibrary>(i);
      if (!(set.Set & LibraryBit(lib))) continue;
      // A failing set unloads every member: report each one on its own.
      const bool loaded = setLoaded || loader.LoadOneLibrary(lib);
      std::printf("  %-20s %s\n", TFFLoader::LibraryFileName(lib).c_str(),
                  loaded ? "loaded" : loader.GetLastErrorText().c_str());
    }
    if (!setLoaded) loader.UnloadLibrarySet(set.Set);
  }
  if (ff::av_util_ffversion) std::printf("%s\n", ff::av_util_ffversion);
  return allLoaded ? 0 : 1;
}

}  // namespace sw::cli
