// Libraries loaded from a library folder: each one, and each dependency among them, must
// come from the folder's copy, with exactly one copy of each mapped. Every test runs in a
// process of its own, so nothing is mapped before it starts.
#include <dlfcn.h>
#include <link.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "../../RunProgram.h"
#include "../../TempDir.h"
#include "media/binding/AVCodecStubs.h"
#include "media/binding/AVCoreStubs.h"
#include "media/binding/AVDeviceStubs.h"
#include "media/binding/AVFilterStubs.h"
#include "media/binding/AVFormatStubs.h"
#include "media/binding/AVUtilStubs.h"
#include "media/binding/FFLoad.h"
#include "media/binding/SwScaleStubs.h"

using namespace sw;

namespace {

const TFFLibrary MediaLibraries[] = {flAVUtil, flAVCore, flSwScale, flAVCodec, flAVFormat, flAVFilter, flAVDevice};

std::string SystemCopy(TFFLibrary lib) { return std::string(MEDIA_LIBDIR) + "/" + TFFLoader::LibraryFileName(lib); }

// The path of every mapped object whose file is called name, as the dynamic linker holds it.
std::vector<std::string> MappedObjects(const std::string& name) {
  struct TSearch {
    std::string Name;
    std::vector<std::string> Found;
  } search{name, {}};
  ::dl_iterate_phdr(
      [](dl_phdr_info* info, size_t, void* data) {
        auto* s = static_cast<TSearch*>(data);
        const std::string path = info->dlpi_name ? info->dlpi_name : "";
        if (std::filesystem::path(path).filename() == s->Name) s->Found.push_back(path);
        return 0;
      },
      &search);
  return search.Found;
}

// The file that holds the code a slot points to.
std::string ObjectOf(const void* address) {
  Dl_info info{};
  return ::dladdr(address, &info) && info.dli_fname ? info.dli_fname : "";
}

// Loads set from folder and checks each member of libs: one mapped copy, the folder's.
void ExpectOnlyTheFolderCopies(const TTempDir& dir, TFFLibraries set, std::initializer_list<TFFLibrary> libs) {
  TFFLoader loader;
  loader.SetLibraryFolder(dir.Path());
  ASSERT_TRUE(loader.LoadLibrarySet(set)) << loader.GetLastErrorText();
  for (TFFLibrary lib : libs) {
    const std::string name = TFFLoader::LibraryFileName(lib);
    EXPECT_EQ(MappedObjects(name), std::vector<std::string>{dir.File(name)});
    EXPECT_EQ(loader.LibraryPath(lib), dir.File(name));
  }
  const std::pair<TFFLibrary, const void*> slots[] = {
      {flAVUtil, reinterpret_cast<const void*>(ff::av_log)},
      {flAVCore, reinterpret_cast<const void*>(ff::swr_convert)},
      {flSwScale, reinterpret_cast<const void*>(ff::sws_scale)},
      {flAVCodec, reinterpret_cast<const void*>(ff::avcodec_open2)},
      {flAVFormat, reinterpret_cast<const void*>(ff::avformat_open_input)},
      {flAVFilter, reinterpret_cast<const void*>(ff::avfilter_graph_alloc)},
      {flAVDevice, reinterpret_cast<const void*>(ff::avdevice_register_all)}};
  for (const auto& [lib, slot] : slots) {
    if (set & LibraryBit(lib)) {
      EXPECT_EQ(ObjectOf(slot), dir.File(TFFLoader::LibraryFileName(lib)));
    }
  }
}

}  // namespace

TEST(LibraryFolder, LinksToTheSystemLibrariesResolveEveryDependencyInTheFolder) {
  TTempDir dir;
  for (TFFLibrary lib : MediaLibraries)
    std::filesystem::create_symlink(SystemCopy(lib), dir.File(TFFLoader::LibraryFileName(lib)));
  ExpectOnlyTheFolderCopies(dir, AllLibraries,
                            {flAVUtil, flAVCore, flSwScale, flAVCodec, flAVFormat, flAVFilter, flAVDevice});
}

TEST(LibraryFolder, CopiesInTheFolderAreNotMappedBesideTheSystemOnes) {
  TTempDir dir;
  for (TFFLibrary lib : {flAVUtil, flAVCore, flSwScale, flAVCodec, flAVFormat})
    std::filesystem::copy_file(SystemCopy(lib), dir.File(TFFLoader::LibraryFileName(lib)));
  ExpectOnlyTheFolderCopies(dir, DecoderLibraries, {flAVUtil, flAVCore, flSwScale, flAVCodec, flAVFormat});
}

TEST(LibraryFolder, LibsCommandPrintsThePathOfEachLibrary) {
  TTempDir dir;
  for (TFFLibrary lib : MediaLibraries)
    std::filesystem::create_symlink(SystemCopy(lib), dir.File(TFFLoader::LibraryFileName(lib)));
  const TProgramRun run = RunProgram(std::string(SNIPWAVE_CLI) + " libs --folder " + dir.Path() + " 2>&1");
  EXPECT_EQ(run.Status, 0) << run.Output;
  for (TFFLibrary lib : MediaLibraries) {
    const std::string name = TFFLoader::LibraryFileName(lib);
    EXPECT_NE(run.Output.find(" loaded from " + dir.File(name) + "\n"), std::string::npos) << run.Output;
  }
  // Libraries outside the folder come through the normal search, by their full path.
  EXPECT_NE(run.Output.find("libc.so.6"), std::string::npos);
  EXPECT_EQ(run.Output.find("loaded from \n"), std::string::npos) << run.Output;
}
